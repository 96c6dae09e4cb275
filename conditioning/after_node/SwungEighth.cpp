#include "conditioning/after_node/SwungEighth.h"

namespace vesk_conditioning {

namespace {
constexpr int kAll = 0, kLow = 1;  // the profile's bands
constexpr int kThird = BeatPhase::kPlaces / 3, kTwoThirds = 2 * kThird;
constexpr int kHalf = BeatPhase::kPlaces / 2;
// Each judgement's weight in the average is 1 - kDecay: about the last six
// windows of beats count, and a fill does not tip it.
constexpr double kDecay = 0.85;
constexpr int kFewest = 8;  // judgements before any verdict
// Differences of log levels: the onsets a third on outweigh those two thirds
// on (e^2, seven times) and the off-beat's (e^1.5), and reach at least e^-2
// of those on the beats; the low band's a third on outweigh its two thirds
// on by e^0.3 (the kick and the bass lean to the beat).
constexpr double kOverTwoThirds = 2.0;
constexpr double kUnderBeats = 2.0;
constexpr double kOverHalf = 1.5;
constexpr double kLowLean = 0.3;
}  // namespace

void SwungEighth::judge(const BeatPhase::Profile& profile) {
  const double old = judged > 0 ? kDecay : 0.0;
  for (int k = 0; k < BeatPhase::kPlaces; ++k)
    for (int b = 0; b < BeatPhase::kBands; ++b)
      mean[k][b] = old * mean[k][b] + (1.0 - old) * profile[k][b];
  ++judged;
  const double third = mean[kThird][kAll];
  // Of every place but the beats' own, the third holds the most.
  bool most = true;
  for (int k = 1; k < BeatPhase::kPlaces; ++k)
    if (k != kThird && mean[k][kAll] > third) most = false;
  onIt = judged >= kFewest && most && third - mean[kTwoThirds][kAll] > kOverTwoThirds &&
         third > mean[0][kAll] - kUnderBeats && third - mean[kHalf][kAll] > kOverHalf &&
         mean[kThird][kLow] - mean[kTwoThirds][kLow] > kLowLean;
}

void SwungEighth::restart() {
  judged = 0;
  onIt = false;
}

}  // namespace vesk_conditioning
