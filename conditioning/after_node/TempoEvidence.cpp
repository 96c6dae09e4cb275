#include "conditioning/after_node/TempoEvidence.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <stdexcept>
#include <string>

#include "common/VectorKernels.h"

namespace vesk_conditioning {

TempoEvidence::TempoEvidence(double longestPeriod, double frameRate, double memorySeconds,
                             double power, bool bars)
    : reach(bars ? kBarMultiples : kMultiples), power(power) {
  if (!(longestPeriod >= 2.0 && longestPeriod <= 4000.0) || !(frameRate > 0.0) ||
      !(memorySeconds > 0.0) || !(power >= 1.0 && power <= 8.0))
    throw std::invalid_argument("TempoEvidence: period, frame rate or memory out of range");
  lags = static_cast<std::size_t>(std::ceil(reach * (longestPeriod + 1.0))) + 2;
  this->longestPeriod = longestPeriod;
  // The frames waiting may overwrite only lags no comb reads.
  ringSize = lags + kPending;
  history.assign(2 * ringSize, 0.0f);
  sums.assign(lags, 0.0f);
  acf.assign(lags, 0.0);
  decay = std::exp(-1.0 / (memorySeconds * frameRate));
  meanDecay = std::exp(-1.0 / (1.0 * frameRate));
  for (std::size_t j = 0; j <= kPending; ++j) {
    grow[j] = std::pow(decay, -static_cast<double>(j));
    fadeBy[j] = static_cast<float>(std::pow(decay, static_cast<double>(j)));
  }
}

void TempoEvidence::push(double energy) {
  if (!std::isfinite(energy)) energy = 0.0;
  mean = meanDecay * mean + (1.0 - meanDecay) * energy;
  const double x = energy - mean;
  // The ring runs backwards and is kept twice over, so that x(t - l) for
  // l = 0 .. lags - 1 lies at history[now + l]: one straight loop.
  now = now == 0 ? ringSize - 1 : now - 1;
  history[now] = history[now + ringSize] = static_cast<float>(x);
  // Lag 0 scales the combs; below the first lag read, none is kept.
  acf[0] = decay * acf[0] + x * x;
  pendingX[waiting] = x;
  if (++waiting == kPending) settle();
}

namespace {
// sums[l] += c * h[l]: a product and a sum, never fused, so that every
// machine has the same values.
inline __attribute__((always_inline)) void addScaled(float* sums, const float* h, std::size_t count,
                                                     float c) {
  for (std::size_t l = 0; l < count; ++l) sums[l] += c * h[l];
}
inline __attribute__((always_inline)) void fadeInto(float* sums, double* acf, std::size_t count,
                                                    float by) {
  for (std::size_t l = 0; l < count; ++l) {
    sums[l] *= by;
    acf[l] = static_cast<double>(sums[l]);
  }
}

#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("avx2"))) void addScaledAvx2(float* sums, const float* h, std::size_t count,
                                                   float c) {
  addScaled(sums, h, count, c);
}
__attribute__((target("avx2"))) void fadeIntoAvx2(float* sums, double* acf, std::size_t count,
                                                  float by) {
  fadeInto(sums, acf, count, by);
}
#endif
}  // namespace

void TempoEvidence::settle() const {
  if (waiting == 0) return;
  // Over the frames waiting, x_1 .. x_n: acf = d^n (acf + sum of d^-j x_j h_j),
  // each frame a product and a sum per lag in singles, eight lags a vector.
  float* a = sums.data() + firstLag;
  const std::size_t count = lags - firstLag;
#if defined(__x86_64__) || defined(__i386__)
  const bool avx2 = vesk_kernels::InUse() == vesk_kernels::Unit::kAvx2;
#endif
  for (std::size_t j = 0; j < waiting; ++j) {
    const float c = static_cast<float>(pendingX[j] * grow[j + 1]);
    // Frame j was pushed waiting - 1 - j frames before the newest, that many
    // places further along the ring (the second copy where it wraps).
    const float* h = history.data() + now + (waiting - 1 - j) + firstLag;
#if defined(__x86_64__) || defined(__i386__)
    if (avx2) {
      addScaledAvx2(a, h, count, c);
      continue;
    }
#endif
    addScaled(a, h, count, c);
  }
  double* out = acf.data() + firstLag;
#if defined(__x86_64__) || defined(__i386__)
  if (avx2)
    fadeIntoAvx2(a, out, count, fadeBy[waiting]);
  else
#endif
    fadeInto(a, out, count, fadeBy[waiting]);
  waiting = 0;
}

const std::vector<double>& TempoEvidence::autocorrelation() const {
  settle();
  return acf;
}

void TempoEvidence::setAutocorrelation(const std::vector<double>& values) {
  if (values.size() != acf.size())
    throw std::invalid_argument("TempoEvidence: an autocorrelation of " +
                                std::to_string(values.size()) + " lags, expected " +
                                std::to_string(acf.size()));
  std::copy(values.begin(), values.end(), acf.begin());
  for (std::size_t l = 0; l < lags; ++l) sums[l] = static_cast<float>(values[l]);
  waiting = 0;
}

TempoEvidence::Window TempoEvidence::windowOf(double period, int multiple) const {
  // Within half a frame and half a frame per multiple more: a drifting tempo
  // smears the far multiples.
  const double centre = multiple * period, halfWidth = 0.5 + 0.5 * multiple;
  const long from = std::max(0L, static_cast<long>(std::ceil(centre - halfWidth)));
  const long to = std::min(static_cast<long>(lags) - 1, static_cast<long>(centre + halfWidth));
  return {static_cast<std::size_t>(std::min(from, to)), static_cast<std::size_t>(to)};
}

