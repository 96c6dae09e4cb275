#include <gtest/gtest.h>

#include "EngineTestSupport.h"

namespace {

class Reliability : public engine_test::EngineTest<43, 130> {
 protected:
  // 200 previous intervals from the pattern, then the current one.
  double Run(double current, double (*previous)(int k)) {
    for (int k = 200; k >= 1; --k) engine->interval_buffer.push(previous(k));
    engine->interval_buffer.push(current);
    return engine->UpdateReliability();
  }
};

}  // namespace

TEST_F(Reliability, ShareOfAgreeingIntervals) {
  EXPECT_EQ(Run(60, [](int) { return 60.0; }), 1.0);
  EXPECT_EQ(engine->music_reliability_buffer.back(0), 1.0);
  // Exactly 5 frames away does not agree.
  EXPECT_EQ(Run(60, [](int k) { return k % 2 ? 55.0 : 65.0; }), 0.0);
  EXPECT_EQ(Run(60, [](int) { return 64.0; }), 1.0);
  // Half of them agree.
  EXPECT_EQ(Run(60, [](int k) { return k % 2 ? 61.0 : 80.0; }), 0.5);
  // Only the 200 before the newest count: the 201st back is ignored.
  engine->interval_buffer.push(60);
  EXPECT_EQ(Run(60, [](int k) { return k == 200 ? 60.0 : 90.0; }), 1.0 / 200);
}

TEST_F(Reliability, NoOnsetFramesHaveNone) {
  engine->no_onset = true;
  EXPECT_EQ(Run(60, [](int) { return 60.0; }), 0.0);
}

TEST_F(Reliability, ClimbsOneTwoHundredthPerAgreeingFrame) {
  // Fresh engine: the zero fill never agrees with the marker interval 38, so
  // the count grows by one per frame while the reliability stays 0.
  std::vector<double> silence(256, 0.0);
  for (int frame = 1; frame <= 5; ++frame) {
    const auto result = engine->analyze(silence);
    EXPECT_EQ(result.reliability, 0.0);
  }
  engine->no_onset = false;
  engine->interval_buffer.push(38);
  EXPECT_EQ(engine->UpdateReliability(), 5.0 / 200);
}
