#ifndef VESK_PYTHON_PYTRACKER_H
#define VESK_PYTHON_PYTRACKER_H

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <sys/types.h>

#include <atomic>
#include <memory>
#include <vector>

#include "python/src/TrackConfig.h"
#include "tracking/LiveTracker.h"

namespace vesk_python {

// A LiveTracker for Python: numpy blocks in, numpy arrays out. The audio is
// analysed without the GIL; calls from several threads into one tracker take
// turns, so it cannot be corrupted, and trackers share nothing.
class PyTracker {
 public:
  PyTracker(int sampleRate, int channels, const TrackConfig& config, bool features);
  ~PyTracker();
  PyTracker(const PyTracker&) = delete;
  PyTracker& operator=(const PyTracker&) = delete;

  // Ctrl-C stops a long block with KeyboardInterrupt: the audio before it
  // stays analysed and its beats come with the next call.
  pybind11::dict process(const pybind11::array& samples);
  pybind11::dict finish();
  pybind11::dict takeFeatures();
  pybind11::dict summary(const std::string& name);

  const TrackConfig& config() const { return trackConfig; }
  bool features() const { return withFeatures; }
  bool finished();
  int sampleRate() const { return tracker->sampleRate(); }
  int channels() const { return tracker->channels(); }
  double seconds();
  double frameSeconds() const { return tracker->frameSeconds(); }
  std::pair<int, int> patternIntervals() const { return intervals; }

 private:
  class Turn;

  TrackConfig trackConfig;
  bool withFeatures;
  // Whose turn it is, changed with the GIL held: a lock held while the GIL
  // is released would stay locked in a child forked meanwhile.
  std::atomic<bool> busy{false};
  pid_t busyIn = 0;  // the process whose thread has the turn
  std::unique_ptr<vesk_tracking::LiveTracker> tracker;
  std::pair<int, int> intervals;
  std::vector<vesk_tracking::BeatEvent> unreported;  // of a call stopped by Ctrl-C
};

}  // namespace vesk_python

#endif
