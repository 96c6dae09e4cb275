#include <gtest/gtest.h>

#include "EngineTestSupport.h"

using engine_test::CoutCapture;

namespace {

// N = F = 130, so the gate needs t > 260. W = t - N = 1000 throughout.
class BeatPhase : public engine_test::EngineTest<43, 130> {
 protected:
  void SetUp() override {
    engine->t_current = 1130;
    engine->now_interval = 60;
    engine->next_beat_time = 900;
  }
  // Z[i] is the final score 131 + i frames back.
  void Score(int position, double value) {
    engine->beat_reliability_buffer.back(131 + position) = value;
  }
  std::string Estimate() {
    CoutCapture capture;
    engine->EstimatePhase(3);
    return capture.text();
  }
};

}  // namespace

TEST_F(BeatPhase, GateNeedsTheAnchorOneAndAHalfIntervalsBack) {
  Score(25, 1.0);
  engine->next_beat_time = 910;  // 1000 > 1000 fails
  Estimate();
  EXPECT_EQ(engine->next_beat_time, 910);
  EXPECT_EQ(engine->change_count, 0);

  engine->next_beat_time = 900;  // 1000 > 990
  engine->EstimatePhase(2);      // but only two past beats
  EXPECT_EQ(engine->next_beat_time, 900);
  Estimate();
  EXPECT_EQ(engine->next_beat_time, 975);
  EXPECT_EQ(engine->change_count, 1);
  EXPECT_TRUE(engine->phase_valid);
  EXPECT_EQ(engine->phase_interval, 60.0);
}

TEST_F(BeatPhase, ThreePeaksChooseTheOneNearestTheMiddle) {
  engine->phase_valid = true;
  engine->phase_interval = 60;
  Score(25, 10);
  Score(50, 5);
  Score(3, 4);
  EXPECT_EQ(Estimate(), "");
  EXPECT_EQ(engine->next_beat_time, 975);  // distances 5, 20, 27 from 970
  EXPECT_EQ(engine->out_of_range_count, 0u);

  // The weaker peaks only count while the interval held; a peak at 29 (T 971)
  // is nearer the middle and wins when valid.
  SetUp();
  Score(25, 0);
  Score(50, 0);
  Score(3, 0);
  Score(5, 10);  // T1 = 995
  Score(29, 5);  // T2 = 971
  Score(55, 4);  // T3 = 945
  Estimate();
  EXPECT_EQ(engine->next_beat_time, 971);

  // A second peak of a fiftieth or less is not valid: the strongest (995)
  // is taken, lies outside the middle third and is replaced by the middle.
  SetUp();
  Score(29, 0.2);
  Score(55, 0);
  EXPECT_EQ(Estimate(), "beat not detect out of range : remain\n");
  EXPECT_EQ(engine->next_beat_time, 970);
}

TEST_F(BeatPhase, IntervalJumpUsesTheStrongestPeakOnly) {
  engine->now_interval = 66;
  engine->next_beat_time = 800;
  engine->phase_valid = true;
  engine->phase_interval = 60;
  Score(5, 10);  // T1 = 995: outside the middle third, but never checked
  Score(33, 9);  // nearer the middle
  EXPECT_EQ(Estimate(), "");
  EXPECT_EQ(engine->next_beat_time, 995);
  EXPECT_TRUE(engine->phase_valid);
  EXPECT_EQ(engine->phase_interval, 66.0);
}

TEST_F(BeatPhase, OutOfRangeFirstRemainsThenChanges) {
  engine->phase_valid = true;
  engine->phase_interval = 60;
  Score(55, 3.0);  // T1 = 945 < 960
  EXPECT_EQ(Estimate(), "beat not detect out of range : remain\n");
  EXPECT_EQ(engine->next_beat_time, 970);
  EXPECT_EQ(engine->out_of_range_count, 1u);
  EXPECT_EQ(engine->change_count, 1);

  engine->next_beat_time = 900;
  EXPECT_EQ(Estimate(), "beat not detect out of range : change : 2, 1\n");
  EXPECT_EQ(engine->next_beat_time, 945);
  EXPECT_EQ(engine->out_of_range_count, 0u);
  EXPECT_EQ(engine->change_count, 0);
}

