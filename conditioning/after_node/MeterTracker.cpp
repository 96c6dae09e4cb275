#include "conditioning/after_node/MeterTracker.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

namespace vesk_conditioning {

namespace {
TempoFilter::Settings checked(const TempoFilter::Settings& s, double minBpm, double maxBpm) {
  if (!(minBpm > 0.0) || !(maxBpm >= minBpm) || !std::isfinite(maxBpm))
    throw std::invalid_argument("MeterTracker: tempo range out of range");
  return s;
}

// Whether `a` lies within `tolerance` of `b`, relatively.
bool near(double a, double b, double tolerance) {
  return std::abs(a / b - 1.0) <= tolerance;
}

// Whether a ratio of periods is 4/3 or 3/4: held only while the combs agree.
bool byThirds(double ratio) {
  return ratio == 4.0 / 3.0 || ratio == 0.75;
}
}  // namespace

MeterTracker::MeterTracker(const Settings& s, std::size_t bins, double frameRate, double binHz,
                           double minBpm, double maxBpm)
    : settings(s),
      onsets(s.predictor.onsets, bins, binHz),
      filter(checked(s.filter, minBpm, maxBpm), 60.0 * frameRate / maxBpm,
             60.0 * frameRate / minBpm, frameRate),
      periodicityKept(formatOf(s, filter, 60.0 * frameRate / minBpm, frameRate)),
      periodicity(periodicityKept),
      level(60.0 * frameRate / minBpm, frameRate),
      predictor(s.predictor, bins, frameRate, binHz),
      comb(filter.states(), 0.0),
      placedOnsets(BeatPredictor::kLongestInterval + 1, 0.0) {
  if (!(s.updateSeconds > 0.0) || !(s.bandWeight >= 0.0) || !(s.lowWeight >= 0.0) ||
      !(s.selfAnchor >= 0.0) || !(s.slowestBpm > 0.0) || !(s.belowRangeFrom >= 0.0) ||
      !(s.releaseShare >= 0.0) || !(s.keepComb >= 0.0) || !(s.activationWeight >= 0.0) ||
      s.settledAfter < 0 || !(s.settledMargin >= 0.0) || !(s.threesRatio > 0.0) ||
      !(s.phaseShare >= 0.0) || !(s.threesFloor >= 0.0) || !(s.threesSeconds >= 0.0) ||
      !(s.dupleShare > 0.0) || !s.predictor.onsets.bands ||
      (s.activationWeight > 0.0 && !s.predictor.onsets.activation))
    throw std::invalid_argument("MeterTracker: settings out of range");
  updateFrames = periodicityKept.updateFrames;
  memoryFrames = std::lround(s.memorySeconds * frameRate);
  threesUpdates = s.threesSeconds > 0.0
                      ? std::max(1L, std::lround(s.threesSeconds * frameRate / updateFrames))
                      : 0;
  framesPerMinute = 60.0 * frameRate;
  const double longest = filter.period(filter.states() - 1);
  longestPeriod =
      minBpm > s.belowRangeFrom
          ? longest
          : std::max(longest, std::min({2.0 * longest, framesPerMinute / s.slowestBpm,
                                        static_cast<double>(BeatPredictor::kLongestInterval)}));
}

OnsetPeriodicity::Format MeterTracker::formatOf(const Settings& s, const TempoFilter& filter,
                                                double longestPeriod, double frameRate) {
  OnsetPeriodicity::Format f;
  f.longestPeriod = longestPeriod;
  f.frameRate = frameRate;
  f.memorySeconds = s.memorySeconds;
  f.combPower = s.combPower;
  f.periods.resize(filter.states());
  for (std::size_t i = 0; i < f.periods.size(); ++i) f.periods[i] = filter.period(i);
  f.updateFrames =
      s.updateSeconds > 0.0 ? std::max(1L, std::lround(s.updateSeconds * frameRate)) : 1;
  return f;
}

void MeterTracker::updateTempo(int trackerInterval) {
  std::fill(comb.begin(), comb.end(), 0.0);
  periodicity.all().addCombs(1.0, comb);
  periodicity.low().addCombs(settings.bandWeight, comb);
  periodicity.high().addCombs(settings.bandWeight, comb);
  filter.update(comb, trackerInterval > 0 ? static_cast<double>(trackerInterval) : 0.0);
  const double period = periodicity.all().refine(filter.best());
  const auto sameLevel = [](double a, double b) { return near(a, b, kSameLevel); };
  // Another level than the filter's is followed until the filter moves. If
  // it moves to the beats' own level, they go on as they were, and so do the
  // classifier's verdicts on them: the next stray is held again at once. A
  // hold just begun has set them aside; a filter that strayed for a moment
  // (a fast groove's kick alone) brings them back.
  // A pulse grouped by three: the filter went from the pulse to two of it,
  // to half the beat (a figure of two against its three eighths), or back;
  // the beats stay.
  const double stayAt = near(currentPeriod, 3.0 * period, kSameRatio)   ? 3.0
                        : near(currentPeriod, 1.5 * period, kSameRatio) ? 1.5
                        : near(currentPeriod, 2.0 * period, kSameRatio) ? 2.0
                                                                        : 0.0;
  if (grouped && !sameLevel(period, filterPeriod) && stayAt > 0.0) {
    ratio = stayAt;
  } else if (ratio != 1.0 && !sameLevel(period, filterPeriod)) {
    ratio = 1.0;
    grouped = false;
    if (!sameLevel(period, currentPeriod))
      restartLevel();
    else if (heldAfresh && level.judged() < kVerdictsToMove)
      level.recall();
  }
  // The filter moved to twice, half, 3/2 or 2/3 of the beats' period, but the
  // beats were right: they stay (a fast groove's kick alone, or a clave's
  // dotted figure, can win the combs for a while). At 4/3 or 3/4 of it (a
  // figure of dotted eighths, or a real change of tempo by a third) only
  // while the combs over two bars still find the beats' own period nearly
  // as strong: within a bar the figure repeats at 3/4 of the beat, only the
  // beat lands on the bars. Taken only when a third is at stake.
  const auto own = [&] {
    const TempoEvidence& all = periodicity.all();
    return currentPeriod > 0.0 ? all.barComb(currentPeriod) / std::max(1e-12, all.barComb(period))
                               : 0.0;
  };
  if (ratio == 1.0 && currentPeriod > 0.0 && level.judged() >= kVerdictsToMove &&
      level.share(LevelClassifier::kRight) > settings.keepShare) {
    for (double moved : {2.0, 0.5, 1.5, 2.0 / 3.0, 4.0 / 3.0, 0.75}) {
      if (near(period, moved * currentPeriod, kSameRatio) &&
          (!byThirds(moved) || own() >= settings.keepComb)) {
        ratio = 1.0 / moved;
        restartLevel();
        heldAfresh = true;
      }
    }
  } else if (byThirds(ratio) && own() < settings.keepComb) {
    ratio = 1.0;  // the beats' period has faded: the tempo changed
    restartLevel();
  }
  if (refusedRatio != 1.0 && !sameLevel(period, refusedFrom)) refusedRatio = 1.0;
  filterPeriod = period;
  followPeriod(period * ratio);
  followGrouping();
  followDuplePulse();
  leaveAHollowPeriod();
  const double most = (1.0 + 2.0 * settings.bandWeight) * TempoEvidence::kMultiples;
  currentStrength = comb[filter.bestState()] / most;
}

void MeterTracker::followGrouping() {
  if (threesUpdates == 0 || (ratio != 1.0 && !grouped)) {
    threesFor = 0;
    return;
  }
  const TempoEvidence& all = periodicity.all();
  if (grouped) {
    // The pulse now repeats at two of its periods as much: no longer in
    // threes, once that has lasted as long as the threes had to. A hemiola,
    // or a played bar whose peaks blur, is not the end of the twelve-eight.
    const TempoEvidence::Grouping g = all.grouping(filterPeriod * ratio / 3.0);
    leaveFor = g.twos >= g.threes ? leaveFor + 1 : 0;
    if (leaveFor >= threesUpdates) backToFilter();
    return;
  }
  // The pulse is the filter's period, or half of it (the filter found two
  // of the pulse: the quarter of a 12/8).
  const auto inThrees = [&](double pulse) {
    if (3.0 * pulse > longestPeriod) return false;
    const TempoEvidence::Grouping g = all.grouping(pulse);
    return g.threes >= settings.threesFloor && g.threes >= settings.threesRatio * g.twos;
  };
  const double to = inThrees(filterPeriod) ? 3.0 : inThrees(filterPeriod / 2.0) ? 1.5 : 0.0;
  // Counted on while the beats it points to stay the same.
  const double target = to * filterPeriod;
  threesFor =
      to > 0.0 && (threesFor == 0 || near(target, threesAt, kSameLevel)) ? threesFor + 1 : 0;
  threesAt = target;
  if (threesFor < threesUpdates) return;
  // From the strongest of the last three beats: on the new beats' grid.
  const long strongest = level.strongestOf(3);
  followGrouped(to);
  meetOldBeatsAt(strongest, filterPeriod);
}

void MeterTracker::followGrouped(double to) {
  ratio = to;
  grouped = true;
  leaveFor = 0;
  threesFor = 0;
  followPeriod(filterPeriod * ratio);
  restartLevel();  // the verdicts were about the beats as they were
}

void MeterTracker::followDuplePulse() {
  if (threesUpdates == 0 || grouped || !(currentPeriod > 0.0)) {
    duplesFor = 0;
    return;
  }
  // A third of the beats' period as a pulse: at the beat's own level (or
  // twice or half of it) that pulse repeats at three of itself, the beat,
  // and hardly at two or four. Beats on a figure of dotted eighths, or on
  // every third eighth of a clave, find it repeating at two and four of
  // itself (the eighth and the beat) as much as at three.
  const TempoEvidence& all = periodicity.all();
  const double from = currentPeriod, pulse = from / 3.0;
  const TempoEvidence::Grouping g = all.grouping(pulse);
  const bool duple = g.twos >= settings.threesFloor && g.twos >= settings.dupleShare * g.threes;
  duplesFor = duple ? duplesFor + 1 : 0;
  if (duplesFor < threesUpdates) return;
  duplesFor = 0;
  // Two or four of the pulse, whichever lies nearer the tempi listeners
  // favour; the level classifier can halve or double it from there.
  const auto offPrior = [&](double period) {
    return std::abs(std::log2(framesPerMinute / period / settings.filter.priorBpm));
  };
  const bool four = 4.0 * pulse <= longestPeriod && (2.0 * pulse < filter.period(0) ||
                                                     offPrior(4.0 * pulse) < offPrior(2.0 * pulse));
  if (!four && 2.0 * pulse < filter.period(0)) return;
  const int pulses = four ? 4 : 2;  // of the new beats' period
  // The bars must agree: the beats' own period landing on them less well
  // than the new one (at half the beat of a twelve-eight, the pulse's twos
  // are its eighths, and the new beats would miss the bars). Not without
  // them: a period beyond the combs' reach has no bar comb.
  const double target = pulses * pulse;
  const double bars = all.barComb(target);
  if (!(bars > 0.0) || bars < all.barComb(from)) return;
  // Only to a ratio of the filter's period the stage knows (the beats'
  // period is the filter's times the ratio).
  const double to = ratio * pulses / 3.0;
  for (double known : {0.5, 2.0 / 3.0, 0.75, 1.0, 4.0 / 3.0, 1.5, 2.0}) {
    if (std::abs(to - known) > 1e-9) continue;
    // The new beats meet the old every four of them (or two): from the
    // strongest of those, on the new grid.
    const long strongest = level.strongestOf(pulses);
    ratio = known;
    followPeriod(filterPeriod * ratio);
    meetOldBeatsAt(strongest, from);
    restartLevel();
    return;
  }
}

void MeterTracker::leaveAHollowPeriod() {
  if (threesUpdates == 0 || ratio != 1.0 || grouped || !(filterPeriod > 0.0) ||
      2.0 * filterPeriod > longestPeriod) {
    hollowFor = 0;
    return;
  }
  // The onsets do not repeat at the filter's period at all, but at twice it
  // and at two thirds of it, grouped by three: the filter took one and a
  // half eighths of a twelve-eight whose eighths lie beyond the tempo range
  // and whose dotted quarter lies below it, from its combs' even multiples
  // and the prior. The beat is three of those eighths, twice the period,
  // held as a pulse grouped by three is.
  const TempoEvidence& all = periodicity.all();
  const double pulse = filterPeriod * 2.0 / 3.0;
  const TempoEvidence::Grouping g = all.grouping(pulse);
  const bool hollow = all.share(filterPeriod) < kHollowShare && all.share(pulse) >= kPulseShare &&
                      g.threes >= settings.threesFloor;
  hollowFor = hollow ? hollowFor + 1 : 0;
  if (hollowFor < kHollowUpdates) return;
  hollowFor = 0;
  followGrouped(2.0);  // from the stronger of the last two beats
}

void MeterTracker::meetOldBeatsAt(long strongest, double oldPeriod) {
  if (strongest < 0 || lastBeat < 0 || lastBeat - strongest > 8 * oldPeriod) return;
  const double since = std::lround((lastBeat - strongest) / oldPeriod) * oldPeriod;
  const long back = std::lround(std::fmod(since, currentPeriod));
  if (back > 0) predictor.shiftBeats(-back);
}

void MeterTracker::backToFilter() {
  ratio = 1.0;
  grouped = false;
  leaveFor = 0;
  followPeriod(filterPeriod);
  restartLevel();
}

void MeterTracker::restartLevel() {
  level.restart();
  heldAfresh = false;
}

void MeterTracker::followPeriod(double period) {
  const double before = currentPeriod;
  currentPeriod = period;
  // Another level: where its beats lie is found afresh.
  if (before > 0.0 && !near(period, before, kSameLevel)) lag = 0.0;
  // Half the tempo (the filter's or a verdict's): the beats go on from the
  // stronger of the last two.
  if (before > 0.0 && near(period, 2.0 * before, kSameLevel)) goOnFromStrongerBeat(before);
}

void MeterTracker::goOnFromStrongerBeat(double period) {
  const long stronger = level.strongerBeat();
  // Only a judgement of the last few beats counts.
  if (stronger < 0 || lastBeat < 0 || lastBeat - stronger > 8 * period) return;
  // From the last beat, the next one is placed afresh at the new period: the
  // one predicted at the old period would be the weaker beat between.
  const bool last = std::lround((lastBeat - stronger) / period) % 2 == 0;
  predictor.shiftBeats(last ? 0 : -std::lround(period));
}

void MeterTracker::follow(double to) {
  if (to == 1.0) {
    refusedFrom = filterPeriod;
    refusedRatio = ratio;
  }
  ratio = to;
  followPeriod(filterPeriod * ratio);
  restartLevel();  // the verdicts were about the beats as they were
}

void MeterTracker::followVerdicts() {
  if (level.judged() < kVerdictsToMove) return;
  const double right = level.share(LevelClassifier::kRight);
  if (grouped || (ratio != 1.0 && ratio != 0.5 && ratio != 2.0)) {
    // Held at 3/2, 2/3, 4/3 or 3/4 of the filter's period, or at three of a
    // pulse grouped so (the filter at any of its levels): only while they
    // seem right.
    if (right < settings.releaseShare) backToFilter();
    return;
  }
  const double settled = level.judged() >= settings.settledAfter ? settings.settledMargin : 0.0;
  const bool faster = level.share(LevelClassifier::kFaster) > settings.fasterShare + settled;
  const bool slower = level.share(LevelClassifier::kSlower) > settings.slowerShare + settled;
  if (level.judged() >= kVerdictsToShift &&
      level.share(LevelClassifier::kOffBeat) > settings.offBeatShare) {
    predictor.shiftBeats(predictor.beatInterval() / 2);
    restartLevel();
  } else if (followPhase()) {
    restartLevel();
  } else if ((ratio == 0.5 && slower) || (ratio == 2.0 && faster)) {
    follow(1.0);  // and not there again at this level: no flipping to and fro
  } else if (ratio == 1.0 && faster && refusedRatio != 0.5 &&
             currentPeriod / 2.0 >= filter.period(0)) {
    follow(0.5);
  } else if (ratio == 1.0 && slower && refusedRatio != 2.0 &&
             currentPeriod * 2.0 <= longestPeriod) {
    follow(2.0);
  }
}

bool MeterTracker::followPhase() {
  const BeatPhase& phase = level.phase();
  const long interval = predictor.beatInterval();
  // The template knows beats at their own level only.
  if (phase.judged() < kVerdictsToPlace || interval < 2 ||
      level.share(LevelClassifier::kRight) <= kRightToPlace)
    return false;
  // The likeliest place but the beats' own, a twelfth either side (the
  // placing's own play) and half a beat (the off-beat verdict's).
  constexpr int kPlaces = BeatPhase::kPlaces;
  int place = -1;
  for (int p = 2; p <= kPlaces - 2; ++p)
    if (p != kPlaces / 2 && (place < 0 || phase.share(p) > phase.share(place))) place = p;
  if (settings.followSwing && level.swing().beatsOnIt())
    place = kPlaces / 3;
  else if (phase.share(place) <= settings.phaseShare)
    return false;
  // To the nearer of the two beats around: later by `place` twelfths or
  // earlier by the rest.
  const int toward = place <= kPlaces / 2 ? place : place - kPlaces;
  const long by = std::lround(static_cast<double>(toward * interval) / kPlaces);
  // The strongest onsets stay where they are, and the beats placed on
  // them would go back there: they are placed on onsets a share of the
  // interval late, which a drifting tempo keeps.
  lag = std::fmod(lag + static_cast<double>(by) / static_cast<double>(interval) + 1.0, 1.0);
  predictor.shiftBeats(by);
  return true;
}

MeterTracker::Beat MeterTracker::process(const std::complex<float>* spectrum, bool reliableBeat,
                                         int trackerInterval) {
  return process(onsets.process(spectrum), reliableBeat, trackerInterval);
}

MeterTracker::Beat MeterTracker::process(const OnsetEnergy::Value& onset, bool reliableBeat,
                                         int trackerInterval,
                                         const OnsetPeriodicity::Snapshot* ahead) {
  ++frame;
  const BandOnsets::Value& b = onset.bands;
  // A host that hands a snapshot on the first frame keeps the periodicity
  // itself, and must hand one on every frame the tempo is updated on.
  if (frame == 0) hostPeriodicity = ahead != nullptr;
  if (!hostPeriodicity) {
    periodicity.push(onset);
  } else if (frame % updateFrames == 0) {
    if (!ahead || ahead->frame != frame)
      throw std::logic_error("MeterTracker: no periodicity snapshot for frame " +
                             std::to_string(frame));
    periodicity.load(*ahead);
  }
  if (frame % updateFrames == 0) updateTempo(trackerInterval);

  level.push({onset.energy, b.low, b.high, b.mid});

  OnsetEnergy::Value weighed = onset;
  weighed.energy += settings.lowWeight * b.low;
  if (settings.activationWeight > 0.0) {
    onsetMean = kActivationMeanDecay * onsetMean + (1.0 - kActivationMeanDecay) * weighed.energy;
    activationMean =
        kActivationMeanDecay * activationMean + (1.0 - kActivationMeanDecay) * onset.activation;
    if (activationMean > 0.0)
      weighed.energy += settings.activationWeight * onset.activation * onsetMean / activationMean;
  }
  const std::size_t kept = placedOnsets.size();
  placedOnsets[static_cast<std::size_t>(frame) % kept] = weighed.energy;
  const long late = std::lround(lag * predictor.beatInterval());
  if (late > 0)
    weighed.energy =
        frame >= late ? placedOnsets[static_cast<std::size_t>(frame - late) % kept] : 0.0;
  const int interval = currentPeriod > 0.0 ? static_cast<int>(std::lround(currentPeriod)) : 0;
  // Its own evidence anchors the beats only once it spans a whole memory.
  const bool anchored = reliableBeat || (settings.selfAnchor > 0.0 && frame >= memoryFrames &&
                                         currentStrength >= settings.selfAnchor);
  const BeatPredictor::Beat placed = predictor.process(weighed, anchored, interval);
  // A beat held back counts where it was placed, not again when it is reported.
  const bool placedNow = (placed.due && !placed.confirmed) || placed.held;
  if (placedNow) lastBeat = frame - placed.framesLate;
  // The classifier judges beats within the tracker's tempo range, which it was trained on.
  if (placedNow && currentPeriod > 0.0 &&
      currentPeriod <= filter.period(filter.states() - 1) * (1.0 + kSameLevel)) {
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
