#ifndef VESK_TRACKING_FRAMEBLOCK_H
#define VESK_TRACKING_FRAMEBLOCK_H

#include <complex>
#include <cstddef>
#include <vector>

#include "conditioning/after_node/OnsetEnergy.h"
#include "conditioning/after_node/OnsetPeriodicity.h"

namespace vesk_tracking {

// Consecutive analysis frames, ready to be handed to the network: for each,
// the window of samples (one row of `frameLength` per channel, row-major),
// its spectrum (bins 0 .. frameLength/2) and how many new input samples per
// channel it brought (the hop; fewer in a last, partial hop), and its onset
// energy and their periodicity when the frame format asks for them. Plain data, so
// that it may be filled in one thread and read in another. The vectors keep
// their size when a block is reused: only the first `frames` entries count.
struct FrameBlock {
  std::size_t frames = 0;
  std::vector<float> audio;
  std::vector<std::complex<float>> spectra;
  std::vector<int> newSamples;
  std::vector<vesk_conditioning::OnsetEnergy::Value> onsets;
  // The onsets' periodicity on the frames it is due (frame -1 on the others).
  std::vector<vesk_conditioning::OnsetPeriodicity::Snapshot> periodicity;
};

}  // namespace vesk_tracking

#endif
