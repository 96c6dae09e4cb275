#ifndef VESK_TRACKING_BEATPICKER_H
#define VESK_TRACKING_BEATPICKER_H

#include <optional>
#include <string>
#include <vector>

#include "conditioning/BeatPredictor.h"
#include "conditioning/MeterTracker.h"
#include "conditioning/OffBeatCorrector.h"
#include "tracking/Settings.h"
#include "tracking/beats/BeatEvent.h"
#include "tracking/beats/TimeBase.h"

namespace vesk_tracking {

class NodeSession;

// Which frames report a beat, with what tempo: the node's own decision, or
// that of a stage after the node ("phase": the off-beat corrector;
// "predict": beats placed by the beat predictor at the node's interval;
// "meter": the metrical level and the beats decided by the meter tracker). Every
// host picks its beats here, so that the tool, the bindings and the plug-in
// report the same beats at the same times.
class BeatPicker {
 public:
  struct Options {
    std::string afterNode = defaults::kAfterNode;  // "meter", "predict", "phase" or "none"
    bool allBeats = false;                         // also the beats below the threshold (tempo 0)
  };

  // Throws SettingError for an unknown stage name.
  BeatPicker(const Settings& settings, const Options& options);

  // The beat that the frame `session` has just computed reports, if any
  // (its `file` left empty).
  std::optional<BeatEvent> pick(const NodeSession& session);

  const TimeBase& time() const { return timeBase; }
  // The stage weighs each frame's onset energy: a host that computes it with
  // the frames (NodeSession::Options::onsets) spares the node's thread.
  bool usesOnsets() const { return predictor.has_value() || meter.has_value(); }

 private:
  // The predictor's beats are reported once the node has given a beat of at
  // least this share of the threshold's reliability (and for a while after):
  // the predictor's own score places them, so it may start before the node's
  // beats are sure. 0.3 at the default threshold: the first beat comes 0.3 s
  // sooner, and the beats of the first seconds are right nearly as often.
  static constexpr float kGridShare = 0.75f;
  TimeBase timeBase;
  bool allBeats;
  float gridReliability;
  std::optional<vesk_conditioning::OffBeatCorrector> corrector;
  std::optional<vesk_conditioning::BeatPredictor> predictor;
  std::optional<vesk_conditioning::MeterTracker> meter;
};

// The stages after the node, by name, in the order hosts list them.
const std::vector<std::string>& afterNodeStages();
bool isAfterNodeStage(const std::string& name);
// The same names for messages: "none, phase, predict, meter".
const char* afterNodeNames();

}  // namespace vesk_tracking

#endif
