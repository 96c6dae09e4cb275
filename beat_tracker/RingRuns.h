#ifndef VESK_BEAT_TRACKER_RINGRUNS_H
#define VESK_BEAT_TRACKER_RINGRUNS_H

#include <cstdint>

#include "beat_tracker/RingIBuffer.h"

namespace beat_tracker {

// The entries back(first) ... back(first + count - 1) of a ring lie in at most
// two runs of consecutive slots (the ring wraps once at most). Loops over a run
// go straight through memory, which lets the compiler vectorise them.
struct RingRun {
  std::uint64_t top = 0;  // slot of the run's newest entry
  int first_age = 0;      // its distance from the ring's newest entry
  int count = 0;          // entries, at slots top, top - 1, ..., top - count + 1
};

struct RingRuns {
  RingRun run[2];
  int size = 0;
};

// For 0 <= first and first + count <= ring.length, on a filled ring.
template <typename T>
RingRuns RunsOf(const RingIBuffer<T>& ring, int first, int count) {
  RingRuns runs;
  if (count <= 0) return runs;
  std::int64_t top = static_cast<std::int64_t>(ring.index) - first;
  if (top < 0) top += static_cast<std::int64_t>(ring.length);
  const int before_wrap = static_cast<int>(top) + 1;  // slots top ... 0
  if (count <= before_wrap) {
    runs.run[0] = {static_cast<std::uint64_t>(top), first, count};
    runs.size = 1;
  } else {
    runs.run[0] = {static_cast<std::uint64_t>(top), first, before_wrap};
    runs.run[1] = {ring.length - 1, first + before_wrap, count - before_wrap};
    runs.size = 2;
  }
  return runs;
}

}  // namespace beat_tracker

#endif
