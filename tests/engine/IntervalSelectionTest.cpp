#include <gtest/gtest.h>

#include "EngineTestSupport.h"

using beat_tracker::BeatTracker;
using beat_tracker::IntervalChoice;

namespace {

// m = 43: the matching vector has 87 entries, index i for interval 43 + i.
class IntervalSelection : public engine_test::EngineTest<43, 130> {
 protected:
  void SetUp() override {
    // The state after the silent start.
    engine->held_interval_index = -5;
    engine->held_peak = 0;
  }

  static std::vector<double> Peaks(std::initializer_list<std::pair<int, double>> peaks) {
    std::vector<double> S(87, 0.0);
    for (auto [position, value] : peaks) S[position] = value;
    return S;
  }
};

}  // namespace

TEST_F(IntervalSelection, SinglePeak) {
  const IntervalChoice choice = engine->SelectInterval(Peaks({{20, 0.6}}));
  EXPECT_EQ(choice.index, 20);
  EXPECT_EQ(choice.first_position, 20);
  EXPECT_EQ(choice.second_position, -43);
  EXPECT_EQ(choice.first_peak, 0.6);
  EXPECT_EQ(choice.second_peak, 0.0);
  EXPECT_FALSE(engine->no_onset);
  EXPECT_EQ(engine->held_interval_index, 20);
  EXPECT_EQ(engine->held_peak, 0.6);
}

TEST_F(IntervalSelection, OfTwoPeaksInATwoToOneRelationTheSecondStrongestWins) {
  IntervalChoice choice = engine->SelectInterval(Peaks({{7, 0.8}, {57, 0.7}}));
  EXPECT_EQ(choice.index, 57);  // interval 100
  EXPECT_EQ(choice.second_position, 57);
  EXPECT_EQ(choice.second_peak, 0.7);

  SetUp();
  choice = engine->SelectInterval(Peaks({{7, 0.7}, {57, 0.8}}));
  EXPECT_EQ(choice.index, 7);  // interval 50

  SetUp();  // intervals 53 and 93 have no relation: the strongest stays
  choice = engine->SelectInterval(Peaks({{10, 0.8}, {50, 0.7}}));
  EXPECT_EQ(choice.index, 10);
  EXPECT_EQ(choice.second_position, 50);
}

TEST_F(IntervalSelection, SecondPeakMustReachSeventyPercentAndLieTwentyAway) {
  // Exactly 0.7 of the first is not weak: it is weighed.
  IntervalChoice choice = engine->SelectInterval(Peaks({{7, 1.0}, {57, 0.7}}));
  EXPECT_EQ(choice.index, 57);
  SetUp();
  choice = engine->SelectInterval(Peaks({{7, 1.0}, {57, 0.69}}));
  EXPECT_EQ(choice.index, 7);
  EXPECT_EQ(choice.second_position, -43);
  EXPECT_EQ(choice.second_peak, 0.0);

  // A peak 19 positions away is skipped for the next one at least 20 away.
  SetUp();
  choice = engine->SelectInterval(Peaks({{7, 0.8}, {26, 0.79}, {57, 0.7}}));
  EXPECT_EQ(choice.second_position, 57);
  EXPECT_EQ(choice.index, 57);
}

TEST_F(IntervalSelection, EqualPeaksTakeTheLowerPosition) {
  const IntervalChoice choice = engine->SelectInterval(Peaks({{30, 0.5}, {12, 0.5}}));
  EXPECT_EQ(choice.first_position, 12);
}

TEST_F(IntervalSelection, PlateausAreNoPeaksAndEndsCount) {
  std::vector<double> S(87, 0.3);  // constant: no peak, no onset check
  engine->held_interval_index = 11;
  engine->held_peak = 0.9;
  IntervalChoice choice = engine->SelectInterval(S);
  EXPECT_EQ(choice.index, 11);
  EXPECT_EQ(engine->held_peak, 0.0);  // the memory is replaced by the missing peak
  EXPECT_FALSE(engine->no_onset);

  S.assign(87, 0.0);
  S[86] = 0.4;  // the last entry counts when above its neighbour
  SetUp();
  EXPECT_EQ(engine->SelectInterval(S).index, 86);
}

