#ifndef VESK_TRACKING_BLOCKQUEUE_H
#define VESK_TRACKING_BLOCKQUEUE_H

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <vector>

#include "common/AlignedVector.h"
#include "tracking/frames/FrameBlock.h"

namespace vesk_tracking {

// Hands blocks of frames from one producing thread to one consuming thread,
// in order, with room for `capacity` blocks. Waking a thread is costly, so
// each side sleeps through many blocks: a producer that found the queue full
// sleeps until it has drained to `lowWater`, a consumer that found it empty
// until `wakeAt` blocks are there (or the producer has finished), and each
// side notifies the other only when it sleeps and its condition holds.
// Consumed blocks come back to the producer for reuse. Both threads write it:
// it takes whole cache lines, so that no other data shares them.
class alignas(vesk_kernels::kCacheLine) BlockQueue {
 public:
  struct Limits {
    std::size_t capacity = 10;
    std::size_t lowWater = 1;  // below capacity
    std::size_t wakeAt = 4;    // 1 .. capacity
  };

  // Throws std::invalid_argument for limits that could leave both sides asleep.
  explicit BlockQueue(const Limits& limits);

  // Producer: an empty block, reused when one has come back.
  std::unique_ptr<FrameBlock> blank();
  // Producer: queues `block`, first sleeping while the queue is full. False
  // (and the block dropped) once the consumer has stopped.
  bool put(std::unique_ptr<FrameBlock> block);
  // Producer: nothing more comes; `error`, when given, reaches the consumer
  // after every block queued before it.
  void finish(std::exception_ptr error = nullptr);

  // Consumer: gives `block` back and replaces it with the next one, sleeping
  // while there is none. False (and `block` empty) at the end; rethrows the
  // producer's error there.
  bool take(std::unique_ptr<FrameBlock>& block);
  // Consumer: leaves early; the producer's put() returns false from now on.
  void stop();

  // How often one side has woken the other.
  std::size_t wakeups() const;

 private:
  const Limits limits;
  mutable std::mutex mutex;
  std::condition_variable producerCanGo;
  std::condition_variable consumerCanGo;
  std::deque<std::unique_ptr<FrameBlock>> ready;
  std::vector<std::unique_ptr<FrameBlock>> spare;
  bool producerAsleep = false;
  bool consumerAsleep = false;
  bool finished = false;
  bool stopped = false;
  std::exception_ptr error;
  std::size_t wakeCount = 0;
};

}  // namespace vesk_tracking

#endif
