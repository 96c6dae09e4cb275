#include "tracking/input/PushedAudio.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "tracking/Settings.h"

namespace vesk_tracking {

PushedAudio::PushedAudio(int channels, int sampleRate) : channelCount(channels), rate(sampleRate) {
  if (channels < 1 || channels > defaults::kMaxChannels)
    throw std::invalid_argument("channel count " + std::to_string(channels) + ": expected 1.." +
                                std::to_string(defaults::kMaxChannels));
  if (sampleRate < 1)
    throw std::invalid_argument("sample rate " + std::to_string(sampleRate) +
                                " Hz: expected 1 Hz or more");
}

std::size_t PushedAudio::read(float* out, std::size_t frames) {
  const std::size_t n = std::min(frames, waitingFrames());
  const auto from = waiting.begin() + static_cast<std::ptrdiff_t>(taken * channelCount);
  std::copy_n(from, n * channelCount, out);
  taken += n;
  if (taken * channelCount == waiting.size()) {
    waiting.clear();  // the buffer is reused rather than grown for ever
    taken = 0;
  }
  return n;
}

void PushedAudio::push(const float* samples, std::size_t frames) {
  if (closed) throw std::logic_error("audio pushed after the input was closed");
  // Drop what was read before growing.
  if (taken > 0) {
    waiting.erase(waiting.begin(),
                  waiting.begin() + static_cast<std::ptrdiff_t>(taken * channelCount));
    taken = 0;
  }
  waiting.insert(waiting.end(), samples, samples + frames * channelCount);
}

}  // namespace vesk_tracking
