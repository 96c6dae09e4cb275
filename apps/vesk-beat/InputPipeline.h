#ifndef VESK_BEAT_INPUTPIPELINE_H
#define VESK_BEAT_INPUTPIPELINE_H

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "apps/vesk-beat/AudioReader.h"
#include "apps/vesk-beat/Resampler.h"

namespace vesk_beat {

// Reads the input, cleans its samples and resamples it to the processing rate,
// one chunk at a time. For a file, with `readAhead`, this runs in a thread of
// its own, a few chunks ahead, so that decoding and resampling overlap with the
// analysis; a stream (or a file without `readAhead`, when other files already
// keep the cores busy) is read in the caller's thread. Either way the chunks,
// and so every sample, are the same.
class InputPipeline {
 public:
  InputPipeline(std::unique_ptr<AudioReader> reader, int processingRate, bool readAhead);
  ~InputPipeline();
  InputPipeline(const InputPipeline&) = delete;
  InputPipeline& operator=(const InputPipeline&) = delete;

  int channels() const { return channelCount; }
  int inputRate() const { return sourceRate; }
  // Frames in the whole input at its own rate, or -1 for a stream.
  std::int64_t inputFrames() const { return sourceFrames; }

  // Appends the next chunk (interleaved, at the processing rate) to `out`;
  // false once the input has ended and everything was delivered. Rethrows a
  // read or resampling error of the input.
  bool next(std::vector<float>& out);

 private:
  // Converts one chunk into `chunk`; false when it was the last.
  bool convert(std::vector<float>& chunk);
  void run();

  std::unique_ptr<AudioReader> reader;
  std::unique_ptr<Resampler> resampler;
  int channelCount;
  int sourceRate;
  std::int64_t sourceFrames;
  std::vector<float> readBuffer;
  bool finished = false;  // the caller's thread only: nothing more to convert

  // Shared with the background thread.
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<std::vector<float>> ready;
  bool done = false;
  bool stopping = false;
  std::exception_ptr error;
  std::thread worker;
};

}  // namespace vesk_beat

#endif
