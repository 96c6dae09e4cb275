#include "conditioning/after_node/BandOnsets.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace vesk_conditioning {

namespace {
constexpr double kLowTopHz = 150.0;
constexpr double kHighBottomHz = 3500.0;
constexpr double kHighTopHz = 12000.0;

// Per bin, so that the bands' rises are alike in scale.
double perBinLog(double sum, std::size_t from, std::size_t to) {
  return std::log1p(1e6 * sum / static_cast<double>(std::max<std::size_t>(1, to - from)));
}

double bandLog(const std::complex<float>* x, std::size_t from, std::size_t to) {
  double sum = 0.0;
  for (std::size_t k = from; k < to; ++k) {
    const double p = static_cast<double>(std::norm(x[k]));
    if (std::isfinite(p)) sum += p;
  }
  return perBinLog(sum, from, to);
}

double bandLog(const float* power, std::size_t from, std::size_t to) {
  double sum = 0.0;
  for (std::size_t k = from; k < to; ++k) sum += static_cast<double>(power[k]);
  return perBinLog(sum, from, to);
}
}  // namespace

BandOnsets::BandOnsets(std::size_t bins, double binHz) {
  if (bins < 4 || !(binHz > 0.0) || !std::isfinite(binHz))
    throw std::invalid_argument("BandOnsets: bins and bin width out of range");
  auto bin = [&](double hz) {
    return std::min(bins, static_cast<std::size_t>(std::lround(hz / binHz)));
  };
  lowBegin = 1;  // not the constant offset
  lowEnd = std::min(bins - 1, std::max(lowBegin + 1, bin(kLowTopHz) + 1));
  highEnd = std::max<std::size_t>(2, bin(kHighTopHz));
  highBegin = std::min(highEnd - 1, bin(kHighBottomHz));
}

template <typename Bins>
BandOnsets::Value BandOnsets::rises(const Bins* x) {
  const double low = bandLog(x, lowBegin, lowEnd);
  const double high = bandLog(x, highBegin, highEnd);
  const double mid = bandLog(x, lowEnd, std::max(lowEnd + 1, highBegin));
  Value v{std::max(0.0, low - lastLow), std::max(0.0, high - lastHigh),
          std::max(0.0, mid - lastMid)};
  lastLow = low;
  lastHigh = high;
  lastMid = mid;
  return v;
}

BandOnsets::Value BandOnsets::process(const std::complex<float>* spectrum) {
  return rises(spectrum);
}

BandOnsets::Value BandOnsets::processPowers(const float* power) {
  return rises(power);
}

}  // namespace vesk_conditioning
