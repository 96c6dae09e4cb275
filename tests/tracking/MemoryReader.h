#ifndef VESK_TESTS_TRACKING_MEMORYREADER_H
#define VESK_TESTS_TRACKING_MEMORYREADER_H

#include <algorithm>
#include <vector>

#include "tracking/input/AudioReader.h"

// Interleaved samples held in memory, handed out at most `chunk` frames per
// read, like a stream that delivers a little at a time.
class MemoryReader : public vesk_tracking::AudioReader {
 public:
  MemoryReader(std::vector<float> samples, int channels, int rate, std::size_t chunk = 1 << 20)
      : samples(std::move(samples)), channelCount(channels), rate(rate), chunk(chunk) {}
  int channels() const override { return channelCount; }
  int sampleRate() const override { return rate; }
  std::int64_t frameCount() const override {
    return static_cast<std::int64_t>(samples.size() / channelCount);
  }
  std::size_t read(float* out, std::size_t frames) override {
    std::size_t left = samples.size() / channelCount - position;
    std::size_t n = std::min({frames, left, chunk});
    std::copy_n(samples.begin() + position * channelCount, n * channelCount, out);
    position += n;
    return n;
  }

 private:
  std::vector<float> samples;
  int channelCount;
  int rate;
  std::size_t chunk;
  std::size_t position = 0;
};

#endif
