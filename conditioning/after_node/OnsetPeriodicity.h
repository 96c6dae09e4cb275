#ifndef VESK_CONDITIONING_ONSETPERIODICITY_H
#define VESK_CONDITIONING_ONSETPERIODICITY_H

#include <vector>

#include "conditioning/after_node/OnsetEnergy.h"
#include "conditioning/after_node/TempoEvidence.h"

namespace vesk_conditioning {

// How the onsets of all bands, of the low band and of the high band repeat:
// the three autocorrelations the meter stage's tempo evidence is read from
// (that of all bands reaching two bars: TempoEvidence::barComb), fed every
// frame and brought up to date when read. A host may keep them where it computes the
// onsets (on the thread that reads the input) and hand the meter stage a
// snapshot on each frame it updates its tempo on, instead of the stage
// keeping them itself: the same values, off the node's thread. Causal;
// allocates only when constructed (and on a snapshot's first filling).
class OnsetPeriodicity {
 public:
  struct Format {
    double longestPeriod = 0.0;  // frames
    double frameRate = 0.0;
    double memorySeconds = 0.0;
    double combPower = 0.0;       // see TempoEvidence
    std::vector<double> periods;  // the periods the combs are taken at
    long updateFrames = 1;        // every how many frames the tempo is updated
  };
  // The autocorrelations as they were after frame `frame` (counted from 0).
  struct Snapshot {
    long frame = -1;
    std::vector<double> all, low, high;
  };

  // Throws std::invalid_argument for values out of range.
  explicit OnsetPeriodicity(const Format& format);

  // The next frame's onsets, with their bands. True when it is a frame the
  // tempo is updated on: its snapshot is then due.
  bool push(const OnsetEnergy::Value& onset);
  void snapshot(Snapshot& out) const;
  // The autocorrelations of a snapshot instead of those pushed so far.
  // Throws std::invalid_argument for one of another format.
  void load(const Snapshot& snapshot);

  const TempoEvidence& all() const { return allBands; }
  const TempoEvidence& low() const { return lowBand; }
  const TempoEvidence& high() const { return highBand; }

 private:
  TempoEvidence allBands, lowBand, highBand;
  long updateFrames;
  long frame = -1;
};

}  // namespace vesk_conditioning

#endif
