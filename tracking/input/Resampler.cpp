#include "tracking/input/Resampler.h"

#include <string>

#include "tracking/input/AudioReader.h"

namespace vesk_tracking {

namespace {
// DFT blocks of 256 samples, the least libsoxr allows: it holds back about
// a block of output.
constexpr unsigned kLowLatencyDftLog2 = 8;
}  // namespace

Resampler::Resampler(int channelCount, int fromRate, int toRate, bool lowLatency)
    : channels(channelCount), ratio(static_cast<double>(toRate) / fromRate) {
  if (fromRate <= 0 || toRate <= 0 || ratio > 256.0 || ratio < 1.0 / 256.0)
    throw AudioError("cannot resample from " + std::to_string(fromRate) + " Hz to " +
                     std::to_string(toRate) +
                     " Hz: the input rate must lie within a factor of 256 of the processing rate "
                     "(--rate)");
  soxr_error_t error = nullptr;
  const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
  // The phase response is part of the recipe, beside the precision.
  const soxr_quality_spec_t quality =
      soxr_quality_spec(SOXR_HQ | (lowLatency ? SOXR_MINIMUM_PHASE : SOXR_LINEAR_PHASE), 0);
  // One thread: files of a batch already run side by side.
  soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
  if (lowLatency) runtime.log2_min_dft_size = runtime.log2_large_dft_size = kLowLatencyDftLog2;
  state = soxr_create(fromRate, toRate, static_cast<unsigned>(channels), &error, &io, &quality,
                      &runtime);
  if (!state || error)
    throw AudioError(std::string("cannot resample: ") + (error ? error : "unknown error"));
}

Resampler::~Resampler() {
  soxr_delete(state);
}

void Resampler::process(const float* in, std::size_t frames, bool last, std::vector<float>& out) {
  const std::size_t room = static_cast<std::size_t>(frames * ratio) + 1024;
  scratch.resize(room * channels);
  std::size_t left = frames;
  while (left > 0) {
    std::size_t used = 0;
    std::size_t made = 0;
    soxr_error_t error = soxr_process(state, in, left, &used, scratch.data(), room, &made);
    if (error) throw AudioError(std::string("resampling failed: ") + error);
    out.insert(out.end(), scratch.begin(), scratch.begin() + made * channels);
    in += used * channels;
    left -= used;
    if (used == 0 && made == 0) break;
  }
  if (!last) return;
  // Drain what the filter still holds.
  for (;;) {
    std::size_t made = 0;
    soxr_error_t error = soxr_process(state, nullptr, 0, nullptr, scratch.data(), room, &made);
    if (error) throw AudioError(std::string("resampling failed: ") + error);
    if (made == 0) break;
    out.insert(out.end(), scratch.begin(), scratch.begin() + made * channels);
  }
}

}  // namespace vesk_tracking