TEST_F(BeatPhase, CloseSecondPeakIsDroppedWithAMessage) {
  // P = 61: h = 20.33 but only 20 entries on each side are cleared, so the
  // entry at p1 + 20 survives and is dropped as too close.
  engine->now_interval = 61;
  Score(10, 9);
  Score(30, 8);
  Score(55, 1);
  const std::string console = Estimate();
  EXPECT_EQ(console, "cal max in time sec\n");
}

TEST_F(BeatPhase, SilentWindowChangesNothing) {
  engine->phase_valid = true;
  engine->phase_interval = 70;
  EXPECT_EQ(Estimate(), "");
  EXPECT_EQ(engine->next_beat_time, 900);
  EXPECT_EQ(engine->phase_interval, 70.0);
  EXPECT_EQ(engine->change_count, 0);
}

TEST_F(BeatPhase, AdvanceStepsThroughTheIntervalHistory) {
  engine->t_current = 1000;
  engine->interval_buffer.fill(60.0);
  EXPECT_EQ(engine->AdvanceBeatTime(), 960);  // 900 -> 960; 1020 >= 1000
  EXPECT_EQ(engine->next_beat_time, 900);     // the anchor itself stays

  // Interval 60 up to frame 950, 50 from frame 951 on.
  for (int frame = 951; frame <= 1000; ++frame) engine->interval_buffer.back(1000 - frame) = 50.0;
  EXPECT_EQ(engine->AdvanceBeatTime(), 950);  // 960 shortened to 950; 1010 >= 1000

  engine->next_beat_time = 0;
  EXPECT_EQ(engine->AdvanceBeatTime(), 0);
}

TEST_F(BeatPhase, AdvanceFollowsALengthenedInterval) {
  // Interval 60 at the anchor and at the next beat, 70 at anchor + N: 900 + 70.
  engine->t_current = 1100;
  engine->interval_buffer.fill(60.0);
  engine->interval_buffer.back(1100 - 1030) = 70.0;
  EXPECT_EQ(engine->AdvanceBeatTime(), 1030);  // 900 -> 970 -> 1030 (+70 reaches t)
}

TEST_F(BeatPhase, ResultRecordCarriesAnchorAndBeatTime) {
  auto fresh = Another(51, 100);
  const auto result = fresh->analyze(std::vector<double>(256, 0.0));
  EXPECT_EQ(result.next_beat_time, 0.0);
  EXPECT_EQ(result.beat_time, 0.0);
  EXPECT_EQ(result.t_current, 1.0);
  EXPECT_EQ(result.next_beat_offset, 1.0);
  EXPECT_EQ(result.beat_offset, 1.0);
  EXPECT_EQ(result.spare, 0);
}

TEST_F(BeatPhase, ManyPassesAreReportedOnTheConsole) {
  engine->t_current = 1000;
  engine->interval_buffer.fill(10.0);
  engine->next_beat_time = 480;  // 52 steps of 10 to 1000
  CoutCapture capture;
  EXPECT_EQ(engine->AdvanceBeatTime(), 990);
  const std::string expected =
      "temp_beat_time : 990\nt_current : 1000\nnow_interval : 10\nnext_beat_time : 980\n"
      "in temp_beat_time : 990\nin t_current : 1000\nin now_interval : 10\n"
      "in next_beat_time : 980\n"
      "temp_beat_time : 1000\nt_current : 1000\nnow_interval : 10\nnext_beat_time : 990\n";
  EXPECT_EQ(capture.text(), expected);
}

TEST_F(BeatPhase, AnchorOlderThanTheHistoryIsDropped) {
  engine->t_current = 5000;
  engine->interval_buffer.fill(60.0);
  engine->next_beat_time = 2000;  // exactly 3000 frames back: no longer held
  EXPECT_EQ(engine->AdvanceBeatTime(), 0);
  EXPECT_EQ(engine->next_beat_time, 0);

  engine->next_beat_time = 2001;  // 2999 back: still advanced
  CoutCapture quiet;
  EXPECT_EQ(engine->AdvanceBeatTime(), 2001 + 49 * 60);
  EXPECT_EQ(engine->next_beat_time, 2001);
}
