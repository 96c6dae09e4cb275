#include <gtest/gtest.h>

#include "EngineTestSupport.h"

namespace {

// m = 51, N = 100.
class BeatScore : public engine_test::EngineTest<51, 100> {
 protected:
  static std::vector<double> OnsetWithSum(double sum) {
    std::vector<double> onset(64, 0.0);
    onset[10] = sum / 2;
    onset[61] = sum / 2;
    onset[62] = 1000.0;  // band 62 is not part of the sum
    return onset;
  }
};

}  // namespace

TEST_F(BeatScore, OnsetSumCoversBandsZeroToSixtyOne) {
  engine->interval_buffer.push(60);
  engine->UpdateBeatScores(std::vector<double>(64, 1.0));
  EXPECT_EQ(engine->onset_sum_buffer.back(0), 62.0);
}

TEST_F(BeatScore, OnsetWindowHoldsOneIntervalOfSums) {
  for (int k = 1; k <= 150; ++k) engine->onset_sum_buffer.push(k);
  engine->interval_buffer.push(40);
  engine->UpdateBeatScores(OnsetWithSum(500));
  const auto& v = engine->interval_value_buffer.back(0);
  ASSERT_EQ(v.size(), 100u);
  EXPECT_EQ(v[0], 500.0);
  EXPECT_EQ(v[1], 150.0);
  EXPECT_EQ(v[39], 112.0);
  for (int j = 40; j < 100; ++j) EXPECT_EQ(v[j], 0.0);
}

TEST_F(BeatScore, IntervalBeyondTheRangeFillsTheWholeWindowOnly) {
  for (int k = 1; k <= 150; ++k) engine->onset_sum_buffer.push(k);
  engine->interval_buffer.push(120);  // above max_interval after a correction
  engine->UpdateBeatScores(OnsetWithSum(500));
  const auto& v = engine->interval_value_buffer.back(0);
  ASSERT_EQ(v.size(), 100u);
  EXPECT_EQ(v[99], 150.0 - 98);
}

TEST_F(BeatScore, PastBeatsCountWholeIntervalsUpToThree) {
  engine->overlap = 8;
  engine->now_interval = 60;
  engine->interval_buffer.fill(60.0);
  engine->t_current = 100;
  EXPECT_EQ(engine->UpdateBeatScores(OnsetWithSum(1)), 1);  // 96 / 60
  engine->t_current = 250;
  EXPECT_EQ(engine->UpdateBeatScores(OnsetWithSum(1)), 3);  // 246 / 60 = 4, limited
  engine->now_interval = 0;
  EXPECT_EQ(engine->UpdateBeatScores(OnsetWithSum(1)), 0);
}

TEST_F(BeatScore, UpdateAddsTheRunningMeanToTheOldScore) {
  // K = 1 with interval 10: the comb is the window stored 10 frames back,
  // here 1 at offset 0 and 2 at offset 1 (overlap 3: (15 - 1) / 10 = 1).
  std::vector<double> stored(100, 0.0);
  stored[0] = 1.0;
  stored[1] = 2.0;
  engine->interval_value_buffer.fill(stored);
  engine->interval_buffer.fill(10.0);
  engine->now_interval = 10;
  engine->t_current = 15;
  engine->UpdateBeatScores(OnsetWithSum(2));  // contribution 1 * 2 to the new frame
  EXPECT_EQ(engine->beat_reliability_buffer.back(0), 2.0);
  EXPECT_EQ(engine->beat_count_buffer.back(0), 1u);
  engine->UpdateBeatScores(OnsetWithSum(0));                // contribution 2 * 2 one frame later
  EXPECT_EQ(engine->beat_reliability_buffer.back(1), 5.0);  // 2 + (2 * 1 + 4) / 2
  EXPECT_EQ(engine->beat_count_buffer.back(1), 2u);
  EXPECT_EQ(engine->beat_reliability_buffer.back(0), 0.0);
}

TEST_F(BeatScore, WithoutPastBeatsScoresOnlyGrowByThemselves) {
  engine->interval_buffer.push(60);
  engine->beat_reliability_buffer.back(2) = 3.0;  // becomes back(3), count 2 -> 3
  engine->beat_count_buffer.back(2) = 2;
  engine->UpdateBeatScores(OnsetWithSum(7));
  EXPECT_EQ(engine->beat_reliability_buffer.back(3), 3.0 + (3.0 * 2) / 3);
}

TEST_F(BeatScore, NeighbourSuppressionKeepsTheStrongerFinalScore) {
  engine->interval_buffer.push(60);
  // Before the push these become back(100) = A and back(101) = B.
  engine->beat_reliability_buffer.back(99) = 1.0;
  engine->beat_reliability_buffer.back(100) = 2.0;
  engine->UpdateBeatScores(OnsetWithSum(0));
  EXPECT_EQ(engine->beat_reliability_buffer.back(100), 0.0);
  EXPECT_EQ(engine->beat_reliability_buffer.back(101), 2.0);

  engine->beat_reliability_buffer.back(99) = 4.0;
  engine->beat_reliability_buffer.back(100) = 4.0;  // equal: the older is cleared
  engine->UpdateBeatScores(OnsetWithSum(0));
  EXPECT_EQ(engine->beat_reliability_buffer.back(100), 4.0);
  EXPECT_EQ(engine->beat_reliability_buffer.back(101), 0.0);
}
