#include "beat_tracker/BeatTracker.h"
#include "beat_tracker/RingRuns.h"

namespace beat_tracker {

namespace {
constexpr int kReliabilityFrames = 200;  // frames the newest interval is compared with
constexpr double kAgreement = 5.0;       // frames of difference still counted as agreeing
}  // namespace

double BeatTracker::UpdateReliability() {
  // The share of the 200 previous intervals lying strictly within 5 frames of
  // the newest one. The ring starts zero-filled, so all 200 always exist.
  const double I = interval_buffer.back(0);
  const double low = I - kAgreement;
  const double high = I + kAgreement;
  std::uint64_t count = 0;
  const RingRuns runs = RunsOf(interval_buffer, 1, kReliabilityFrames);
  for (int r = 0; r < runs.size; ++r) {
    const double* x = interval_buffer.data.data() + runs.run[r].top + 1 - runs.run[r].count;
    for (int k = 0; k < runs.run[r].count; ++k) count += (low < x[k] && x[k] < high) ? 1 : 0;
  }
  const double r = no_onset ? 0.0 : static_cast<double>(count) / kReliabilityFrames;
  music_reliability_buffer.push(r);
  if (log_flag) flat_num_file << count << std::endl;
  return r;
}

}  // namespace beat_tracker
