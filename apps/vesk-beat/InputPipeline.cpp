#include "apps/vesk-beat/InputPipeline.h"

#include <algorithm>

namespace vesk_beat {

namespace {
constexpr std::size_t kReadChunk = 4096;  // frames per read from the input
constexpr std::size_t kChunksAhead = 8;   // how far the background thread runs ahead
constexpr float kLargestSample = 1.0e7f;  // 2^23 and more: any integer scale
}  // namespace

InputPipeline::InputPipeline(std::unique_ptr<AudioReader> input, int processingRate, bool readAhead)
    : reader(std::move(input)),
      channelCount(reader->channels()),
      sourceRate(reader->sampleRate()),
      sourceFrames(reader->frameCount()) {
  if (sourceRate != processingRate)
    resampler = std::make_unique<Resampler>(channelCount, sourceRate, processingRate);
  if (readAhead && sourceFrames >= 0) worker = std::thread(&InputPipeline::run, this);
}

InputPipeline::~InputPipeline() {
  if (!worker.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex);
    stopping = true;
  }
  changed.notify_all();
  worker.join();
}

bool InputPipeline::convert(std::vector<float>& chunk) {
  readBuffer.resize(kReadChunk * channelCount);
  const std::size_t got = reader->read(readBuffer.data(), kReadChunk);
  const bool last = got == 0;
  // A float input may hold not-a-number, infinite or huge samples, which
  // would overflow the resampler or the spectrum and poison every later
  // frame: they become silence or are limited far above full scale (floats
  // written on an integer scale stay as they are).
  for (std::size_t i = 0; i < got * channelCount; ++i) {
    float& v = readBuffer[i];
    v = v != v ? 0.0f : std::clamp(v, -kLargestSample, kLargestSample);
  }
  if (resampler)
    resampler->process(readBuffer.data(), got, last, chunk);
  else
    chunk.insert(chunk.end(), readBuffer.begin(), readBuffer.begin() + got * channelCount);
  return !last;
}

void InputPipeline::run() {
  try {
    for (bool more = true; more;) {
      std::vector<float> chunk;
      more = convert(chunk);
      std::unique_lock<std::mutex> lock(mutex);
      changed.wait(lock, [&] { return stopping || ready.size() < kChunksAhead; });
      if (stopping) return;
      if (!chunk.empty()) ready.push_back(std::move(chunk));
      if (!more) done = true;
      changed.notify_all();
    }
  } catch (...) {
    std::lock_guard<std::mutex> lock(mutex);
    error = std::current_exception();
    done = true;
    changed.notify_all();
  }
}

bool InputPipeline::next(std::vector<float>& out) {
  if (!worker.joinable()) {
    if (finished) return false;
    finished = !convert(out);
    return true;
  }
  std::unique_lock<std::mutex> lock(mutex);
  changed.wait(lock, [&] { return !ready.empty() || done; });
  if (!ready.empty()) {
    out.insert(out.end(), ready.front().begin(), ready.front().end());
    ready.pop_front();
    changed.notify_all();
    return true;
  }
  if (error) std::rethrow_exception(error);
  return false;
}

}  // namespace vesk_beat
