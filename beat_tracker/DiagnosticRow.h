#ifndef VESK_BEAT_TRACKER_DIAGNOSTICROW_H
#define VESK_BEAT_TRACKER_DIAGNOSTICROW_H

#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "beat_tracker/RingIBuffer.h"

namespace beat_tracker {

// One diagnostic line: values[begin] ... values[end - 1], each followed by one
// blank, then the line end (flushed so the file is complete after each frame).
inline void WriteDiagnosticRow(std::ostream& out, const std::vector<double>& values,
                               std::size_t begin, std::size_t end) {
  for (std::size_t i = begin; i < end; ++i) out << values[i] << ' ';
  out << std::endl;
}

inline void WriteDiagnosticRow(std::ostream& out, const std::vector<double>& values) {
  WriteDiagnosticRow(out, values, 0, values.size());
}

// The front-end operations accept any ring; one that was never filled, or is
// too short for the frames an operation reaches back, is refused instead of
// being read out of bounds.
template <typename T>
void RequireHistory(const RingIBuffer<T>& ring, int reach, const char* operation) {
  if (ring.data.size() != ring.length || ring.length == 0 ||
      static_cast<std::uint64_t>(reach) >= ring.length)
    throw std::invalid_argument(
        std::string("beat_tracker::BeatTracker::") + operation + ": the ring holds " +
        std::to_string(ring.data.size()) + " filled slots of " + std::to_string(ring.length) +
        ", expected a filled ring reaching " + std::to_string(reach) + " frames back");
}

}  // namespace beat_tracker

#endif
