#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <memory>
#include <string>

#include "tests/tracking/DirectFrames.h"
#include "tests/tracking/MemoryReader.h"
#include "tracking/input/Resampler.h"
#include "tracking/network/AudioSourceNode.h"

using vesk_tracking::AudioSourceNode;
using vesk_tracking::FrameFormat;

namespace {

std::unique_ptr<AudioSourceNode> makeSource(std::vector<float> samples, int channels, int rate,
                                            int processingRate, FrameFormat format,
                                            std::size_t chunk = 1 << 20) {
  auto node = std::make_unique<AudioSourceNode>(
      "source", std::make_unique<MemoryReader>(std::move(samples), channels, rate, chunk),
      processingRate, format);
  node->initialize();
  return node;
}

FrameFormat rectangular(int frame, int hop) {
  return {frame, hop, WindowFunction::Rectangular};
}

RL::RCPtr<RL::Matrix<float>> frameOf(AudioSourceNode& node, int f) {
  return RL::Conversion::convertTo<RL::Matrix<float>>(node.getOutputNamed("AUDIO", f));
}

RL::RCPtr<RL::Matrix<std::complex<float>>> spectrumOf(AudioSourceNode& node, int f) {
  return RL::Conversion::convertTo<RL::Matrix<std::complex<float>>>(
      node.getOutputNamed("FFTAUDIO", f));
}

}  // namespace

TEST(AudioSourceNode, WindowsEndWithTheNewHopAndStartWithZeros) {
  // Stereo ramp: left = n, right = -n; 10 frames of 4 samples, window 8.
  std::vector<float> samples;
  for (int n = 0; n < 40; ++n) {
    samples.push_back(static_cast<float>(n));
    samples.push_back(static_cast<float>(-n));
  }
  auto node = makeSource(samples, 2, 16000, 16000, rectangular(8, 4), /*chunk=*/3);
  int frames = 0;
  while (node->hasNextFrame()) {
    auto m = frameOf(*node, frames);
    ASSERT_EQ(m->nrows(), 2u);
    ASSERT_EQ(m->ncols(), 8u);
    for (int j = 0; j < 8; ++j) {
      // Column j holds sample (f+1)*hop - 8 + j, zero before the start.
      int n = (frames + 1) * 4 - 8 + j;
      float expected = n < 0 ? 0.0f : static_cast<float>(n);
      EXPECT_EQ((*m)(0, j), expected) << "frame " << frames << " column " << j;
      EXPECT_EQ((*m)(1, j), -expected);
    }
    ++frames;
  }
  EXPECT_EQ(frames, 10);
  EXPECT_EQ(node->samplesDelivered(), 40);
  EXPECT_EQ(node->expectedFrames(), 10);
}

TEST(AudioSourceNode, WrapsTheFramesAndSpectraOfTheDirectComputationAcrossBlocks) {
  // Stereo at 44.1 kHz, 1.7 s and a bit (a partial last hop), in blocks of
  // five frames with room for two: the node's wrapping crosses many block
  // boundaries, with the reading thread and in the caller's thread.
  const int channels = 2, rate = 44100;
  const FrameFormat format{512, 160, WindowFunction::Hann};
  const std::vector<float> input = Tone(rate * 17 / 10 + 31, channels);
  std::vector<float> atRate;
  vesk_tracking::Resampler(channels, rate, 16000)
      .process(input.data(), input.size() / channels, true, atRate);
  const std::vector<Frame> direct = Direct(atRate, channels, format);
  vesk_tracking::InputPipeline::Limits tiny;
  tiny.framesPerBlock = 5;
  tiny.queue.capacity = 2;
  tiny.queue.lowWater = 0;
  tiny.queue.wakeAt = 2;
  for (bool readAhead : {true, false}) {
    AudioSourceNode node("source", std::make_unique<MemoryReader>(input, channels, rate, 1000),
                         16000, format, readAhead, tiny);
    node.initialize();
    std::vector<Frame> got;
    for (int f = 0; node.hasNextFrame(); ++f) {
      const std::int64_t before = node.samplesDelivered();
      // The spectrum asked first, the window after it: both belong to frame f.
      auto s = spectrumOf(node, f);
      auto m = frameOf(node, f);
      ASSERT_EQ(m->nrows(), 2u);
      ASSERT_EQ(s->nrows(), 1u);
      Frame frame;
      frame.audio.assign(m->data(), m->data() + m->size());
      frame.spectrum.assign(s->data(), s->data() + s->size());
      frame.newSamples = static_cast<int>(node.samplesDelivered() - before);
      got.push_back(std::move(frame));
    }
    ExpectSameFrames(got, direct, readAhead ? "read ahead" : "in the caller's thread");
    EXPECT_EQ(node.samplesDelivered(), static_cast<std::int64_t>(atRate.size() / channels));
    EXPECT_EQ(node.expectedFrames(), static_cast<std::int64_t>(direct.size()));
  }
}

