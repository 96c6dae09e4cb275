#include "conditioning/after_node/MeterTracker.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace vesk_conditioning {

namespace {
TempoFilter::Settings checked(const TempoFilter::Settings& s, double minBpm, double maxBpm) {
  if (!(minBpm > 0.0) || !(maxBpm >= minBpm) || !std::isfinite(maxBpm))
    throw std::invalid_argument("MeterTracker: tempo range out of range");
  return s;
}
}  // namespace

MeterTracker::MeterTracker(const Settings& s, std::size_t bins, double frameRate, double binHz,
                           double minBpm, double maxBpm)
    : settings(s),
      onsets(s.predictor.onsets, bins, binHz),
      evidence(60.0 * frameRate / minBpm, frameRate, s.memorySeconds, s.combPower),
      lowEvidence(evidence),
      highEvidence(evidence),
      filter(checked(s.filter, minBpm, maxBpm), 60.0 * frameRate / maxBpm,
             60.0 * frameRate / minBpm, frameRate),
      level(60.0 * frameRate / minBpm, frameRate),
      predictor(s.predictor, bins, frameRate, binHz),
      comb(filter.states(), 0.0) {
  if (!(s.updateSeconds > 0.0) || !(s.bandWeight >= 0.0) || !(s.lowWeight >= 0.0) ||
      !(s.selfAnchor >= 0.0) || !s.predictor.onsets.bands)
    throw std::invalid_argument("MeterTracker: settings out of range");
  updateFrames = std::max(1L, std::lround(s.updateSeconds * frameRate));
  memoryFrames = std::lround(s.memorySeconds * frameRate);
  framesPerMinute = 60.0 * frameRate;
  std::vector<double> periods(filter.states());
  for (std::size_t i = 0; i < periods.size(); ++i) periods[i] = filter.period(i);
  for (TempoEvidence* e : {&evidence, &lowEvidence, &highEvidence}) e->setPeriods(periods);
}

void MeterTracker::updateTempo(int trackerInterval) {
  std::fill(comb.begin(), comb.end(), 0.0);
  evidence.addCombs(1.0, comb);
  lowEvidence.addCombs(settings.bandWeight, comb);
  highEvidence.addCombs(settings.bandWeight, comb);
  filter.update(comb, trackerInterval > 0 ? static_cast<double>(trackerInterval) : 0.0);
  const double period = evidence.refine(filter.best());
  // Half the filter's period is followed until the filter moves to another level.
  if (faster && std::abs(period / fasterFrom - 1.0) > kSameLevel) {
    faster = false;
    level.restart();
  }
  if (!faster && currentPeriod > 0.0 &&
      std::abs(period / (2.0 * currentPeriod) - 1.0) <= kSameLevel &&
      level.judged() >= kVerdictsToMove &&
      level.share(LevelClassifier::kRight) > settings.keepShare) {
    faster = true;  // the filter doubled its period, but the beats were right: they stay
    level.restart();
  }
  if (faster) fasterFrom = period;
  if (refusedFrom > 0.0 && std::abs(period / refusedFrom - 1.0) > kSameLevel) refusedFrom = 0.0;
  currentPeriod = faster ? period / 2.0 : period;
  const double most = (1.0 + 2.0 * settings.bandWeight) * TempoEvidence::kMultiples;
  currentStrength = comb[filter.bestState()] / most;
}

void MeterTracker::followVerdicts() {
  if (level.judged() < kVerdictsToMove) return;
  // Each move starts the verdicts afresh: they were about the beats as they were.
  if (level.share(LevelClassifier::kOffBeat) > settings.offBeatShare) {
    predictor.shiftHalfBeat();
    level.restart();
  } else if (faster && level.share(LevelClassifier::kSlower) > settings.slowerShare) {
    // Back, and not faster again at this level: no flipping to and fro.
    faster = false;
    refusedFrom = currentPeriod *= 2.0;
    level.restart();
  } else if (!faster && refusedFrom == 0.0 &&
             level.share(LevelClassifier::kFaster) > settings.fasterShare &&
             currentPeriod / 2.0 >= filter.period(0)) {  // the shortest period
    faster = true;
    fasterFrom = currentPeriod;
    currentPeriod /= 2.0;
    level.restart();
  }
}

MeterTracker::Beat MeterTracker::process(const std::complex<float>* spectrum, bool reliableBeat,
                                         int trackerInterval) {
  return process(onsets.process(spectrum), reliableBeat, trackerInterval);
}

MeterTracker::Beat MeterTracker::process(const OnsetEnergy::Value& onset, bool reliableBeat,
                                         int trackerInterval) {
  ++frame;
  const BandOnsets::Value& b = onset.bands;
  // Silence too: between the clicks of a click track it is part of the
  // rhythm, and over a long gap the memory fades evenly, keeping its shape.
  evidence.push(onset.energy);
  lowEvidence.push(b.low);
  highEvidence.push(b.high);
  if (frame % updateFrames == 0) updateTempo(trackerInterval);

  level.push({onset.energy, b.low, b.high, b.mid});

  OnsetEnergy::Value weighed = onset;
  weighed.energy += settings.lowWeight * b.low;
  const int interval = currentPeriod > 0.0 ? static_cast<int>(std::lround(currentPeriod)) : 0;
  // Its own evidence anchors the beats only once it spans a whole memory.
  const bool anchored = reliableBeat || (settings.selfAnchor > 0.0 && frame >= memoryFrames &&
                                         currentStrength >= settings.selfAnchor);
  const BeatPredictor::Beat placed = predictor.process(weighed, anchored, interval);
  if (placed.due && currentPeriod > 0.0) {
    level.beat(frame - placed.framesLate, framesPerMinute / currentPeriod);
    followVerdicts();
  }
  Beat beat;
  beat.due = placed.due;
  beat.intervalFrames = currentPeriod > 0.0 ? currentPeriod : placed.intervalFrames;
  beat.framesLate = placed.framesLate;
  return beat;
}

}  // namespace vesk_conditioning
