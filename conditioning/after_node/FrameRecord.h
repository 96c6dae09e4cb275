#ifndef VESK_CONDITIONING_FRAMERECORD_H
#define VESK_CONDITIONING_FRAMERECORD_H

#include <complex>
#include <cstdint>

#include "conditioning/after_node/OnsetEnergy.h"
#include "conditioning/after_node/OnsetPeriodicity.h"

namespace vesk_conditioning {

// One frame as the node left it: what a stage after the node learns of the
// frame, and all it learns. Filled once per frame by the host's session.
struct FrameRecord {
  std::int64_t frame = -1;
  bool beat = false;        // the node's "BEAT_DETECTED"
  float tempo = 0.0f;       // its "TEMPO": above 0 on a reliable beat only
  float confidence = 0.0f;  // its "CONFIDENCE": the reliability of the beat interval
  int intervalFrames = 0;   // the beat interval it measured on the frame; 0 before any
  // The frame's onset energy, for a stage that weighs onsets; else null.
  const OnsetEnergy::Value* onset = nullptr;
  // The spectrum the node was given (bins 0 .. N/2), for a stage that reads
  // it; else null. Valid until the next frame.
  const std::complex<float>* spectrum = nullptr;
  // For a stage whose onsets' periodicity the host keeps: its snapshot on the
  // frames it is due, else null.
  const OnsetPeriodicity::Snapshot* periodicity = nullptr;

  bool reliableBeat() const { return beat && tempo > 0.0f; }
};

}  // namespace vesk_conditioning

#endif
