// The stages after the node, each adapting its class to the one interface.
#include <cmath>
#include <stdexcept>

#include "conditioning/after_node/AfterNodeStage.h"
#include "conditioning/after_node/BeatPredictor.h"
#include "conditioning/after_node/MeterTracker.h"
#include "conditioning/after_node/OffBeatCorrector.h"

namespace vesk_conditioning {

namespace {

// The node's own beats: its reliable beats at its interval and tempo.
class NodeBeats : public AfterNodeStage {
 public:
  Beat process(const FrameRecord& f) override {
    Beat beat;
    if (!f.reliableBeat()) return beat;
    beat.due = true;
    beat.intervalFrames = f.intervalFrames;
    beat.tempo = f.tempo;
    return beat;
  }
  Needs needs() const override { return {}; }
  double latencySeconds() const override { return 0.0; }
};

// The node's beats, moved to the off-beat when the bass onsets lie there.
class PhaseStage : public AfterNodeStage {
 public:
  explicit PhaseStage(const StageFormat& f)
      : corrector(OffBeatCorrector::Settings(), f.bins, f.frameRate, f.binHz) {}
  Beat process(const FrameRecord& f) override {
    const OffBeatCorrector::Beat b =
        corrector.process(f.spectrum, f.beat, f.reliableBeat(), f.intervalFrames);
    Beat beat;
    beat.due = b.due;
    beat.intervalFrames = b.intervalFrames;
    return beat;
  }
  Needs needs() const override { return {false, true}; }
  double latencySeconds() const override { return 0.0; }

 private:
  OffBeatCorrector corrector;
};

// Which of the node's beats anchor the predictor's grid: its reliable ones,
// and those near the threshold. The predictor's own score places the beats,
// so they may start before the node's are sure; 0.75 of the threshold (0.3 at
// the default) brings the first beat 0.3 s sooner, and the beats of the first
// seconds are right nearly as often.
class GridAnchor {
 public:
  explicit GridAnchor(float threshold) : reliability(kShare * threshold) {}
  bool operator()(const FrameRecord& f) const {
    return f.reliableBeat() || (f.beat && f.confidence >= reliability);
  }

 private:
  static constexpr float kShare = 0.75f;
  float reliability;
};

// Beats placed on the onsets at the node's held interval.
class PredictStage : public AfterNodeStage {
 public:
  explicit PredictStage(const StageFormat& f)
      : predictor(BeatPredictor::Settings(), f.bins, f.frameRate, f.binHz), anchors(f.threshold) {}
  Beat process(const FrameRecord& f) override {
    const BeatPredictor::Beat b = predictor.process(*f.onset, anchors(f), f.intervalFrames);
    Beat beat;
    beat.due = b.due;
    beat.intervalFrames = b.intervalFrames;
    beat.framesLate = b.framesLate;
    return beat;
  }
  Needs needs() const override { return {true, false}; }
  double latencySeconds() const override { return BeatPredictor::kOnsetLagSeconds; }
  std::optional<Prediction> prediction() const override {
    const long frame = predictor.expectedBeat();
    if (frame < 0) return std::nullopt;
    return Prediction{frame, predictor.beatInterval(), std::nullopt};
  }

 private:
  BeatPredictor predictor;
  GridAnchor anchors;
};

// Beats placed as the predictor places them, at the metrical level a tempo
// model chooses from the onsets' periodicity in three bands, the node's
// interval and a tempo prior; the tempo to a fraction of a frame.
class MeterStage : public AfterNodeStage {
 public:
  explicit MeterStage(const StageFormat& f)
      : meter(MeterTracker::Settings(), f.bins, f.frameRate, f.binHz, f.minBpm, f.maxBpm),
        anchors(f.threshold),
        frameSeconds(f.frameSeconds) {}
  Beat process(const FrameRecord& f) override {
    const MeterTracker::Beat b =
        meter.process(*f.onset, anchors(f), f.intervalFrames, f.periodicity);
    Beat beat;
    beat.due = b.due;
    // The interval in whole frames, as the node gives it (the robot's
    // message carries it); the tempo from the period as the stage has it.
    beat.intervalFrames = static_cast<int>(std::llround(b.intervalFrames));
    beat.framesLate = b.framesLate;
    if (b.due) beat.tempo = 60.0 / (b.intervalFrames * frameSeconds);
    return beat;
  }
  Needs needs() const override { return {true, false, true, true}; }
  double latencySeconds() const override { return BeatPredictor::kOnsetLagSeconds; }
  const OnsetPeriodicity::Format* periodicity() const override {
    return &meter.periodicityFormat();
  }
  std::optional<Prediction> prediction() const override {
    const long frame = meter.expectedBeat();
    if (frame < 0 || !(meter.period() > 0.0)) return std::nullopt;
    return Prediction{frame, static_cast<int>(std::llround(meter.period())),
                      60.0 / (meter.period() * frameSeconds)};
  }

 private:
  MeterTracker meter;
  GridAnchor anchors;
  double frameSeconds;
};

}  // namespace

std::unique_ptr<AfterNodeStage> makeAfterNodeStage(AfterNode stage, const StageFormat& format) {
  switch (stage) {
    case AfterNode::Phase:
      return std::make_unique<PhaseStage>(format);
    case AfterNode::Predict:
      return std::make_unique<PredictStage>(format);
    case AfterNode::Meter:
      return std::make_unique<MeterStage>(format);
    case AfterNode::None:
      break;
  }
  return std::make_unique<NodeBeats>();
}

const std::vector<std::string>& afterNodeNames() {
  static const std::vector<std::string> names{"none", "phase", "predict", "meter"};
  return names;
}

const std::string& afterNodeName(AfterNode stage) {
  return afterNodeNames()[static_cast<std::size_t>(stage)];
}

std::string afterNodeList() {
  std::string joined;
  for (const std::string& n : afterNodeNames()) joined += (joined.empty() ? "" : ", ") + n;
  return joined;
}

std::optional<AfterNode> afterNodeNamed(const std::string& name) {
  const std::vector<std::string>& names = afterNodeNames();
  for (std::size_t i = 0; i < names.size(); ++i)
    if (names[i] == name) return static_cast<AfterNode>(i);
  return std::nullopt;
}

}  // namespace vesk_conditioning
