#ifndef VESK_CONDITIONING_METERTRACKER_H
#define VESK_CONDITIONING_METERTRACKER_H

#include <complex>
#include <cstddef>
#include <vector>

#include "conditioning/after_node/BeatPredictor.h"
#include "conditioning/after_node/LevelClassifier.h"
#include "conditioning/after_node/OnsetEnergy.h"
#include "conditioning/after_node/OnsetPeriodicity.h"
#include "conditioning/after_node/TempoFilter.h"

namespace vesk_conditioning {

// A stage after the beat tracker that decides the metrical level and where
// the beats fall. The tracker's interval is one piece of evidence about the
// beat period; combs over the onsets (TempoEvidence: of all bands, of the
// low band and of the high band) and a prior over tempi are the others,
// weighed over time by a forward filter (TempoFilter). A BeatPredictor
// places the beats at the filter's period, on the onsets with the low band
// (kick, bass) weighed in heavily: the hats and the off-beat chords pull the
// beats to the off-beat, the kick pulls them back. A level classifier
// (LevelClassifier) judges the beats placed: they may follow half or twice
// the filter's period, move half a beat, or hold their level while the
// filter strays to a relative of it. Beats on the swung eighth of a shuffle
// move to the beat (SwungEighth). A fast pulse whose onsets repeat in
// threes (the eighths of a 12/8 ballad) is followed at three of its periods,
// and so is one found from the filter's period when that does not repeat.
// The tempo is the filter's period refined to a fraction of a frame. Causal;
// allocates only when constructed.
class MeterTracker {
 public:
  struct Settings {
    TempoFilter::Settings filter;
    BeatPredictor::Settings predictor;
    double memorySeconds = 2.5;  // of the onsets' autocorrelation
    double updateSeconds = 0.2;  // between updates of the filter
    double combPower = 2.0;      // see TempoEvidence
    // Weight of the combs over the low and the high band's onsets, beside
    // the one over all: each instrument alone repeats at the beat, while
    // hats against snares repeat at 3/2 of it as well.
    double bandWeight = 2.0;
    // Weight of the low band's onsets (rises of its log energy) where the
    // beats are placed, added to the onset energy of all bands.
    double lowWeight = 20.0;
    // Weight of the beat activation (BeatActivation) there, against the
    // onsets': each scaled by its running mean. It keeps the beats on the
    // kick and the snare where hats, chords or a bass line fill the frames
    // between them. 0: not at all.
    double activationWeight = 0.7;
    // How clearly the onsets must repeat at the period (the combs' share of
    // their most, at the chosen period) for the beats to go on without the
    // tracker's: a metronome or a drum machine slower than the tracker's
    // range, where it never becomes sure. Far above what noise gives (0.01)
    // and above nearly all played music (up to 0.2). 0: always the tracker.
    double selfAnchor = 0.15;
    // The shares of the level classifier's recent verdicts (LevelClassifier)
    // that move the beats: "twice as fast" to half the filter's period (or
    // back from twice it), "half as fast" to twice the period (or back from
    // half), "off-beat" half a beat later. Twice the period may lie below the
    // tempo range: a ballad at 64 BPM is found at 128. Above 1: never.
    double fasterShare = 0.5;
    double slowerShare = 0.5;
    double offBeatShare = 0.7;
    // Once the classifier has judged the beats `settledAfter` times without a
    // move, "twice as fast" and "half as fast" need `settledMargin` more: a
    // groove whose verdicts have hung near half and half for a while does not
    // flip when they tip by a hair.
    int settledAfter = 20;
    double settledMargin = 0.1;
    // The share of verdicts that the beats are right at which they stay when
    // the filter doubles or halves its period (a fast groove's half, where
    // the kick alone repeats, wins the combs once their memory has filled),
    // or moves to 3/2, 2/3, 4/3 or 3/4 of it; held there, they follow the
    // filter again when fewer than `releaseShare` say they are right (a
    // real change of tempo).
    double keepShare = 0.4;
    double releaseShare = 0.4;
    // When the filter moves to 4/3 or 3/4 of the beats' period, they stay
    // only while the comb over two bars (TempoEvidence::barComb, all bands)
    // at their own period keeps this share of its value at the filter's: a
    // real change of tempo by a third fades the old period from the combs
    // within their memory, a figure of dotted eighths does not.
    double keepComb = 0.6;
    // The slowest tempo the beats follow at twice the filter's period, below
    // the tempo range (listeners seldom tap slower); only for a range that
    // reaches down to `belowRangeFrom` or lower: a range whose floor is set
    // higher is a choice of level the beats keep to.
    double slowestBpm = 55.0;
    double belowRangeFrom = 80.0;
    // A fast pulse grouped by three (the eighths of a 12/8 ballad, a slow
    // song in triplets) is followed at three times its period, where that
    // is not slower than slowestBpm: when its onsets repeat at three periods
    // `threesRatio` times as much as at two (TempoEvidence::grouping), at
    // least `threesFloor` of the autocorrelation at lag 0, for
    // `threesSeconds` on end. Back at the pulse when they repeat at two
    // periods as much as at three for as long. 0 seconds: never.
    double threesRatio = 1.5;
    double threesFloor = 0.1;
    double threesSeconds = 3.0;
    // Beats on three of a pulse that repeats at two and four of itself at
    // least `dupleShare` times as much as at three (and at least
    // `threesFloor`) for `threesSeconds` on end go to two or four of it.
    double dupleShare = 0.8;
    // The share of the phase's recent odds (BeatPhase) that the beat lies a
    // sixth to five twelfths of an interval before or after the beats (a
    // swung eighth, a sixteenth, a dembow's snare) at which the beats move
    // there, while the level classifier finds their level right. Half an
    // interval is the off-beat verdict's, and a twelfth is the placing's own
    // play. Above 1: never.
    double phaseShare = 0.85;
    // Whether beats found on a swung eighth (SwungEighth) move a third of an
    // interval later, to the beat, whatever the phase's odds (while the level
    // classifier finds their level right, as for those).
    bool followSwing = true;
    Settings() {
      predictor.intervalMemorySeconds = 0.0;
      predictor.pulseBeats = 1.5;
      predictor.doubtBeats = 0.75;
      predictor.restartShare = 0.7;
      predictor.onsets.bands = true;
      predictor.onsets.activation = true;
    }
  };
  struct Beat {
    bool due = false;
    double intervalFrames = 0.0;  // the period, to a fraction of a frame
    int framesLate = 0;
  };

