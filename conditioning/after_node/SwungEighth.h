#ifndef VESK_CONDITIONING_SWUNGEIGHTH_H
#define VESK_CONDITIONING_SWUNGEIGHTH_H

#include "conditioning/after_node/BeatPhase.h"

namespace vesk_conditioning {

// Whether the beats lie on the swung eighth rather than on the beat. Swing is
// long-short: beats on the beat find the swung eighth two thirds of an
// interval after them, beats on the swung eighth find the beat a third after
// them and nothing two thirds after. Read from the same profiles as
// BeatPhase (the log onset level of four bands at twelve places), averaged
// over the recent beats. Nothing in it is learned, so it holds for music of
// any style, where the phase template knows the styles it was trained on: a
// shuffle whose hats, chords and bass all sit on the swung eighths leaves
// the template's odds split between the two places. Not where the off-beat
// is filled too (straight eighths), nor where the low band leans the other
// way. Allocates nothing.
class SwungEighth {
 public:
  // The profile over the last beats.
  void judge(const BeatPhase::Profile& profile);
  // Whether the beat lies a third of an interval after the beats placed.
  bool beatsOnIt() const { return onIt; }
  void restart();

 private:
  BeatPhase::Profile mean{};  // averaged over the judgements since the restart
  int judged = 0;
  bool onIt = false;
};

}  // namespace vesk_conditioning

#endif
