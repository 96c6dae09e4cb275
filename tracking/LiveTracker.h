#ifndef VESK_TRACKING_LIVETRACKER_H
#define VESK_TRACKING_LIVETRACKER_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tracking/Settings.h"
#include "tracking/beats/BeatEvent.h"
#include "tracking/core/FrameFeatures.h"
#include "tracking/core/TrackingCore.h"

namespace vesk_tracking {

class PushedAudio;

// Beats of audio that its host hands over block by block (a binding, a
// plug-in host, a live callback): the same resampling, spectrum, node and
// stage after the node as the tool's, so the beats are the tool's on the same
// samples and settings, whatever the block sizes. The plug-in must be loaded
// (loadPlugin). Driven from one thread; trackers share nothing, so several
// may run in parallel threads. A tracker never touches the process's current
// directory or standard output: the node's files go to its own folder and its
// console lines nowhere.
class LiveTracker {
 public:
  struct Options {
    StageChoice stage;
    bool features = false;  // keep every frame's features (turns the node's vectors on)
    std::string folder;     // the node's beat log; empty: a private folder, removed at the end
  };

  // `sampleRate` and `channels` of the audio to come. Throws SettingError for
  // a setting out of its range, TrackingError when the node cannot be made.
  LiveTracker(int sampleRate, int channels, const Settings& settings, const Options& options);
  ~LiveTracker();
  LiveTracker(const LiveTracker&) = delete;
  LiveTracker& operator=(const LiveTracker&) = delete;

  // Takes `frames` interleaved frames (samples in [-1, 1]) and appends the
  // beats that fell due to `beats`. Throws std::logic_error after finish().
  void process(const float* samples, std::size_t frames, std::vector<BeatEvent>& beats);
  // The input has ended: its last frames are computed. Later calls add nothing.
  void finish(std::vector<BeatEvent>& beats);
  bool finished() const { return done; }

  // Moves the features of the frames computed since the last call to `out`
  // (with Options::features; nothing otherwise).
  void takeFeatures(std::vector<FrameFeatures>& out);

  int sampleRate() const { return inputRate; }
  int channels() const { return channelCount; }
  const Settings& settings() const { return trackSettings; }
  double frameSeconds() const;
  // The beat intervals, in frames, of the pattern vector's first entry and
  // one past its last.
  std::pair<int, int> patternIntervals() const;
  // Frames computed, and seconds of audio taken, so far.
  std::int64_t frames() const { return frameCount; }
  double seconds() const;
  // Median tempo and mean confidence of the reliable beats so far.
  FileSummary summary(const std::string& name) const { return core->summary(name); }

 private:
  void computeFrames(std::vector<BeatEvent>& beats);

  int inputRate;
  int channelCount;
  Settings trackSettings;
  bool features;
  PushedAudio* audio = nullptr;  // owned by the core
  std::unique_ptr<TrackingCore> core;
  std::vector<FrameFeatures> pending;
  std::int64_t frameCount = 0;
  bool done = false;
};

}  // namespace vesk_tracking

#endif