TEST(AudioSourceNode, ALastPartialHopIsPaddedWithZerosAndTheWindowSlidesOnPastTheEnd) {
  std::vector<float> samples(10, 1.0f);
  auto node = makeSource(samples, 1, 8000, 8000, rectangular(4, 4));
  ASSERT_TRUE(node->hasNextFrame());
  frameOf(*node, 0);
  ASSERT_TRUE(node->hasNextFrame());
  frameOf(*node, 1);
  ASSERT_TRUE(node->hasNextFrame());
  auto last = frameOf(*node, 2);
  EXPECT_EQ((*last)(0, 0), 1.0f);
  EXPECT_EQ((*last)(0, 1), 1.0f);
  EXPECT_EQ((*last)(0, 2), 0.0f);
  EXPECT_EQ((*last)(0, 3), 0.0f);
  EXPECT_EQ((*spectrumOf(*node, 2))(0, 0), std::complex<float>(2.0f, 0.0f));
  EXPECT_FALSE(node->hasNextFrame());
  EXPECT_EQ(node->samplesDelivered(), 10);
  // Asked for all the same, a frame past the end holds zeros only.
  auto after = frameOf(*node, 3);
  for (int j = 0; j < 4; ++j) EXPECT_EQ((*after)(0, j), 0.0f);
  EXPECT_EQ((*spectrumOf(*node, 3))(0, 0), std::complex<float>(0.0f, 0.0f));
  EXPECT_FALSE(node->hasNextFrame());
  EXPECT_EQ(node->samplesDelivered(), 10);
}

TEST(AudioSourceNode, AnEmptyInputHasNoFrame) {
  auto node = makeSource({}, 1, 16000, 16000, {512, 160, WindowFunction::Hann});
  EXPECT_FALSE(node->hasNextFrame());
  EXPECT_EQ(node->expectedFrames(), 0);
}

TEST(AudioSourceNode, ResamplesToTheProcessingRateKeepingDurationAndPitch) {
  // One second of a 440 Hz sine at 44100 Hz, processed at 16000 Hz.
  const int in = 44100, out = 16000, hop = 160, frame = 512;
  std::vector<float> samples(in);
  for (int n = 0; n < in; ++n) samples[n] = 0.5f * std::sin(2 * M_PI * 440.0 * n / in);
  auto node = makeSource(samples, 1, in, out, {frame, hop, WindowFunction::Hann}, 1000);
  std::vector<float> signal;
  int f = 0;
  for (; node->hasNextFrame(); ++f) {
    auto m = frameOf(*node, f);
    for (int j = frame - hop; j < frame; ++j) signal.push_back((*m)(0, j));
  }
  EXPECT_NEAR(static_cast<double>(node->samplesDelivered()), out, 2.0);
  EXPECT_EQ(f, 100);
  EXPECT_EQ(node->expectedFrames(), 100);
  // Count upward zero crossings in the steady middle part: 440 per second.
  int crossings = 0;
  for (int n = 4000; n < 12000; ++n) crossings += signal[n - 1] < 0 && signal[n] >= 0;
  EXPECT_NEAR(crossings, 440 * 0.5, 1);
  float peak = 0;
  for (int n = 4000; n < 12000; ++n) peak = std::max(peak, std::fabs(signal[n]));
  EXPECT_NEAR(peak, 0.5f, 0.01f);
}

