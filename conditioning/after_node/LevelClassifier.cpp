#include "conditioning/after_node/LevelClassifier.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "conditioning/after_node/LevelClassifierWeights.h"

namespace vesk_conditioning {

namespace {
constexpr double kMeanSeconds = 10.0;  // of the running mean that scales each band
constexpr double kFloor = 0.05;        // added to each mean onset (in running means)
// Frames either side where an onset counts as on time: players are not
// together to the frame (a chord's notes, kick and hat on one beat lie 10-30 ms
// apart), and an onset spread so must not read as one off the beat.
constexpr int kReach = 3;
// The same for the places of the beat's phase, a twelfth of an interval apart.
constexpr int kPlaceReach = 2;
constexpr double kSameLevel = 0.1;  // tempi within 10 % of each other are one level
static_assert(level_weights::kFeatures == 14 && level_weights::kVerdicts == 4,
              "the weights are for four bands, three ratios each, and the tempo");
static_assert(BeatPhase::kBands == 4, "the phase's profile is of the four bands the ring keeps");
}  // namespace

LevelClassifier::LevelClassifier(double longestPeriod, double frameRate) {
  if (!(longestPeriod >= 2.0 && longestPeriod <= 4000.0) || !(frameRate > 0.0) ||
      !std::isfinite(frameRate))
    throw std::invalid_argument("LevelClassifier: period or frame rate out of range");
  // The beats judged span at most kBeats intervals of twice the longest period.
  const double span = 2.0 * kBeats * longestPeriod + 4 * kReach + 2;
  std::size_t size = 1;
  while (static_cast<double>(size) < span) size *= 2;
  ring.assign(size * kBands, 0.0);
  mask = size - 1;
  meanDecay = std::exp(-1.0 / (kMeanSeconds * frameRate));
  this->frameRate = frameRate;
}

void LevelClassifier::push(const Onsets& o) {
  ++frame;
  const double values[kBands] = {o.all, o.low, o.high, o.mid};
  double* slot = &ring[(static_cast<std::size_t>(frame) & mask) * kBands];
  for (int b = 0; b < kBands; ++b) {
    const double v = std::isfinite(values[b]) ? std::max(0.0, values[b]) : 0.0;
    slot[b] = v;
    mean[b] = meanDecay * mean[b] + (1.0 - meanDecay) * v;
  }
  meanWeight = meanDecay * meanWeight + (1.0 - meanDecay);
  judgeWhenHeard();
}

void LevelClassifier::judgeWhenHeard() {
  // The last beat is judged once its onsets, up to kReach frames after it, are in.
  if (pending < 0 || frame < pending) return;
  pending = -1;
  if (count == kBeats + 1) judge();
}

void LevelClassifier::beat(long at, double bpm) {
  if (!(bpm > 0.0) || !std::isfinite(bpm) || at > frame || at < 0) return;
  if (count > 0) {
    const long last = beats[static_cast<std::size_t>(count - 1)];
    // Another level: its verdicts start afresh; a gap or a beat out of
    // order: the count of beats.
    if (std::abs(bpm / tempo - 1.0) > kSameLevel)
      restart();
    else if (at <= last || static_cast<double>(at - last) > 1.5 * 60.0 * frameRate / bpm)
      count = 0;
  }
  if (count == kBeats + 1) {
    std::copy(beats.begin() + 1, beats.end(), beats.begin());
    --count;
  }
  beats[static_cast<std::size_t>(count++)] = at;
  tempo = bpm;
  pending = at + kReach;
  judgeWhenHeard();  // a beat reported late: its onsets may all be in
}

void LevelClassifier::restart() {
  stronger = strongerBeat();
  count = 0;
  pending = -1;
  sharesBefore = shares;
  shares.clear();
  placing.restart();
  swung.restart();
}

void LevelClassifier::recall() {
  shares = sharesBefore;
}

long LevelClassifier::strongerBeat() const {
  return count < kFewestForParity ? stronger : strongestOf(2);
}

long LevelClassifier::strongestOf(int every) const {
  if (every < 1 || every > kBeats || count < 2 * every) return -1;
  // The beats at each place in the group counted back from the last one,
  // by their onsets in all bands and in the low one, each band scaled by
  // its mean. The latest place wins a tie.
  std::array<double, kBeats + 1> strength{};
  for (int b = 0; b < 2; ++b) {
    const double scale = scaleOf(b);
    std::array<double, kBeats + 1> sums{};
    std::array<int, kBeats + 1> n{};
    for (int i = 0; i < count; ++i) {
      const int place = (count - 1 - i) % every;
      sums[place] += peak(b, static_cast<double>(beats[static_cast<std::size_t>(i)]), kReach);
      ++n[place];
    }
    for (int k = 0; k < every; ++k) strength[k] += sums[k] / n[k] * scale + kFloor;
  }
  int best = 0;
  for (int k = 1; k < every; ++k)
    if (strength[k] > strength[best]) best = k;
  return beats[static_cast<std::size_t>(count - 1 - best)];
}

double LevelClassifier::scaleOf(int band) const {
  // The running mean as if it had always run (its first seconds weigh too
  // little otherwise).
  return meanWeight / (mean[static_cast<std::size_t>(band)] + 1e-9 * meanWeight);
}

double LevelClassifier::peak(int band, double at, int reach) const {
  const long centre = std::lround(at);
  const long oldest = frame - static_cast<long>(mask);
  double best = 0.0;
  for (long f = std::max(oldest, centre - reach); f <= std::min(frame, centre + reach); ++f)
    best = std::max(best, ring[(static_cast<std::size_t>(f) & mask) * kBands + band]);
  return best;
}

void LevelClassifier::judge() {
  using namespace level_weights;
  double features[kFeatures];
  for (int b = 0; b < kBands; ++b) {
    double onBeats = 0.0, even = 0.0, odd = 0.0, halves = 0.0, quarters = 0.0;
    for (int i = 0; i <= kBeats; ++i) {
      const double v = peak(b, static_cast<double>(beats[static_cast<std::size_t>(i)]), kReach);
      onBeats += v;
      (i % 2 == 0 ? even : odd) += v;
    }
    for (int i = 0; i < kBeats; ++i) {
      const double x = static_cast<double>(beats[static_cast<std::size_t>(i)]);
      const double y = static_cast<double>(beats[static_cast<std::size_t>(i + 1)]);
      halves += peak(b, 0.5 * (x + y), kReach);
      quarters += peak(b, x + 0.25 * (y - x), kReach) + peak(b, x + 0.75 * (y - x), kReach);
    }
    const double scale = scaleOf(b);
    const double beatLevel = onBeats / (kBeats + 1) * scale + kFloor;
    const double halfLevel = halves / kBeats * scale + kFloor;
    const double quarterLevel = quarters / (2 * kBeats) * scale + kFloor;
    const double evenLevel = even / (kBeats / 2 + 1) * scale + kFloor;
    const double oddLevel = odd / (kBeats / 2) * scale + kFloor;
    features[3 * b] = std::log(halfLevel / beatLevel);
    features[3 * b + 1] = std::log(quarterLevel / beatLevel);
    features[3 * b + 2] = std::log(std::min(evenLevel, oddLevel) / std::max(evenLevel, oddLevel));
  }
  stronger = strongerBeat();
  judgePhase();
  const double t = std::log2(tempo / 120.0);
  features[3 * kBands] = t;
  features[3 * kBands + 1] = t * t;
  std::array<double, kVerdicts> z{};
  for (int k = 0; k < kVerdicts; ++k) {
    z[k] = kWeights[k][kFeatures];
    for (int j = 0; j < kFeatures; ++j)
      z[k] += kWeights[k][j] * (features[j] - kMean[j]) / kSpread[j];
  }
  shares.add(z);
}

void LevelClassifier::judgePhase() {
  BeatPhase::Profile profile{};
  for (int i = 0; i < kBeats; ++i) {
    const double x = static_cast<double>(beats[static_cast<std::size_t>(i)]);
    const double y = static_cast<double>(beats[static_cast<std::size_t>(i + 1)]);
    for (int k = 0; k < BeatPhase::kPlaces; ++k)
      for (int b = 0; b < kBands; ++b)
        profile[k][b] += peak(b, x + k * (y - x) / BeatPhase::kPlaces, kPlaceReach);
  }
  for (int b = 0; b < kBands; ++b) {
    const double scale = scaleOf(b) / kBeats;
    for (auto& place : profile) place[b] = std::log(place[b] * scale + kFloor);
  }
  placing.judge(profile);
  swung.judge(profile);
}

}  // namespace vesk_conditioning
