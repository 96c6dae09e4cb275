#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "voice_cancel/SemiBlind.h"

namespace {

// Smallest power of two 2^k (k >= 1) not below taps x stride, or 0 when that
// exceeds 2^31.
std::int64_t ringLength(int taps, int stride) {
  const std::int64_t need = static_cast<std::int64_t>(taps) * stride;
  std::int64_t length = 2;
  while (length < need) length *= 2;
  return length > (std::int64_t{1} << 31) ? 0 : length;
}

// Ring index of tap j: wraps like two's-complement int arithmetic, without
// signed overflow whatever the stride.
inline int tapIndex(int pos, int j, int stride, int mask) {
  const unsigned index =
      static_cast<unsigned>(pos) - static_cast<unsigned>(j) * static_cast<unsigned>(stride);
  return static_cast<int>(index & static_cast<unsigned>(mask));
}

// A dither in [0, 0.001] from the process-wide generator.
inline double dither() {
  return std::rand() * 0.001 / 2147483647.0;
}

}  // namespace

extern "C" FD_ICA* new_FD_ICA(int taps, int stride, double error_scale, double ref_scale, double mu,
                              double error_scale_step, double ref_scale_step, double mean_rate,
                              double power_floor) {
  if (taps < 0) {
    std::fprintf(stderr, "new_FD_ICA: taps %d is negative; expected 0 or more\n", taps);
    return nullptr;
  }
  const std::int64_t ring = ringLength(taps, stride);
  if (ring == 0) {
    std::fprintf(stderr, "new_FD_ICA: taps %d x stride %d needs a ring above 2^31 entries\n", taps,
                 stride);
    return nullptr;
  }
  auto* ica = static_cast<FD_ICA*>(std::calloc(1, sizeof(FD_ICA)));
  if (ica == nullptr) return nullptr;
  ica->coef = static_cast<double*>(
      std::calloc(taps == 0 ? 1 : 2 * static_cast<std::size_t>(taps), sizeof(double)));
  ica->ref_history =
      static_cast<double*>(std::calloc(2 * static_cast<std::size_t>(ring), sizeof(double)));
  ica->scaled_ref_history =
      static_cast<double*>(std::calloc(2 * static_cast<std::size_t>(ring), sizeof(double)));
  if (ica->coef == nullptr || ica->ref_history == nullptr || ica->scaled_ref_history == nullptr) {
    delete_FD_ICA(ica);
    return nullptr;
  }
  ica->taps = taps;
  ica->stride = stride;
  ica->mask = static_cast<int>(ring - 1);
  ica->error_scale = error_scale;
  ica->ref_scale = ref_scale;
  ica->mu = mu;
  ica->error_scale_step = error_scale_step;
  ica->ref_scale_step = ref_scale_step;
  ica->mean_rate = mean_rate;
  ica->power_floor = power_floor < 0.0 ? 1e-10 : power_floor;
  return ica;
}

extern "C" void delete_FD_ICA(FD_ICA* ica) {
  if (ica == nullptr) return;
  std::free(ica->coef);
  std::free(ica->ref_history);
  std::free(ica->scaled_ref_history);
  std::free(ica);
}

extern "C" int cancel_FD_ICA(FD_ICA* ica, const double* mix, double* out, const double* ref,
                             int count) {
  if (ica == nullptr) {
    std::fprintf(stderr, "cancel_FD_ICA: ica is null; expected a canceller from new_FD_ICA\n");
    return -1;
  }
  if (count > 0) {
    const char* missing = mix == nullptr   ? "mix"
                          : out == nullptr ? "out"
                          : ref == nullptr ? "ref"
                                           : nullptr;
    if (missing != nullptr) {
      std::fprintf(stderr,
                   "cancel_FD_ICA: %s is null; expected an array of 2 x count = %lld doubles\n",
                   missing, 2LL * count);
      return -1;
    }
  }
  double* const w = ica->coef;
  double* const x = ica->ref_history;
  double* const y = ica->scaled_ref_history;
  const int taps = ica->taps;
  const int stride = ica->stride;
  const int mask = ica->mask;
  for (int i = 0; i < count; ++i) {
    // Read the inputs first: out may share storage with mix or ref.
    const double mix_re = mix[2 * i];
    const double mix_im = mix[2 * i + 1];
    const double ref_re = ref[2 * i];
    const double ref_im = ref[2 * i + 1];
    const int p = ica->pos;

    x[2 * p] = ref_re;
    x[2 * p + 1] = ref_im;
    // Too little reference in this sample to learn from: pass the mixture on
    // and leave the state as it is (x[p] is overwritten by the next sample).
    if (ica->power_floor > ref_re * ref_re + ref_im * ref_im) {
      out[2 * i] = mix_re;
      out[2 * i + 1] = mix_im;
      continue;
    }

    double echo_re = 0.0;
    double echo_im = 0.0;
    for (int j = 0; j < taps; ++j) {
      const int k = tapIndex(p, j, stride, mask);
      echo_re += w[2 * j] * x[2 * k] - w[2 * j + 1] * x[2 * k + 1];
      echo_im += w[2 * j] * x[2 * k + 1] + w[2 * j + 1] * x[2 * k];
    }
    const double out_re = mix_re - echo_re;
    const double out_im = mix_im - echo_im;
    out[2 * i] = out_re;
    out[2 * i + 1] = out_im;

    const double u_re = ica->error_scale * (out_re - ica->error_mean[0]);
    const double u_im = ica->error_scale * (out_im - ica->error_mean[1]);
    y[2 * p] = ica->ref_scale * (x[2 * p] - ica->ref_mean[0]);
    y[2 * p + 1] = ica->ref_scale * (x[2 * p + 1] - ica->ref_mean[1]);

    const double d1 = dither();
    const double d2 = dither();
    const double r_u = std::sqrt(u_re * u_re + u_im * u_im) + d1;
    const double r_y = std::sqrt(y[2 * p] * y[2 * p] + y[2 * p + 1] * y[2 * p + 1]) + d2;

    // phi has the direction of u and the magnitude tanh(r_u). At r_u = 0
    // tanh(r)/r tends to 1, so phi is u itself (zero when u is zero).
    const double tanh_u = std::tanh(r_u);
    double phi_re = u_re;
    double phi_im = u_im;
    if (r_u != 0.0) {
      phi_re = u_re * tanh_u / r_u;
      phi_im = u_im * tanh_u / r_u;
    }

    // The echo estimate above used the coefficients from before this update.
    for (int j = 0; j < taps; ++j) {
      const int k = tapIndex(p, j, stride, mask);
      const double yr = y[2 * k];
      const double yi = y[2 * k + 1];
      w[2 * j] += ica->mu * (yr * phi_re + yi * phi_im);
      w[2 * j + 1] += ica->mu * (yr * phi_im - yi * phi_re);
    }

    ica->error_scale = std::fabs(ica->error_scale +
                                 ica->error_scale_step * (1.0 - r_u * tanh_u) * ica->error_scale);
    ica->ref_scale = std::fabs(ica->ref_scale +
                               ica->ref_scale_step * (1.0 - r_y * std::tanh(r_y)) * ica->ref_scale);

    ica->error_mean[0] += ica->mean_rate * (out_re - ica->error_mean[0]);
    ica->error_mean[1] += ica->mean_rate * (out_im - ica->error_mean[1]);
    ica->ref_mean[0] += ica->mean_rate * (ref_re - ica->ref_mean[0]);
    ica->ref_mean[1] += ica->mean_rate * (ref_im - ica->ref_mean[1]);

    ica->pos = (p + 1) & mask;
  }
  return 0;
}