  // `bins` of each spectrum, `frameRate` frames per second, `binHz` the width
  // of a bin, tempi from `minBpm` to `maxBpm`. Throws std::invalid_argument
  // for values out of range.
  MeterTracker(const Settings& settings, std::size_t bins, double frameRate, double binHz,
               double minBpm, double maxBpm);

  // One frame: its onsets (an OnsetEnergy of the predictor's settings, with
  // the bands), whether the tracker reported a reliable beat on it and the
  // interval it measures (frames, 0 before any). A host that keeps the
  // onsets' periodicity itself (an OnsetPeriodicity of periodicityFormat(),
  // fed the same onsets) hands its snapshot on every frame it is due, from
  // the first frame on, and null between; the beats are the same. Throws
  // std::logic_error for a snapshot missing or of another frame.
  Beat process(const OnsetEnergy::Value& onset, bool reliableBeat, int trackerInterval,
               const OnsetPeriodicity::Snapshot* ahead = nullptr);
  // The same from the frame's spectrum.
  Beat process(const std::complex<float>* spectrum, bool reliableBeat, int trackerInterval);

  // What a host keeps the onsets' periodicity with, for process().
  const OnsetPeriodicity::Format& periodicityFormat() const { return periodicityKept; }
  // The period the beats follow now, in frames (0 before any).
  double period() const { return currentPeriod; }
  // The frame of the next beat as it stands (BeatPredictor::expectedBeat).
  long expectedBeat() const { return predictor.expectedBeat(); }

