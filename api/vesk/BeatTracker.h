#ifndef VESK_BEATTRACKER_H
#define VESK_BEATTRACKER_H

// Beats of live audio, block by block: the tracking of vesk-beat (resampling,
// channel mix, spectrum, the BeatTracker node and the stage after it) behind
// one class with standard types only.
//
//   vesk::BeatTracker tracker(44100, 2, vesk::Settings().set("min_bpm", 60));
//   for (;;) {                                   // any block size
//     for (const vesk::Beat& b : tracker.process(samples, frames))
//       std::printf("%.3f s, %.1f bpm\n", b.time, b.tempo);
//   }
//   tracker.finish();                            // the beats of the last frames
//
// Link with the CMake target vesk::beat-tracker (find_package(vesk-music)) or
// `pkg-config --cflags --libs vesk-beat-tracker`.

#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace vesk {

// One reported beat.
struct Beat {
  double time = 0.0;        // seconds from the first sample given
  double tempo = 0.0;       // beats per minute; 0 for a beat below the threshold
  double confidence = 0.0;  // reliability of the beat interval, 0..1
  bool reliable = false;    // at or above the threshold (always, unless all_beats is set)
};

// What the node measured on one frame (100 frames per second by default).
struct Frame {
  double time = 0.0;           // seconds: the start of the frame's newest hop
  double tempo = 0.0;          // of the interval the node measures; 0 until it measures one
  double confidence = 0.0;     // reliability of the beat interval, 0..1
  std::vector<float> onset;    // 64 mel bands, lowest first
  std::vector<float> pattern;  // pattern-matching score per beat interval, fastest tempo first
  std::vector<float> chroma;   // 12 bins
};

// Tracking settings by the names vesk-beat's options and Python's keywords
// use ("min_bpm" for --min-bpm): rate, frame, hop, window, min_bpm, max_bpm,
// threshold, front_end, compress, whiten, low_pass, gate, after_node,
// all_beats. Unset ones keep vesk-beat's defaults. Numbers and names are
// checked when a BeatTracker is made; an unknown name, or a number given to a
// setting that takes a name (or the reverse), throws std::invalid_argument here.
class Settings {
 public:
  Settings& set(const std::string& key, double value);
  // A name ("log", "predict", "hann"), or "off" for the gate.
  Settings& set(const std::string& key, const std::string& value);
  Settings& set(const std::string& key, const char* value) { return set(key, std::string(value)); }

 private:
  friend class BeatTracker;
  std::vector<std::pair<std::string, std::string>> given;  // in order, as text
};

struct Options {
  bool features = false;  // keep every frame's Frame (see takeFrames)
  // Where the node writes its beat log; empty: a private temporary folder,
  // removed with the tracker. Nothing else is written, nothing printed.
  std::string logFolder;
};

// Drive one tracker from one thread; trackers share nothing, so several may
// run in parallel. Errors are standard exceptions: std::invalid_argument for a
// setting, rate or channel count that cannot be used (the message names it and
// what is allowed), std::runtime_error when the tracker cannot be made.
class BeatTracker {
 public:
  BeatTracker(int sampleRate, int channels, const Settings& settings = Settings(),
              const Options& options = Options());
  ~BeatTracker();
  BeatTracker(BeatTracker&&) noexcept;
  BeatTracker& operator=(BeatTracker&&) noexcept;

  // `frames` frames of interleaved samples in [-1, 1] (frames * channels
  // floats); returns the beats that fell due. The beats are those of the
  // whole audio at once, whatever the block sizes.
  std::vector<Beat> process(const float* samples, std::size_t frames);
  // The audio has ended: the beats of its last frames. Later calls return none
  // and process() throws std::logic_error.
  std::vector<Beat> finish();

  // With Options::features, the frames computed since the last call.
  std::vector<Frame> takeFrames();

  int sampleRate() const;
  int channels() const;
  double seconds() const;  // of audio taken so far

 private:
  struct State;
  std::unique_ptr<State> state;
};

}  // namespace vesk

#endif
