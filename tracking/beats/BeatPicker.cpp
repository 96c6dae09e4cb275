#include "tracking/beats/BeatPicker.h"

#include <algorithm>
#include <cmath>

#include "tracking/SettingError.h"
#include "tracking/network/NodeSession.h"

namespace vesk_tracking {

using vesk_conditioning::OffBeatCorrector;

const std::vector<std::string>& afterNodeStages() {
  static const std::vector<std::string> names{"none", "phase", "predict", "meter"};
  return names;
}

bool isAfterNodeStage(const std::string& name) {
  const std::vector<std::string>& names = afterNodeStages();
  return std::find(names.begin(), names.end(), name) != names.end();
}

const char* afterNodeNames() {
  static const std::string list = [] {
    std::string joined;
    for (const std::string& n : afterNodeStages()) joined += (joined.empty() ? "" : ", ") + n;
    return joined;
  }();
  return list.c_str();
}

BeatPicker::BeatPicker(const Settings& s, const Options& o)
    : timeBase(s), allBeats(o.allBeats), gridReliability(kGridShare * s.threshold) {
  if (o.afterNode == "phase") {
    corrector.emplace(OffBeatCorrector::Settings(), static_cast<std::size_t>(s.frame / 2 + 1),
                      1.0 / timeBase.frameSeconds(), static_cast<double>(s.rate) / s.frame);
  } else if (o.afterNode == "predict") {
    predictor.emplace(vesk_conditioning::BeatPredictor::Settings(),
                      static_cast<std::size_t>(s.frame / 2 + 1), 1.0 / timeBase.frameSeconds(),
                      static_cast<double>(s.rate) / s.frame);
  } else if (o.afterNode == "meter") {
    meter.emplace(vesk_conditioning::MeterTracker::Settings(),
                  static_cast<std::size_t>(s.frame / 2 + 1), 1.0 / timeBase.frameSeconds(),
                  static_cast<double>(s.rate) / s.frame, s.minBpm, s.maxBpm);
  } else if (o.afterNode != "none") {
    throw SettingError("unknown stage after the node '" + o.afterNode +
                       "' (allowed: " + afterNodeNames() + ")");
  }
}

std::optional<BeatEvent> BeatPicker::pick(const NodeSession& session) {
  double tempo = 0.0, interval = 0.0;
  int framesLate = 0;
  if (predictor || meter) {
    const bool nodeReliable = session.beat() && session.tempo() > 0.0f;
    const bool gridBeat =
        nodeReliable || (session.beat() && session.confidence() >= gridReliability);
    // The onset energy comes with the frame when the host computed it there.
    const vesk_conditioning::OnsetEnergy::Value* onset = session.onset();
    vesk_conditioning::MeterTracker::Beat beat;
    if (meter) {
      beat = onset ? meter->process(*onset, session.spectrum(), gridBeat, session.intervalFrames())
                   : meter->process(session.spectrum(), gridBeat, session.intervalFrames());
    } else {
      const vesk_conditioning::BeatPredictor::Beat b =
          onset ? predictor->process(*onset, gridBeat, session.intervalFrames())
                : predictor->process(session.spectrum(), gridBeat, session.intervalFrames());
      beat = {b.due, static_cast<double>(b.intervalFrames), b.framesLate};
    }
    if (beat.due) {
      // The interval in whole frames, as the node gives it (the robot's
      // message carries it); the tempo from the period as the stage has it.
      interval = timeBase.span(std::llround(beat.intervalFrames));
      tempo = meter ? 60.0 / (beat.intervalFrames * timeBase.frameSeconds()) : 60.0 / interval;
      framesLate = beat.framesLate;
    } else if (!(session.beat() && !nodeReliable && allBeats)) {
      return std::nullopt;
    }
  } else if (corrector) {
    // The stage after the node decides which beats are reported, and when;
    // it sees every frame.
    const bool nodeBeat = session.beat();
    const bool nodeReliable = nodeBeat && session.tempo() > 0.0f;
    const OffBeatCorrector::Beat beat =
        corrector->process(session.spectrum(), nodeBeat, nodeReliable, session.intervalFrames());
    if (beat.due) {
      interval = timeBase.span(beat.intervalFrames);
      tempo = 60.0 / interval;
    } else if (!(nodeBeat && !nodeReliable && allBeats)) {
      return std::nullopt;
    }
  } else {
    if (!session.beat()) return std::nullopt;
    tempo = session.tempo();
    if (tempo > 0.0)
      interval = timeBase.span(session.intervalFrames());
    else if (!allBeats)
      return std::nullopt;
  }
  BeatEvent event;
  event.frame = session.frame() - framesLate;
  event.time = timeBase.beatTime(event.frame);
  event.tempo = tempo;
  event.interval = interval;
  event.reliable = tempo > 0.0;
  // The predictor's beats lie on rising onsets, a little before the beat.
  if ((predictor || meter) && event.reliable)
    event.time += vesk_conditioning::BeatPredictor::kOnsetLagSeconds;
  event.confidence = session.confidence();
  return event;
}

}  // namespace vesk_tracking
