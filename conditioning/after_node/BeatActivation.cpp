#include "conditioning/after_node/BeatActivation.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>

#include "common/VectorKernels.h"
#include "conditioning/after_node/BeatActivationWeights.h"
#include "conditioning/before_node/FastLog.h"

namespace vesk_conditioning {

namespace w = activation_weights;

namespace {
// The bands' edges, Hz: a third of an octave apart or so above 500 Hz, finer
// below, where kick, bass and toms lie close together.
constexpr double kEdgesHz[BeatActivation::kBands + 1] = {
    31, 62, 94, 125, 188, 250, 344, 500, 719, 1000, 1406, 2000, 2812, 4000, 5656, 8000};
constexpr int kFeatures = 2 * BeatActivation::kInputs;  // per frame
constexpr double kFloor = 1e-3;                         // added to a running mean
// log(1 + x) for x >= 0, within 1e-4: the library's took a tenth of the
// activation's time, and the network needs no more digits.
inline double logOnePlus(double x) {
  return x < 1e30 ? static_cast<double>(logAtLeastOne(static_cast<float>(1.0 + x))) : std::log1p(x);
}

// The hidden units' sums: per feature, its value times its row of weights
// (kLanes of them, the padding 0) added to the sums. Lane by lane, in eight
// lanes at a time, no sum reordered: the same values on every machine.
typedef float Lanes __attribute__((vector_size(32)));
static_assert(BeatActivation::kLanes == 16, "two vectors of eight lanes");

inline __attribute__((always_inline)) void accumulate(float* sums, const float* weights,
                                                      const float* features, int count) {
  Lanes a, b, w0, w1;
  std::memcpy(&a, sums, sizeof a);
  std::memcpy(&b, sums + 8, sizeof b);
  for (int j = 0; j < count; ++j) {
    const float* row = weights + j * BeatActivation::kLanes;
    std::memcpy(&w0, row, sizeof w0);
    std::memcpy(&w1, row + 8, sizeof w1);
    const float f = features[j];
    a += f * w0;
    b += f * w1;
  }
  std::memcpy(sums, &a, sizeof a);
  std::memcpy(sums + 8, &b, sizeof b);
}

#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("avx2"))) void accumulateAvx2(float* sums, const float* weights,
                                                    const float* features, int count) {
  accumulate(sums, weights, features, count);
}
#endif
static_assert(w::kInputs == BeatActivation::kInputs && w::kFeatures == kFeatures * w::kFrames &&
                  w::kHidden <= BeatActivation::kLanes,
              "the weights are for these inputs");
}  // namespace

BeatActivation::BeatActivation(std::size_t binCount, double binHz)
    : context(static_cast<std::size_t>(kFeatures * w::kFrames), 0.0f),
      weights(static_cast<std::size_t>(w::kFeatures * kLanes), 0.0f) {
  if (binCount < 2 || !(binHz > 0.0) || !std::isfinite(binHz))
    throw std::invalid_argument("BeatActivation: bins and bin width out of range");
  // Edges beyond the highest bin are clipped to it; a band is a bin at least.
  const auto bin = [&](int edge) {
    return static_cast<std::size_t>(std::lround(kEdgesHz[edge] / binHz));
  };
  for (std::size_t b = 0; b < kBands; ++b) {
    from[b] = std::min(bin(static_cast<int>(b)), binCount - 1);
    to[b] = std::min(std::max(bin(static_cast<int>(b) + 1), from[b] + 1), binCount);
  }
  // The features' standardisation folded into the weights and the biases.
  std::array<double, kLanes> folded{};
  for (int h = 0; h < w::kHidden; ++h) folded[static_cast<std::size_t>(h)] = w::kHiddenBias[h];
  for (int j = 0; j < w::kFeatures; ++j)
    for (int h = 0; h < w::kHidden; ++h) {
      const double scaled = w::kHiddenWeights[j][h] / w::kSpread[j];
      weights[static_cast<std::size_t>(j * kLanes + h)] = static_cast<float>(scaled);
      folded[static_cast<std::size_t>(h)] -= w::kMean[j] * scaled;
    }
  for (int h = 0; h < kLanes; ++h)
    bias[static_cast<std::size_t>(h)] = static_cast<float>(folded[static_cast<std::size_t>(h)]);
}

void BeatActivation::bandRises(const float* now, const float* lastLog, Inputs& inputs) const {
  for (std::size_t b = 0; b < kBands; ++b) {
    float sum = 0.0f;
    for (std::size_t k = from[b]; k < to[b]; ++k) {
      const float rise = now[k] - lastLog[k];
      sum += rise > 0.0f ? rise : 0.0f;
    }
    inputs[b] = sum / static_cast<float>(to[b] - from[b]);
  }
}

double BeatActivation::process(const Inputs& inputs) {
  // The oldest frame's features make room for this one's.
  std::copy_backward(context.begin(), context.end() - kFeatures, context.end());
  for (int i = 0; i < kInputs; ++i) {
    const std::size_t k = static_cast<std::size_t>(i);
    const float v = inputs[k];
    const double x = std::isfinite(v) && v > 0.0f ? static_cast<double>(v) : 0.0;
    mean[k] = w::kMeanDecay * mean[k] + (1.0 - w::kMeanDecay) * x;
    context[k] = static_cast<float>(logOnePlus(x));
    context[k + kInputs] = static_cast<float>(logOnePlus(x / (mean[k] + kFloor)));
  }
  std::array<float, kLanes> hidden = bias;
#if defined(__x86_64__) || defined(__i386__)
  if (vesk_kernels::InUse() == vesk_kernels::Unit::kAvx2)
    accumulateAvx2(hidden.data(), weights.data(), context.data(), w::kFeatures);
  else
#endif
    accumulate(hidden.data(), weights.data(), context.data(), w::kFeatures);
  double z = w::kOutputBias;
  for (int h = 0; h < w::kHidden; ++h)
    z += std::tanh(static_cast<double>(hidden[static_cast<std::size_t>(h)])) * w::kOutputWeights[h];
  return 1.0 / (1.0 + std::exp(-z));
}

}  // namespace vesk_conditioning
