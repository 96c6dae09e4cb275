#ifndef VESK_NODE_TEMPORANGE_H
#define VESK_NODE_TEMPORANGE_H

// The tempo-range rule: which MIN_BPM and MAX_BPM the engine can work with at
// a given rate and hop. The node and the tools word its verdict each in their
// own terms, so that they can never disagree on it.

// The beat-interval range, in frames, that the node derives from its
// parameters when it starts its engine.
struct IntervalRange {
  double frames_per_minute = 0.0;  // SAMPLING_RATE / ADVANCE * 60
  double max_interval = 0.0;       // ceil(F / MIN_BPM): slowest tempo
  double min_interval = 0.0;       // ceil(F / (MAX_BPM - 1)): fastest tempo
  double window_length = 0.0;      // same as max_interval
};

// Computed exactly as the engine start-up does (ADVANCE widened through its
// unsigned value, all in double).
IntervalRange DeriveIntervalRange(int samplingRate, int advance, int minBpm, int maxBpm);

// The checks in the order they are made; the first that fails is reported.
enum class TempoRangeFailure {
  None,
  FastestTooFast,   // the shortest interval is below 6 frames: MAX_BPM
  TooFewIntervals,  // fewer than two candidate intervals: both values
  SlowestTooSlow,   // the intervals do not fit the engine's histories: MIN_BPM
};

struct TempoRangeVerdict {
  TempoRangeFailure failure = TempoRangeFailure::None;
  IntervalRange range;
  // FastestTooFast: the fastest MAX_BPM whose shortest interval is 6 frames or
  // more, 0 when none is above MIN_BPM + 1 (no lower one leaves two
  // candidates). SlowestTooSlow: the slowest MIN_BPM, with MAX_BPM as given,
  // that the whole rule accepts, 0 when none. Otherwise 0.
  int bound = 0;
};

// The shortest interval the engine accepts, in frames.
constexpr int kShortestBeatInterval = 6;

// Expects samplingRate, advance and minBpm at least 1, and maxBpm at least 2.
TempoRangeVerdict CheckTempoRange(int samplingRate, int advance, int minBpm, int maxBpm);

#endif
