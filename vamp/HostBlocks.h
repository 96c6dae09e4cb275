#ifndef VESK_VAMP_HOSTBLOCKS_H
#define VESK_VAMP_HOSTBLOCKS_H

#include <vamp-sdk/RealTime.h>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vesk_vamp {

// Turns the host's blocks (one buffer per channel, `blockSize` samples each,
// overlapping when the step is shorter than the block) into the samples not
// seen before, interleaved. Where a block starts is taken from its
// timestamp, relative to the first block's, so that any step up to the
// block size works.
class HostBlocks {
 public:
  HostBlocks(int channels, std::size_t blockSize, int sampleRate);

  // The new samples of this block, interleaved; valid until the next call.
  const std::vector<float>& take(const float* const* buffers, const Vamp::RealTime& timestamp);
  // Frames handed out per channel.
  std::size_t frames() const { return fresh.size() / static_cast<std::size_t>(channels); }
  // The first block's timestamp: where the features' times start.
  const Vamp::RealTime& origin() const { return start; }

 private:
  int channels;
  std::size_t blockSize;
  int rate;
  bool started = false;
  Vamp::RealTime start;
  std::int64_t next = 0;  // the first sample not yet handed out, from the origin
  std::vector<float> fresh;
};

}  // namespace vesk_vamp

#endif
