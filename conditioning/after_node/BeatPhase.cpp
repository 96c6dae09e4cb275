#include "conditioning/after_node/BeatPhase.h"

#include <algorithm>
#include <cmath>

namespace vesk_conditioning {

namespace {
constexpr double kShareWeight = 1.0 / 8.0;  // of the newest verdict, as the level classifier's
}  // namespace

void BeatPhase::judge(const Profile& profile) {
  using phase_weights::kTemplate;
  std::array<double, kPlaces> z{};
  double top = -1e300;
  for (int turn = 0; turn < kPlaces; ++turn) {
    for (int k = 0; k < kPlaces; ++k)
      for (int b = 0; b < kBands; ++b)
        z[turn] += kTemplate[k][b] * profile[(k + turn) % kPlaces][b];
    top = std::max(top, z[turn]);
  }
  double sum = 0.0;
  for (double& v : z) sum += (v = std::exp(v - top));
  // The plain mean of the first verdicts, then a running one.
  ++verdicts;
  const double w = std::max(kShareWeight, 1.0 / verdicts);
  for (int k = 0; k < kPlaces; ++k) shares[k] += w * (z[k] / sum - shares[k]);
}

void BeatPhase::restart() {
  shares.fill(0.0);
  verdicts = 0;
}

}  // namespace vesk_conditioning
