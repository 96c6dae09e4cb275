#ifndef VESK_CONDITIONING_BEATPHASE_H
#define VESK_CONDITIONING_BEATPHASE_H

#include <array>

#include "conditioning/after_node/BeatPhaseWeights.h"
#include "conditioning/after_node/VerdictShares.h"

namespace vesk_conditioning {

// Where in the beats' interval the beat lies, from how the onsets of four
// bands (all, low, high, middle) fall over it: at twelve places, each the
// log of the band's scaled onset level there. A learned template of the
// places around a beat (eval/train_phase.py, from the tuning half of the
// evaluation corpus) scores each turn of the profile; a softmax over the
// turns gives the odds that the beat lies so many twelfths after the beats
// placed, averaged over the last beats. Beats held on a swung eighth, on a
// sixteenth or on a dembow's snare show it, where a verdict on the off-beat
// alone cannot. Allocates nothing.
class BeatPhase {
 public:
  static constexpr int kPlaces = phase_weights::kPlaces;
  static constexpr int kBands = phase_weights::kBands;
  // Log onset level per place (0 on the beats) and band (all, low, high, mid).
  using Profile = std::array<std::array<double, kBands>, kPlaces>;

  // The profile over the last beats.
  void judge(const Profile& profile);
  // The averaged odds that the beat lies `place` twelfths after the beats
  // placed (0 before any judgement).
  double share(int place) const { return odds.share(static_cast<std::size_t>(place)); }
  int judged() const { return odds.judged(); }
  void restart() { odds.clear(); }

 private:
  VerdictShares<kPlaces> odds;
};

}  // namespace vesk_conditioning

#endif
