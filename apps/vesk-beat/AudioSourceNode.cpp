#include "apps/vesk-beat/AudioSourceNode.h"

#include <algorithm>
#include <cmath>

namespace vesk_beat {

namespace {
constexpr std::size_t kReadChunk = 4096;  // frames per read from a file
constexpr float kLargestSample = 1.0e7f;  // 2^23 and more: any integer scale
}  // namespace

AudioSourceNode::AudioSourceNode(const std::string& name, std::unique_ptr<AudioReader> input,
                                 int processingRate, int frames, int hopSize)
    : RL::BufferedNode(name, RL::ParameterSet()),
      reader(std::move(input)),
      channelCount(reader->channels()),
      rate(processingRate),
      frameLength(frames),
      hop(hopSize),
      window(static_cast<std::size_t>(reader->channels()) * frames, 0.0f) {
  audioOutputID = addOutput("AUDIO");
  inOrder = true;
  if (reader->sampleRate() != rate)
    resampler = std::make_unique<Resampler>(channelCount, reader->sampleRate(), rate);
}

std::int64_t AudioSourceNode::expectedFrames() const {
  std::int64_t n = reader->frameCount();
  if (n < 0) return -1;
  double samples = std::ceil(static_cast<double>(n) * rate / reader->sampleRate());
  return static_cast<std::int64_t>(std::ceil(samples / hop));
}

void AudioSourceNode::fill(std::size_t frames) {
  while (!ended && pendingFrames() < frames) {
    if (pendingPos > 65536) {  // drop what was delivered, now and then
      pending.erase(pending.begin(), pending.begin() + pendingPos * channelCount);
      pendingPos = 0;
    }
    readBuffer.resize(kReadChunk * channelCount);
    std::size_t got = reader->read(readBuffer.data(), kReadChunk);
    if (got == 0) ended = true;
    // A float input may hold not-a-number, infinite or huge samples, which
    // would overflow the resampler or the spectrum and poison every later
    // frame: they become silence or are limited far above full scale (floats
    // written on an integer scale stay as they are).
    for (std::size_t i = 0; i < got * channelCount; ++i) {
      float& v = readBuffer[i];
      v = v != v ? 0.0f : std::clamp(v, -kLargestSample, kLargestSample);
    }
    if (resampler)
      resampler->process(readBuffer.data(), got, ended, pending);
    else
      pending.insert(pending.end(), readBuffer.begin(), readBuffer.begin() + got * channelCount);
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
