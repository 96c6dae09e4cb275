// The autocorrelation, kept a block of frames at a time, is the one faded
// frame by frame; the comb over two bars tells the beat from a figure that
// repeats at 3/4 of it within the bar, which the comb over four multiples
// takes for the beat.
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "conditioning/after_node/TempoEvidence.h"

using vesk_conditioning::TempoEvidence;

TEST(TempoEvidence, TheCombOverTwoBarsFindsTheBeatUnderAFigureOfDottedEighths) {
  const double beat = 6000.0 / 126.0;  // frames at 100 per second
  const double sixteenth = beat / 4.0;
  // Per bar of sixteenths: kick and bass in 3+3+3+3+2+2, a clap on 2 and 4,
  // hats on every sixteenth.
  const std::string kick = "x..x..x..x..x.x.", clap = "....x.......x...";
  TempoEvidence evidence(75.0, 100.0, 2.5, 2.0, true);
  evidence.setPeriods({0.75 * beat, beat});
  std::vector<double> onsets(3000, 0.0);
  for (int s = 0;; ++s) {
    const std::size_t at = static_cast<std::size_t>(std::lround(s * sixteenth));
    if (at >= onsets.size()) break;
    onsets[at] += (kick[s % 16] == 'x' ? 1.0 : 0.0) + (clap[s % 16] == 'x' ? 0.5 : 0.0) + 0.2;
  }
  for (double x : onsets) evidence.push(x);
  std::vector<double> combs(2, 0.0);
  evidence.addCombs(1.0, combs);
  EXPECT_GT(combs[0], combs[1]);  // four multiples: the figure
  EXPECT_GT(evidence.barComb(beat), 1.3 * evidence.barComb(0.75 * beat));  // two bars: the beat
  TempoEvidence shortReach(75.0, 100.0, 2.5, 2.0);
  EXPECT_THROW(shortReach.barComb(beat), std::logic_error);
}

TEST(TempoEvidence, TheAutocorrelationReadAtAnyFrameIsTheOneFadedFrameByFrame) {
  // Read after a few frames, after more than a block unread, and at random.
  const double frameRate = 100.0, memory = 2.5;
  TempoEvidence evidence(75.0, frameRate, memory, 2.0, true);
  evidence.setPeriods({20.0, 75.0});
  const std::size_t lags = evidence.autocorrelation().size();
  const double decay = std::exp(-1.0 / (memory * frameRate));
  const double meanDecay = std::exp(-1.0 / frameRate);
  std::vector<double> x, acf(lags, 0.0);
  double mean = 0.0;
  std::mt19937 random(7);
  std::uniform_real_distribution<double> onset(0.0, 1.0);
  for (int f = 0; f < 3000; ++f) {
    const double e = f % 25 == 0 ? 4.0 : onset(random);
    evidence.push(e);
    mean = meanDecay * mean + (1.0 - meanDecay) * e;
    x.push_back(e - mean);
    for (std::size_t l = 0; l < lags && l < x.size(); ++l)
      acf[l] = decay * acf[l] + x.back() * x[x.size() - 1 - l];
    if (f != 4 && f != 70 && random() % 97 != 0) continue;
    const std::vector<double>& kept = evidence.autocorrelation();
    for (std::size_t l = 18; l < lags; ++l)  // the lags a comb reads
      ASSERT_NEAR(kept[l], acf[l], 1e-5 * acf[0]) << "lag " << l << ", frame " << f;
  }
}
