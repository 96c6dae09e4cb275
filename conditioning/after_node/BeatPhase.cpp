#include "conditioning/after_node/BeatPhase.h"

namespace vesk_conditioning {

void BeatPhase::judge(const Profile& profile) {
  using phase_weights::kTemplate;
  std::array<double, kPlaces> z{};
  for (int turn = 0; turn < kPlaces; ++turn)
    for (int k = 0; k < kPlaces; ++k)
      for (int b = 0; b < kBands; ++b)
        z[turn] += kTemplate[k][b] * profile[(k + turn) % kPlaces][b];
  odds.add(z);
}

}  // namespace vesk_conditioning
