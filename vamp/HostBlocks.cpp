#include "vamp/HostBlocks.h"

#include <algorithm>

namespace vesk_vamp {

HostBlocks::HostBlocks(int channels, std::size_t blockSize, int sampleRate)
    : channels(channels), blockSize(blockSize), rate(sampleRate) {}

const std::vector<float>& HostBlocks::take(const float* const* buffers,
                                           const Vamp::RealTime& timestamp) {
  if (!started) {
    start = timestamp;
    started = true;
  }
  const std::int64_t first = Vamp::RealTime::realTime2Frame(timestamp - start, rate);
  const std::int64_t end = first + static_cast<std::int64_t>(blockSize);
  fresh.clear();
  if (end <= next) return fresh;  // nothing new (a host stepping back)
  // Blocks overlap or follow each other (a longer step is refused in
  // initialise); a host that skips ahead anyway has its blocks joined.
  const std::size_t from = static_cast<std::size_t>(std::max(first, next) - first);
  for (std::size_t i = from; i < blockSize; ++i)
    for (int c = 0; c < channels; ++c) fresh.push_back(buffers[c][i]);
  next = end;
  return fresh;
}

}  // namespace vesk_vamp
