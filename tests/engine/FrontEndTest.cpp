#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

#include "EngineTestSupport.h"

namespace {

int kOnsetKernel[3][3] = {{-1, 0, 1}, {-2, 0, 2}, {-1, 0, 1}};

using FrontEnd = engine_test::EngineTest<51, 100>;

}  // namespace

TEST_F(FrontEnd, SilenceGivesZeroMelAndOnsetAndNotANumberChroma) {
  const auto result = engine->analyze(std::vector<double>(256, 0.0));
  ASSERT_EQ(result.onset_vector.size(), 64u);
  ASSERT_EQ(result.chroma_vector.size(), 12u);
  for (double value : result.onset_vector) EXPECT_EQ(value, 0.0);
  for (double value : engine->mel_buffer.back(0)) EXPECT_EQ(value, 0.0);
  for (double value : result.chroma_vector) EXPECT_TRUE(std::isnan(value));
}

TEST_F(FrontEnd, EnergyBelowBin24NeverReachesTheChroma) {
  std::vector<double> spectrum(256, 0.0);
  for (int i = 0; i < 24; ++i) spectrum[i] = 1.0;
  for (double value : engine->analyze(spectrum).chroma_vector) EXPECT_TRUE(std::isnan(value));
}

TEST_F(FrontEnd, ChromaIsScaledToItsStrongestClass) {
  std::vector<double> spectrum(256, 0.0);
  spectrum[24] = 2.0;  // class 0
  spectrum[48] = 4.0;  // the octave above: class 0 again
  spectrum[30] = 3.0;
  const auto chroma = engine->analyze(spectrum).chroma_vector;
  const int other = static_cast<int>(engine->bin_pitch_class[30]);
  ASSERT_NE(other, 0);
  EXPECT_EQ(chroma[0], 1.0);
  EXPECT_DOUBLE_EQ(chroma[other], 0.5);
  for (int p = 0; p < 12; ++p)
    if (p != 0 && p != other) {
      EXPECT_EQ(chroma[p], 0.0);
    }
}

TEST_F(FrontEnd, ChromaFollowsPitchTablesEditedByHand) {
  // The chroma sums every counted bin into its class in bin order, with the
  // tables as they are at the call, also after they were edited.
  std::vector<double> spectrum(256);
  for (int i = 0; i < 256; ++i) spectrum[i] = 1.0 + 0.37 * ((i * 7919) % 101);
  auto straightforward = [&] {
    std::vector<double> sums(12, 0.0);
    for (std::size_t i = 0; i < spectrum.size() && i < engine->bin_octave.size(); ++i) {
      const int octave = static_cast<int>(engine->bin_octave[i]);
      if (octave >= 1 && octave <= 9)
        sums[static_cast<int>(engine->bin_pitch_class[i])] += spectrum[i];
    }
    double peak = 0.0;
    for (double v : sums) peak = v > peak ? v : peak;
    for (double& v : sums) v = v / peak;
    return sums;
  };
  engine->spectrum_buffer.push(spectrum);
  EXPECT_TRUE(
      engine_test::SameBits(engine->MakeChromaVec(engine->spectrum_buffer), straightforward()));
  // Classes moved, a bin taken out, a low bin let in, a run split in two.
  engine->bin_pitch_class[200] = 3.0;
  engine->bin_pitch_class[120] = 11.0;
  engine->bin_octave[150] = 0.0;
  engine->bin_octave[10] = 2.0;
  engine->bin_pitch_class[10] = 7.0;
  EXPECT_TRUE(
      engine_test::SameBits(engine->MakeChromaVec(engine->spectrum_buffer), straightforward()));
  // Shorter tables than the row: only the bins they cover count.
  engine->bin_octave.resize(100);
  EXPECT_TRUE(
      engine_test::SameBits(engine->MakeChromaVec(engine->spectrum_buffer), straightforward()));
}

