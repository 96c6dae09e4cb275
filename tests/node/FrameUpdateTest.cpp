#include <gtest/gtest.h>

#include "NodeHarness.h"
#include "node/FrameUpdate.h"

namespace {

TEST(FrameUpdate, SignalSlidesByTheHopAndTakesHalfTheChannelSum) {
  std::vector<double> signal{1, 2, 3, 4, 5};
  RL::Matrix<float> frame(2, 5);
  for (std::size_t j = 0; j < 5; ++j) {
    frame(0, j) = static_cast<float>(10 * j);
    frame(1, j) = 1.0f;
  }
  update_signal(signal, frame, 2);
  // The oldest two samples drop out; positions 3 and 4 come from columns 3 and 4.
  EXPECT_EQ(signal, (std::vector<double>{3, 4, 5, 15.5, 20.5}));
  update_signal(signal, frame, 5);  // frame 0 rebuilds the whole buffer
  EXPECT_EQ(signal, (std::vector<double>{0.5, 5.5, 10.5, 15.5, 20.5}));
  RL::Matrix<float> mono(1, 5, 3.0f);
  update_signal(signal, mono, 0);
  EXPECT_EQ(signal, (std::vector<double>{0.5, 5.5, 10.5, 15.5, 20.5}));
  update_signal(signal, mono, 1);
  EXPECT_EQ(signal.back(), 1.5);
}

TEST(FrameUpdate, SpectrumSlidesByKBinsFromTheFrameInRowMajorOrder) {
  std::vector<FftComplex> spectrum(3, FftComplex(0, 0));
  RL::Matrix<std::complex<float>> frame(1, 3);
  for (std::size_t j = 0; j < 3; ++j) frame(0, j) = {static_cast<float>(j), -1.0f};
  update_fftsignal(spectrum, frame, 3);
  for (std::size_t j = 0; j < 3; ++j) {
    EXPECT_EQ(spectrum[j].re, static_cast<double>(j));
    EXPECT_EQ(spectrum[j].im, -1.0);
  }
  frame(0, 2) = {9.0f, 9.0f};
  update_fftsignal(spectrum, frame, 1);  // only the last bin is new
  EXPECT_EQ(spectrum[0].re, 1.0);
  EXPECT_EQ(spectrum[1].re, 2.0);
  EXPECT_EQ(spectrum[2].re, 9.0);
  EXPECT_EQ(spectrum[2].abs(), std::sqrt(162.0));
}

TEST(FrameUpdate, PrintVectorWritesAtMostNValues) {
  std::vector<double> values{1.5, 2, 3};
  node_test::CoutCapture out;
  PrintVector(values, 2);
  PrintVector(values, 10);
  EXPECT_EQ(out.str(), "1.5, 2, \n1.5, 2, 3, \n");
}

}  // namespace
