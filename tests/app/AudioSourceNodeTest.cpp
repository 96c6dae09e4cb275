#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "apps/vesk-beat/AudioSourceNode.h"
#include "tests/app/MemoryReader.h"

using vesk_beat::AudioSourceNode;

namespace {

std::unique_ptr<AudioSourceNode> makeSource(std::vector<float> samples, int channels, int rate,
                                            int processingRate, int frame, int hop,
                                            std::size_t chunk = 1 << 20) {
  auto node = std::make_unique<AudioSourceNode>(
      "source", std::make_unique<MemoryReader>(std::move(samples), channels, rate, chunk),
      processingRate, frame, hop);
  node->initialize();
  return node;
}

RL::RCPtr<RL::Matrix<float>> frameOf(AudioSourceNode& node, int f) {
  return RL::Conversion::convertTo<RL::Matrix<float>>(node.getOutputNamed("AUDIO", f));
}

}  // namespace

TEST(AudioSourceNode, WindowsEndWithTheNewHopAndStartWithZeros) {
  // Stereo ramp: left = n, right = -n; 10 frames of 4 samples, window 8.
  std::vector<float> samples;
  for (int n = 0; n < 40; ++n) {
    samples.push_back(static_cast<float>(n));
    samples.push_back(static_cast<float>(-n));
  }
  auto node = makeSource(samples, 2, 16000, 16000, 8, 4, /*chunk=*/3);
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

TEST(AudioSourceNode, ALastPartialHopIsPaddedWithZeros) {
  std::vector<float> samples(10, 1.0f);
  auto node = makeSource(samples, 1, 8000, 8000, 4, 4);
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
  EXPECT_FALSE(node->hasNextFrame());
  EXPECT_EQ(node->samplesDelivered(), 10);
}

TEST(AudioSourceNode, AnEmptyInputHasNoFrame) {
  auto node = makeSource({}, 1, 16000, 16000, 512, 160);
  EXPECT_FALSE(node->hasNextFrame());
}

TEST(AudioSourceNode, ResamplesToTheProcessingRateKeepingDurationAndPitch) {
  // One second of a 440 Hz sine at 44100 Hz, processed at 16000 Hz.
  const int in = 44100, out = 16000, hop = 160, frame = 512;
  std::vector<float> samples(in);
  for (int n = 0; n < in; ++n) samples[n] = 0.5f * std::sin(2 * M_PI * 440.0 * n / in);
  auto node = makeSource(samples, 1, in, out, frame, hop, 1000);
  std::vector<float> signal;
  int f = 0;
  for (; node->hasNextFrame(); ++f) {
    auto m = frameOf(*node, f);
    for (int j = frame - hop; j < frame; ++j) signal.push_back((*m)(0, j));
  }
  EXPECT_NEAR(static_cast<double>(node->samplesDelivered()), out, 2.0);
  EXPECT_EQ(f, 100);
  // Count upward zero crossings in the steady middle part: 440 per second.
  int crossings = 0;
  for (int n = 4000; n < 12000; ++n) crossings += signal[n - 1] < 0 && signal[n] >= 0;
  EXPECT_NEAR(crossings, 440 * 0.5, 1);
  float peak = 0;
  for (int n = 4000; n < 12000; ++n) peak = std::max(peak, std::fabs(signal[n]));
  EXPECT_NEAR(peak, 0.5f, 0.01f);
}
