#ifndef VESK_TRACKING_NODESESSION_H
#define VESK_TRACKING_NODESESSION_H

#include <complex>
#include <cstdint>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "conditioning/after_node/FrameRecord.h"
#include "node/host/Rill.h"
#include "tracking/Settings.h"
#include "tracking/input/AudioReader.h"

class BeatTracker;

namespace vesk_tracking {

class AudioSourceNode;

// A failure of the node or of the framework while tracking; the message is
// the framework's.
class TrackingError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One input tracked by the "BeatTracker" node, as a Rill application runs it:
// an audio source feeding the node's "AUDIO" and "FFTAUDIO", pulled one frame
// at a time. The plug-in must be loaded. A session is driven from one thread.
class NodeSession {
 public:
  struct Options {
    bool readAhead = true;  // frame a file in a thread of its own
    bool vectors = false;   // the node's "VECTOR_FLAG": onset, pattern and chroma vectors
    bool log = false;       // the node's "LOG_FLAG": the engine's diagnostic files
    std::string folder;     // where the node writes its beat log (and diagnostic files)
    // Where the node's console lines go; null: nowhere (they are not even
    // formatted). Must outlive the session.
    std::ostream* console = nullptr;
    bool onsets = false;      // each frame's onset energy in its record
    bool bands = false;       // with the onset energy, its bands'
    bool activation = false;  // and, with the bands, the beat activation
    bool spectrum = false;    // the spectrum the node was given in each record
    // The onsets' periodicity kept in this format (with the onsets and their
    // bands), its snapshots in the records; null: not kept.
    const vesk_conditioning::OnsetPeriodicity::Format* periodicity = nullptr;
  };

  // Throws TrackingError, AudioError or SettingError.
  NodeSession(std::unique_ptr<AudioReader> reader, const Settings& settings,
              const Options& options);
  ~NodeSession();
  NodeSession(const NodeSession&) = delete;
  NodeSession& operator=(const NodeSession&) = delete;

  // Computes the next frame and fills its record; false once the input has no
  // more samples, or while pushed audio waits for more (ended() tells which).
  // Throws TrackingError or AudioError.
  bool next();
  // Every frame of the input was computed.
  bool ended() const;

  // The frame just computed, as the node left it: the only route from the
  // node to the stages after it.
  const vesk_conditioning::FrameRecord& record() const { return current; }
  std::int64_t frame() const { return current.frame; }

  // Sum of the 64-band onset vector (with `vectors` only).
  float onsetStrength() const;
  // The node's vectors of this frame (with `vectors` only): the 64-band onset
  // vector, the pattern-matching score per beat interval (shortest interval
  // first, see patternIntervals()) and the 12 chroma bins. `out` is resized.
  void onsetVector(std::vector<float>& out) const;
  void patternVector(std::vector<float>& out) const;
  void chromaVector(std::vector<float>& out) const;
  // The beat intervals, in frames, of the pattern-matching vector's first
  // entry and one past its last.
  std::pair<int, int> patternIntervals() const;

  // Frames in the whole input, or -1 for a stream.
  std::int64_t expectedFrames() const;
  // Input samples per channel delivered so far, at the processing rate.
  std::int64_t samplesDelivered() const;

 private:
  void vectorOutput(int id, std::vector<float>& out) const;
  const std::complex<float>* givenSpectrum() const;

  std::ostream discarded{nullptr};  // the console when none is given: fails every write
  std::unique_ptr<AudioSourceNode> source;
  std::unique_ptr<RL::Node> tracker;
  const ::BeatTracker* node = nullptr;  // the same node, for its interval
  int beatID = -1, tempoID = -1, confidenceID = -1, onsetID = -1, patternID = -1, chromaID = -1;
  int spectrumID = -1;
  std::pair<int, int> intervals;
  bool withOnsets = false;
  bool withSpectrum = false;
  bool withPeriodicity = false;
  vesk_conditioning::FrameRecord current;
};

}  // namespace vesk_tracking

#endif
