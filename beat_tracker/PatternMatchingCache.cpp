#include "beat_tracker/PatternMatchingCache.h"

#include <algorithm>
#include <cstring>

namespace beat_tracker {

namespace {

// Two lags side by side in one vector register (a GCC and Clang extension);
// lane-wise addition adds each lag's values in the same order as scalar code.
typedef double Lanes __attribute__((vector_size(16)));
constexpr int kLagBlock = 8;

Lanes Load(const double* p) {
  Lanes v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
void Store(double* p, Lanes v) {
  std::memcpy(p, &v, sizeof v);
}

}  // namespace

void PatternMatchingCache::Configure(const Config& config) {
  config_ = config;
  configured_ = true;
  valid_ = false;
  count_ = std::max(0, config.max_interval - config.min_interval);
  history_ = std::max(1, config.max_interval + config.window - 1);
  width_ = std::max(0, config.band_end - config.band_begin);
  const int window = std::max(1, config.window);
  rows_.assign(static_cast<std::size_t>(history_) * width_, 0.0);
  bands_.assign(2 * static_cast<std::size_t>(history_) * width_, 0.0);
  energies_.assign(2 * static_cast<std::size_t>(history_), 0.0);
  terms_.assign(static_cast<std::size_t>(window) * count_, 0.0);
  cross_.assign(count_, 0.0);
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
  // Each term is a plain band-ordered dot product. The lags run side by side
  // in vector lanes (band by band, the lagged rows' values of one band are
  // contiguous), so every lane adds its products in band order, as a scalar
  // loop would.
  const double* x = Row(age);
  const std::size_t stride = 2 * static_cast<std::size_t>(history_);
  const double* lagged = bands_.data() + newest_row_ + age + config_.min_interval;
  int j0 = 0;
  for (; j0 + kLagBlock <= count_; j0 += kLagBlock) {
    Lanes a0{}, a1{}, a2{}, a3{};
    const double* y = lagged + j0;
    for (int k = 0; k < width_; ++k, y += stride) {
      const double xk = x[k];
      a0 += xk * Load(y);
      a1 += xk * Load(y + 2);
      a2 += xk * Load(y + 4);
      a3 += xk * Load(y + 6);
    }
    Store(terms + j0, a0);
    Store(terms + j0 + 2, a1);
    Store(terms + j0 + 4, a2);
    Store(terms + j0 + 6, a3);
  }
  for (; j0 < count_; ++j0) {
    double a = 0.0;
    const double* y = lagged + j0;
    for (int k = 0; k < width_; ++k, y += stride) a += x[k] * *y;
    terms[j0] = a;
  }
}

template <int kVectors>
void PatternMatchingCache::CrossSums(int j0, double* cross) const {
  const int F = config_.window;
  const std::size_t n = static_cast<std::size_t>(count_);
  Lanes a[kVectors] = {};
  int slot = newest_term_;
  for (int s = 0; s < F; ++s) {
    const double* terms = terms_.data() + static_cast<std::size_t>(slot) * n + j0;
    // Unrolled, so that the sums stay in registers.
#pragma GCC unroll 8
    for (int v = 0; v < kVectors; ++v) a[v] += Load(terms + 2 * v);
    if (++slot == F) slot = 0;
  }
#pragma GCC unroll 8
  for (int v = 0; v < kVectors; ++v) Store(cross + j0 + 2 * v, a[v]);
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
    const double* now = ring.back(age).data() + config_.band_begin;
    if (bytes != 0 && std::memcmp(now, Row(age - 1), bytes) != 0) return false;
  }
  return true;
}

void PatternMatchingCache::StoreBands(const double* row, int slot) {
  const std::size_t stride = 2 * static_cast<std::size_t>(history_);
  double* band = bands_.data() + slot;
  for (int k = 0; k < width_; ++k, band += stride) {
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
  TermsOf(0, terms_.data() + static_cast<std::size_t>(newest_term_) * count_);
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
    TermsOf(s, terms_.data() + static_cast<std::size_t>(s) * count_);
}

void PatternMatchingCache::Compute(const Config& config,
                                   const RingIBuffer<std::vector<double>>& ring,
                                   std::vector<double>& out, History history) {
  if (!configured_ || !(config == config_)) Configure(config);
  const bool follows = FollowsLastFrame(ring, history);
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
  if (count_ == 0) return;

  // Cross sums over the window, newest frame first, several lags at a time in
  // vector registers; each lag's sum keeps its frame order, so the blocking
  // changes no result.
  const int m = config_.min_interval;
  const int n = count_;
  double* cross = cross_.data();
  double* lagged = lagged_.data();
  const double recent = WindowEnergy(0);
  int j0 = 0;
  for (; j0 + 16 <= n; j0 += 16) CrossSums<8>(j0, cross);
  for (; j0 + 8 <= n; j0 += 8) CrossSums<4>(j0, cross);
  for (; j0 + 2 <= n; j0 += 2) CrossSums<1>(j0, cross);
  if (j0 < n) {
    const int F = config_.window;
    double a = 0.0;
    int slot = newest_term_;
    for (int s = 0; s < F; ++s) {
      a += terms_[static_cast<std::size_t>(slot) * n + j0];
      if (++slot == F) slot = 0;
    }
    cross[j0] = a;
  }
  // Lagged energies: moved one lag on from the previous frame when it was
  // followed (the very same sums), formed afresh otherwise.
  if (follows) {
    std::memmove(lagged + 1, lagged, static_cast<std::size_t>(n - 1) * sizeof(double));
    lagged[0] = WindowEnergy(m);
  } else {
    for (int j = 0; j < n; ++j) lagged[j] = WindowEnergy(m + j);
  }
  for (int j = 0; j < n; ++j) {
    const double A = cross[j];
    const double Y = lagged[j];
    out[j] = (recent == 0 || Y == 0) ? 0.0 : (A * A / recent) / Y;
  }
}

}  // namespace beat_tracker
