#include <algorithm>
#include <cstring>

#include "beat_tracker/BeatTracker.h"
#include "beat_tracker/DiagnosticRow.h"
#include "beat_tracker/EngineKernels.h"

namespace beat_tracker {

std::vector<double> BeatTracker::MelSpectrumReference(const std::vector<double>& row) const {
  // Triangles on the bin axis, height 1 at their peak point, not normalised.
  // Every filter scans every bin, in bin order.
  const std::size_t points = mel_points.size();
  std::vector<double> out(points >= 2 ? points - 2 : 0, 0.0);
  for (std::size_t m = 1; m + 1 < points; ++m) {
    const double lo = mel_points[m - 1];
    const double pk = mel_points[m];
    const double hi = mel_points[m + 1];
    double& band = out[m - 1];
    for (std::size_t i = 0; i < row.size(); ++i) {
      const double x = static_cast<double>(i);
      if (lo <= x && x <= pk) {
        band += ((x - lo) * row[i]) / (pk - lo);
      } else if (x > pk && x <= hi) {
        band += (row[i] * (hi - x)) / (hi - pk);
      }
    }
  }
  return out;
}

void BeatTracker::UpdateMelRanges(std::size_t bins) {
  // The first and one past the last bin each triangle takes, found with the
  // very tests the sum applies, so the restricted sum adds the same terms.
  // Those bins are [lo, pk] then (pk, hi], one run, also for points out of
  // order (a side may be empty): the first bin above pk starts the falling side.
  const std::size_t points = mel_points.size();
  const std::size_t filters = points >= 2 ? points - 2 : 0;
  mel_range_first_.assign(filters, 0);
  mel_range_mid_.assign(filters, 0);
  mel_range_end_.assign(filters, 0);
  for (std::size_t m = 1; m + 1 < points; ++m) {
    const double lo = mel_points[m - 1];
    const double pk = mel_points[m];
    const double hi = mel_points[m + 1];
    bool any = false;
    for (std::size_t i = 0; i < bins; ++i) {
      const double x = static_cast<double>(i);
      if ((lo <= x && x <= pk) || (x > pk && x <= hi)) {
        if (!any) mel_range_first_[m - 1] = i;
        mel_range_end_[m - 1] = i + 1;
        any = true;
      }
    }
    std::size_t mid = mel_range_first_[m - 1];
    while (mid < mel_range_end_[m - 1] && !(static_cast<double>(mid) > pk)) ++mid;
    mel_range_mid_[m - 1] = mid;
  }
  mel_range_points_ = mel_points;
  mel_range_bins_ = bins;
  mel_bin_numbers_.resize(bins);
  for (std::size_t i = 0; i < bins; ++i) mel_bin_numbers_[i] = static_cast<double>(i);
}

void BeatTracker::MelSpectrumInto(const std::vector<double>& row, std::vector<double>& out) {
  // Compared bit for bit, so that even hand-set points are followed.
  const bool same_points =
      mel_range_points_.size() == mel_points.size() &&
      (mel_points.empty() || std::memcmp(mel_range_points_.data(), mel_points.data(),
                                         mel_points.size() * sizeof(double)) == 0);
  if (!same_points || mel_range_bins_ != row.size()) UpdateMelRanges(row.size());

  // Same formula and bin order as MelSpectrumReference, over the covered bins
  // only: the sums are bit-identical. The terms are formed first, two bins
  // at a time, and then added in bin order.
  const std::size_t points = mel_points.size();
  out.assign(points >= 2 ? points - 2 : 0, 0.0);
  if (points >= 3)
    kernels::TriangleSums(row.data(), mel_bin_numbers_.data(), mel_points.data(), points - 2,
                          mel_range_first_.data(), mel_range_mid_.data(), mel_range_end_.data(),
                          out.data());
}

void BeatTracker::MelFilterInto(RingIBuffer<std::vector<double>>& ring, std::vector<double>& out) {
  RequireHistory(ring, 0, "MelFilter");
  if (use_reference_stages) {
    out = MelSpectrumReference(ring.back(0));
  } else {
    MelSpectrumInto(ring.back(0), out);
  }
  if (log_flag) WriteDiagnosticRow(melfilterbank_file, out);
}

std::vector<double> BeatTracker::MelFilter(RingIBuffer<std::vector<double>>& ring) {
  std::vector<double> out;
  MelFilterInto(ring, out);
  return out;
}

std::vector<double> BeatTracker::Filter3x3(RingIBuffer<std::vector<double>>& ring,
                                           int (*kernel)[3]) {
  RequireHistory(ring, 2, "Filter3x3");
  const std::vector<double>& O = ring.back(2);
  const std::vector<double>& M = ring.back(1);
  const std::vector<double>& N = ring.back(0);
  const std::size_t n = N.size();
  std::vector<double> out(n, 0.0);
  double K[3][3];
  for (int a = 0; a < 3; ++a)
    for (int b = 0; b < 3; ++b) K[a][b] = kernel[a][b];
  // Rows of one ring all have the same length; a shorter older row only
  // narrows the filtered range instead of being read past its end.
  const std::size_t width = std::min({n, O.size(), M.size()});
  if (width >= 3) {
    for (std::size_t j = 1; j + 1 < width; ++j) {
      const double r = K[0][0] * O[j - 1] + K[0][1] * M[j - 1] + K[0][2] * N[j - 1] +
                       K[1][0] * O[j] + K[1][1] * M[j] + K[1][2] * N[j] + K[2][0] * O[j + 1] +
                       K[2][1] * M[j + 1] + K[2][2] * N[j + 1];
      out[j] = r < 0 ? 0.0 : r;
    }
  }
  if (log_flag) WriteDiagnosticRow(inc_mel_file, out, 1, n >= 2 ? n - 1 : 1);
  return out;
}

void BeatTracker::UpdateChromaRuns(std::size_t bins) {
  chroma_runs_.clear();
  for (std::size_t i = 0; i < bins; ++i) {
    const int octave = static_cast<int>(bin_octave[i]);
    if (octave < 1 || octave > 9) continue;
    const int pitch_class = static_cast<int>(bin_pitch_class[i]);
    if (!chroma_runs_.empty() && chroma_runs_.back().end == i &&
        chroma_runs_.back().pitch_class == pitch_class) {
      chroma_runs_.back().end = i + 1;
    } else {
      chroma_runs_.push_back({pitch_class, i, i + 1});
    }
  }
  chroma_octaves_ = bin_octave;
  chroma_classes_ = bin_pitch_class;
  chroma_run_bins_ = bins;
}

std::vector<double> BeatTracker::MakeChromaVec(RingIBuffer<std::vector<double>>& ring) {
  RequireHistory(ring, 0, "MakeChromaVec");
  const std::vector<double>& row = ring.back(0);
  std::vector<double> out(12, 0.0);
  const std::size_t bins = std::min(row.size(), bin_octave.size());
  // Bins counted (octaves 1 ... 9) come in runs of one pitch class; each run
  // is summed in a register and stored once: the same additions in the same
  // order. The runs are found again whenever the tables differ from those
  // they were found in (compared bit for bit, so hand-set tables are followed).
  const bool same_tables =
      chroma_octaves_.size() == bin_octave.size() &&
      chroma_classes_.size() == bin_pitch_class.size() && chroma_run_bins_ == bins &&
      (bin_octave.empty() || std::memcmp(chroma_octaves_.data(), bin_octave.data(),
                                         bin_octave.size() * sizeof(double)) == 0) &&
      (bin_pitch_class.empty() || std::memcmp(chroma_classes_.data(), bin_pitch_class.data(),
                                              bin_pitch_class.size() * sizeof(double)) == 0);
  if (!same_tables) UpdateChromaRuns(bins);
  const double* values = row.data();
  for (const ChromaRun& run : chroma_runs_) {
    double sum = out[run.pitch_class];
    for (std::size_t i = run.begin; i < run.end; ++i) sum += values[i];
    out[run.pitch_class] = sum;
  }
  // Scaled so that the strongest class is 1; a frame without counted energy
  // gives 0 / 0 in every entry.
  double peak = 0.0;
  for (double value : out)
    if (value > peak) peak = value;
  for (double& value : out) value = value / peak;
  if (log_flag) WriteDiagnosticRow(chroma_vector_file, out);
  return out;
}

std::vector<double> BeatTracker::MakeIncSpec(RingIBuffer<std::vector<double>>& ring) {
  RequireHistory(ring, 1, "MakeIncSpec");
  const std::vector<double>& N = ring.back(0);
  const std::vector<double>& M = ring.back(1);
  std::vector<double> out(N.size(), 0.0);
  const std::size_t width = std::min(N.size(), M.size());
  for (std::size_t i = 0; i < width; ++i) {
    const double difference = N[i] - M[i];
    if (difference > 0) out[i] = difference;  // not-a-number gives 0 as well
  }
  return out;
}

}  // namespace beat_tracker
