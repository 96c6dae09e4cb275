#include "tests/tracking/DirectFrames.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>

#include <fftw3.h>

std::vector<float> Tone(std::size_t frames, int channels) {
  std::vector<float> x(frames * channels);
  for (std::size_t i = 0; i < x.size(); ++i)
    x[i] = static_cast<float>(0.6 * std::sin(0.01 * i) + 0.3 * std::sin(0.37 * i + i % 3));
  return x;
}

std::vector<Frame> Direct(const std::vector<float>& samples, int channels,
                          const vesk_tracking::FrameFormat& f) {
  const std::int64_t n = static_cast<std::int64_t>(samples.size() / channels);
  const WindowFunction window(f.length, f.window);
  double* in = fftw_alloc_real(f.length);
  fftw_complex* out = fftw_alloc_complex(f.length / 2 + 1);
  fftw_plan plan = fftw_plan_dft_r2c_1d(f.length, in, out, FFTW_ESTIMATE);
  double power = 0.0;
  for (int j = 0; j < f.length; ++j) power += window[j] * window[j];
  std::optional<vesk_conditioning::SpectrumConditioner> frontEnd;
  if (f.frontEnd) frontEnd.emplace(*f.frontEnd, f.length / 2 + 1, f.rate, power);
  std::vector<Frame> frames;
  for (std::int64_t start = 0; start < n; start += f.hop) {
    Frame frame;
    frame.newSamples = static_cast<int>(std::min<std::int64_t>(f.hop, n - start));
    for (int c = 0; c < channels; ++c)
      for (int j = 0; j < f.length; ++j) {
        const std::int64_t t = start + f.hop - f.length + j;
        frame.audio.push_back(t >= 0 && t < n ? samples[t * channels + c] : 0.0f);
      }
    for (int j = 0; j < f.length; ++j) {
      double sum = 0.0;
      for (int c = 0; c < channels; ++c) sum += frame.audio[c * f.length + j];
      in[j] = sum / channels * window[j];
    }
    fftw_execute(plan);
    for (int k = 0; k <= f.length / 2; ++k)
      frame.spectrum.emplace_back(static_cast<float>(out[k][0]), static_cast<float>(out[k][1]));
    if (frontEnd) frontEnd->process(frame.spectrum.data());
    frames.push_back(std::move(frame));
  }
  fftw_destroy_plan(plan);
  fftw_free(in);
  fftw_free(out);
  return frames;
}

void ExpectSameFrames(const std::vector<Frame>& a, const std::vector<Frame>& b,
                      const std::string& what) {
  ASSERT_EQ(a.size(), b.size()) << what;
  for (std::size_t f = 0; f < a.size(); ++f) {
    ASSERT_EQ(a[f].audio.size(), b[f].audio.size()) << what;
    ASSERT_EQ(a[f].spectrum.size(), b[f].spectrum.size()) << what;
    EXPECT_EQ(a[f].newSamples, b[f].newSamples) << what << ", frame " << f;
    EXPECT_EQ(0, std::memcmp(a[f].audio.data(), b[f].audio.data(), a[f].audio.size() * 4))
        << what << ", audio of frame " << f;
    EXPECT_EQ(0, std::memcmp(a[f].spectrum.data(), b[f].spectrum.data(),
                             a[f].spectrum.size() * sizeof(std::complex<float>)))
        << what << ", spectrum of frame " << f;
  }
}
