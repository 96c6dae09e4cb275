#ifndef VESK_BEAT_AUDIOSOURCENODE_H
#define VESK_BEAT_AUDIOSOURCENODE_H

#include <cstdint>
#include <memory>
#include <vector>

#include "apps/vesk-beat/AudioReader.h"
#include "apps/vesk-beat/InputPipeline.h"
#include "node/host/Rill.h"

namespace vesk_beat {

// The head of the tool's network: delivers on "AUDIO" the analysis window of
// frame f, an RL::Matrix<float> of one row per channel and `frameLength`
// columns whose last `hop` columns are the new samples [f*hop, (f+1)*hop) of
// the input at the processing rate (zeros before the start and after the end).
// Frames are computed in order; the input is resampled when its rate differs
// (a file is decoded and resampled ahead, in a thread of its own).
class AudioSourceNode : public RL::BufferedNode {
 public:
  // With `readAhead`, a file is decoded and resampled in a thread of its own.
  AudioSourceNode(const std::string& name, std::unique_ptr<AudioReader> reader, int processingRate,
                  int frameLength, int hop, bool readAhead = true);

  // True when the next frame to be computed holds at least one input sample.
  // Reads (and for a stream waits for) up to one hop of input.
  bool hasNextFrame();
  // Input samples per channel delivered so far, at the processing rate.
  std::int64_t samplesDelivered() const { return delivered; }
  int channels() const { return channelCount; }
  int inputRate() const { return input.inputRate(); }
  // Expected frames for a file; -1 for a stream.
  std::int64_t expectedFrames() const;

  void calculate(int outputID, int count, RL::Buffer& out) override;

 private:
  // Reads until `frames` frames are pending or the input has ended.
  void fill(std::size_t frames);
  std::size_t pendingFrames() const { return (pending.size() / channelCount) - pendingPos; }

  InputPipeline input;
  int channelCount;
  int rate;
  int frameLength;
  int hop;
  int audioOutputID;
  std::vector<float> pending;  // interleaved, at the processing rate
  std::size_t pendingPos = 0;  // frames of `pending` already delivered
  bool ended = false;
  std::vector<float> window;  // channelCount rows of frameLength, row-major
  std::int64_t delivered = 0;
};

}  // namespace vesk_beat

#endif
