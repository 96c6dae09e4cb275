#ifndef VESK_BEAT_TRACKER_PATTERNMATCHINGCACHE_H
#define VESK_BEAT_TRACKER_PATTERNMATCHINGCACHE_H

#include <cstdint>
#include <vector>

#include "beat_tracker/RingIBuffer.h"
#include "common/AlignedVector.h"

namespace beat_tracker {

// The pattern-matching vector computed from per-frame terms instead of every
// product on every frame. For a lag d, the cross sum over the window is the sum
// over the F newest frames s of term(s, d) = sum over the bands of
// back(s)[k] * back(s + d)[k]; that term does not change while the frame ages,
// so each frame only adds the terms of its newest row with every lag. The F
// newest term rows, the onset energies and a copy of the rows the matching reads
// are kept; the sums over the window are formed afresh from them on every frame
// (no running totals, so nothing drifts). The lagged energy sums need not even
// that: the sum for lag d on one frame is, operand for operand, the sum for lag
// d - 1 on the frame before, so each frame moves them one lag on and forms only
// the shortest lag's.
//
// The kept state follows the ring frame by frame. Whether the ring is still
// the one seen last time with one row pushed is checked in one of two ways:
//  - kVerify compares every kept row with the ring, so that any ring, also one
//    edited by hand, gives exactly its own matching (a different ring, an
//    edited row or a changed configuration rebuilds everything);
//  - kFollowPushes trusts that older rows changed only by pushing, and checks
//    the ring, its position and the row pushed last time (a refilled or
//    another ring is still noticed). The engine's own frame loop uses it: the
//    full comparison would read the whole 150-row history on every frame.
// Results equal the straightforward sums up to the rounding of the different
// summation order.
class PatternMatchingCache {
 public:
  struct Config {
    int min_interval = 0;  // m, the shortest lag
    int max_interval = 0;  // N, one past the longest lag
    int window = 0;        // F, frames summed per lag
    int band_begin = 0;    // first band summed
    int band_end = 0;      // one past the last band summed
    bool operator==(const Config& o) const {
      return min_interval == o.min_interval && max_interval == o.max_interval &&
             window == o.window && band_begin == o.band_begin && band_end == o.band_end;
    }
  };

  enum class History { kVerify, kFollowPushes };

  // Matching value per lag m ... N - 1 into `out` (resized to N - m). The ring
  // must reach N + F - 2 frames back (the caller checks that). False, with
  // `out` untouched, when a row it would read holds fewer than band_end values.
  // Allocates only when the configuration changes.
  bool Compute(const Config& config, const RingIBuffer<std::vector<double>>& ring,
               std::vector<double>& out, History history = History::kVerify);

  // How many times the state was rebuilt from a whole ring (for tests).
  std::uint64_t rebuilds() const { return rebuild_count_; }

 private:
  void Configure(const Config& config);
  bool FollowsLastFrame(const RingIBuffer<std::vector<double>>& ring, History history) const;
  void Rebuild(const RingIBuffer<std::vector<double>>& ring);
  void PushNewest(const std::vector<double>& row);
  // Copies one row into the band-major copy at `slot`.
  void StoreBands(const double* row, int slot);
  const double* Row(int age) const { return &rows_[RowSlot(age) * width_]; }
  std::size_t RowSlot(int age) const {
    return static_cast<std::size_t>((newest_row_ + age) % history_);
  }
  // The terms of the row `age` frames back with every lag, into `terms`.
  void TermsOf(int age, double* terms) const;
  // Window sum of the energies from age `first` on, newest first.
  double WindowEnergy(int first) const;
  // The window sums from ages first_a and first_b together.
  void WindowEnergies(int first_a, int first_b, double& a, double& b) const;
  // Energy (sum of squares over the bands) of one copied row.
  double EnergyOf(const double* row) const;

  Config config_;
  bool configured_ = false;
  int count_ = 0;    // lags, N - m
  int history_ = 0;  // rows the matching reads, N + F - 1
  int width_ = 0;    // bands summed
  // Copy of the bands band_begin ... band_end - 1 of the newest history_ rows;
  // row `age` is at slot (newest_row_ + age) % history_.
  vesk_kernels::AlignedVector<double> rows_;
  int newest_row_ = 0;
  // The same rows band by band, twice over like the energies, so that for one
  // band the values of consecutive ages (consecutive lags) are contiguous:
  // band k of age a at bands_[k * band_stride_ + newest_row_ + a]. Each band
  // ends in a few zeros, read by the lags that only pad a vector.
  vesk_kernels::AlignedVector<double> bands_;
  std::size_t band_stride_ = 0;
  // Energies of those rows twice over, so that the energies of ages a ... a + F - 1
  // are contiguous: energy of age a at energies_[newest_row_ + a].
  vesk_kernels::AlignedVector<double> energies_;
  // The F newest term rows, count_ lags each (padded to whole vectors); age s
  // at slot (newest_term_ + s) % F.
  vesk_kernels::AlignedVector<double> terms_;
  int padded_count_ = 0;
  int newest_term_ = 0;
  vesk_kernels::AlignedVector<double> cross_;   // padded like a term row
  vesk_kernels::AlignedVector<double> lagged_;  // valid for the frame last computed

  // The ring as it was seen last time.
  bool valid_ = false;
  const RingIBuffer<std::vector<double>>* ring_ = nullptr;
  std::uint64_t ring_index_ = 0;
  std::uint64_t ring_length_ = 0;
  std::uint64_t rebuild_count_ = 0;
};

}  // namespace beat_tracker

#endif
