#ifndef VESK_NODE_PARAMETERCHECK_H
#define VESK_NODE_PARAMETERCHECK_H

#include <string>

#include "node/TempoRange.h"

// Empty when the parameters give the engine a range it can work with;
// otherwise a message naming the parameter, its value and what is allowed.
// The tempo range is judged by CheckTempoRange.
std::string CheckNodeParameters(int samplingRate, int advance, int minBpm, int maxBpm);

// Empty for any threshold that is a number; a threshold that is not a number
// would silently make no beat reliable.
std::string CheckReliabilityThreshold(float threshold);

#endif
