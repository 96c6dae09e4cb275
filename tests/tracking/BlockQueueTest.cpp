#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <set>
#include <stdexcept>
#include <thread>

#include "tracking/frames/BlockQueue.h"

using vesk_tracking::BlockQueue;
using vesk_tracking::FrameBlock;

namespace {

BlockQueue::Limits limits(std::size_t capacity, std::size_t lowWater, std::size_t wakeAt) {
  BlockQueue::Limits l;
  l.capacity = capacity;
  l.lowWater = lowWater;
  l.wakeAt = wakeAt;
  return l;
}

// Keeps a side busy for a few microseconds, so that the other one is the
// faster and keeps finding the queue empty or full.
void work(bool slow) {
  if (!slow) return;
  const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(5);
  while (std::chrono::steady_clock::now() < until) {
  }
}

// Puts `count` blocks numbered by their `frames`, then finishes.
void produce(BlockQueue& queue, std::size_t count, std::exception_ptr error, bool slow) {
  for (std::size_t i = 0; i < count; ++i) {
    std::unique_ptr<FrameBlock> block = queue.blank();
    EXPECT_EQ(block->frames, 0u) << "a reused block must come back empty";
    block->frames = i + 1;
    work(slow);
    if (!queue.put(std::move(block))) return;
  }
  queue.finish(error);
}

TEST(BlockQueue, DeliversInOrderReusesBlocksAndWakesEachSideRarely) {
  const std::size_t count = 1200;
  for (auto l : {limits(8, 2, 4), limits(10, 1, 4), limits(3, 0, 3)}) {
    for (bool slowConsumer : {true, false}) {
      BlockQueue queue(l);
      std::thread producer(produce, std::ref(queue), count, std::exception_ptr(), !slowConsumer);
      std::unique_ptr<FrameBlock> block;
      std::set<FrameBlock*> seen;
      std::size_t expected = 1;
      while (queue.take(block)) {
        ASSERT_EQ(block->frames, expected++);
        seen.insert(block.get());
        work(slowConsumer);
      }
      producer.join();
      EXPECT_EQ(expected, count + 1);
      EXPECT_FALSE(block);
      // In circulation: the queue's, one with each side.
      EXPECT_LE(seen.size(), l.capacity + 2);
      // A woken producer refills from lowWater to capacity before it sleeps
      // again; a woken consumer has at least wakeAt blocks to take. Waking
      // the sleeping side on every block would be about `count`.
      const std::size_t most = count / (l.capacity - l.lowWater) + count / l.wakeAt + 2;
      EXPECT_LE(queue.wakeups(), most)
          << "capacity " << l.capacity << (slowConsumer ? ", slow consumer" : ", slow producer");
    }
  }
}

TEST(BlockQueue, TheProducersErrorComesAfterItsBlocks) {
  BlockQueue queue(limits(4, 1, 2));
  std::thread producer(produce, std::ref(queue), 7,
                       std::make_exception_ptr(std::runtime_error("bad input")), false);
  std::unique_ptr<FrameBlock> block;
  std::size_t got = 0;
  try {
    while (queue.take(block)) ++got;
    ADD_FAILURE() << "the error was lost";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "bad input");
  }
  producer.join();
  EXPECT_EQ(got, 7u);
  EXPECT_THROW(queue.take(block), std::runtime_error);
}

TEST(BlockQueue, StopReleasesAProducerWaitingOnAFullQueue) {
  BlockQueue queue(limits(2, 0, 1));
  bool lastPut = true;
  std::size_t puts = 0;
  std::thread producer([&] {
    for (;;) {
      if (!queue.put(queue.blank())) break;
      ++puts;
    }
    lastPut = false;
  });
  std::unique_ptr<FrameBlock> block;
  ASSERT_TRUE(queue.take(block));  // the producer is running
  queue.stop();
  producer.join();
  EXPECT_FALSE(lastPut);
  EXPECT_LE(puts, 3u);  // it never ran past the full queue
}

TEST(BlockQueue, RefusesLimitsThatCouldLeaveBothSidesAsleep) {
  EXPECT_THROW(BlockQueue(limits(0, 0, 1)), std::invalid_argument);
  EXPECT_THROW(BlockQueue(limits(4, 4, 2)), std::invalid_argument);  // low water not below capacity
  EXPECT_THROW(BlockQueue(limits(4, 1, 5)), std::invalid_argument);  // waits for more than fits
  EXPECT_THROW(BlockQueue(limits(4, 1, 0)), std::invalid_argument);
  EXPECT_NO_THROW(BlockQueue(limits(1, 0, 1)));
}

}  // namespace
