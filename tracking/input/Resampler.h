#ifndef VESK_TRACKING_RESAMPLER_H
#define VESK_TRACKING_RESAMPLER_H

#include <cstddef>
#include <vector>

#include <soxr.h>

namespace vesk_tracking {

// Streaming sample-rate conversion of interleaved floats (libsoxr, high
// quality: passband to 91 % of the output Nyquist frequency, 20-bit stop band).
// With `lowLatency` (live input) the filter is minimum-phase and works in
// short blocks: it holds samples back some 5 ms (at most 10) instead of 21
// (at most 37) from 48 to 16 kHz, the same stop band, a phase that is no
// longer linear.
class Resampler {
 public:
  // Throws AudioError when the converter cannot be made.
  Resampler(int channels, int fromRate, int toRate, bool lowLatency = false);
  ~Resampler();
  Resampler(const Resampler&) = delete;
  Resampler& operator=(const Resampler&) = delete;

  // Converts `frames` input frames and appends the output to `out`. With
  // `last`, the converter is drained (the input may then be empty).
  void process(const float* in, std::size_t frames, bool last, std::vector<float>& out);

 private:
  int channels;
  double ratio;
  soxr_t state = nullptr;
  std::vector<float> scratch;
};

}  // namespace vesk_tracking

#endif
