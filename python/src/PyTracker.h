#ifndef VESK_PYTHON_PYTRACKER_H
#define VESK_PYTHON_PYTRACKER_H

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <memory>
#include <mutex>

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
  TrackConfig trackConfig;
  bool withFeatures;
  std::mutex busy;
  std::unique_ptr<vesk_tracking::LiveTracker> tracker;
  std::pair<int, int> intervals;
};

}  // namespace vesk_python

#endif
