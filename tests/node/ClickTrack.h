#ifndef VESK_TESTS_NODE_CLICKTRACK_H
#define VESK_TESTS_NODE_CLICKTRACK_H

// Frames of a click track at a steady tempo, as an audio front end would
// deliver them: "AUDIO" windows of n samples advancing by hop, and their
// Hann-windowed spectra.

#include <fftw3.h>

#include <cmath>
#include <complex>
#include <memory>
#include <vector>

#include "node/host/Matrix.h"

namespace node_test {

class ClickTrack {
 public:
  ClickTrack(int rate, double bpm, std::size_t n, std::size_t hop, double seconds)
      : n(n), hop(hop), samples(static_cast<std::size_t>(rate * seconds), 0.0f) {
    const double period = 60.0 / bpm * rate;
    for (double at = period / 2; at < samples.size(); at += period) {
      // A short decaying burst of a few harmonics: broadband, like a stick.
      const auto start = static_cast<std::size_t>(at);
      for (std::size_t i = 0; i < 400 && start + i < samples.size(); ++i) {
        double decay = std::exp(-static_cast<double>(i) / 60.0);
        samples[start + i] = static_cast<float>(
            decay * (std::sin(0.9 * i) + 0.6 * std::sin(2.3 * i) + 0.4 * std::sin(0.31 * i)));
      }
    }
    in = fftw_alloc_real(n);
    out = fftw_alloc_complex(n / 2 + 1);
    plan = fftw_plan_dft_r2c_1d(static_cast<int>(n), in, out, FFTW_ESTIMATE);
  }
  ~ClickTrack() {
    fftw_destroy_plan(plan);
    fftw_free(in);
    fftw_free(out);
  }
  ClickTrack(const ClickTrack&) = delete;
  ClickTrack& operator=(const ClickTrack&) = delete;

  int frames() const { return static_cast<int>(samples.size() / hop); }

  // Sample i of frame f's window, 0 before the signal starts.
  float sample(int f, std::size_t i) const {
    long long at = static_cast<long long>(f) * hop + hop - n + i;
    return at < 0 || at >= static_cast<long long>(samples.size()) ? 0.0f : samples[at];
  }

  RL::Matrix<float>* audio(int f, std::size_t channels = 1) const {
    auto* m = new RL::Matrix<float>(channels, n);
    for (std::size_t c = 0; c < channels; ++c)
      for (std::size_t i = 0; i < n; ++i) (*m)(c, i) = sample(f, i);
    return m;
  }

  RL::Matrix<std::complex<float>>* spectrum(int f) {
    for (std::size_t i = 0; i < n; ++i)
      in[i] = sample(f, i) * (0.5 - 0.5 * std::cos(2.0 * M_PI * i / n));
    fftw_execute(plan);
    auto* m = new RL::Matrix<std::complex<float>>(1, n / 2 + 1);
    for (std::size_t k = 0; k <= n / 2; ++k)
      (*m)(0, k) =
          std::complex<float>(static_cast<float>(out[k][0]), static_cast<float>(out[k][1]));
    return m;
  }

 private:
  std::size_t n;
  std::size_t hop;
  std::vector<float> samples;
  double* in;
  fftw_complex* out;
  fftw_plan plan;
};

}  // namespace node_test

#endif
