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
  // Each term is a plain band-ordered dot product; four lags at a time keep
  // four independent sums going without changing any sum's order.
  const double* x = Row(age);
  const int m = config_.min_interval;
  int j = 0;
  for (; j + 4 <= count_; j += 4) {
    const double* y0 = Row(age + m + j);
    const double* y1 = Row(age + m + j + 1);
    const double* y2 = Row(age + m + j + 2);
    const double* y3 = Row(age + m + j + 3);
    double a0 = 0.0, a1 = 0.0, a2 = 0.0, a3 = 0.0;
    for (int k = 0; k < width_; ++k) {
      a0 += x[k] * y0[k];
      a1 += x[k] * y1[k];
      a2 += x[k] * y2[k];
      a3 += x[k] * y3[k];
    }
    terms[j] = a0;
    terms[j + 1] = a1;
    terms[j + 2] = a2;
    terms[j + 3] = a3;
  }
  for (; j < count_; ++j) {
    const double* y = Row(age + m + j);
    double a = 0.0;
    for (int k = 0; k < width_; ++k) a += x[k] * y[k];
    terms[j] = a;
  }
}

bool PatternMatchingCache::FollowsLastFrame(const RingIBuffer<std::vector<double>>& ring) const {
  if (!valid_ || &ring != ring_ || ring.length != ring_length_ || ring.length == 0) return false;
  if (ring.index != (ring_index_ + 1) % ring.length) return false;
  // Every older row must still be the one copied: a hand-edited history is
  // rebuilt rather than trusted.
  const std::size_t bytes = static_cast<std::size_t>(width_) * sizeof(double);
  for (int age = 1; age < history_; ++age) {
    const double* now = ring.back(age).data() + config_.band_begin;
    if (bytes != 0 && std::memcmp(now, Row(age - 1), bytes) != 0) return false;
  }
  return true;
}

void PatternMatchingCache::PushNewest(const std::vector<double>& row) {
  newest_row_ = (newest_row_ + history_ - 1) % history_;
  double* slot = rows_.data() + RowSlot(0) * width_;
  std::copy(row.begin() + config_.band_begin, row.begin() + config_.band_end, slot);
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
    const double e = EnergyOf(slot);
    energies_[age] = e;
    energies_[age + history_] = e;
  }
  for (int s = 0; s < config_.window && count_ > 0; ++s)
    TermsOf(s, terms_.data() + static_cast<std::size_t>(s) * count_);
}

void PatternMatchingCache::Compute(const Config& config,
                                   const RingIBuffer<std::vector<double>>& ring,
                                   std::vector<double>& out) {
  if (!configured_ || !(config == config_)) Configure(config);
  if (FollowsLastFrame(ring)) {
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

  // Sums over the window, newest frame first, eight lags at a time in vector
  // registers; each lag's sum keeps its frame order, so the blocking changes no
  // result.
  const int F = config_.window;
  const int m = config_.min_interval;
  const int n = count_;
  double* cross = cross_.data();
  double* lagged = lagged_.data();
  const double* energies = energies_.data() + newest_row_;
  double recent = 0.0;
  for (int s = 0; s < F; ++s) recent += energies[s];
  int j0 = 0;
  for (; j0 + kLagBlock <= n; j0 += kLagBlock) {
    Lanes a0{}, a1{}, a2{}, a3{}, y0{}, y1{}, y2{}, y3{};
    int slot = newest_term_;
    for (int s = 0; s < F; ++s) {
      const double* terms = terms_.data() + static_cast<std::size_t>(slot) * n + j0;
      const double* e = energies + s + m + j0;
      a0 += Load(terms);
      a1 += Load(terms + 2);
      a2 += Load(terms + 4);
      a3 += Load(terms + 6);
      y0 += Load(e);
      y1 += Load(e + 2);
      y2 += Load(e + 4);
      y3 += Load(e + 6);
      if (++slot == F) slot = 0;
    }
    Store(cross + j0, a0);
    Store(cross + j0 + 2, a1);
    Store(cross + j0 + 4, a2);
    Store(cross + j0 + 6, a3);
    Store(lagged + j0, y0);
    Store(lagged + j0 + 2, y1);
    Store(lagged + j0 + 4, y2);
    Store(lagged + j0 + 6, y3);
  }
  for (int j = j0; j < n; ++j) {
    double a = 0.0, y = 0.0;
    for (int s = 0; s < F; ++s) {
      a += terms_[static_cast<std::size_t>((newest_term_ + s) % F) * n + j];
      y += energies[s + m + j];
    }
    cross[j] = a;
    lagged[j] = y;
  }
  for (int j = 0; j < n; ++j) {
    const double A = cross[j];
    const double Y = lagged[j];
    out[j] = (recent == 0 || Y == 0) ? 0.0 : (A * A / recent) / Y;
  }
}

}  // namespace beat_tracker
