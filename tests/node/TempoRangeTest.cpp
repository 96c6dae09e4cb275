#include <gtest/gtest.h>

#include "node/TempoRange.h"

namespace {

using Failure = TempoRangeFailure;

// A bound is the last value that passes its check: one step further fails.
// When there is none, the nearest candidate fails too.
TEST(TempoRange, EachBoundIsTheLastValueThatPasses) {
  int seen[2][2] = {};  // [fastest, slowest][bound found]
  for (int rate : {1, 1000, 8000, 16000, 44100, 192000, 1000000})
    for (int hop : {1, 3, 40, 160, 512, 4096, 16384})
      for (int minBpm = 1; minBpm < 1200; minBpm += 1 + minBpm / 4)
        for (int maxBpm = 2; maxBpm < 3000; maxBpm += 1 + maxBpm / 4) {
          const TempoRangeVerdict v = CheckTempoRange(rate, hop, minBpm, maxBpm);
          auto with = [&](int lo, int hi) { return CheckTempoRange(rate, hop, lo, hi).failure; };
          SCOPED_TRACE(::testing::Message() << rate << " Hz, hop " << hop << ", " << minBpm << ".."
                                            << maxBpm << " bpm, bound " << v.bound);
          if (v.failure == Failure::FastestTooFast) {
            ++seen[0][v.bound > 0];
            if (v.bound > 0) {
              ASSERT_GT(v.bound, minBpm + 1);
              ASSERT_NE(with(minBpm, v.bound), Failure::FastestTooFast);
              ASSERT_EQ(with(minBpm, v.bound + 1), Failure::FastestTooFast);
            } else if (minBpm + 1 < maxBpm) {
              ASSERT_EQ(with(minBpm, minBpm + 2), Failure::FastestTooFast);
            }
          } else if (v.failure == Failure::SlowestTooSlow) {
            ++seen[1][v.bound > 0];
            if (v.bound > 0) {
              ASSERT_GT(v.bound, minBpm);
              ASSERT_EQ(with(v.bound, maxBpm), Failure::None);
              ASSERT_EQ(with(v.bound - 1, maxBpm), Failure::SlowestTooSlow);
            } else {
              for (int bpm = minBpm + 1; bpm < maxBpm; ++bpm)
                ASSERT_NE(with(bpm, maxBpm), Failure::None);
            }
          } else {
            ASSERT_EQ(v.bound, 0);
          }
        }
  for (auto& fault : seen)
    for (int count : fault) EXPECT_GT(count, 0);
}

}  // namespace
