#include "tracking/frames/BlockQueue.h"

#include <stdexcept>
#include <string>

namespace vesk_tracking {

namespace {
const BlockQueue::Limits& checked(const BlockQueue::Limits& l) {
  if (l.capacity < 1 || l.lowWater >= l.capacity || l.wakeAt < 1 || l.wakeAt > l.capacity)
    throw std::invalid_argument(
        "block queue of capacity " + std::to_string(l.capacity) + ", low water " +
        std::to_string(l.lowWater) + ", wake at " + std::to_string(l.wakeAt) +
        ": expected low water below the capacity and wake at 1 .. capacity");
  return l;
}
}  // namespace

BlockQueue::BlockQueue(const Limits& l) : limits(checked(l)) {}

std::unique_ptr<FrameBlock> BlockQueue::blank() {
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (!spare.empty()) {
      std::unique_ptr<FrameBlock> block = std::move(spare.back());
      spare.pop_back();
      block->frames = 0;
      return block;
    }
  }
  return std::make_unique<FrameBlock>();
}

bool BlockQueue::put(std::unique_ptr<FrameBlock> block) {
  bool wake = false;
  {
    std::unique_lock<std::mutex> lock(mutex);
    if (ready.size() >= limits.capacity && !stopped) {
      producerAsleep = true;
      producerCanGo.wait(lock, [&] { return stopped || ready.size() <= limits.lowWater; });
      producerAsleep = false;
    }
    if (stopped) return false;
    ready.push_back(std::move(block));
    if (consumerAsleep && ready.size() >= limits.wakeAt) {
      consumerAsleep = false;  // one notification is enough
      wake = true;
      ++wakeCount;
    }
  }
  if (wake) consumerCanGo.notify_one();
  return true;
}

void BlockQueue::finish(std::exception_ptr e) {
  bool wake = false;
  {
    std::lock_guard<std::mutex> lock(mutex);
    finished = true;
    error = e;
    if (consumerAsleep) {
      consumerAsleep = false;
      wake = true;
      ++wakeCount;
    }
  }
  if (wake) consumerCanGo.notify_one();
}

bool BlockQueue::take(std::unique_ptr<FrameBlock>& block) {
  bool wake = false;
  {
    std::unique_lock<std::mutex> lock(mutex);
    if (block) spare.push_back(std::move(block));
    if (ready.empty() && !finished) {
      consumerAsleep = true;
      consumerCanGo.wait(lock, [&] { return finished || ready.size() >= limits.wakeAt; });
      consumerAsleep = false;
    }
    if (ready.empty()) {
      if (error) std::rethrow_exception(error);
      return false;
    }
    block = std::move(ready.front());
    ready.pop_front();
    if (producerAsleep && ready.size() <= limits.lowWater) {
      producerAsleep = false;
      wake = true;
      ++wakeCount;
    }
  }
  if (wake) producerCanGo.notify_one();
  return true;
}

void BlockQueue::stop() {
  {
    std::lock_guard<std::mutex> lock(mutex);
    stopped = true;
  }
  producerCanGo.notify_one();
}

std::size_t BlockQueue::wakeups() const {
  std::lock_guard<std::mutex> lock(mutex);
  return wakeCount;
}

}  // namespace vesk_tracking
