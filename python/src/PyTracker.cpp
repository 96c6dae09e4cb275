#include "python/src/PyTracker.h"

#include <stdexcept>
#include <vector>

#include "python/src/BeatArrays.h"
#include "python/src/SampleBlock.h"
#include "tracking/SettingError.h"
#include "tracking/input/AudioReader.h"

namespace py = pybind11;

namespace vesk_python {

using namespace vesk_tracking;

PyTracker::PyTracker(int sampleRate, int channels, const TrackConfig& config, bool features)
    : trackConfig(config), withFeatures(features) {
  if (sampleRate < 1)
    throw py::value_error("sample_rate " + std::to_string(sampleRate) + ": expected 1 or more");
  if (channels < 1 || channels > defaults::kMaxChannels)
    throw py::value_error("channels " + std::to_string(channels) + ": expected 1.." +
                          std::to_string(defaults::kMaxChannels));
  LiveTracker::Options options;
  options.stage = config.stage;
  options.features = features;
  py::gil_scoped_release unlocked;
  try {
    tracker = std::make_unique<LiveTracker>(sampleRate, channels, config.settings, options);
  } catch (const AudioError& e) {
    // A rate the resampler cannot take is a bad argument here, not a bad file.
    throw SettingError("sample_rate " + std::to_string(sampleRate) + ": " + e.what());
  }
  intervals = tracker->patternIntervals();
}

PyTracker::~PyTracker() {
  tracker.reset();
}

py::dict PyTracker::process(const py::array& samples) {
  const std::vector<float> block = interleavedSamples(samples, tracker->channels());
  std::vector<BeatEvent> beats;
  bool ended = false;
  {
    py::gil_scoped_release unlocked;
    const std::lock_guard<std::mutex> turn(busy);
    ended = tracker->finished();
    if (!ended) {
      tracker->process(block.data(), block.size() / static_cast<std::size_t>(tracker->channels()),
                       beats);
    }
  }
  if (ended) throw py::value_error("process() after finish(): make a new Tracker for more audio");
  return beatArrays(beats);
}

py::dict PyTracker::finish() {
  std::vector<BeatEvent> beats;
  {
    py::gil_scoped_release unlocked;
    const std::lock_guard<std::mutex> turn(busy);
    tracker->finish(beats);
  }
  return beatArrays(beats);
}

py::dict PyTracker::takeFeatures() {
  std::vector<FrameFeatures> frames;
  {
    py::gil_scoped_release unlocked;
    const std::lock_guard<std::mutex> turn(busy);
    tracker->takeFeatures(frames);
  }
  return featureArrays(frames, intervals.second - intervals.first);
}

py::dict PyTracker::summary(const std::string& name) {
  FileSummary s;
  {
    py::gil_scoped_release unlocked;
    const std::lock_guard<std::mutex> turn(busy);
    s = tracker->summary(name);
  }
  return summaryDict(s);
}

bool PyTracker::finished() {
  py::gil_scoped_release unlocked;
  const std::lock_guard<std::mutex> turn(busy);
  return tracker->finished();
}

double PyTracker::seconds() {
  py::gil_scoped_release unlocked;
  const std::lock_guard<std::mutex> turn(busy);
  return tracker->seconds();
}

}  // namespace vesk_python
