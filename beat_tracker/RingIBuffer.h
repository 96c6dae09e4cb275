#ifndef VESK_BEAT_TRACKER_RINGIBUFFER_H
#define VESK_BEAT_TRACKER_RINGIBUFFER_H

#include <cassert>
#include <cstdint>
#include <vector>

namespace beat_tracker {

// Fixed-length circular history. Every history of the engine holds the latest
// 3000 frames; `index` is the slot of the newest entry.
template <typename T>
class RingIBuffer {
 public:
  static constexpr std::uint64_t kDefaultLength = 3000;

  std::vector<T> data;
  std::uint64_t length = kDefaultLength;
  std::uint64_t index = 0;

  // `length` copies of value; until the first fill the ring has no slots.
  void fill(const T& value) { data.assign(length, value); }

  // Advances to the next slot and stores a copy there. Copy-assigning into the
  // existing slot keeps its storage, so a ring of rows never reallocates.
  void push(const T& value) {
    index += 1;
    if (index >= length) index -= length;
    data[index] = value;
  }

  // The entry k frames before the newest (k = 0 is the newest), for
  // 0 <= k < length. A reference, so callers can update older entries.
  T& back(int k) { return data[slot(k)]; }
  const T& back(int k) const { return data[slot(k)]; }

 private:
  std::size_t slot(int k) const {
    assert(k >= 0 && static_cast<std::uint64_t>(k) < length);
    int i = static_cast<int>(index) - k;
    if (i < 0) i += static_cast<int>(length);
    return static_cast<std::size_t>(i);
  }
};

}  // namespace beat_tracker

#endif
