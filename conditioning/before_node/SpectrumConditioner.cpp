#include "conditioning/before_node/SpectrumConditioner.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "common/VectorKernels.h"
#include "conditioning/before_node/FastLog.h"

namespace vesk_conditioning {

namespace {

struct Named {
  const char* name;
  ConditionerSettings settings;
};

// A tuned front end: the gate off (hosts set it), the stages given.
ConditionerSettings preset(double compressLambda, double whitenDecay, double lowPassHz) {
  ConditionerSettings s;
  s.compressLambda = compressLambda;
  s.whitenDecay = whitenDecay;
  s.lowPassHz = lowPassHz;
  return s;
}

// "none" is the plain spectrum. The others were chosen on the tuning half of
// the evaluation corpus (eval/): see docs/how-the-defaults-were-chosen.md.
const Named kNamed[] = {
    {"none", ConditionerSettings{}},
    {"log", preset(1.0, 0.0, 0.0)},
    {"log-bass", preset(1.0, 0.0, 1500.0)},
    {"whiten", preset(100.0, 0.997, 0.0)},
};

void require(bool ok, const std::string& what) {
  if (!ok) throw std::invalid_argument(what);
}

}  // namespace

bool isPlain(const ConditionerSettings& s) {
  return !(s.gateDb > ConditionerSettings().gateDb) && s.whitenDecay == 0.0 &&
         s.compressLambda == 0.0 && s.lowPassHz == 0.0;
}

const std::vector<std::string>& conditionerNames() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> all;
    for (const Named& n : kNamed) all.push_back(n.name);
    return all;
  }();
  return names;
}

ConditionerSettings conditionerNamed(const std::string& name) {
  std::string allowed;
  for (const Named& n : kNamed) {
    if (name == n.name) return n.settings;
    allowed += (allowed.empty() ? "" : ", ") + std::string(n.name);
  }
  throw std::invalid_argument("unknown front end '" + name + "' (allowed: " + allowed + ")");
}

SpectrumConditioner::SpectrumConditioner(const ConditionerSettings& s, std::size_t binCount,
                                         double sampleRate, double power)
    : settings(s),
      bins(binCount),
      windowPower(power),
      peaks(binCount),
      weights(binCount, 1.0f),
      magnitudes(binCount),
      original(binCount) {
  require(bins >= 2, "a spectrum needs at least 2 bins, got " + std::to_string(bins));
  require(sampleRate > 0.0 && std::isfinite(sampleRate), "the sample rate must be positive");
  require(windowPower > 0.0 && std::isfinite(windowPower), "the window power must be positive");
  require(std::isfinite(s.whitenDecay) && s.whitenDecay >= 0.0 && s.whitenDecay < 1.0,
          "the whitening decay must lie in [0, 1), got " + std::to_string(s.whitenDecay));
  require(std::isfinite(s.whitenFloor) && s.whitenFloor > 0.0,
          "the whitening floor must be positive, got " + std::to_string(s.whitenFloor));
  require(std::isfinite(s.compressLambda) && s.compressLambda >= 0.0,
          "the compression must be 0 or more, got " + std::to_string(s.compressLambda));
  require(std::isfinite(s.lowPassHz) && s.lowPassHz >= 0.0,
          "the low-pass corner must be 0 or more Hz, got " + std::to_string(s.lowPassHz));
  require(!std::isnan(s.gateDb), "the gate level must be a number");
  require(s.gateHoldFrames >= 0, "the gate hold must be 0 or more frames");
  if (s.lowPassHz > 0.0) {
    const double binHz = sampleRate / (2.0 * static_cast<double>(bins - 1));
    for (std::size_t k = 0; k < bins; ++k)
      weights[k] = static_cast<float>(1.0 / (1.0 + static_cast<double>(k) * binHz / s.lowPassHz));
  }
  reset();
}

void SpectrumConditioner::reset() {
  std::fill(peaks.begin(), peaks.end(), static_cast<float>(settings.whitenFloor));
  lastLevelDb = -400.0;
  open = false;
  framesBelow = 0;
}

