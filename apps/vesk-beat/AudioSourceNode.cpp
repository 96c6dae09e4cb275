#include "apps/vesk-beat/AudioSourceNode.h"

#include <algorithm>
#include <cmath>

namespace vesk_beat {

AudioSourceNode::AudioSourceNode(const std::string& name, std::unique_ptr<AudioReader> reader,
                                 int processingRate, int frames, int hopSize, bool readAhead)
    : RL::BufferedNode(name, RL::ParameterSet()),
      input(std::move(reader), processingRate, readAhead),
      channelCount(input.channels()),
      rate(processingRate),
      frameLength(frames),
      hop(hopSize),
      window(static_cast<std::size_t>(channelCount) * frames, 0.0f) {
  audioOutputID = addOutput("AUDIO");
  inOrder = true;
}

std::int64_t AudioSourceNode::expectedFrames() const {
  std::int64_t n = input.inputFrames();
  if (n < 0) return -1;
  double samples = std::ceil(static_cast<double>(n) * rate / input.inputRate());
  return static_cast<std::int64_t>(std::ceil(samples / hop));
}

void AudioSourceNode::fill(std::size_t frames) {
  while (!ended && pendingFrames() < frames) {
    if (pendingPos > 65536) {  // drop what was delivered, now and then
      pending.erase(pending.begin(), pending.begin() + pendingPos * channelCount);
      pendingPos = 0;
    }
    if (!input.next(pending)) ended = true;
  }
}

bool AudioSourceNode::hasNextFrame() {
  fill(static_cast<std::size_t>(hop));
  return pendingFrames() > 0;
}

void AudioSourceNode::calculate(int, int count, RL::Buffer& out) {
  // Only "AUDIO" exists, so `out` is its buffer.
  fill(static_cast<std::size_t>(hop));
  const std::size_t take = std::min(pendingFrames(), static_cast<std::size_t>(hop));
  const std::size_t keep = static_cast<std::size_t>(frameLength - hop);
  auto* matrix = new RL::Matrix<float>(channelCount, frameLength);
  RL::ObjectRef ref(matrix);
  for (int c = 0; c < channelCount; ++c) {
    float* row = &window[static_cast<std::size_t>(c) * frameLength];
    std::copy(row + hop, row + frameLength, row);
    for (std::size_t j = 0; j < static_cast<std::size_t>(hop); ++j)
      row[keep + j] = j < take ? pending[(pendingPos + j) * channelCount + c] : 0.0f;
    std::copy(row, row + frameLength, &(*matrix)(c, 0));
  }
  pendingPos += take;
  delivered += static_cast<std::int64_t>(take);
  out[count] = ref;
}

}  // namespace vesk_beat