TEST_F(IntervalSelection, HoldOverDecaysByPointEightFive) {
  engine->held_interval_index = 20;
  engine->held_peak = 1.0;
  IntervalChoice choice = engine->SelectInterval(Peaks({{30, 0.8}}));
  EXPECT_EQ(choice.index, 20);
  EXPECT_EQ(choice.first_peak, 0.85);
  EXPECT_EQ(engine->held_peak, 0.85);
  choice = engine->SelectInterval(Peaks({{30, 0.8}}));  // 0.7225 < 0.8
  EXPECT_EQ(choice.index, 30);
  EXPECT_EQ(engine->held_peak, 0.8);

  engine->held_interval_index = 20;
  engine->held_peak = 1.0;
  EXPECT_EQ(engine->SelectInterval(Peaks({{30, 0.86}})).index, 30);
}

TEST_F(IntervalSelection, HoldOverUndoesAJumpToTheHalfInterval) {
  // Held interval 43 + 57 = 100; the new peak at 7 (interval 50) is half of
  // it: |2 * 50 - 43 - 57| = 0 < 5 keeps nothing, so test the double jump
  // instead: held 7 (interval 50), new peak 57 (interval 100), distance 50:
  // DD = 50, |50 - 43 - 7| = 0 < 5 and |100 - 43 - 57| = 0 < 5: unchanged.
  engine->held_interval_index = 7;
  engine->held_peak = 0.5;
  EXPECT_EQ(engine->SelectInterval(Peaks({{57, 0.9}})).index, 57);

  // Held index 25 (interval 68), new peak at 0 (interval 43): dd = 25 is
  // doubled to 50 and 50 - 43 = 7 is no match for 25; the triple 75 - 43 = 32
  // is not within 5 of 25 either: the new peak stays.
  engine->held_interval_index = 25;
  engine->held_peak = 0.5;
  EXPECT_EQ(engine->SelectInterval(Peaks({{0, 0.9}})).index, 0);

  // Held index 61 (interval 104), new peak 0 (interval 43): dd = 61 is not
  // doubled (61 >= 38), |61 - 43 - 61| = 43; |61 - 43 - 0| = 18 >= 5, TT = 61,
  // no match. Held index 2 (interval 45), new peak 24 (interval 67): dd = 22
  // doubled to 44, |44 - 43 - 2| = 1 < 5 and |88 - 43 - 24| = 21 >= 5: the
  // choice becomes DD - m = 1 with the held peak.
  engine->held_interval_index = 61;
  engine->held_peak = 0.5;
  EXPECT_EQ(engine->SelectInterval(Peaks({{0, 0.9}})).index, 0);
  engine->held_interval_index = 2;
  engine->held_peak = 0.5;
  const IntervalChoice choice = engine->SelectInterval(Peaks({{24, 0.9}}));
  EXPECT_EQ(choice.index, 1);
  EXPECT_EQ(choice.first_peak, 0.425);
}

TEST_F(IntervalSelection, ACorrectionCanLeaveTheRange) {
  // m = 46, N = 77 (31 candidates): held index 30 (interval 76), a single peak
  // at 10 (interval 56). dd = 20 doubles to 80, and 80 - 46 is within 5 of the
  // held index: the choice becomes 34, interval 80, above max_interval.
  auto narrow = Another(46, 77);
  narrow->held_interval_index = 30;
  narrow->held_peak = 0.5;
  std::vector<double> S(31, 0.0);
  S[10] = 0.9;
  const IntervalChoice choice = narrow->SelectInterval(S);
  EXPECT_EQ(choice.index, 34);
  EXPECT_EQ(choice.first_peak, 0.425);
  EXPECT_GT(46 + choice.index, 77);
  EXPECT_LE(46 + choice.index, BeatTracker::LongestStoredInterval(46, 77));
}

TEST_F(IntervalSelection, NoOnsetMarksTheFrame) {
  engine->held_interval_index = 20;
  engine->held_peak = 1.0;
  const IntervalChoice choice = engine->SelectInterval(std::vector<double>(87, 0.0));
  EXPECT_TRUE(engine->no_onset);
  EXPECT_EQ(choice.index, -5);
  EXPECT_EQ(choice.first_peak, 0.0);
  EXPECT_EQ(engine->held_interval_index, -5);
  EXPECT_EQ(engine->held_peak, 0.0);
}

TEST_F(IntervalSelection, FirstFramesOfAnEngineStoreTheMarkerInterval) {
  auto fresh = Another(51, 100);
  const auto result = fresh->analyze(std::vector<double>(256, 0.0));
  EXPECT_EQ(fresh->interval_buffer.back(0), 46.0);
  EXPECT_EQ(result.now_interval, 46.0);
  EXPECT_EQ(result.reliability, 0.0);
  EXPECT_TRUE(fresh->no_onset);
}