TEST_F(FrontEnd, MelFiltersAreTrianglesOfHeightOne) {
  // A bin exactly on a peak point gives its full magnitude to that filter only.
  std::vector<double> row(256, 0.0);
  row[128] = 1.0;
  const auto mel = engine->MelSpectrumReference(row);
  ASSERT_EQ(mel.size(), 64u);
  double total = 0.0;
  for (double value : mel) total += value;
  EXPECT_NEAR(total, 1.0, 1e-12);  // neighbouring triangles overlap to a sum of one
  const auto& P = engine->mel_points;
  for (int m = 1; m <= 64; ++m) {
    const double x = 128.0;
    double expected = 0.0;
    if (P[m - 1] <= x && x <= P[m])
      expected = (x - P[m - 1]) / (P[m] - P[m - 1]);
    else if (x > P[m] && x <= P[m + 1])
      expected = (P[m + 1] - x) / (P[m + 1] - P[m]);
    EXPECT_DOUBLE_EQ(mel[m - 1], expected) << m;
  }
}

TEST_F(FrontEnd, OnsetIsTheRectifiedSmoothedRiseOverTwoFrames) {
  // Newest minus two frames back, weights 1-2-1 across bands, never negative.
  beat_tracker::RingIBuffer<std::vector<double>> ring;
  ring.length = 8;
  ring.fill(std::vector<double>(6, 0.0));
  ring.push({1, 1, 1, 1, 1, 1});
  ring.push({9, 9, 9, 9, 9, 9});  // the middle frame has weight 0
  ring.push({1, 2, 3, 0, 0, 1});
  const auto out = engine->Filter3x3(ring, kOnsetKernel);
  ASSERT_EQ(out.size(), 6u);
  EXPECT_EQ(out[0], 0.0);
  EXPECT_EQ(out[5], 0.0);
  EXPECT_EQ(out[1], (1 - 1) + 2 * (2 - 1) + (3 - 1));
  EXPECT_EQ(out[2], (2 - 1) + 2 * (3 - 1) + (0 - 1));
  EXPECT_EQ(out[3], 0.0);  // (3-1) + 2(0-1) + (0-1) = -1, rectified
  EXPECT_EQ(out[4], 0.0);  // -1 - 2 + 0, rectified

  // A constant mel spectrum over three frames gives no onset.
  ring.push({5, 5, 5, 5, 5, 5});
  ring.push({5, 5, 5, 5, 5, 5});
  ring.push({5, 5, 5, 5, 5, 5});
  for (double value : engine->Filter3x3(ring, kOnsetKernel)) EXPECT_EQ(value, 0.0);

  // Rows shorter than three give zeros.
  beat_tracker::RingIBuffer<std::vector<double>> narrow;
  narrow.length = 4;
  narrow.fill({1.0, 2.0});
  EXPECT_EQ(engine->Filter3x3(narrow, kOnsetKernel), std::vector<double>(2, 0.0));
}

TEST_F(FrontEnd, FirstFramesSubtractTheZeroFill) {
  std::vector<double> spectrum(256, 1.0);
  const auto first = engine->analyze(spectrum);
  const auto& mel = engine->mel_buffer.back(0);
  for (int j = 1; j < 63; ++j)
    EXPECT_DOUBLE_EQ(first.onset_vector[j], mel[j - 1] + 2 * mel[j] + mel[j + 1]);
  engine->analyze(spectrum);
  const auto third = engine->analyze(spectrum);  // real rows from now on
  for (double value : third.onset_vector) EXPECT_EQ(value, 0.0);
}

TEST_F(FrontEnd, IncSpecIsTheRectifiedDifference) {
  beat_tracker::RingIBuffer<std::vector<double>> ring;
  ring.length = 4;
  ring.fill(std::vector<double>(4, 0.0));
  ring.push({1.0, 5.0, 2.0, 0.0});
  ring.push({3.0, 1.0, 2.0, std::nan("")});
  EXPECT_EQ(engine->MakeIncSpec(ring), (std::vector<double>{2.0, 0.0, 0.0, 0.0}));
}

TEST_F(FrontEnd, MismatchedOrUnfilledInputIsRefused) {
  EXPECT_THROW(engine->analyze(std::vector<double>(255, 1.0)), std::invalid_argument);
  EXPECT_EQ(engine->t_current, 0);  // nothing changed
  beat_tracker::RingIBuffer<std::vector<double>> empty;
  EXPECT_THROW(engine->Filter3x3(empty, kOnsetKernel), std::invalid_argument);
  EXPECT_THROW(engine->STPattanMatching(empty), std::invalid_argument);
}
