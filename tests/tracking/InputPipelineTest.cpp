#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <complex>
#include <cstring>
#include <memory>
#include <vector>

#include "common/VectorKernels.h"
#include "tests/tracking/DirectFrames.h"
#include "tests/tracking/MemoryReader.h"
#include "tracking/frames/InputPipeline.h"
#include "tracking/input/Resampler.h"

using vesk_tracking::FrameFormat;
using vesk_tracking::InputPipeline;

namespace {

// The same samples, but presented as a stream of unknown length, which the
// pipeline works in the caller's thread.
class StreamReader : public MemoryReader {
 public:
  using MemoryReader::MemoryReader;
  std::int64_t frameCount() const override { return -1; }
};

// Fails after handing out `good` reads of 100 frames.
class FailingReader : public MemoryReader {
 public:
  FailingReader(std::vector<float> samples, int good, bool stream)
      : MemoryReader(std::move(samples), 1, 16000, 100), left(good), stream(stream) {}
  std::int64_t frameCount() const override { return stream ? -1 : MemoryReader::frameCount(); }
  std::size_t read(float* out, std::size_t frames) override {
    if (left-- == 0) throw vesk_tracking::AudioError("disk went away");
    return MemoryReader::read(out, frames);
  }

 private:
  int left;
  bool stream;
};

// Counts its reads where the test can see them after the reader is gone.
class CountingReader : public MemoryReader {
 public:
  CountingReader(std::vector<float> samples, int rate, std::shared_ptr<std::atomic<int>> reads)
      : MemoryReader(std::move(samples), 1, rate), reads(std::move(reads)) {}
  std::size_t read(float* out, std::size_t frames) override {
    ++*reads;
    return MemoryReader::read(out, frames);
  }

