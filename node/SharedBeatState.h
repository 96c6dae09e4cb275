#ifndef VESK_NODE_SHAREDBEATSTATE_H
#define VESK_NODE_SHAREDBEATSTATE_H

#include <vector>

#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>

// The latest reliable beat, published under `mutex` for threads outside the
// node; `beatCondition` is notified after every publication.
struct SharedBeatState {
  boost::mutex mutex;
  boost::condition_variable beatCondition;
  boost::condition_variable spareCondition;  // never notified
  double beatTimeSec = 0.0;                  // the engine's anchor beat, seconds
  double beatIntervalSec = 0.0;              // beat interval, seconds
  double beatReliability = 0.0;              // reliability at that beat
  int samplingRate = 0;
  std::vector<bool> flags = std::vector<bool>(2, false);

  explicit SharedBeatState(int rate) : samplingRate(rate) {}
};

#endif
