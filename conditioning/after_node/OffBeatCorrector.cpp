#include "conditioning/after_node/OffBeatCorrector.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <stdexcept>

#include "conditioning/before_node/FastLog.h"

namespace vesk_conditioning {

namespace {
// The tracker signals a beat a little after its onset shows in the energy
// (it reports the frame the beat falls due in, and the onset enters the
// window before its centre): the onsets of its beats lie this many frames
// around the beat frame.
constexpr int kEarliest = -3, kLatest = 1;
}  // namespace

OffBeatCorrector::OffBeatCorrector(const Settings& s, std::size_t binCount, double frameRate,
                                   double binHz)
    : settings(s),
      bins(binCount),
      lastLog(binCount, 0.0f),
      logNow(binCount),
      riseNow(binCount),
      bassWeight(binCount) {
  if (bins < 2 || !(frameRate > 0.0) || !(binHz > 0.0) || !(s.historySeconds > 0.0) ||
      !(s.switchRatio > 0.0) || !(s.bridgeSeconds >= 0.0))
    throw std::invalid_argument("OffBeatCorrector: bins, rates and settings must be positive");
  onsets.assign(static_cast<std::size_t>(std::ceil(s.historySeconds * frameRate)) + 8, 0.0);
  bridgeFrames = static_cast<long>(s.bridgeSeconds * frameRate);
  // Kick and bass carry the beat; cymbals and the skank carry the off-beats.
  for (std::size_t k = 0; k < bins; ++k)
    bassWeight[k] = static_cast<float>(1.0 / (1.0 + static_cast<double>(k) * binHz / 200.0));
  bassBins = std::min(bins, static_cast<std::size_t>(4000.0 / binHz) + 1);
}

double OffBeatCorrector::onsetAt(long f) const {
  if (f < 0 || f > frame || frame - f >= static_cast<long>(onsets.size())) return 0.0;
  return onsets[static_cast<std::size_t>(f) % onsets.size()];
}

double OffBeatCorrector::energyAround(long f, int interval) const {
  // The strongest onset near each of the grid's past positions.
  double sum = 0.0;
  const long reach = static_cast<long>(onsets.size()) - 8;
  for (long at = f; at > frame - reach; at -= interval) {
    double best = 0.0;
    for (int d = kEarliest; d <= kLatest; ++d) best = std::max(best, onsetAt(at + d));
    sum += best;
  }
  return sum;
}

OffBeatCorrector::Beat OffBeatCorrector::process(const std::complex<float>* x, bool trackerBeat,
                                                 bool reliable, int interval) {
  ++frame;
  // Bass-weighted rise of the log magnitudes: the onset energy of this frame.
  // Only the bins up to a few kHz count: above, the weight is negligible.
  // First the log magnitudes and their weighted rises, in loops the compiler
  // vectorises, then the sums.
  const float* xy = reinterpret_cast<const float*>(x);
  float* now = logNow.data();
  float* rises = riseNow.data();
  const float* weight = bassWeight.data();
  const float* last = lastLog.data();
  const std::size_t count = bassBins;
  for (std::size_t k = 0; k < count; ++k) {
    const float power = xy[2 * k] * xy[2 * k] + xy[2 * k + 1] * xy[2 * k + 1];
    now[k] = power <= std::numeric_limits<float>::max() ? power : 0.0f;
  }
  // log(1 + 10^6 |X|^2) / 2, about log(1000 |X|) for any audible bin.
  for (std::size_t k = 0; k < count; ++k) now[k] = 0.5f * logAtLeastOne(1.0f + 1e6f * now[k]);
  for (std::size_t k = 0; k < count; ++k) {
    const float up = now[k] - last[k];
    rises[k] = weight[k] * (up > 0.0f ? up : 0.0f);
  }
  std::copy(now, now + bassBins, lastLog.data());
  double rise = 0.0, total = 0.0;
  for (std::size_t k = 0; k < bassBins; ++k) {
    rise += rises[k];
    total += now[k];
  }
  for (std::size_t k = bassBins; k < bins && total == 0.0; ++k) total += std::norm(x[k]);
  onsets[static_cast<std::size_t>(frame) % onsets.size()] = rise;
  silent = !(total > 0.0);

  Beat out;
  if (pendingDue == frame) {
    out = {true, pendingInterval};
    pendingDue = -1;
  }
  if (!trackerBeat || interval < 2) return silent ? Beat{} : out;

  if (reliable) {
    lastReliable = frame;
    reliableInterval = interval;
  } else if (frame - lastReliable > bridgeFrames || std::abs(interval - reliableInterval) > 1) {
    return silent ? Beat{} : out;  // a dip too long, or a new interval: stay quiet
  }

  // Which phase of the grid does the onset energy favour? The current one
  // keeps its place unless another beats it clearly for two beats in a row.
  const int phases = settings.phases;
  auto energyAt = [&](int p) {  // the grid delayed by p / phases of an interval
    const int delay = p * interval / phases;
    return energyAround(delay == 0 ? frame : frame - (interval - delay), interval);
  };
  int best = phase;
  double bestEnergy = energyAt(phase);
  const double current = bestEnergy;
  for (int p = 0; p < phases; ++p) {
    const double e = energyAt(p);
    if (e > bestEnergy) {
      best = p;
      bestEnergy = e;
    }
  }
  const bool otherWins = best != phase && bestEnergy > settings.switchRatio * current;
  votes = otherWins && best == candidate ? votes + 1 : (otherWins ? 1 : 0);
  candidate = best;
  if (votes >= 2) {
    phase = best;
    votes = 0;
  }
  if (silent) return Beat{};
  if (phase == 0) return Beat{true, interval};
  pendingDue = frame + phase * interval / phases;
  pendingInterval = interval;
  return out;
}

}  // namespace vesk_conditioning
