// The comb over two bars tells the beat from a figure that repeats at 3/4 of
// it within the bar, which the comb over four multiples takes for the beat.
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
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
