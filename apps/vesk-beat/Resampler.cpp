#include "apps/vesk-beat/Resampler.h"

#include <string>

#include "apps/vesk-beat/AudioReader.h"

namespace vesk_beat {

Resampler::Resampler(int channelCount, int fromRate, int toRate)
    : channels(channelCount), ratio(static_cast<double>(toRate) / fromRate) {
  int error = 0;
  state = src_new(SRC_SINC_MEDIUM_QUALITY, channels, &error);
  if (!state) throw AudioError(std::string("cannot resample: ") + src_strerror(error));
  if (!src_is_valid_ratio(ratio)) {
    src_delete(state);
    throw AudioError("cannot resample from " + std::to_string(fromRate) + " Hz to " +
                     std::to_string(toRate) +
                     " Hz: the input rate must lie within a factor of 256 of the processing rate "
                     "(--rate)");
  }
}

Resampler::~Resampler() {
  src_delete(state);
}

void Resampler::process(const float* in, std::size_t frames, bool last, std::vector<float>& out) {
  const std::size_t room = static_cast<std::size_t>(frames * ratio) + 256;
  scratch.resize(room * channels);
  SRC_DATA d{};
  d.data_in = in;
  d.input_frames = static_cast<long>(frames);
  d.src_ratio = ratio;
  d.end_of_input = last ? 1 : 0;
  for (;;) {
    d.data_out = scratch.data();
    d.output_frames = static_cast<long>(room);
    int error = src_process(state, &d);
    if (error) throw AudioError(std::string("resampling failed: ") + src_strerror(error));
    out.insert(out.end(), scratch.begin(), scratch.begin() + d.output_frames_gen * channels);
    d.data_in += d.input_frames_used * channels;
    d.input_frames -= d.input_frames_used;
    // Keep going while input remains, or while draining still yields output.
    if (d.input_frames_used == 0 && d.output_frames_gen == 0) break;
    if (d.input_frames > 0) continue;
    if (last && d.output_frames_gen > 0) continue;
    break;
  }
}

}  // namespace vesk_beat
