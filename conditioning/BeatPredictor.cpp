#include "conditioning/BeatPredictor.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "conditioning/FastLog.h"

namespace vesk_conditioning {

namespace {
// A second and a half of digital silence (longer than any beat interval,
// so that the gaps between clicks do not count) ends the beat.
constexpr double kForgetSeconds = 1.5;
// The longest interval the ring serves, in frames: three of them are kept.
constexpr long kLongestInterval = 600;
}  // namespace

BeatPredictor::BeatPredictor(const Settings& s, std::size_t binCount, double frameRate,
                             double binHz)
    : settings(s),
      bins(binCount),
      lastLog(binCount, 0.0f),
      logNow(binCount),
      weight(binCount, 1.0f),
      score(3 * kLongestInterval + 8, 0.0),
      future(2 * kLongestInterval + 8, 0.0),
      weights(2 * kLongestInterval + 1, 0.0) {
  if (bins < 2 || !(frameRate > 0.0) || !(binHz > 0.0) || !(s.tightness > 0.0) ||
      !(s.pastWeight >= 0.0 && s.pastWeight < 1.0) || !(s.expectWidth > 0.0) ||
      !(s.bridgeSeconds >= 0.0) || !(s.weightHz >= 0.0) ||
      !(s.floorDecay >= 0.0 && s.floorDecay < 1.0) || !(s.floorRatio >= 0.0))
    throw std::invalid_argument("BeatPredictor: bins, rates and settings out of range");
  bridgeFrames = static_cast<long>(s.bridgeSeconds * frameRate);
  silentLimit = static_cast<long>(kForgetSeconds * frameRate);
  if (s.weightHz > 0.0)
    for (std::size_t k = 0; k < bins; ++k)
      weight[k] = static_cast<float>(1.0 / (1.0 + static_cast<double>(k) * binHz / s.weightHz));
}

double BeatPredictor::scoreOf(long f) const {
  if (f < 0 || frame - f >= static_cast<long>(score.size())) return 0.0;
  if (f > frame) return future[static_cast<std::size_t>(f - frame - 1)];
  return score[static_cast<std::size_t>(f) % score.size()];
}

double BeatPredictor::bestPast(long at) const {
  // The best earlier score, weighted by how near its distance is to one
  // interval on a log scale: half and double the interval are the limits.
  double best = 0.0;
  const long first = std::max(1L, std::lround(interval / 2.0));
  for (long d = first; d <= 2 * interval; ++d) {
    const double v = scoreOf(at - d);
    if (v <= best) continue;  // the weight is at most 1
    best = std::max(best, v * weights[static_cast<std::size_t>(d)]);
  }
  return best;
}

void BeatPredictor::setInterval(int frames) {
  if (frames == interval) return;
  interval = frames;
  const double tau = interval;
  for (long d = 1; d <= 2 * interval; ++d) {
    const double x = settings.tightness * std::log(static_cast<double>(d) / tau);
    weights[static_cast<std::size_t>(d)] = std::exp(-0.5 * x * x);
  }
}

void BeatPredictor::predict() {
  const double tau = interval;
  // Where the next beat is expected: one interval after the last; at the
  // start, anywhere within the next interval.
  const bool expect = lastBeat >= 0;
  const double centre = expect ? static_cast<double>(lastBeat + interval - frame) : 0.0;
  const long reach = expect ? std::min<long>(std::lround(centre + tau / 2), 2 * interval)
                            : static_cast<long>(interval);
  double best = -1.0;
  long bestAt = 1;
  for (long m = 1; m <= std::max(1L, reach); ++m) {
    // The score continued without new onsets.
    future[static_cast<std::size_t>(m - 1)] = settings.pastWeight * bestPast(frame + m);
    double v = future[static_cast<std::size_t>(m - 1)];
    if (expect) {
      const double z = (static_cast<double>(m) - centre) / (settings.expectWidth * tau);
      v *= std::exp(-0.5 * z * z);
    }
    if (v > best) {
      best = v;
      bestAt = m;
    }
  }
  nextBeat = frame + bestAt;
  predictAt = -1;
}

BeatPredictor::Beat BeatPredictor::process(const std::complex<float>* x, bool reliableBeat,
                                           int intervalFrames) {
  ++frame;
  // Onset energy: the weighted rise of the log magnitudes.
  const float* xy = reinterpret_cast<const float*>(x);
  float* now = logNow.data();
  float power = 0.0f;
  for (std::size_t k = 0; k < bins; ++k) {
    const float p = xy[2 * k] * xy[2 * k] + xy[2 * k + 1] * xy[2 * k + 1];
    now[k] = p <= std::numeric_limits<float>::max() ? p : 0.0f;
    power += now[k];
  }
  for (std::size_t k = 0; k < bins; ++k) now[k] = 0.5f * logAtLeastOne(1.0f + 1e6f * now[k]);
  double onset = 0.0;
  for (std::size_t k = 0; k < bins; ++k) {
    const float up = now[k] - lastLog[k];
    onset += weight[k] * (up > 0.0f ? up : 0.0f);
  }
  std::copy(now, now + bins, lastLog.data());
  // Only what rises above the recent mean counts: steady noise or a dense
  // texture rises a little on every frame and would blur the score.
  onsetMean = settings.floorDecay * onsetMean + (1.0 - settings.floorDecay) * onset;
  onset = std::max(0.0, onset - settings.floorRatio * onsetMean);

  silentFrames = power == 0.0f ? silentFrames + 1 : 0;
  if (silentFrames >= silentLimit) lastBeat = nextBeat = predictAt = -1;  // the beat is gone
  if (reliableBeat) lastReliable = frame;
  if (intervalFrames >= 2 && intervalFrames <= kLongestInterval) setInterval(intervalFrames);

  score[static_cast<std::size_t>(frame) % score.size()] =
      (1.0 - settings.pastWeight) * onset +
      (interval > 0 ? settings.pastWeight * bestPast(frame) : 0.0);

  Beat beat;
  if (interval == 0 || silentFrames >= silentLimit) return beat;
  if (frame == nextBeat) {
    lastBeat = frame;
    nextBeat = -1;
    predictAt = frame + std::max(1, interval / 2);

    // Never a beat in digital silence: the music must have sounded within
    // half an interval (a click track is silent between its clicks).
    beat.due =
        lastReliable >= 0 && frame - lastReliable <= bridgeFrames && silentFrames <= interval / 2;
    beat.intervalFrames = interval;
  }
  if (nextBeat < 0 && (predictAt < 0 || frame >= predictAt)) predict();
  return beat;
}

}  // namespace vesk_conditioning
