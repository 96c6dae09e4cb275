#include <gtest/gtest.h>

#include "beat_tracker/RingIBuffer.h"

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