 private:
  std::shared_ptr<std::atomic<int>> reads;
};

// Appends every frame the pipeline delivers to `frames` (kept when an error
// ends it), and the sizes of its blocks to `blockSizes`.
void DrainInto(InputPipeline& pipeline, std::vector<Frame>& frames,
               std::vector<std::size_t>* blockSizes = nullptr) {
  std::unique_ptr<vesk_tracking::FrameBlock> block;
  while (pipeline.next(block)) {
    const std::size_t floats = block->audio.size() / block->newSamples.size();
    const std::size_t bins = block->spectra.size() / block->newSamples.size();
    for (std::size_t f = 0; f < block->frames; ++f) {
      Frame frame;
      frame.audio.assign(&block->audio[f * floats], &block->audio[(f + 1) * floats]);
      frame.spectrum.assign(&block->spectra[f * bins], &block->spectra[(f + 1) * bins]);
      frame.newSamples = block->newSamples[f];
      frames.push_back(std::move(frame));
    }
    if (blockSizes) blockSizes->push_back(block->frames);
  }
}

std::vector<Frame> Drain(InputPipeline& pipeline, std::vector<std::size_t>* blockSizes = nullptr) {
  std::vector<Frame> frames;
  DrainInto(pipeline, frames, blockSizes);
  return frames;
}

InputPipeline::Limits TinyBlocks() {
  // Three frames a block and room for two: many block boundaries, and a
  // producer that keeps finding the queue full.
  InputPipeline::Limits l;
  l.framesPerBlock = 3;
  l.queue.capacity = 2;
  l.queue.lowWater = 0;
  l.queue.wakeAt = 1;
  return l;
}

TEST(InputPipeline, FramesAreTheSameThroughTheThreadInTheCallersThreadAndComputedDirectly) {
  struct Case {
    int channels;
    int rate;
    FrameFormat format;
  };
  const Case cases[] = {
      {1, 16000, {512, 160, WindowFunction::Hann}},
      {2, 16000, {400, 128, WindowFunction::Hamming}},
      {1, 44100, {512, 160, WindowFunction::Hann}},
      {2, 44100, {256, 256, WindowFunction::Blackman}},
      // The front end keeps state from frame to frame: it must see the frames
      // in the same order whichever thread cuts them.
      {2, 44100, {512, 160, WindowFunction::Hann, vesk_conditioning::conditionerNamed("whiten")}},
  };
  for (const Case& c : cases) {
    // 2.3 s and a bit: the last hop is partial.
    const std::vector<float> input = Tone(c.rate * 23 / 10 + 77, c.channels);
    std::vector<float> atRate = input;
    if (c.rate != 16000) {
      atRate.clear();
      vesk_tracking::Resampler resampler(c.channels, c.rate, 16000);
      resampler.process(input.data(), input.size() / c.channels, true, atRate);
    }
    const std::string what = std::to_string(c.channels) + " channels at " + std::to_string(c.rate) +
                             " Hz, frame " + std::to_string(c.format.length);
    const std::vector<Frame> direct = Direct(atRate, c.channels, c.format);
    ASSERT_NE(direct.back().newSamples, c.format.hop) << what << ": the last hop should be partial";

    auto reader = [&](bool stream) -> std::unique_ptr<vesk_tracking::AudioReader> {
      if (stream) return std::make_unique<StreamReader>(input, c.channels, c.rate, 3000);
      return std::make_unique<MemoryReader>(input, c.channels, c.rate, 3000);
    };
    InputPipeline ahead(reader(false), 16000, c.format, true, InputPipeline::Limits());
    InputPipeline aheadTiny(reader(false), 16000, c.format, true, TinyBlocks());
    InputPipeline inCaller(reader(false), 16000, c.format, false, InputPipeline::Limits());
    InputPipeline stream(reader(true), 16000, c.format, true, InputPipeline::Limits());
    EXPECT_TRUE(ahead.readsAhead());
    EXPECT_FALSE(inCaller.readsAhead());
    EXPECT_FALSE(stream.readsAhead());

    std::vector<std::size_t> sizes;
    ExpectSameFrames(Drain(ahead, &sizes), direct, what + ", read ahead");
    // Full blocks but the last.
    for (std::size_t i = 0; i + 1 < sizes.size(); ++i)
      EXPECT_EQ(sizes[i], ahead.framesPerBlock()) << what << ", block " << i;
    ExpectSameFrames(Drain(aheadTiny), direct, what + ", read ahead in small blocks");
    ExpectSameFrames(Drain(inCaller), direct, what + ", in the caller's thread");
    ExpectSameFrames(Drain(stream), direct, what + ", as a stream");

    std::unique_ptr<vesk_tracking::FrameBlock> after;
    EXPECT_FALSE(ahead.next(after)) << what << ": the end is final";
  }
}

TEST(InputPipeline, FramesAndConditionedSpectraAreTheSameBitsOnEveryVectorUnit) {
  using vesk_kernels::Unit;
  if (!vesk_kernels::Available(Unit::kAvx2)) GTEST_SKIP() << "no AVX2 on this processor";
  // Every stage of the front end, on one and on two channels; the tone goes
  // loud and quiet so that the whitening peaks rise and decay.
  vesk_conditioning::ConditionerSettings all = vesk_conditioning::conditionerNamed("whiten");
  all.lowPassHz = 1500.0;
  all.gateDb = -60.0;
  const FrameFormat formats[] = {
      {512, 160, WindowFunction::Hann, all},
      {512, 160, WindowFunction::Hann, vesk_conditioning::conditionerNamed("log")}};
  const Unit before = vesk_kernels::InUse();
  for (int channels : {1, 2}) {
    std::vector<float> input = Tone(16000 * 3 + 33, channels);
    for (std::size_t i = 0; i < input.size(); ++i)
      if ((i / channels / 4000) % 3 == 1) input[i] *= 1e-4f;
    for (const FrameFormat& format : formats) {
      std::vector<Frame> byUnit[2];
      for (Unit unit : {Unit::kBase, Unit::kAvx2}) {
        vesk_kernels::Use(unit);
        InputPipeline p(std::make_unique<MemoryReader>(input, channels, 16000, 3000), 16000, format,
                        true, InputPipeline::Limits());
        byUnit[static_cast<int>(unit)] = Drain(p);
      }
      ExpectSameFrames(byUnit[1], byUnit[0], std::to_string(channels) + " channels");
    }
  }
  vesk_kernels::Use(before);
}

TEST(InputPipeline, AFramePastTheEndSlidesInZerosAndIsRefusedBefore) {
  const FrameFormat format{8, 4, WindowFunction::Rectangular};
  std::vector<float> input{1, 2, 3, 4, 5, 6};
  InputPipeline pipeline(std::make_unique<MemoryReader>(input, 1, 16000), 16000, format, true,
                         InputPipeline::Limits());
  std::unique_ptr<vesk_tracking::FrameBlock> block;
  EXPECT_THROW(pipeline.frameAfterEnd(block), std::logic_error);
  ASSERT_TRUE(pipeline.next(block));
  ASSERT_EQ(block->frames, 2u);
  EXPECT_FALSE(pipeline.next(block));
  pipeline.frameAfterEnd(block);
  ASSERT_EQ(block->frames, 1u);
  EXPECT_EQ(block->newSamples[0], 0);
  const std::vector<float> window(block->audio.begin(), block->audio.begin() + 8);
  EXPECT_EQ(window, (std::vector<float>{5, 6, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(block->spectra[0], std::complex<float>(11.0f, 0.0f));  // DC of the rectangular window
}

TEST(InputPipeline, AReadErrorArrivesAfterTheFramesMadeBeforeIt) {
  // Three good reads of 100 samples: four frames of 64 new samples, then the
  // error (the 44 samples left do not make a frame).
  const FrameFormat format{128, 64, WindowFunction::Hann};
  const std::vector<Frame> direct = Direct(Tone(256, 1), 1, format);
  for (bool stream : {false, true}) {
    for (bool tiny : {false, true}) {
      const std::string what = std::string(stream ? "stream" : "file") + (tiny ? ", tiny" : "");
      InputPipeline pipeline(std::make_unique<FailingReader>(Tone(10000, 1), 3, stream), 16000,
                             format, true, tiny ? TinyBlocks() : InputPipeline::Limits());
      EXPECT_EQ(pipeline.readsAhead(), !stream);
      std::vector<Frame> got;
      try {
        DrainInto(pipeline, got);
        ADD_FAILURE() << what << ": the error was lost";
      } catch (const vesk_tracking::AudioError& e) {
        EXPECT_STREQ(e.what(), "disk went away") << what;
      }
      ExpectSameFrames(got, direct, what);
      // The error stays: asking again does not pretend the input ended.
      std::unique_ptr<vesk_tracking::FrameBlock> block;
      EXPECT_THROW(pipeline.next(block), vesk_tracking::AudioError) << what;
    }
  }
}

TEST(InputPipeline, StopsItsThreadWhenLeftEarly) {
  // A long file abandoned after one block: the destructor must not wait for
  // the whole file to be read, and the thread reads only a bounded way ahead.
  auto reads = std::make_shared<std::atomic<int>>(0);
  const std::size_t frames = 4000000;  // 977 reads of 4096
  auto pipeline = std::make_unique<InputPipeline>(
      std::make_unique<CountingReader>(Tone(frames, 1), 44100, reads), 16000,
      FrameFormat{512, 160, WindowFunction::Hann}, true, InputPipeline::Limits());
  std::unique_ptr<vesk_tracking::FrameBlock> block;
  ASSERT_TRUE(pipeline->next(block));
  EXPECT_EQ(block->frames, pipeline->framesPerBlock());
  pipeline.reset();
  EXPECT_LT(reads->load(), 977 / 4);
}

TEST(InputPipeline, WideFramesMakeSmallerBlocks) {
  const FrameFormat wide{16384, 16384, WindowFunction::Hann};
  InputPipeline pipeline(std::make_unique<MemoryReader>(Tone(16384 * 20, 2), 2, 16000), 16000, wide,
                         true, InputPipeline::Limits());
  EXPECT_GE(pipeline.framesPerBlock(), 1u);
  EXPECT_LT(pipeline.framesPerBlock(), 64u);
  EXPECT_EQ(Drain(pipeline).size(), 20u);
}

TEST(InputPipeline, ARefusedFrontEndSettingLeavesNothingBehind) {
  // The sanitizer build's leak check sees a plan or buffer left behind.
  vesk_conditioning::ConditionerSettings bad;
  bad.whitenDecay = 2.0;
  const FrameFormat format{512, 160, WindowFunction::Hann, bad};
  EXPECT_THROW(InputPipeline(std::make_unique<MemoryReader>(Tone(4000, 1), 1, 16000), 16000, format,
                             true, InputPipeline::Limits()),
               std::invalid_argument);
}

}  // namespace

TEST(Resampler, ForLiveInputHoldsSamplesBackLittleAndKeepsThemInTime) {
  // 48 kHz in JACK's periods of 256 frames, an impulse at 1 s: from 16 kHz
  // out, no more than 10 ms behind the input at any period, the impulse
  // still at 1 s.
  vesk_tracking::Resampler live(1, 48000, 16000, true);
  std::vector<float> out;
  double worst = 0.0;
  for (long in = 0; in < 3 * 48000; in += 256) {
    std::vector<float> period(256, 0.0f);
    if (in <= 48000 && 48000 < in + 256) period[48000 - in] = 1.0f;
    live.process(period.data(), period.size(), false, out);
    if (in > 4800) worst = std::max(worst, ((in + 256) / 3.0 - out.size()) / 16.0);
  }
  EXPECT_LE(worst, 10.0);
  const auto peak = std::max_element(out.begin(), out.end(),
                                     [](float a, float b) { return std::fabs(a) < std::fabs(b); });
  EXPECT_EQ(peak - out.begin(), 16000);
}
