#include "node/TempoRange.h"

#include <cmath>
#include <cstddef>

#include "beat_tracker/BeatTracker.h"

namespace {

using beat_tracker::BeatTracker;

// Every read the engine makes stays inside its histories. The intervals are
// bounded before they are narrowed: a range far too long is no int.
bool Fits(double shortest, double longest) {
  return shortest < BeatTracker::kHistoryLength && longest < BeatTracker::kHistoryLength &&
         BeatTracker::IntervalRangeFits(static_cast<int>(shortest), static_cast<int>(longest));
}

// The first value of [lo, hi] at which `holds` is true, for a predicate that is
// false up to some value and true from there on, and true at hi. Bisected, as
// a walk could take up to billions of steps at extreme rates.
template <typename Predicate>
int FirstHolding(int lo, int hi, Predicate holds) {
  while (lo < hi) {
    const int mid = lo + (hi - lo) / 2;
    if (holds(mid))
      hi = mid;
    else
      lo = mid + 1;
  }
  return lo;
}

}  // namespace

IntervalRange DeriveIntervalRange(int samplingRate, int advance, int minBpm, int maxBpm) {
  IntervalRange r;
  const auto hop = static_cast<std::size_t>(static_cast<long long>(advance));
  r.frames_per_minute = static_cast<double>(samplingRate) / static_cast<double>(hop) * 60.0;
  r.max_interval = std::ceil(r.frames_per_minute / minBpm);
  r.min_interval = std::ceil(r.frames_per_minute / (maxBpm - 1.0));
  r.window_length = r.max_interval;
  return r;
}

TempoRangeVerdict CheckTempoRange(int samplingRate, int advance, int minBpm, int maxBpm) {
  TempoRangeVerdict v;
  v.range = DeriveIntervalRange(samplingRate, advance, minBpm, maxBpm);
  const double f = v.range.frames_per_minute;
  const double shortest = v.range.min_interval;

  if (shortest < kShortestBeatInterval) {
    v.failure = TempoRangeFailure::FastestTooFast;
    // The shortest interval only shrinks as MAX_BPM grows. A MAX_BPM of
    // MIN_BPM + 1 or less leaves a single candidate, so the search starts above.
    if (minBpm < maxBpm - 1) {
      const int firstTooFast = FirstHolding(minBpm + 2, maxBpm, [&](int bpm) {
        return std::ceil(f / (bpm - 1.0)) < kShortestBeatInterval;
      });
      if (firstTooFast > minBpm + 2) v.bound = firstTooFast - 1;
    }
    return v;
  }

  if (v.range.max_interval - shortest < 2.0) {
    v.failure = TempoRangeFailure::TooFewIntervals;
    return v;
  }

  if (!Fits(shortest, v.range.max_interval)) {
    v.failure = TempoRangeFailure::SlowestTooSlow;
    // As MIN_BPM grows the longest interval shrinks: it fits from some MIN_BPM
    // on, until it comes within 2 frames of the shortest (at MAX_BPM - 1 at the
    // latest). The first MIN_BPM past the long ranges is the slowest allowed,
    // unless it already leaves too few candidates.
    auto longest = [&](int bpm) { return std::ceil(f / static_cast<double>(bpm)); };
    const int first = FirstHolding(minBpm, maxBpm - 1, [&](int bpm) {
      return longest(bpm) - shortest < 2.0 || Fits(shortest, longest(bpm));
    });
    if (Fits(shortest, longest(first))) v.bound = first;
  }
  return v;
}
