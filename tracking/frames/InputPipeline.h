#ifndef VESK_TRACKING_INPUTPIPELINE_H
#define VESK_TRACKING_INPUTPIPELINE_H

#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <thread>
#include <vector>

#include "common/AlignedVector.h"
#include "tracking/frames/BlockQueue.h"
#include "tracking/frames/FrameBlock.h"
#include "tracking/frames/FrameMaker.h"
#include "tracking/input/AudioReader.h"
#include "tracking/input/Resampler.h"

namespace vesk_tracking {

// Everything between the input and the network: reads the input, cleans its
// samples, resamples them to the processing rate and cuts them into frames
// with their spectra, handed out in blocks. For a file, with `readAhead`, this
// runs in a thread of its own, a bounded number of blocks ahead, so that the
// caller's thread is left to the analysis; a stream (or a file without
// `readAhead`, when other files already keep the cores busy) is worked in the
// caller's thread, a block as soon as it has a frame. Either way the frames
// are the same, bit for bit. Whole cache lines: the reading thread writes it.
class alignas(vesk_kernels::kCacheLine) InputPipeline {
 public:
  struct Limits;

  // Throws AudioError when the input cannot be resampled and
  // std::invalid_argument for a format FrameMaker refuses.
  InputPipeline(std::unique_ptr<AudioReader> reader, int processingRate, const FrameFormat& format,
                bool readAhead, const Limits& limits);
  ~InputPipeline();
  InputPipeline(const InputPipeline&) = delete;
  InputPipeline& operator=(const InputPipeline&) = delete;

  int channels() const { return channelCount; }
  int inputRate() const { return sourceRate; }
  // Frames in the whole input at its own rate, or -1 for a stream.
  std::int64_t inputFrames() const { return sourceFrames; }
  bool readsAhead() const { return worker.joinable(); }
  std::size_t framesPerBlock() const { return blockFrames; }

  // Replaces `block` (which may be reused) with the next block of at least
  // one frame; false once every frame was delivered, or while a starved
  // input (see AudioReader::starved) waits for more audio. Throws a read or
  // resampling error of the input after the frames before it, and again on
  // every later call.
  bool next(std::unique_ptr<FrameBlock>& block);
  // next() returned false because the input waits for more audio, not at its end.
  bool starved() const { return !delivered && !worker.joinable() && reader->starved(); }
  // Once next() has returned false at the end: replaces the content of `block` with one
  // frame past the end (no new sample). Throws std::logic_error before.
  void frameAfterEnd(std::unique_ptr<FrameBlock>& block);

 private:
  // Cuts ready frames into `block` up to its size limit.
  void cutInto(FrameBlock& block);
  // Reads, cleans and resamples one chunk of the input into the frame maker;
  // false when a starved input had nothing to give.
  bool readChunk();
  void run();
  void produce();

  std::unique_ptr<AudioReader> reader;
  std::unique_ptr<Resampler> resampler;
  int channelCount;
  int sourceRate;
  std::int64_t sourceFrames;
  FrameMaker maker;
  std::size_t blockFrames;
  std::vector<float> readBuffer;
  std::vector<float> resampled;
  bool inputEnded = false;   // the maker has had every sample
  bool delivered = false;    // next() has returned false
  std::exception_ptr error;  // of the input, in the caller's thread
  BlockQueue blocks;         // used when reading ahead
  std::thread worker;
};

// How the frames travel from the pipeline's thread.
struct InputPipeline::Limits {
  std::size_t framesPerBlock = 64;  // at most; fewer for very wide frames
  BlockQueue::Limits queue;
};

}  // namespace vesk_tracking

#endif
