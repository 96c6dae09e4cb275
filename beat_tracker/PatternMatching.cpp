#include "beat_tracker/BeatTracker.h"
#include "beat_tracker/DiagnosticRow.h"

namespace beat_tracker {

std::vector<double> BeatTracker::PatternMatchingReference(
    const RingIBuffer<std::vector<double>>& ring) const {
  // For each candidate interval d: the squared cosine similarity between the
  // newest window_length onset rows and the rows d frames earlier, over the
  // bands onset_band_begin ... onset_band_end - 1. Sums run band by band, and
  // within a band from the newest frame back.
  const int m = min_interval;
  const int N = max_interval;
  const int F = window_length;
  const int count = N - m > 0 ? N - m : 0;
  std::vector<double> out(count, 0.0);
  if (count == 0) return out;

  // The rows this frame can reach, newest first. The construction keeps
  // N + F - 2 inside the engine's rings; a foreign ring is checked.
  RequireHistory(ring, N + F - 2, "STPattanMatching");
  std::vector<const std::vector<double>*> rows(static_cast<std::size_t>(N + F - 1));
  for (int s = 0; s < N + F - 1; ++s) {
    rows[s] = &ring.back(s);
    if (rows[s]->size() < static_cast<std::size_t>(onset_band_end))
      throw std::invalid_argument("beat_tracker::BeatTracker::STPattanMatching: an onset row has " +
                                  std::to_string(rows[s]->size()) + " bands, expected at least " +
                                  std::to_string(onset_band_end));
  }

  for (int j = 0; j < count; ++j) {
    const int d = m + j;
    double A = 0.0;
    double X = 0.0;
    double Y = 0.0;
    for (int k = onset_band_begin; k < onset_band_end; ++k) {
      for (int s = 0; s < F; ++s) {
        const double x = (*rows[s])[k];
        const double y = (*rows[s + d])[k];
        A += x * y;
        X += x * x;
        Y += y * y;
      }
    }
    out[j] = (X == 0 || Y == 0) ? 0.0 : (A * A / X) / Y;
  }
  return out;
}

void BeatTracker::PatternMatchingInto(RingIBuffer<std::vector<double>>& ring,
                                      std::vector<double>& out, bool own_frame) {
  const int m = min_interval;
  const int N = max_interval;
  const int F = window_length;
  // The per-frame terms need a sane configuration; anything else (only
  // reachable by editing the members by hand) takes the reference path, which
  // also reports an unusable ring.
  const bool usable = !use_reference_stages && m >= 0 && N > m && F >= 1 && onset_band_begin >= 0 &&
                      onset_band_end >= onset_band_begin && N + F - 2 >= 0 &&
                      static_cast<std::uint64_t>(N + F - 2) < ring.length &&
                      ring.data.size() == ring.length;
  PatternMatchingCache::Config config;
  config.min_interval = m;
  config.max_interval = N;
  config.window = F;
  config.band_begin = onset_band_begin;
  config.band_end = onset_band_end;
  // The frame loop follows its own onset history push by push; any other
  // call checks the whole history. A row too short for the bands takes the
  // reference path, which reports it.
  if (!usable ||
      !pattern_matching_cache_.Compute(config, ring, out,
                                       own_frame ? PatternMatchingCache::History::kFollowPushes
                                                 : PatternMatchingCache::History::kVerify))
    out = PatternMatchingReference(ring);
  if (log_flag) WriteDiagnosticRow(interval_long_value_file, out);
}

std::vector<double> BeatTracker::STPattanMatching(RingIBuffer<std::vector<double>>& ring) {
  std::vector<double> out;
  PatternMatchingInto(ring, out, false);
  return out;
}

}  // namespace beat_tracker
