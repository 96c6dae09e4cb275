#include "beat_tracker/PatternMatchingCache.h"

#include <algorithm>
#include <cstring>

#include "beat_tracker/EngineKernels.h"

namespace beat_tracker {

void PatternMatchingCache::Configure(const Config& config) {
  config_ = config;
  configured_ = true;
  valid_ = false;
  count_ = std::max(0, config.max_interval - config.min_interval);
  history_ = std::max(1, config.max_interval + config.window - 1);
  width_ = std::max(0, config.band_end - config.band_begin);
  const int window = std::max(1, config.window);
  rows_.assign(static_cast<std::size_t>(history_) * width_, 0.0);
  band_stride_ = 2 * static_cast<std::size_t>(history_) + kernels::kLagPadding;
  bands_.assign(band_stride_ * width_, 0.0);
  energies_.assign(2 * static_cast<std::size_t>(history_), 0.0);
  padded_count_ = kernels::PaddedLags(count_);
  terms_.assign(static_cast<std::size_t>(window) * padded_count_, 0.0);
  cross_.assign(padded_count_, 0.0);
  lagged_.assign(count_, 0.0);
  newest_row_ = 0;
  newest_term_ = 0;
}

double PatternMatchingCache::EnergyOf(const double* row) const {
  double e = 0.0;
  for (int k = 0; k < width_; ++k) e += row[k] * row[k];
  return e;
}

void PatternMatchingCache::TermsOf(int age, double* terms) const {
  // Each term is a plain band-ordered dot product; the lags run side by side
  // (for one band, the lagged rows' values are contiguous in bands_).
  kernels::LagTerms(Row(age), bands_.data() + newest_row_ + age + config_.min_interval,
                    band_stride_, width_, count_, terms);
}

void PatternMatchingCache::WindowEnergies(int first_a, int first_b, double& a, double& b) const {
  // Two sums in one loop: each keeps its own order, and neither waits for
  // the other's additions.
  const double* ea = energies_.data() + newest_row_ + first_a;
  const double* eb = energies_.data() + newest_row_ + first_b;
  double sa = 0.0;
  double sb = 0.0;
  for (int s = 0; s < config_.window; ++s) {
    sa += ea[s];
    sb += eb[s];
  }
  a = sa;
  b = sb;
}

double PatternMatchingCache::WindowEnergy(int first) const {
  const double* e = energies_.data() + newest_row_ + first;
  double sum = 0.0;
  for (int s = 0; s < config_.window; ++s) sum += e[s];
  return sum;
}

bool PatternMatchingCache::FollowsLastFrame(const RingIBuffer<std::vector<double>>& ring,
                                            History history) const {
  if (!valid_ || &ring != ring_ || ring.length != ring_length_ || ring.length == 0) return false;
  if (ring.index != (ring_index_ + 1) % ring.length) return false;
  // The rows that must still be the ones copied: all of them when verifying
  // (a hand-edited history is rebuilt rather than trusted), otherwise the row
  // pushed last time.
  const int last_age = history == History::kVerify ? history_ : std::min(history_, 2);
  const std::size_t bytes = static_cast<std::size_t>(width_) * sizeof(double);
  for (int age = 1; age < last_age; ++age) {
    const std::vector<double>& row = ring.back(age);
    if (row.size() < static_cast<std::size_t>(config_.band_end)) return false;
    if (bytes != 0 && std::memcmp(row.data() + config_.band_begin, Row(age - 1), bytes) != 0)
      return false;
  }
  return true;
}

void PatternMatchingCache::StoreBands(const double* row, int slot) {
  double* band = bands_.data() + slot;
  for (int k = 0; k < width_; ++k, band += band_stride_) {
    band[0] = row[k];
    band[history_] = row[k];
  }
}

void PatternMatchingCache::PushNewest(const std::vector<double>& row) {
  newest_row_ = (newest_row_ + history_ - 1) % history_;
  double* slot = rows_.data() + RowSlot(0) * width_;
  std::copy(row.begin() + config_.band_begin, row.begin() + config_.band_end, slot);
  StoreBands(slot, newest_row_);
  const double e = EnergyOf(slot);
  energies_[newest_row_] = e;
  energies_[newest_row_ + history_] = e;
  if (count_ == 0) return;
  const int window = config_.window;
  newest_term_ = (newest_term_ + window - 1) % window;
  TermsOf(0, terms_.data() + static_cast<std::size_t>(newest_term_) * padded_count_);
}

void PatternMatchingCache::Rebuild(const RingIBuffer<std::vector<double>>& ring) {
  ++rebuild_count_;
  newest_row_ = 0;
  newest_term_ = 0;
  for (int age = 0; age < history_; ++age) {
    const std::vector<double>& row = ring.back(age);
    double* slot = rows_.data() + RowSlot(age) * width_;
    std::copy(row.begin() + config_.band_begin, row.begin() + config_.band_end, slot);
    StoreBands(slot, static_cast<int>(RowSlot(age)));
    const double e = EnergyOf(slot);
    energies_[age] = e;
    energies_[age + history_] = e;
  }
  for (int s = 0; s < config_.window && count_ > 0; ++s)
    TermsOf(s, terms_.data() + static_cast<std::size_t>(s) * padded_count_);
}

bool PatternMatchingCache::Compute(const Config& config,
                                   const RingIBuffer<std::vector<double>>& ring,
                                   std::vector<double>& out, History history) {
  if (!configured_ || !(config == config_)) Configure(config);
  // Only rows that are read must hold the bands: the newest when following,
  // all of them for a rebuild. Nothing changes when one is too short.
  const std::size_t bands = static_cast<std::size_t>(config_.band_end);
  const bool follows = FollowsLastFrame(ring, history);
  for (int age = 0; age < (follows ? 1 : history_); ++age) {
    if (ring.back(age).size() < bands) {
      valid_ = false;
      return false;
    }
  }
  if (follows) {
    PushNewest(ring.back(0));
  } else {
    Rebuild(ring);
  }
  valid_ = true;
  ring_ = &ring;
  ring_index_ = ring.index;
  ring_length_ = ring.length;

  out.resize(count_);
  if (count_ == 0) return true;

  // Cross sums over the window, newest frame first; each lag's sum keeps its
  // frame order.
  const int m = config_.min_interval;
  const int n = count_;
  double* cross = cross_.data();
  double* lagged = lagged_.data();
  double recent = 0.0;
  kernels::WindowSums(terms_.data(), static_cast<std::size_t>(padded_count_), n, config_.window,
                      newest_term_, cross);
  // Lagged energies: moved one lag on from the previous frame when it was
  // followed (the very same sums), formed afresh otherwise.
  if (follows) {
    std::memmove(lagged + 1, lagged, static_cast<std::size_t>(n - 1) * sizeof(double));
    WindowEnergies(0, m, recent, lagged[0]);
  } else {
    recent = WindowEnergy(0);
    for (int j = 0; j < n; ++j) lagged[j] = WindowEnergy(m + j);
  }
  for (int j = 0; j < n; ++j) {
    const double A = cross[j];
    const double Y = lagged[j];
    out[j] = (recent == 0 || Y == 0) ? 0.0 : (A * A / recent) / Y;
  }
  return true;
}

}  // namespace beat_tracker