inline double TempoEvidence::highest(const Window& w) const {
  double best = 0.0;
  for (std::size_t l = w.from; l <= w.to; ++l) best = std::max(best, acf[l]);
  return best;
}

inline double TempoEvidence::peakShare(const Window& w, double scale) const {
  const double r = highest(w) * scale;
  return power == 2.0 ? r * r : std::pow(r, power);
}

void TempoEvidence::setPeriods(const std::vector<double>& periods) {
  settle();  // with the lags it kept until now
  windows.clear();
  for (double period : periods)
    for (int m = 1; m <= kMultiples; ++m) windows.push_back(windowOf(period, m));
  // refine() looks a frame further down than the first window, and one below
  // that for its parabola.
  std::size_t lowest = lags - 1;
  for (const Window& w : windows) lowest = std::min(lowest, w.from);
  firstLag = std::max<std::size_t>(1, lowest >= 3 ? lowest - 2 : 1);
}

void TempoEvidence::addCombs(double weight, std::vector<double>& out) const {
  settle();
  if (!(acf[0] > 0.0)) return;
  const double scale = 1.0 / acf[0];
  for (std::size_t i = 0; i < out.size() && (i + 1) * kMultiples <= windows.size(); ++i) {
    double sum = 0.0;
    for (int m = 0; m < kMultiples; ++m)
      sum += peakShare(windows[i * kMultiples + static_cast<std::size_t>(m)], scale);
    out[i] += weight * sum;
  }
}

double TempoEvidence::barComb(double period) const {
  if (reach != kBarMultiples)
    throw std::logic_error("TempoEvidence: the bar comb needs the autocorrelation's longer reach");
  settle();
  if (!(acf[0] > 0.0) || !(period > 0.0) || !(period <= longestPeriod + 1.0)) return 0.0;
  const double scale = 1.0 / acf[0];
  double sum = 0.0;
  for (int m = 1; m <= kBarMultiples; ++m) {
    Window w = windowOf(period, m);
    w.from = std::max(w.from, firstLag);  // lags below the first are not kept
    if (w.from <= w.to) sum += peakShare(w, scale);
  }
  return sum;
}

TempoEvidence::Grouping TempoEvidence::grouping(double period) const {
  if (reach != kBarMultiples)
    throw std::logic_error("TempoEvidence: the grouping needs the autocorrelation's longer reach");
  settle();
  Grouping g;
  if (!(acf[0] > 0.0) || !(period >= 1.0)) return g;
  // The mean peak share over the multiples that the lags reach; a narrow
  // window each (half a frame, and a twentieth more per multiple), so that
  // far multiples do not pick up the noise between the peaks.
  const auto meanShare = [&](std::initializer_list<int> multiples) {
    double sum = 0.0;
    int n = 0;
    for (int m : multiples) {
      const double share = shareWithin(m * period, 0.5 + 0.05 * m);
      if (share < 0.0) break;
      sum += share;
      ++n;
    }
    return n > 0 ? sum / n : -1.0;
  };
  const double threes = meanShare({3, 9, 15}), twos = meanShare({2, 4, 8, 10, 14, 16});
  if (threes < 0.0 || twos < 0.0) return g;
  g.threes = threes;
  g.twos = twos;
  return g;
}

double TempoEvidence::share(double period) const {
  settle();
  if (!(acf[0] > 0.0) || !(period >= 1.0)) return 0.0;
  return std::max(0.0, shareWithin(period, 0.5));
}

double TempoEvidence::shareWithin(double centre, double halfWidth) const {
  const long from =
      std::max(static_cast<long>(firstLag), static_cast<long>(std::ceil(centre - halfWidth)));
  const long to = static_cast<long>(centre + halfWidth);
  if (to >= static_cast<long>(lags)) return -1.0;
  const Window w{static_cast<std::size_t>(from), static_cast<std::size_t>(to)};
  return std::max(0.0, highest(w) / acf[0]);
}

double TempoEvidence::refine(double period) const {
  settle();
  // The peak of each multiple by a parabola through its highest lag and the
  // two beside it; the far multiples weigh more (a frame there is a finer step).
  double sum = 0.0, weights = 0.0;
  for (int m = 1; m <= kMultiples; ++m) {
    const long centre = std::lround(m * period);
    long best = -1;
    for (long l = std::max(1L, centre - m); l <= centre + m && l + 1 < static_cast<long>(lags); ++l)
      if (best < 0 || acf[static_cast<std::size_t>(l)] > acf[static_cast<std::size_t>(best)])
        best = l;
    if (best < 0) continue;
    const double y0 = acf[static_cast<std::size_t>(best - 1)];
    const double y1 = acf[static_cast<std::size_t>(best)];
    const double y2 = acf[static_cast<std::size_t>(best + 1)];
    const double curve = y0 - 2.0 * y1 + y2;
    if (!(curve < 0.0) || !(y1 > 0.0)) continue;
    const double offset = std::clamp(0.5 * (y0 - y2) / curve, -0.5, 0.5);
    sum += m * ((static_cast<double>(best) + offset) / m);
    weights += m;
  }
  if (!(weights > 0.0)) return period;
  const double refined = sum / weights;
  return std::abs(refined - period) <= 0.04 * period ? refined : period;
}

}  // namespace vesk_conditioning
