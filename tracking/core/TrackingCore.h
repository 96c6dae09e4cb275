#ifndef VESK_TRACKING_TRACKINGCORE_H
#define VESK_TRACKING_TRACKINGCORE_H

#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "conditioning/after_node/AfterNodeStage.h"
#include "tracking/Settings.h"
#include "tracking/beats/BeatEvent.h"
#include "tracking/beats/TimeBase.h"
#include "tracking/input/AudioReader.h"
#include "tracking/network/NodeSession.h"

namespace vesk_tracking {

class TemporaryDirectory;

// The one frame loop every host drives: audio in, the node's frame, the
// stage after the node, the beat to report. It owns the session, the stage,
// the time base, the summary and the node's folder and console; the tool,
// track_file and the pushed tracker only feed it and read its frames, so
// they report the same beats at the same times.
class TrackingCore {
 public:
  struct Options {
    StageChoice stage;
    bool readAhead = true;  // frame a file in a thread of its own
    bool vectors = false;   // the node's onset, pattern and chroma vectors
    bool log = false;       // the engine's diagnostic files (in `folder`)
    // The node's beat log (and diagnostic files); empty: a private folder,
    // removed with the core.
    std::string folder;
    // The node's console lines; null: nowhere. Must outlive the core.
    std::ostream* console = nullptr;
  };

  // The plug-in must be loaded. Throws TrackingError, AudioError or SettingError.
  TrackingCore(std::unique_ptr<AudioReader> reader, const Settings& settings,
               const Options& options);
  ~TrackingCore();
  TrackingCore(const TrackingCore&) = delete;
  TrackingCore& operator=(const TrackingCore&) = delete;

  // Computes the next frame and decides its beat; false once the input has
  // no more samples, or while pushed audio waits for more (ended() tells
  // which). Throws TrackingError or AudioError.
  bool next();
  bool ended() const { return session->ended(); }

  // Of the frame just computed.
  const vesk_conditioning::FrameRecord& record() const { return session->record(); }
  // The beat it reports (its `file` empty), if any.
  const std::optional<BeatEvent>& beat() const { return reported; }
  // The beat the stage expects next, as it would report it (its `file`
  // empty), if it expects one. Stages that do not look ahead expect none.
  std::optional<BeatEvent> predicted() const;
  // The node's vectors of the frame (with Options::vectors).
  const NodeSession& node() const { return *session; }

  const TimeBase& time() const { return timeBase; }
  // Frames in the whole input, or -1 for a stream.
  std::int64_t expectedFrames() const { return session->expectedFrames(); }
  // Seconds of input delivered so far.
  double seconds() const { return timeBase.seconds(session->samplesDelivered()); }
  // Median tempo and mean confidence of the reliable beats so far, and a
  // warning when the input held less audio than it promised.
  FileSummary summary(const std::string& name) const;

 private:
  void pick();
  // A beat the stage places on `frame` at its interval, as hosts report it.
  BeatEvent stageBeat(std::int64_t frame, int intervalFrames,
                      const std::optional<double>& tempo) const;

  TimeBase timeBase;
  bool allBeats;
  std::unique_ptr<TemporaryDirectory> privateFolder;
  std::unique_ptr<vesk_conditioning::AfterNodeStage> stage;
  const AudioReader* input = nullptr;  // owned by the session
  std::unique_ptr<NodeSession> session;
  SummaryCounter counter;
  std::optional<BeatEvent> reported;
};

}  // namespace vesk_tracking

#endif
