#include <stdexcept>
#include <string>

#include "beat_tracker/BeatTracker.h"
#include "beat_tracker/DiagnosticRow.h"
#include "beat_tracker/RingRuns.h"

namespace beat_tracker {

int BeatTracker::UpdateBeatScores(const std::vector<double>& onset) {
  const int N = max_interval;
  const int t = t_current;

  // Onset sum over the bands onset_band_begin - 1 ... onset_band_end - 2.
  const int first_band = onset_band_begin - 1;
  const int last_band = onset_band_end - 2;
  if (first_band < 0 || onset.size() <= static_cast<std::size_t>(last_band))
    throw std::invalid_argument(
        "beat_tracker::BeatTracker::UpdateBeatScores: the onset vector has " +
        std::to_string(onset.size()) + " bands, expected at least " +
        std::to_string(last_band + 1));
  double o = 0.0;
  for (int k = first_band; k <= last_band; ++k) o += onset[k];
  onset_sum_buffer.push(o);

  // Onset window: the onset sums of the last I frames. An interval beyond
  // max_interval (after a 2:1 or 3:1 correction) fills the whole window.
  const double I = interval_buffer.back(0);
  std::vector<double>& v = window_scratch_;
  v.assign(N, 0.0);
  if (I > 0) {
    for (int j = 0; j < N && j < I; ++j) v[j] = onset_sum_buffer.back(j);
  }
  interval_value_buffer.push(v);
  if (log_flag) WriteDiagnosticRow(inc_spec_file, v);

  // Whole intervals since half a window after the start, at most 3, so the
  // comb never reaches into the zero fill of the start-up.
  const int P = now_interval;
  int K = 0;
  if (P != 0) {
    K = (t - overlap / 2) / P;
    if (K > 3) K = 3;
  }

  // Comb: the onset windows stored one, two and three beats back, each beat
  // measured with the interval that was current then.
  std::vector<double>& w = comb_scratch_;
  w.assign(N, 0.0);
  int T = static_cast<int>(I);
  for (int b = 1; b <= K; ++b) {
    // The interval range checked at construction keeps three intervals inside
    // the history; a state prepared by hand may not.
    if (T < 0 || T >= kHistoryLength) break;
    const std::vector<double>& past = interval_value_buffer.back(T);
    for (int k = 0; k < N; ++k) w[k] += past[k];
    T = T + static_cast<int>(interval_buffer.back(T));
  }
  if (log_flag) {
    std::vector<double>& mask = mask_scratch_;
    mask.resize(N);
    for (int k = 0; k < N; ++k) mask[k] = w[k] * v[k];
    WriteDiagnosticRow(beats_reliability_mask_file, mask);
  }

  // Every frame of the last N receives one more contribution. The update adds
  // the running mean of the contributions to the old score (not a plain
  // mean), so early contributions weigh most.
  beat_reliability_buffer.push(0.0);
  beat_count_buffer.push(0);
  // The engine pushes both rings together, so the same slots hold frame s of
  // each and the update runs straight through them; rings prepared apart
  // take the entry-by-entry path.
  if (beat_count_buffer.index == beat_reliability_buffer.index &&
      beat_count_buffer.length == beat_reliability_buffer.length) {
    const RingRuns runs = RunsOf(beat_reliability_buffer, 0, N);
    for (int r = 0; r < runs.size; ++r) {
      const RingRun& run = runs.run[r];
      double* R = beat_reliability_buffer.data.data() + run.top;
      std::uint64_t* counts = beat_count_buffer.data.data() + run.top;
      const double* ws = w.data() + run.first_age;
      const double* vs = v.data() + run.first_age;
      for (int i = 0; i < run.count; ++i) {
        const double q = static_cast<double>(counts[-i]);
        R[-i] = R[-i] + (R[-i] * q + ws[i] * vs[i]) / (q + 1);
        counts[-i] += 1;
      }
    }
  } else {
    for (int s = 0; s < N; ++s) {
      double& R = beat_reliability_buffer.back(s);
      std::uint64_t& count = beat_count_buffer.back(s);
      const double q = static_cast<double>(count);
      R = R + (R * q + w[s] * v[s]) / (q + 1);
      count += 1;
    }
  }

  // Of the two newest final scores, the weaker is cleared (the older on a tie).
  double& A = beat_reliability_buffer.back(N);
  double& B = beat_reliability_buffer.back(N + 1);
  if (B > A) {
    A = 0.0;
  } else {
    B = 0.0;
  }
  if (log_flag) beats_reliability_file << beat_reliability_buffer.back(N + 2) << std::endl;
  return K;
}

}  // namespace beat_tracker
