#include <gtest/gtest.h>

#include <sstream>

#include "node/BeatQueue.h"

namespace {

TEST(BeatQueue, QueuesTwoIntervalsAfterTheLatestBeatWhenFarEnoughFromTheLast) {
  std::list<int> queue;
  int last = 1050;
  EXPECT_TRUE(QueueComingBeat(queue, last, 50.0, 1000.0));  // 1100 > 1090
  EXPECT_EQ(queue, std::list<int>{1100});
  EXPECT_EQ(last, 1100);

  std::list<int> none;
  int close = 1065;
  EXPECT_FALSE(QueueComingBeat(none, close, 50.0, 1000.0));  // 1100 is not above 1105
  EXPECT_TRUE(none.empty());
  EXPECT_EQ(close, 1065);

  int zero = 0;
  EXPECT_FALSE(QueueComingBeat(none, zero, 0.0, 0.0));  // 0 is not above 0
}

TEST(BeatQueue, ABeatFallsDueWhenTheFrameReachesIt) {
  std::list<int> queue{1100, 1150};
  EXPECT_FALSE(TakeDueBeat(queue, static_cast<int>(1099.9)));
  EXPECT_TRUE(TakeDueBeat(queue, 1100));
  EXPECT_EQ(queue, std::list<int>{1150});
  std::list<int> empty;
  EXPECT_FALSE(TakeDueBeat(empty, 5000));
}

TEST(BeatQueue, TempoAndLogLine) {
  EXPECT_DOUBLE_EQ(IntervalSeconds(50, 160, 16000.0), 0.5);
  EXPECT_DOUBLE_EQ(60.0 / IntervalSeconds(50, 160, 16000.0), 120.0);
  std::ostringstream log;
  WriteBeatLogLine(log, 120.0, 1100, 0.75);
  EXPECT_EQ(log.str(), "120 1100 0.75\n");
}

}  // namespace
