#ifndef VESK_NODE_PARAMETERCHECK_H
#define VESK_NODE_PARAMETERCHECK_H

#include <string>

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

// Empty when the parameters give the engine a range it can work with;
// otherwise a message naming the parameter, its value and what is allowed.
// The engine needs a shortest interval of at least 6 frames, at least two
// candidate intervals, and a longest interval its histories can hold.
std::string CheckNodeParameters(int samplingRate, int advance, int minBpm, int maxBpm);

// Empty for any threshold that is a number; a threshold that is not a number
// would silently make no beat reliable.
std::string CheckReliabilityThreshold(float threshold);

#endif
