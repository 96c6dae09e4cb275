#include "voice_cancel/VoiceCancel.h"

#include <climits>
#include <cmath>
#include <cstdlib>
#include <new>
#include <stdexcept>
#include <string>

namespace {

// Settings of the per-bin cancellers: 8 taps at bin 0 falling toward 5, rings
// of 8 samples, means kept at zero, quiet reference bins passed through.
constexpr int kTapsBegin = 8;
constexpr int kTapsEnd = 5;
constexpr int kStride = 1;
constexpr double kErrorScale = 1.0;
constexpr double kRefScale = 1.0;
constexpr double kMu = 0.01;
constexpr double kErrorScaleStep = 0.01;
constexpr double kRefScaleStep = 0.01;
constexpr double kMeanRate = 0.0;
constexpr double kPowerFloor = 0.0001;

}  // namespace

VoiceCancel::VoiceCancel(std::uint64_t size) : size(size) {
  if (size > static_cast<std::uint64_t>(INT_MAX)) {
    throw std::invalid_argument("VoiceCancel: size " + std::to_string(size) +
                                " is too large; expected at most " + std::to_string(INT_MAX));
  }
  const auto bins = static_cast<unsigned>(size / 2 + 1);
  ref_rows = static_cast<double**>(calloc2dim(sizeof(double), bins, 2));
  mix_rows = static_cast<double**>(calloc2dim(sizeof(double), bins, 2));
  out_rows = static_cast<double**>(calloc2dim(sizeof(double), bins, 2));
  if (ref_rows != nullptr && mix_rows != nullptr && out_rows != nullptr) {
    semi_blind =
        new_SemiBlind(nullptr, static_cast<int>(size), kTapsBegin, kTapsEnd, kStride, kErrorScale,
                      kRefScale, kMu, kErrorScaleStep, kRefScaleStep, kMeanRate, kPowerFloor);
  }
  if (semi_blind == nullptr) {
    release();
    throw std::bad_alloc();
  }
}

VoiceCancel::~VoiceCancel() {
  release();
}

void VoiceCancel::release() {
  delete_SemiBlind(semi_blind, nullptr);
  std::free(ref_rows);
  std::free(mix_rows);
  std::free(out_rows);
  semi_blind = nullptr;
  ref_rows = mix_rows = out_rows = nullptr;
}

int VoiceCancel::ExecuteVoiceCancel(std::vector<FftComplex> reference,
                                    std::vector<FftComplex> mixture,
                                    std::vector<double>& magnitude) {
  const std::uint64_t bins = size / 2 + 1;
  if (reference.size() != bins || mixture.size() != bins || magnitude.size() != bins) return -1;
  for (std::uint64_t k = 0; k < bins; ++k) {
    mix_rows[k][0] = mixture[k].re;
    mix_rows[k][1] = mixture[k].im;
  }
  for (std::uint64_t k = 0; k < bins; ++k) {
    ref_rows[k][0] = reference[k].re;
    ref_rows[k][1] = reference[k].im;
  }
  separate_SemiBlind(semi_blind, mix_rows, out_rows, ref_rows, 1);
  for (std::uint64_t k = 0; k < bins; ++k) {
    magnitude[k] = std::sqrt(out_rows[k][0] * out_rows[k][0] + out_rows[k][1] * out_rows[k][1]);
  }
  return 0;
}
