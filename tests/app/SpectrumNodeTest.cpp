#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <memory>

#include "apps/vesk-beat/AudioSourceNode.h"
#include "apps/vesk-beat/SpectrumNode.h"
#include "tests/app/MemoryReader.h"

using namespace vesk_beat;

namespace {

// Members are destroyed in reverse order: the spectrum node before its source.
struct Chain {
  std::unique_ptr<AudioSourceNode> source;
  std::unique_ptr<SpectrumNode> spectrum;
};

Chain makeChain(std::vector<float> samples, int channels, int frame, int hop,
                WindowFunction::Type window) {
  Chain c;
  c.source = std::make_unique<AudioSourceNode>(
      "source", std::make_unique<MemoryReader>(std::move(samples), channels, 16000), 16000, frame,
      hop);
  c.spectrum = std::make_unique<SpectrumNode>("spectrum", frame, window);
  c.spectrum->connectToNode("AUDIO", c.source.get(), "AUDIO");
  c.source->initialize();
  c.spectrum->initialize();
  return c;
}

RL::RCPtr<RL::Matrix<std::complex<float>>> spectrumOf(Chain& c, int f) {
  return RL::Conversion::convertTo<RL::Matrix<std::complex<float>>>(
      c.spectrum->getOutputNamed("FFTAUDIO", f));
}

}  // namespace

TEST(SpectrumNode, ASineGivesItsPeakInTheRightBinOfRowZero) {
  const int frame = 512;
  std::vector<float> samples(frame * 4);
  // Bin 32 of 512 at 16 kHz is 1000 Hz.
  for (std::size_t n = 0; n < samples.size(); ++n)
    samples[n] = std::sin(2 * M_PI * 1000.0 * n / 16000.0);
  Chain c = makeChain(samples, 1, frame, frame, WindowFunction::Hann);
  auto s = spectrumOf(c, 1);
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

TEST(SpectrumNode, ChannelsAreAveragedAndTheWindowApplied) {
  const int frame = 64;
  // Left 1, right 0.5: the mean 0.75 under a rectangular window is all DC.
  std::vector<float> samples;
  for (int n = 0; n < frame; ++n) {
    samples.push_back(1.0f);
    samples.push_back(0.5f);
  }
  Chain c = makeChain(samples, 2, frame, frame, WindowFunction::Rectangular);
  auto s = spectrumOf(c, 0);
  EXPECT_NEAR((*s)(0, 0).real(), 0.75 * frame, 1e-4);
  for (int k = 1; k <= frame / 2; ++k) EXPECT_NEAR(std::abs((*s)(0, k)), 0.0, 1e-4);

  // The same signal under Hann: DC is the window's sum (N/2), bin 1 half of it.
  Chain h = makeChain(samples, 2, frame, frame, WindowFunction::Hann);
  auto sh = spectrumOf(h, 0);
  EXPECT_NEAR(std::abs((*sh)(0, 0)), 0.75 * frame / 2, 1e-3);
  EXPECT_NEAR(std::abs((*sh)(0, 1)), 0.75 * frame / 4, 1e-3);
}

TEST(SpectrumNode, AnOddFrameLengthGivesHalfPlusOneBins) {
  std::vector<float> samples(511 * 2, 0.25f);
  Chain c = makeChain(samples, 1, 511, 160, WindowFunction::Hamming);
  EXPECT_EQ(spectrumOf(c, 0)->ncols(), 256u);
}

TEST(SpectrumNode, AFrameOfTheWrongWidthIsAFrameworkError) {
  auto source = std::make_unique<AudioSourceNode>(
      "source", std::make_unique<MemoryReader>(std::vector<float>(1024, 0.f), 1, 16000), 16000, 256,
      128);
  SpectrumNode spectrum("spectrum", 512, WindowFunction::Hann);
  spectrum.connectToNode("AUDIO", source.get(), "AUDIO");
  source->initialize();
  spectrum.initialize();
  try {
    spectrum.getOutputNamed("FFTAUDIO", 0);
    FAIL() << "no error";
  } catch (RL::BaseException* e) {
    std::string text = e->message();
    delete e;
    EXPECT_NE(text.find("AUDIO frame of 1 x 256, expected 512 columns"), std::string::npos) << text;
  }
}