TEST(AudioSourceNode, ASineGivesItsSpectralPeakInTheRightBinOfRowZero) {
  const int frame = 512;
  std::vector<float> samples(frame * 4);
  // Bin 32 of 512 at 16 kHz is 1000 Hz.
  for (std::size_t n = 0; n < samples.size(); ++n)
    samples[n] = std::sin(2 * M_PI * 1000.0 * n / 16000.0);
  auto node = makeSource(samples, 1, 16000, 16000, {frame, frame, WindowFunction::Hann});
  ASSERT_TRUE(node->hasNextFrame());
  auto s = spectrumOf(*node, 0);
  ASSERT_EQ(s->nrows(), 1u);
  ASSERT_EQ(s->ncols(), frame / 2 + 1u);
  std::size_t best = 0;
  for (std::size_t k = 0; k < s->ncols(); ++k)
    if (std::abs((*s)(0, k)) > std::abs((*s)(0, best))) best = k;
  EXPECT_EQ(best, 32u);
  // A Hann-windowed sine of amplitude 1 peaks at N/4.
  EXPECT_NEAR(std::abs((*s)(0, 32)), frame / 4.0, 1.0);
  EXPECT_LT(std::abs((*s)(0, 40)), 1e-2);
}

TEST(AudioSourceNode, TheSpectrumAveragesTheChannelsUnderTheWindow) {
  const int frame = 64;
  // Left 1, right 0.5: the mean 0.75 under a rectangular window is all DC.
  std::vector<float> samples;
  for (int n = 0; n < frame; ++n) {
    samples.push_back(1.0f);
    samples.push_back(0.5f);
  }
  auto node = makeSource(samples, 2, 16000, 16000, rectangular(frame, frame));
  ASSERT_TRUE(node->hasNextFrame());
  auto s = spectrumOf(*node, 0);
  EXPECT_NEAR((*s)(0, 0).real(), 0.75 * frame, 1e-4);
  for (int k = 1; k <= frame / 2; ++k) EXPECT_NEAR(std::abs((*s)(0, k)), 0.0, 1e-4);

  // The same signal under Hann: DC is the window's sum (N/2), bin 1 half of it.
  auto hann = makeSource(samples, 2, 16000, 16000, {frame, frame, WindowFunction::Hann});
  ASSERT_TRUE(hann->hasNextFrame());
  auto sh = spectrumOf(*hann, 0);
  EXPECT_NEAR(std::abs((*sh)(0, 0)), 0.75 * frame / 2, 1e-3);
  EXPECT_NEAR(std::abs((*sh)(0, 1)), 0.75 * frame / 4, 1e-3);
}

TEST(AudioSourceNode, AnOddFrameLengthGivesHalfPlusOneBins) {
  std::vector<float> samples(511 * 2, 0.25f);
  auto node = makeSource(samples, 1, 16000, 16000, {511, 160, WindowFunction::Hamming});
  ASSERT_TRUE(node->hasNextFrame());
  EXPECT_EQ(spectrumOf(*node, 0)->ncols(), 256u);
}

TEST(AudioSourceNode, AFrameHeldDownstreamIsNotOverwrittenByLaterFrames) {
  std::vector<float> samples(64 * 40);
  for (std::size_t n = 0; n < samples.size(); ++n) samples[n] = static_cast<float>(n);
  auto node = makeSource(samples, 1, 16000, 16000, rectangular(64, 64));
  ASSERT_TRUE(node->hasNextFrame());
  auto held = frameOf(*node, 0);
  auto heldSpectrum = spectrumOf(*node, 0);
  const std::complex<float> dc = (*heldSpectrum)(0, 0);
  for (int f = 1; node->hasNextFrame(); ++f) {
    auto m = frameOf(*node, f);
    EXPECT_NE(m.get(), held.get());
    EXPECT_EQ((*m)(0, 0), 64.0f * f);
  }
  for (int j = 0; j < 64; ++j) EXPECT_EQ((*held)(0, j), static_cast<float>(j));
  EXPECT_EQ((*heldSpectrum)(0, 0), dc);
  EXPECT_EQ(dc.real(), 63.0f * 64 / 2);
}

TEST(AudioSourceNode, AFormatThatMakesNoFramesIsAFrameworkError) {
  for (FrameFormat bad : {rectangular(1, 1), rectangular(256, 0), rectangular(256, 257)}) {
    try {
      AudioSourceNode node("source",
                           std::make_unique<MemoryReader>(std::vector<float>(1024, 0.f), 1, 16000),
                           16000, bad);
      FAIL() << "no error for frame " << bad.length << ", hop " << bad.hop;
    } catch (RL::BaseException* e) {
      std::string text = e->message();
      delete e;
      const std::string expected = bad.length < 2
                                       ? "frame length 1 is too short for a spectrum"
                                       : "hop " + std::to_string(bad.hop) + " outside 1 .. 256";
      EXPECT_NE(text.find(expected), std::string::npos) << text;
    }
  }
}
