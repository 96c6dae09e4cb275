#include <gtest/gtest.h>

#include "beat_tracker/RingIBuffer.h"
#include "beat_tracker/RingRuns.h"

using beat_tracker::RingIBuffer;

TEST(RingIBuffer, FirstPushWritesSlotOneAndTheRingWraps) {
  RingIBuffer<int> ring;
  EXPECT_EQ(ring.length, 3000u);
  EXPECT_TRUE(ring.data.empty());
  ring.fill(-1);
  ASSERT_EQ(ring.data.size(), 3000u);

  ring.push(1);
  EXPECT_EQ(ring.index, 1u);
  EXPECT_EQ(ring.data[1], 1);
  EXPECT_EQ(ring.data[0], -1);  // slot 0 keeps its fill until the ring wraps

  for (int value = 2; value <= 2999; ++value) ring.push(value);
  EXPECT_EQ(ring.index, 2999u);
  ring.push(3000);  // the 3000th push writes slot 0
  EXPECT_EQ(ring.index, 0u);
  EXPECT_EQ(ring.data[0], 3000);
  EXPECT_EQ(ring.back(0), 3000);
  EXPECT_EQ(ring.back(1), 2999);  // index 0: back(1) is the last slot
  EXPECT_EQ(ring.back(2999), 1);
}

TEST(RingIBuffer, BackIsAWritableReferenceAndRowsKeepTheirStorage) {
  RingIBuffer<std::vector<double>> ring;
  ring.length = 4;
  ring.fill(std::vector<double>(3, 0.0));
  const double* storage = ring.data[1].data();
  ring.push({1.0, 2.0, 3.0});
  EXPECT_EQ(ring.data[1].data(), storage);  // assigned into the existing row
  ring.back(0)[2] = 7.0;
  EXPECT_EQ(ring.data[1][2], 7.0);
  ring.push({4.0, 5.0, 6.0});
  ring.push({7.0, 8.0, 9.0});
  ring.push({1.5, 2.5, 3.5});  // wraps into slot 0
  EXPECT_EQ(ring.back(0)[0], 1.5);
  EXPECT_EQ(ring.back(3)[2], 7.0);
}

TEST(RingRuns, CoverExactlyTheEntriesAskedForAcrossTheWrap) {
  // For every position of the newest entry in a short ring, every span of
  // entries maps to runs that visit exactly back(first) ... back(first + count - 1).
  RingIBuffer<int> ring;
  ring.length = 7;
  ring.fill(0);
  for (int pushes = 0; pushes < 7; ++pushes) {
    for (int first = 0; first < 7; ++first) {
      for (int count = 0; first + count <= 7; ++count) {
        const beat_tracker::RingRuns runs = beat_tracker::RunsOf(ring, first, count);
        std::vector<const int*> visited;
        for (int r = 0; r < runs.size; ++r) {
          const beat_tracker::RingRun& run = runs.run[r];
          for (int i = 0; i < run.count; ++i) {
            ASSERT_EQ(&ring.data[run.top - i], &ring.back(run.first_age + i));
            visited.push_back(&ring.data[run.top - i]);
          }
        }
        ASSERT_EQ(visited.size(), static_cast<std::size_t>(count));
        for (int k = 0; k < count; ++k)
          ASSERT_EQ(visited[k], &ring.back(first + k))
              << "index " << ring.index << " first " << first << " count " << count;
      }
    }
    ring.push(pushes);
  }
}
