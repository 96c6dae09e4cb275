#include "tracking/frames/FrameMaker.h"

#include <algorithm>
#include <mutex>
#include <new>
#include <stdexcept>
#include <string>

#include "common/VectorKernels.h"
#include "node/host/ForkSafety.h"

namespace vesk_tracking {

namespace {
// FFTW's planner is not thread-safe; executing a plan is.
std::mutex& plannerMutex() {
  static std::mutex* m = [] {
    auto* made = new std::mutex;  // lives as long as the process
    RL::holdAcrossFork(*made);
    return made;
  }();
  return *m;
}

const FrameFormat& checked(int channels, const FrameFormat& f) {
  if (channels < 1)
    throw std::invalid_argument("an input of " + std::to_string(channels) +
                                " channels has no samples to frame (at least 1)");
  if (f.length < 2)
    throw std::invalid_argument("frame length " + std::to_string(f.length) +
                                " is too short for a spectrum (at least 2)");
  if (f.hop < 1 || f.hop > f.length)
    throw std::invalid_argument("hop " + std::to_string(f.hop) + " outside 1 .. " +
                                std::to_string(f.length) + " (the frame length)");
  return f;
}
}  // namespace

FrameMaker::FrameMaker(int channels, const FrameFormat& format)
    : channelCount(channels),
      frameLength(checked(channels, format).length),
      hop(format.hop),
      weights(static_cast<std::uint64_t>(format.length), format.window),
      window(static_cast<std::size_t>(channels) * format.length, 0.0f),
      timeSignal(static_cast<std::size_t>(frameLength)),
      spectrum(2 * static_cast<std::size_t>(bins())) {
  if (format.frontEnd) {
    double power = 0.0;
    for (int j = 0; j < frameLength; ++j)
      power += weights[static_cast<std::uint64_t>(j)] * weights[static_cast<std::uint64_t>(j)];
    frontEnd.emplace(*format.frontEnd, static_cast<std::size_t>(bins()), format.rate, power);
  }
  if (format.onsets)
    onsets.emplace(*format.onsets, static_cast<std::size_t>(bins()),
                   static_cast<double>(format.rate) / frameLength);
  // Its snapshots are taken of the onsets with their bands.
  if (format.periodicity && format.onsets && format.onsets->bands)
    periodicity.emplace(*format.periodicity);
  // Planned last: nothing after it may throw and leave the plan behind.
  std::lock_guard<std::mutex> lock(plannerMutex());
  plan = fftw_plan_dft_r2c_1d(frameLength, timeSignal.data(),
                              reinterpret_cast<fftw_complex*>(spectrum.data()), FFTW_ESTIMATE);
  if (!plan) throw std::bad_alloc();
}

FrameMaker::~FrameMaker() {
  std::lock_guard<std::mutex> lock(plannerMutex());
  fftw_destroy_plan(plan);
}

void FrameMaker::add(const float* samples, std::size_t frames) {
  // Drop what earlier frames used, so that a long stream runs in bounded memory.
  pending.erase(pending.begin(), pending.begin() + pendingPos * channelCount);
  pendingPos = 0;
  pending.insert(pending.end(), samples, samples + frames * channelCount);
}

void FrameMaker::finish() {
  finished = true;
}

bool FrameMaker::cut(FrameBlock& block) {
  const std::size_t available = pendingFrames();
  if (available >= static_cast<std::size_t>(hop)) {
    cutFrame(static_cast<std::size_t>(hop), block);
    return true;
  }
  if (!finished || available == 0) return false;
  cutFrame(available, block);
  return true;
}

void FrameMaker::cutSilence(FrameBlock& block) {
  cutFrame(0, block);
}

inline __attribute__((always_inline)) void FrameMaker::cutFrameLoops(std::size_t take,
                                                                     FrameBlock& block) {
  const std::size_t f = block.frames;
  const std::size_t floats = frameFloats();
  const std::size_t binCount = static_cast<std::size_t>(bins());
  if (block.newSamples.size() <= f) {
    block.audio.resize((f + 1) * floats);
    block.spectra.resize((f + 1) * binCount);
    block.newSamples.resize(f + 1);
    block.onsets.resize(f + 1);
    block.periodicity.resize(f + 1);
  }
  const std::size_t keep = static_cast<std::size_t>(frameLength - hop);
  float* audio = &block.audio[f * floats];
  for (int c = 0; c < channelCount; ++c) {
    float* row = &window[static_cast<std::size_t>(c) * frameLength];
    std::copy(row + hop, row + frameLength, row);
    for (std::size_t j = 0; j < static_cast<std::size_t>(hop); ++j)
      row[keep + j] = j < take ? pending[(pendingPos + j) * channelCount + c] : 0.0f;
  }
  std::copy(window.begin(), window.end(), audio);
  pendingPos += take;

  const std::size_t rows = static_cast<std::size_t>(channelCount);
  if (rows == 1) {
    // One channel: its mean is the sample itself (a division by 1 changes nothing).
    for (int j = 0; j < frameLength; ++j)
      timeSignal[j] = static_cast<double>(audio[j]) * weights[static_cast<std::uint64_t>(j)];
  } else {
    for (int j = 0; j < frameLength; ++j) {
      double sum = 0.0;
      for (std::size_t r = 0; r < rows; ++r) sum += audio[r * frameLength + j];
      timeSignal[j] = sum / static_cast<double>(rows) * weights[static_cast<std::uint64_t>(j)];
    }
  }
  fftw_execute(plan);
  std::complex<float>* out = &block.spectra[f * binCount];
  for (std::size_t k = 0; k < binCount; ++k)
    out[k] = std::complex<float>(static_cast<float>(spectrum[2 * k]),
                                 static_cast<float>(spectrum[2 * k + 1]));
  if (frontEnd) frontEnd->process(out);
  if (onsets) block.onsets[f] = onsets->process(out);
  block.periodicity[f].frame = -1;
  if (periodicity && periodicity->push(block.onsets[f]))
    periodicity->snapshot(block.periodicity[f]);
  block.newSamples[f] = static_cast<int>(take);
  block.frames = f + 1;
}

void FrameMaker::cutFrame(std::size_t take, FrameBlock& block) {
#if defined(__x86_64__) || defined(__i386__)
  if (vesk_kernels::InUse() == vesk_kernels::Unit::kAvx2) return cutFrameAvx2(take, block);
#endif
  cutFrameBase(take, block);
}

void FrameMaker::cutFrameBase(std::size_t take, FrameBlock& block) {
  cutFrameLoops(take, block);
}

#if defined(__x86_64__) || defined(__i386__)
// The same loops, twice as wide: conversions and products are exact IEEE
// arithmetic, sums keep their order and nothing is fused, so the frames and
// spectra are those of cutFrameBase, bit for bit.
__attribute__((target("avx2"))) void FrameMaker::cutFrameAvx2(std::size_t take, FrameBlock& block) {
  cutFrameLoops(take, block);
}
#endif

}  // namespace vesk_tracking
