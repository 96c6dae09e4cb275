#include "python/src/PyTracker.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

#include "python/src/BeatArrays.h"
#include "python/src/SampleBlock.h"
#include "python/src/WithoutGil.h"
#include "tracking/SettingError.h"
#include "tracking/input/AudioReader.h"

namespace py = pybind11;

namespace vesk_python {

using namespace vesk_tracking;

namespace {
// Frames handed to the tracker at a time, so that Ctrl-C is seen between them
// (about a millisecond of work each); the beats do not depend on it.
constexpr std::size_t kChunkFrames = 4096;
}  // namespace

// The calling thread's turn at the tracker, taken and given back with the GIL.
class PyTracker::Turn {
 public:
  explicit Turn(PyTracker& t) : owner(t) {
    while (owner.busy.load()) {
      if (owner.busyIn != ::getpid())
        throw std::runtime_error(
            "this Tracker was in use in another thread when the process forked; make a new "
            "Tracker in the child");
      if (PyErr_CheckSignals() != 0) throw py::error_already_set();
      withoutGil([] { std::this_thread::sleep_for(std::chrono::milliseconds(1)); });
    }
    owner.busy.store(true);
    owner.busyIn = ::getpid();
  }
  ~Turn() { owner.busy.store(false); }
  Turn(const Turn&) = delete;
  Turn& operator=(const Turn&) = delete;

 private:
  PyTracker& owner;
};

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
  tracker = withoutGil([&] {
    try {
      return std::make_unique<LiveTracker>(sampleRate, channels, config.settings, options);
    } catch (const AudioError& e) {
      // A rate the resampler cannot take is a bad argument here, not a bad file.
      throw SettingError("sample_rate " + std::to_string(sampleRate) + ": " + e.what());
    }
  });
  intervals = tracker->patternIntervals();
}

PyTracker::~PyTracker() {
  // Another thread of the parent was changing it when this process forked:
  // half changed, it is left as it is rather than taken apart.
  if (busy.load() && busyIn != ::getpid()) {
    (void)tracker.release();
    return;
  }
  tracker.reset();
}

py::dict PyTracker::process(const py::array& samples) {
  const std::vector<float> block = interleavedSamples(samples, tracker->channels());
  const Turn turn(*this);
  if (tracker->finished())
    throw py::value_error("process() after finish(): make a new Tracker for more audio");
  std::vector<BeatEvent> beats = std::move(unreported);
  unreported.clear();
  InterruptPoll poll;
  try {
    withoutGil([&] {
      const std::size_t channels = static_cast<std::size_t>(tracker->channels());
      const std::size_t frames = block.size() / channels;
      for (std::size_t done = 0; done < frames; done += kChunkFrames) {
        poll();
        tracker->process(block.data() + done * channels, std::min(kChunkFrames, frames - done),
                         beats);
      }
    });
  } catch (const py::error_already_set&) {
    unreported = std::move(beats);
    throw;
  }
  return beatArrays(beats);
}

py::dict PyTracker::finish() {
  const Turn turn(*this);
  std::vector<BeatEvent> beats = std::move(unreported);
  unreported.clear();
  withoutGil([&] { tracker->finish(beats); });
  return beatArrays(beats);
}

py::dict PyTracker::takeFeatures() {
  const Turn turn(*this);
  std::vector<FrameFeatures> frames;
  tracker->takeFeatures(frames);
  return featureArrays(frames, intervals.second - intervals.first);
}

py::dict PyTracker::summary(const std::string& name) {
  const Turn turn(*this);
  return summaryDict(tracker->summary(name));
}

bool PyTracker::finished() {
  const Turn turn(*this);
  return tracker->finished();
}

double PyTracker::seconds() {
  const Turn turn(*this);
  return tracker->seconds();
}

}  // namespace vesk_python
