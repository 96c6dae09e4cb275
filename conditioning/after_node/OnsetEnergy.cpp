#include "conditioning/after_node/OnsetEnergy.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

#include "common/VectorKernels.h"
#include "conditioning/before_node/FastLog.h"

namespace vesk_conditioning {

OnsetEnergy::OnsetEnergy(const Settings& s, std::size_t binCount, double binHz)
    : settings(s),
      bins(binCount),
      lastLog(binCount, 0.0f),
      logNow(binCount),
      rises(binCount),
      weight(binCount, 1.0f) {
  if (bins < 2 || !(binHz > 0.0) || !(s.weightHz >= 0.0) ||
      !(s.floorDecay >= 0.0 && s.floorDecay < 1.0) || !(s.floorRatio >= 0.0))
    throw std::invalid_argument("OnsetEnergy: bins, bin width and settings out of range");
  if (s.weightHz > 0.0)
    for (std::size_t k = 0; k < bins; ++k)
      weight[k] = static_cast<float>(1.0 / (1.0 + static_cast<double>(k) * binHz / s.weightHz));
  if (s.activation && !s.bands)
    throw std::invalid_argument("OnsetEnergy: the activation is computed with the bands");
  if (s.bands) bandOnsets.emplace(bins, binHz);
  if (s.activation) activation.emplace(bins, binHz);
}

OnsetEnergy::Value OnsetEnergy::process(const std::complex<float>* x) {
#if defined(__x86_64__) || defined(__i386__)
  if (vesk_kernels::InUse() == vesk_kernels::Unit::kAvx2) return processAvx2(x);
#endif
  return processLoops(x);
}

#if defined(__x86_64__) || defined(__i386__)
// The same loops, twice as wide. Products, sums and the logarithm's
// polynomial are exact IEEE arithmetic with no multiply-add fused, and the
// sum keeps its lanes and order, so the value is that of the plain loops.
__attribute__((target("avx2"))) OnsetEnergy::Value OnsetEnergy::processAvx2(
    const std::complex<float>* x) {
  return processLoops(x);
}
#endif

inline __attribute__((always_inline)) OnsetEnergy::Value OnsetEnergy::processLoops(
    const std::complex<float>* x) {
  // Each step in a loop of its own, which the compiler vectorises; the sum
  // last, in a fixed order.
  const float* xy = reinterpret_cast<const float*>(x);
  float* now = logNow.data();
  const std::size_t count = bins;
  int sounding = 0;
  for (std::size_t k = 0; k < count; ++k) {
    const float p = xy[2 * k] * xy[2 * k] + xy[2 * k + 1] * xy[2 * k + 1];
    now[k] = p <= std::numeric_limits<float>::max() ? p : 0.0f;
    sounding |= now[k] != 0.0f;
  }
  BandOnsets::Value bands;
  if (bandOnsets) bands = bandOnsets->processPowers(now);
  // log(1 + 10^6 |X|^2) / 2, about log(1000 |X|) for any audible bin.
  for (std::size_t k = 0; k < count; ++k) now[k] = 0.5f * logAtLeastOne(1.0f + 1e6f * now[k]);
  const float* last = lastLog.data();
  BeatActivation::Inputs inputs;
  if (activation) activation->bandRises(now, last, inputs);
  const float* w = weight.data();
  float* up = rises.data();
  for (std::size_t k = 0; k < count; ++k) {
    const float rise = now[k] - last[k];
    up[k] = w[k] * (rise > 0.0f ? rise : 0.0f);
  }
  // Eight running sums, added in a fixed order: the same result on every
  // machine, and no chain of dependent additions across all the bins.
  float lanes[8] = {};
  std::size_t k = 0;
  for (; k + 8 <= count; k += 8)
    for (std::size_t j = 0; j < 8; ++j) lanes[j] += up[k + j];
  for (; k < count; ++k) lanes[0] += up[k];
  double energy = 0.0;
  for (float lane : lanes) energy += lane;
  std::copy(now, now + count, lastLog.data());

  mean = settings.floorDecay * mean + (1.0 - settings.floorDecay) * energy;
  Value value{std::max(0.0, energy - settings.floorRatio * mean), sounding != 0, bands};
  if (activation) {
    constexpr std::size_t k = BeatActivation::kBands;
    inputs[k] = static_cast<float>(value.energy);
    inputs[k + 1] = static_cast<float>(bands.low);
    inputs[k + 2] = static_cast<float>(bands.mid);
    inputs[k + 3] = static_cast<float>(bands.high);
    value.activation = activation->process(inputs);
    value.activationInputs = inputs;
  }
  return value;
}

}  // namespace vesk_conditioning
