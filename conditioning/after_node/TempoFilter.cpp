#include "conditioning/after_node/TempoFilter.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace vesk_conditioning {

namespace {
constexpr double kStateRatio = 1.01;

}

TempoFilter::TempoFilter(const Settings& s, double shortest, double longest, double frameRate)
    : settings(s) {
  if (!(shortest >= 1.0) || !(longest >= shortest) || !(longest < 1e5) || !(frameRate > 0.0) ||
      !(s.spreadStates > 0.0) || !(s.jump >= 0.0 && s.jump < 1.0) || !(s.sharpness >= 0.0) ||
      !(s.priorBpm > 0.0) || !(s.priorOctaves > 0.0) || !(s.trackerWeight >= 0.0) ||
      !(s.trackerTolerance > 0.0))
    throw std::invalid_argument("TempoFilter: period range, frame rate or settings out of range");
  for (double p = shortest; p <= longest * 1.0001; p *= kStateRatio) periods.push_back(p);
  const std::size_t n = periods.size();
  prior.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    const double octaves = std::log2(60.0 * frameRate / periods[i] / s.priorBpm) / s.priorOctaves;
    prior[i] = std::exp(-0.5 * octaves * octaves);
  }
  belief = prior;
  double total = 0.0;
  for (double b : belief) total += b;
  for (double& b : belief) b /= total;
  spread.resize(n);
  tracker.assign(n, 1.0);
  reach = std::max(1, static_cast<int>(std::ceil(3.0 * s.spreadStates)));
  kernel.resize(static_cast<std::size_t>(2 * reach + 1));
  double k = 0.0;
  for (int d = -reach; d <= reach; ++d) {
    const double z = d / s.spreadStates;
    kernel[static_cast<std::size_t>(d + reach)] = std::exp(-0.5 * z * z);
    k += kernel[static_cast<std::size_t>(d + reach)];
  }
  for (double& v : kernel) v /= k;
}

void TempoFilter::update(const std::vector<double>& comb, double trackerPeriod) {
  const long n = static_cast<long>(periods.size());
  if (trackerPeriod != lastTrackerPeriod) {
    // The tracker's weight per period: recomputed only when its period changes.
    lastTrackerPeriod = trackerPeriod;
    for (long i = 0; i < n; ++i) {
      const double z = trackerPeriod > 0.0
                           ? (periods[static_cast<std::size_t>(i)] / trackerPeriod - 1.0) /
                                 settings.trackerTolerance
                           : 1e3;
      tracker[static_cast<std::size_t>(i)] = 1.0 + settings.trackerWeight * std::exp(-0.5 * z * z);
    }
  }
  double top = 0.0;
  for (double c : comb) top = std::max(top, c);
  const double floor = settings.jump / static_cast<double>(n);
  double total = 0.0;
  const double* k = kernel.data() + reach;  // k[d] for d in -reach .. reach
  const double* b = belief.data();
  for (long i = 0; i < n; ++i) {
    double v = 0.0;
    if (i >= reach && i + reach < n) {
      for (long d = -reach; d <= reach; ++d) v += k[d] * b[i + d];
    } else {
      for (long d = -reach; d <= reach; ++d) v += k[d] * b[std::min(n - 1, std::max(0L, i + d))];
    }
    v = (1.0 - settings.jump) * v + floor;
    // The comb's evidence relative to its best period: no periodicity, no weight.
    if (top > 0.0) {
      const double c = std::max(0.0, comb[static_cast<std::size_t>(i)]) / top;
      v *= std::exp(settings.sharpness * (c - 1.0));
    }
    if (trackerPeriod > 0.0) v *= tracker[static_cast<std::size_t>(i)];
    v *= prior[static_cast<std::size_t>(i)];
    spread[static_cast<std::size_t>(i)] = v;
    total += v;
  }
  if (!(total > 0.0) || !std::isfinite(total)) return;  // keep the belief as it was
  for (long i = 0; i < n; ++i)
    belief[static_cast<std::size_t>(i)] = spread[static_cast<std::size_t>(i)] / total;
}

std::size_t TempoFilter::bestState() const {
  return static_cast<std::size_t>(std::max_element(belief.begin(), belief.end()) - belief.begin());
}

double TempoFilter::best() const {
  const std::size_t i = bestState();
  if (i == 0 || i + 1 >= belief.size()) return periods[i];
  // A parabola through the log belief at the peak and its neighbours.
  const double y0 = std::log(belief[i - 1] + 1e-300), y1 = std::log(belief[i] + 1e-300),
               y2 = std::log(belief[i + 1] + 1e-300);
  const double curve = y0 - 2.0 * y1 + y2;
  const double offset = curve < 0.0 ? std::clamp(0.5 * (y0 - y2) / curve, -0.5, 0.5) : 0.0;
  return periods[i] * std::pow(kStateRatio, offset);
}

}  // namespace vesk_conditioning