 private:
  // Periods within 10 % of each other are one level.
  static constexpr double kSameLevel = 0.1;
  // A period within 4 % of 3/2 of another is at that ratio (4/3 is 11 % away).
  static constexpr double kSameRatio = 0.04;
  // The level classifier's verdicts on as many windows of beats, at least,
  // before the beats move to another level (one window alone can be a fill),
  // and before they move half a beat (a song's chords on the off-beats make
  // those verdicts waver longer).
  static constexpr int kVerdictsToMove = 2;
  static constexpr int kVerdictsToShift = 3;
  // A period is hollow when the onsets repeat at it less than this share of
  // the autocorrelation at lag 0 (at the beat of played music, typically 0.2
  // to 0.4) while two thirds of it, as a pulse, repeat at least kPulseShare
  // and grouped by three (TempoEvidence::grouping, at least threesFloor),
  // for kHollowUpdates updates on end (2 s).
  static constexpr double kHollowShare = 0.01;
  static constexpr double kPulseShare = 0.05;
  static constexpr long kHollowUpdates = 10;
  // Verdicts on the phase before the beats move by a share of a beat, and
  // the share of the level's that must find the level right.
  static constexpr int kVerdictsToPlace = 8;
  static constexpr double kRightToPlace = 0.5;
  // Per frame, of the running means that scale the activation to the onsets (2 s).
  static constexpr double kActivationMeanDecay = 0.995;

  static OnsetPeriodicity::Format formatOf(const Settings& settings, const TempoFilter& filter,
                                           double longestPeriod, double frameRate);
  void updateTempo(int trackerInterval);
  // On each beat placed.
  void followVerdicts();
  // Follow the filter's period times `to` (0.5: the beat twice as fast, 1,
  // 2: half as fast); a move back to the period refuses the level left.
  void follow(double to);
  // The beats follow `period` from now on.
  void followPeriod(double period);
  // The beats follow the filter's own period again, their verdicts afresh.
  void backToFilter();
  // The level classifier's verdicts start afresh.
  void restartLevel();
  // The beats, at `period` until now, go on at twice it: from the last beat,
  // or the one before if the classifier found that one stronger.
  void goOnFromStrongerBeat(double period);
  // Moves the beats to where BeatPhase, or SwungEighth, finds the beat;
  // whether it did.
  bool followPhase();
  // Whether the beats go to three times the filter's period, or back from it.
  void followGrouping();
  // The beats follow the filter's period times `to` as a pulse grouped by
  // three: held there while the filter moves among the pulse's levels. The
  // level classifier's verdicts start afresh.
  void followGrouped(double to);
  // Whether the beats lie on three of a pulse that repeats in twos, and go
  // to two or four of it.
  void followDuplePulse();
  // Whether the filter's period is hollow, and the beats go to twice it.
  void leaveAHollowPeriod();
  // The beats, at a new period, on the grid through `strongest`, one of the
  // beats at `oldPeriod` (within the last eight).
  void meetOldBeatsAt(long strongest, double oldPeriod);

  Settings settings;
  OnsetEnergy onsets;
  TempoFilter filter;
  OnsetPeriodicity::Format periodicityKept;
  OnsetPeriodicity periodicity;
  bool hostPeriodicity = false;  // the host keeps it and hands snapshots
  LevelClassifier level;
  BeatPredictor predictor;
  std::vector<double> comb;
  // The onsets the beats are placed on, kept for the longest interval: the
  // beats lie `lag` of it after where the strongest onsets repeat (BeatPhase).
  std::vector<double> placedOnsets;
  double lag = 0.0;
  long frame = -1;
  long lastBeat = -1;  // the frame of the last beat placed
  long updateFrames;
  long memoryFrames;
  double currentPeriod = 0.0;
  double currentStrength = 0.0;
  double onsetMean = 0.0;       // running, of the onsets where the beats are placed
  double activationMean = 0.0;  // and of the activation
  double framesPerMinute;
  double filterPeriod = 0.0;  // the filter's period, refined
  double longestPeriod;       // of the beats (settings.slowestBpm)
  double ratio = 1.0;  // the beats' period to the filter's: 1/2, 2/3, 3/4, 1, 4/3, 3/2, 2 or 3
  double refusedFrom = 0.0;   // the filter's period whose other level was left
  double refusedRatio = 1.0;  // and that level's ratio
  bool heldAfresh = false;    // the verdicts restarted when the beats began to hold their level
  bool grouped = false;       // the beats follow a pulse grouped by three (ratio 3, 2 or 3/2)
  long threesFor = 0;         // updates on end the pulse has been grouped by three
  double threesAt = 0.0;      // the beats' period it points to
  long leaveFor = 0;          // updates on end the grouped pulse has repeated in twos as much
  long hollowFor = 0;         // updates on end the filter's period has been hollow
  long duplesFor = 0;         // updates on end a third of the beats' period has repeated in twos
  long threesUpdates;         // as many as settings.threesSeconds
};

}  // namespace vesk_conditioning

#endif