inline __attribute__((always_inline)) void SpectrumConditioner::processLoops(
    std::complex<float>* x) {
  // The bins as floats, real and imaginary parts interleaved (the layout
  // std::complex guarantees), so that every stage is a plain loop the
  // compiler vectorises.
  float* xy = reinterpret_cast<float*>(x);
  float* m = magnitudes.data();
  for (std::size_t k = 0; k < bins; ++k) {
    const float re = xy[2 * k], im = xy[2 * k + 1];
    const float magnitude = std::sqrt(re * re + im * im);
    // A value without size says nothing about the beat.
    const bool usable = magnitude <= std::numeric_limits<float>::max();
    m[k] = usable ? magnitude : 0.0f;
    xy[2 * k] = usable ? re : 0.0f;
    xy[2 * k + 1] = usable ? im : 0.0f;
  }

  // The frame's mean power by Parseval over the one-sided spectrum, relative
  // to the window's, in dB where a full-scale sine is 0.
  // Four sums side by side: one running sum would wait on every addition.
  double lanes[4] = {0.0, 0.0, 0.0, 0.0};
  std::size_t k = 1;
  for (; k + 4 < bins; k += 4)
    for (std::size_t j = 0; j < 4; ++j) lanes[j] += static_cast<double>(m[k + j]) * m[k + j];
  for (; k + 1 < bins; ++k) lanes[0] += static_cast<double>(m[k]) * m[k];
  const double energy = static_cast<double>(m[0]) * m[0] +
                        static_cast<double>(m[bins - 1]) * m[bins - 1] +
                        2.0 * ((lanes[0] + lanes[1]) + (lanes[2] + lanes[3]));
  const double n = 2.0 * static_cast<double>(bins - 1);
  const double meanSquare = energy / n / windowPower;
  lastLevelDb = meanSquare > 0.0 ? 10.0 * std::log10(2.0 * meanSquare) : -400.0;
  if (!(lastLevelDb < settings.gateDb)) {
    open = true;
    framesBelow = 0;
  } else if (++framesBelow > settings.gateHoldFrames) {
    open = false;
  }
  if (!open) {
    std::fill(xy, xy + 2 * bins, 0.0f);
    return;
  }

  float* before = original.data();
  std::copy(m, m + bins, before);
  if (settings.whitenDecay > 0.0) {
    const float decay = static_cast<float>(settings.whitenDecay);
    const float floor = static_cast<float>(settings.whitenFloor);
    float* p = peaks.data();
    for (std::size_t k = 0; k < bins; ++k) {
      p[k] = std::max(std::max(m[k], floor), decay * p[k]);
      m[k] /= p[k];
    }
  }
  if (settings.compressLambda > 0.0) {
    const float lambda = static_cast<float>(settings.compressLambda);
    for (std::size_t k = 0; k < bins; ++k) m[k] = logAtLeastOne(1.0f + lambda * m[k]);
  }
  // Each bin keeps its phase and takes its new magnitude. A bin without
  // magnitude stays 0: every stage maps 0 to 0, so its gain does not matter.
  const float* w = weights.data();
  for (std::size_t k = 0; k < bins; ++k) {
    const float gain = m[k] * w[k] / std::max(before[k], std::numeric_limits<float>::min());
    xy[2 * k] *= gain;
    xy[2 * k + 1] *= gain;
  }
}

void SpectrumConditioner::process(std::complex<float>* x) {
#if defined(__x86_64__) || defined(__i386__)
  if (vesk_kernels::InUse() == vesk_kernels::Unit::kAvx2) return processAvx2(x);
#endif
  processBase(x);
}

void SpectrumConditioner::processBase(std::complex<float>* x) {
  processLoops(x);
}

#if defined(__x86_64__) || defined(__i386__)
// The same loops, twice as wide. Every operation (products, square roots,
// quotients) is exact IEEE arithmetic and no multiply-add is fused, so the
// bits are those of processBase.
__attribute__((target("avx2"))) void SpectrumConditioner::processAvx2(std::complex<float>* x) {
  processLoops(x);
}
#endif

}  // namespace vesk_conditioning
