#include "tracking/beats/BeatEvent.h"

namespace vesk_tracking {

void SummaryCounter::add(const BeatEvent& beat) {
  if (!beat.reliable) return;
  ++tempi[beat.tempo];
  ++reliable;
  confidence += beat.confidence;
}

FileSummary SummaryCounter::result(const std::string& file, double duration) const {
  FileSummary s;
  s.file = file;
  s.duration = duration;
  s.beats = static_cast<int>(reliable);
  if (reliable == 0) return s;
  // The median: the middle tempo, or the mean of the two middle ones.
  auto at = [&](std::int64_t rank) {
    for (const auto& [tempo, count] : tempi) {
      if (rank < count) return tempo;
      rank -= count;
    }
    return tempi.rbegin()->first;
  };
  s.medianTempo = reliable % 2 ? at(reliable / 2) : 0.5 * (at(reliable / 2 - 1) + at(reliable / 2));
  s.meanConfidence = confidence / static_cast<double>(reliable);
  return s;
}

FileSummary summarise(const std::string& file, double duration,
                      const std::vector<BeatEvent>& beats) {
  SummaryCounter counter;
  for (const BeatEvent& b : beats) counter.add(b);
  return counter.result(file, duration);
}

}  // namespace vesk_tracking
