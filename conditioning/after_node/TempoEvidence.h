#ifndef VESK_CONDITIONING_TEMPOEVIDENCE_H
#define VESK_CONDITIONING_TEMPOEVIDENCE_H

#include <array>
#include <cstddef>
#include <vector>

namespace vesk_conditioning {

// How well each candidate beat period fits the recent onsets: a comb over the
// autocorrelation of the onset energy, summing it at one, two, three and four
// periods. Summing the multiples is what lets the beat beat its relatives: a
// dotted-quarter period lands on the bar only every other multiple, and half
// the beat scores its off-beats, which are weaker than its beats.
// The autocorrelation has a fading memory (about `memorySeconds`), of the
// energy less its running mean; it is brought up to date when read. Reaching
// further, it also gives the comb over eight multiples, two bars of four: a
// figure of dotted eighths repeats at 3/4 of the beat within the bar, but
// only the beat lands on the bars. Causal; allocates only when constructed.
// Reading writes too: one thread at a time.
class TempoEvidence {
 public:
  static constexpr int kMultiples = 4;
  static constexpr int kBarMultiples = 8;

  // `longestPeriod` in frames; `memorySeconds` and `frameRate` set the fading;
  // each multiple's share of the autocorrelation at lag 0 counts raised to
  // `power` (above 1: the lags where the whole pattern repeats stand out).
  // With `bars`, the autocorrelation reaches kBarMultiples longest periods
  // (for barComb), else kMultiples. Throws std::invalid_argument for values
  // out of range.
  TempoEvidence(double longestPeriod, double frameRate, double memorySeconds, double power,
                bool bars = false);

  void push(double onsetEnergy);
  // The periods (frames, shorter than the longest) the comb is taken at,
  // fixed from then on; allocates.
  void setPeriods(const std::vector<double>& periods);
  // The comb's value at each period, times `weight`, added to `out` (one
  // entry per period): 0 for no periodicity, up to kMultiples.
  void addCombs(double weight, std::vector<double>& out) const;
  // The period near `period` (within a frame per multiple) where the
  // autocorrelation peaks, found from its multiples, to a fraction of a frame.
  double refine(double period) const;
  // The comb at `period` (frames, not longer than the longest) over
  // kBarMultiples multiples, each the autocorrelation's peak within half a
  // frame and half a frame per multiple: 0 for no periodicity, up to
  // kBarMultiples. Throws std::logic_error without `bars`.
  double barComb(double period) const;
  // How the onsets repeat in groups of a fast `period`: the autocorrelation's
  // mean peak share at 3, 9 and 15 periods (in threes, not in twos) and at 2,
  // 4, 8, 10, 14 and 16 (in twos, not in threes), each as far as it reaches.
  // A pulse of eighths grouped by three (12/8, a ballad in triplets) repeats
  // at three of them; one grouped by two at two and four. Both 0 where
  // three periods lie beyond the lags. Throws std::logic_error without `bars`.
  struct Grouping {
    double threes = 0.0, twos = 0.0;
  };
  Grouping grouping(double period) const;
  // The autocorrelation's peak share at `period` (within half a frame): how
  // strongly the onsets repeat at it, 0 where they do not (or below the
  // lags kept).
  double share(double period) const;
  // Per lag, as the combs read it.
  const std::vector<double>& autocorrelation() const;
  // Another evidence's autocorrelation (of the same longest period) in place
  // of this one's. Throws std::invalid_argument for one of another length.
  void setAutocorrelation(const std::vector<double>& values);

 private:
  struct Window {
    std::size_t from, to;  // lags searched for a multiple's peak
  };
  Window windowOf(double period, int multiple) const;
  // A window's highest autocorrelation.
  double highest(const Window& w) const;
  // That times `scale`, raised to the power.
  double peakShare(const Window& w, double scale) const;
  // The highest autocorrelation within `halfWidth` of `centre` (not below
  // the first lag kept), as a share of lag 0's; -1 where the window reaches
  // beyond the lags. Settled, and lag 0's positive, before.
  double shareWithin(double centre, double halfWidth) const;

  // The frames pushed since the autocorrelation was last brought up to date
  // go into it together, when it is read or kPending have gathered: one pass
  // over the lags per frame, a product and a sum each, where a pass on every
  // frame faded the whole memory as well.
  static constexpr std::size_t kPending = 32;
  void settle() const;

  std::vector<Window> windows;      // per period and multiple
  std::vector<float> history;       // ring of centred energies, twice over
  mutable std::vector<float> sums;  // the autocorrelation as it is kept
  mutable std::vector<double> acf;  // per lag, as it is read
  mutable std::size_t waiting = 0;  // frames pushed, not yet in sums
  std::array<double, kPending> pendingX{};
  std::array<double, kPending + 1> grow{};   // decay^-j
  std::array<float, kPending + 1> fadeBy{};  // decay^j
  std::size_t ringSize;
  std::size_t lags;
  int reach;  // multiples of the longest period the autocorrelation reaches
  double longestPeriod;
  std::size_t firstLag = 1;  // the lowest lag above 0 any comb or refinement reads
  std::size_t now = 0;
  double power;
  double decay;
  double mean = 0.0;
  double meanDecay;
};

}  // namespace vesk_conditioning

#endif
