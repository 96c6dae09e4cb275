#include "tracking/frames/InputPipeline.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace vesk_tracking {

namespace {
constexpr std::size_t kReadChunk = 4096;  // frames per read from the input
// Bound on one block's frames and spectra. Small enough that the ten blocks
// the reader may run ahead stay in the caches: the analysis thread then reads
// each frame soon after it was written, not from main memory (a 3-minute file
// at 16 kHz ran 3 to 5 % faster than with 1 MiB blocks in quiet runs, more on
// a busy machine). 15 mono frames of 512 samples with their spectra.
constexpr std::size_t kBlockBytes = 64u << 10;
constexpr float kLargestSample = 1.0e7f;  // 2^23 and more: any integer scale

std::size_t blockFramesFor(const FrameMaker& maker, std::size_t most) {
  const std::size_t frameBytes =
      maker.frameFloats() * sizeof(float) +
      static_cast<std::size_t>(maker.bins()) * sizeof(std::complex<float>);
  return std::max<std::size_t>(1, std::min(most, kBlockBytes / frameBytes));
}
}  // namespace

InputPipeline::InputPipeline(std::unique_ptr<AudioReader> input, int processingRate,
                             const FrameFormat& format, bool readAhead, const Limits& limits)
    : reader(std::move(input)),
      channelCount(reader->channels()),
      sourceRate(reader->sampleRate()),
      sourceFrames(reader->frameCount()),
      maker(channelCount, format),
      blockFrames(blockFramesFor(maker, limits.framesPerBlock)),
      blocks(limits.queue) {
  if (sourceRate != processingRate)
    resampler =
        std::make_unique<Resampler>(channelCount, sourceRate, processingRate, reader->live());
  if (readAhead && sourceFrames >= 0) worker = std::thread(&InputPipeline::run, this);
}

InputPipeline::~InputPipeline() {
  if (!worker.joinable()) return;
  blocks.stop();
  worker.join();
}

bool InputPipeline::readChunk() {
  readBuffer.resize(kReadChunk * channelCount);
  const std::size_t got = reader->read(readBuffer.data(), kReadChunk);
  if (got == 0 && reader->starved()) return false;
  const bool last = got == 0;
  // A float input may hold not-a-number, infinite or huge samples, which
  // would overflow the resampler or the spectrum and poison every later
  // frame. A sample with no value becomes silence, as an infinite one does (as
  // a huge onset it would move the beats around it); a huge finite one is
  // limited far above full scale (floats written on an integer scale stay as
  // they are).
  if (!reader->boundedSamples()) {
    for (std::size_t i = 0; i < got * channelCount; ++i) {
      float& v = readBuffer[i];
      v = std::isfinite(v) ? std::clamp(v, -kLargestSample, kLargestSample) : 0.0f;
    }
  }
  if (resampler) {
    resampled.clear();
    resampler->process(readBuffer.data(), got, last, resampled);
    maker.add(resampled.data(), resampled.size() / channelCount);
  } else {
    maker.add(readBuffer.data(), got);
  }
  if (last) {
    maker.finish();
    inputEnded = true;
  }
  return true;
}

void InputPipeline::cutInto(FrameBlock& block) {
  while (block.frames < blockFrames && maker.cut(block)) {
  }
}

void InputPipeline::produce() {
  std::unique_ptr<FrameBlock> block = blocks.blank();
  for (;;) {
    cutInto(*block);
    if (block->frames == blockFrames) {
      if (!blocks.put(std::move(block))) return;
      block = blocks.blank();
      continue;
    }
    if (inputEnded) break;
    try {
      readChunk();
    } catch (...) {
      // The frames before the error go first.
      if (block->frames > 0 && !blocks.put(std::move(block))) return;
      throw;
    }
  }
  if (block->frames > 0 && !blocks.put(std::move(block))) return;
  blocks.finish();
}

void InputPipeline::run() {
  try {
    produce();
  } catch (...) {
    blocks.finish(std::current_exception());
  }
}

bool InputPipeline::next(std::unique_ptr<FrameBlock>& block) {
  if (worker.joinable()) {
    delivered = !blocks.take(block);
    return !delivered;
  }
  if (error) std::rethrow_exception(error);
  if (!block) block = std::make_unique<FrameBlock>();
  block->frames = 0;
  for (;;) {
    cutInto(*block);
    // A stream hands over its frames as they come, not a block's worth later.
    if (block->frames > 0) return true;
    if (inputEnded) {
      delivered = true;
      return false;
    }
    try {
      if (!readChunk()) return false;  // more audio first; not the end
    } catch (...) {
      error = std::current_exception();  // final, as it is from the thread
      throw;
    }
  }
}

void InputPipeline::frameAfterEnd(std::unique_ptr<FrameBlock>& block) {
  // Only then has the thread, if any, finished with the maker.
  if (!delivered) throw std::logic_error("a frame past the end was asked before the end");
  if (!block) block = std::make_unique<FrameBlock>();
  block->frames = 0;
  maker.cutSilence(*block);
}

}  // namespace vesk_tracking
