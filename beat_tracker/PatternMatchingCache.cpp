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
  // At most one short block (the ring's last) lies among whole ones, so the
  // window holds at most window / kBlock + 1 whole blocks; one slot more keeps
  // the newest from overwriting one still in use.
  blocks_.clear();
  blocks_.reserve(static_cast<std::size_t>(history_) / kBlock + 2);
  block_term_slots_ = window / kBlock + 3;
  block_terms_.assign(static_cast<std::size_t>(block_term_slots_) * count_, 0.0);
  newest_block_terms_ = 0;
  sources_.clear();
  sources_.reserve(static_cast<std::size_t>(window));
}

void PatternMatchingCache::FindBlocks(std::uint64_t newest_slot, std::uint64_t length) {
  blocks_.clear();
  const std::uint64_t B = kBlock;
  std::uint64_t slot = newest_slot;
  int age = 0;
  while (age < history_) {
    const std::uint64_t begin = slot - slot % B;
    const std::uint64_t end = std::min(begin + B, length);
    const int size = static_cast<int>(slot - begin + 1);
    // Only the newest block can be partly filled: its newer slots hold the
    // oldest frames of the ring, so its filled part is loose.
    const bool whole = slot + 1 == end;
    if (whole) {
      if (age + size > history_) break;
      Block block;
      block.age = age;
      block.size = size;
      const double* e = energies_.data() + newest_row_;
      for (int a = age + size - 1; a >= age; --a) block.energy += e[a];
      blocks_.push_back(block);
    }
    age += size;
    slot = begin == 0 ? length - 1 : begin - 1;
  }
}

void PatternMatchingCache::AddBlockTerms(int age, int size) {
  newest_block_terms_ = (newest_block_terms_ + block_term_slots_ - 1) % block_term_slots_;
  double* sum = block_terms_.data() + static_cast<std::size_t>(newest_block_terms_) * count_;
  std::fill(sum, sum + count_, 0.0);
  const int F = config_.window;
  for (int s = age + size - 1; s >= age; --s) {
    const double* terms = terms_.data() + static_cast<std::size_t>((newest_term_ + s) % F) * count_;
    for (int j = 0; j < count_; ++j) sum[j] += terms[j];
  }
}

double PatternMatchingCache::WindowEnergy(int begin, std::size_t& first_block) const {
  // The whole blocks follow each other without a gap, so the window is a run of
  // loose rows, a run of blocks and another run of loose rows.
  const std::size_t blocks = blocks_.size();
  std::size_t k = first_block;
  while (k < blocks && blocks_[k].age < begin) ++k;
  first_block = k;
  const double* e = energies_.data() + newest_row_;
  const int end = begin + config_.window;
  const int head_end = k < blocks ? std::min(blocks_[k].age, end) : end;
  double sum = 0.0;
  int a = begin;
  for (; a < head_end; ++a) sum += e[a];
  for (; k < blocks && a + blocks_[k].size <= end; ++k) {
    sum += blocks_[k].energy;
    a += blocks_[k].size;
  }
  for (; a < end; ++a) sum += e[a];
  return sum;
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
  // The block sums of the window, formed as they would have been when each
  // block was completed: oldest first, from the same kept terms.
  FindBlocks(ring.index, ring.length);
  newest_block_terms_ = 0;
  if (count_ == 0) return;
  std::size_t inside = 0;
  while (inside < blocks_.size() && blocks_[inside].age + blocks_[inside].size <= config_.window)
    ++inside;
  for (std::size_t k = inside; k-- > 0;) AddBlockTerms(blocks_[k].age, blocks_[k].size);
}

void PatternMatchingCache::Compute(const Config& config,
                                   const RingIBuffer<std::vector<double>>& ring,
                                   std::vector<double>& out) {
  if (!configured_ || !(config == config_)) Configure(config);
  if (FollowsLastFrame(ring)) {
    PushNewest(ring.back(0));
    FindBlocks(ring.index, ring.length);
    // The newest slot completed a block: its term sums are formed now, once.
    if (count_ > 0 && !blocks_.empty() && blocks_[0].age == 0 && blocks_[0].size <= config_.window)
      AddBlockTerms(0, blocks_[0].size);
  } else {
    Rebuild(ring);
  }
  valid_ = true;
  ring_ = &ring;
  ring_index_ = ring.index;
  ring_length_ = ring.length;

  out.resize(count_);
  if (count_ == 0) return;

  // The window's term rows, newest first: the loose frames one by one and the
  // whole blocks by their sums.
  const int F = config_.window;
  const int m = config_.min_interval;
  const int n = count_;
  sources_.clear();
  std::size_t k = 0;
  for (int age = 0; age < F;) {
    if (k < blocks_.size() && blocks_[k].age == age && age + blocks_[k].size <= F) {
      const int slot = (newest_block_terms_ + static_cast<int>(k)) % block_term_slots_;
      sources_.push_back(block_terms_.data() + static_cast<std::size_t>(slot) * n);
      age += blocks_[k].size;
      ++k;
    } else {
      sources_.push_back(terms_.data() + static_cast<std::size_t>((newest_term_ + age) % F) * n);
      ++age;
    }
  }
  const int rows = static_cast<int>(sources_.size());
  const double* const* source = sources_.data();

  // Cross sums, eight lags at a time in vector registers; each lag's sum keeps
  // the row order above, so the lane blocking changes no result.
  double* cross = cross_.data();
  double* lagged = lagged_.data();
  int j0 = 0;
  for (; j0 + kLagBlock <= n; j0 += kLagBlock) {
    Lanes a0{}, a1{}, a2{}, a3{};
    for (int r = 0; r < rows; ++r) {
      const double* terms = source[r] + j0;
      a0 += Load(terms);
      a1 += Load(terms + 2);
      a2 += Load(terms + 4);
      a3 += Load(terms + 6);
    }
    Store(cross + j0, a0);
    Store(cross + j0 + 2, a1);
    Store(cross + j0 + 4, a2);
    Store(cross + j0 + 6, a3);
  }
  for (int j = j0; j < n; ++j) {
    double a = 0.0;
    for (int r = 0; r < rows; ++r) a += source[r][j];
    cross[j] = a;
  }
  // Energies of the newest window and of the window d frames back, per lag.
  std::size_t first_block = 0;
  const double recent = WindowEnergy(0, first_block);
  for (int j = 0; j < n; ++j) lagged[j] = WindowEnergy(m + j, first_block);
  for (int j = 0; j < n; ++j) {
    const double A = cross[j];
    const double Y = lagged[j];
    out[j] = (recent == 0 || Y == 0) ? 0.0 : (A * A / recent) / Y;
  }
}

}  // namespace beat_tracker
