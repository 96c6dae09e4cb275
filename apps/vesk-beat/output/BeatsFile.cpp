#include "apps/vesk-beat/output/BeatsFile.h"

#include <algorithm>
#include <cstdio>

#include "apps/vesk-beat/output/AtomicFile.h"

namespace vesk_beat {

using namespace vesk_tracking;

void writeBeatsFile(const std::string& path, const std::vector<BeatEvent>& beats) {
  std::string text;
  char line[64];
  for (const BeatEvent& b : beats) {
    if (!b.reliable) continue;
    const int n = std::snprintf(line, sizeof line, "%.6f\n", b.time);
    text.append(line, static_cast<std::size_t>(std::clamp(n, 0, int{sizeof line} - 1)));
  }
  AtomicFile file(path);
  file.write(text);
  file.commit();
}

}  // namespace vesk_beat
