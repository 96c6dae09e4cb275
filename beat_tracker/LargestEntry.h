#ifndef VESK_BEAT_TRACKER_LARGESTENTRY_H
#define VESK_BEAT_TRACKER_LARGESTENTRY_H

#include <vector>

namespace beat_tracker {

// The largest entry of a vector and its lowest position (value 0 at position
// 0 for an empty vector). Equal values keep the earlier position.
struct LargestEntry {
  double value = 0.0;
  int position = 0;
};

inline LargestEntry FindLargest(const std::vector<double>& values) {
  LargestEntry best;
  if (values.empty()) return best;
  best.value = values[0];
  for (std::size_t i = 1; i < values.size(); ++i) {
    if (values[i] > best.value) {
      best.value = values[i];
      best.position = static_cast<int>(i);
    }
  }
  return best;
}

}  // namespace beat_tracker

#endif
