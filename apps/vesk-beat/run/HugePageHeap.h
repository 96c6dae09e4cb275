#ifndef VESK_BEAT_HUGEPAGEHEAP_H
#define VESK_BEAT_HUGEPAGEHEAP_H

#include <cstddef>

namespace vesk_beat {

// The tracker's histories are some 11 MB of small rows, all touched when it
// starts. On 4 KiB pages that is thousands of page faults, a good part of a
// short run's time; this makes the first `bytes` of the heap eligible for huge
// pages (where the system offers them on request) and keeps them in the heap,
// so that the histories land there. Call it once, at the start of main. Does
// nothing when the heap cannot be prepared.
void adviseHugePageHeap(std::size_t bytes = 24u << 20);

}  // namespace vesk_beat

#endif
