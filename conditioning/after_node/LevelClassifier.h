#ifndef VESK_CONDITIONING_LEVELCLASSIFIER_H
#define VESK_CONDITIONING_LEVELCLASSIFIER_H

#include <array>
#include <cstddef>
#include <vector>

#include "conditioning/after_node/BeatPhase.h"
#include "conditioning/after_node/SwungEighth.h"
#include "conditioning/after_node/VerdictShares.h"

namespace vesk_conditioning {

// Whether the beats follow the metrical level a listener taps, from how the
// onsets of four bands (all, low, middle, high) fall on them: on the beats,
// half-way between them, at the quarters, and on every other beat. A kick
// and a snare sharing the halves of the beats say the beat is twice as fast;
// a groove whose every other beat is empty says it is half as fast. The tempo
// counts too. A linear model over these features, trained on the tuning
// half of the evaluation corpus (eval/train_level.py), gives the odds of each
// verdict; they are averaged over the last beats. The same beats' onsets
// tell where in their interval the beat lies (BeatPhase). Causal; allocates
// only when constructed.
class LevelClassifier {
 public:
  // The beats are right, the beat is twice as fast, half as fast, or on the
  // off-beat of the beats.
  enum Verdict { kRight = 0, kFaster = 1, kSlower = 2, kOffBeat = 3 };
  struct Onsets {
    double all = 0.0, low = 0.0, high = 0.0, mid = 0.0;
  };
  static constexpr int kBeats = 6;  // beat intervals the features are taken over

  // `longestPeriod` in frames, `frameRate` frames per second. Throws
  // std::invalid_argument for values out of range.
  LevelClassifier(double longestPeriod, double frameRate);

  // Every frame's onsets, in order.
  void push(const Onsets& onsets);
  // A beat on frame `at` (not later than the last frame pushed), at `bpm`.
  // A beat out of order, half as far again as the period from the last, or at
  // another tempo, starts the count afresh (another tempo: the shares too).
  void beat(long at, double bpm);
  // The verdicts' shares, averaged over the beats judged (each 0 before any).
  double share(Verdict v) const { return shares.share(v); }
  int judged() const { return shares.judged(); }
  // Where in the beats' interval the beat lies, judged with the level.
  const BeatPhase& phase() const { return placing; }
  // Whether the beats lie on a swung eighth, judged with the level.
  const SwungEighth& swing() const { return swung; }
  // The frame of the last or the last but one beat, whichever, with every
  // other one before it, holds more of the onsets (all bands and the low
  // one) than the beats between: where the beats at half the tempo fall.
  // From the beats held since the last restart when there are a few, else
  // as found then or at the last judgement (-1 before any).
  long strongerBeat() const;
  // The frame of the one of the last `every` beats that, with every
  // `every`th one before it, holds the most of the onsets: where the beats
  // at 1/`every` of the tempo fall. From the beats held since the last
  // restart, -1 while there are fewer than two groups of them.
  long strongestOf(int every) const;
  // Forget the beats and the shares (the level changed).
  void restart();
  // The shares and their count as they stood before the last restart: the
  // beats went on as they were after all.
  void recall();

 private:
  static constexpr int kBands = 4;
  static constexpr int kFewestForParity = 4;  // beats, two of each parity
  void judge();
  void judgeWhenHeard();
  double peak(int band, double at, int reach) const;
  void judgePhase();
  // What scales a band's onsets: the inverse of its running mean.
  double scaleOf(int band) const;

  std::vector<double> ring;  // onsets per frame and band
  std::size_t mask;
  long frame = -1;
  std::array<double, kBands> mean{};  // running mean of each band's onsets
  double meanDecay;
  double meanWeight = 0.0;  // of the running means: 1 - meanDecay^frames
  double frameRate;
  std::array<long, kBeats + 1> beats{};
  int count = 0;      // beats held, up to kBeats + 1
  long pending = -1;  // frame on which the last beat can be judged
  double tempo = 0.0;
  VerdictShares<kOffBeat + 1> shares;        // since the last restart
  VerdictShares<kOffBeat + 1> sharesBefore;  // at the last restart
  long stronger = -1;
  BeatPhase placing;
  SwungEighth swung;
};

}  // namespace vesk_conditioning

#endif
