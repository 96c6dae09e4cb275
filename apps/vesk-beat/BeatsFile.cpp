#include "apps/vesk-beat/BeatsFile.h"

#include "apps/vesk-beat/AtomicFile.h"

namespace vesk_beat {

void writeBeatsFile(const std::string& path, const std::vector<BeatEvent>& beats) {
  AtomicFile file(path);
  for (const BeatEvent& b : beats)
    if (b.reliable) std::fprintf(file.stream(), "%.6f\n", b.time);
  file.commit();
}

}  // namespace vesk_beat
