#include <algorithm>

#include "apps/vesk-beat/BeatEvent.h"

namespace vesk_beat {

FileSummary summarise(const std::string& file, double duration,
                      const std::vector<BeatEvent>& beats) {
  FileSummary s;
  s.file = file;
  s.duration = duration;
  std::vector<double> tempi;
  double confidence = 0.0;
  for (const BeatEvent& b : beats) {
    if (!b.reliable) continue;
    tempi.push_back(b.tempo);
    confidence += b.confidence;
  }
  s.beats = static_cast<int>(tempi.size());
  if (tempi.empty()) return s;
  std::sort(tempi.begin(), tempi.end());
  const std::size_t n = tempi.size();
  s.medianTempo = n % 2 ? tempi[n / 2] : 0.5 * (tempi[n / 2 - 1] + tempi[n / 2]);
  s.meanConfidence = confidence / static_cast<double>(n);
  return s;
}

}  // namespace vesk_beat
