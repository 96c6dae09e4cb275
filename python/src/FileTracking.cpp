#include "python/src/FileTracking.h"

#include <memory>

#include "tracking/core/TrackingCore.h"
#include "tracking/input/SndfileReader.h"
#include "tracking/input/StreamPath.h"

namespace vesk_python {

using namespace vesk_tracking;

namespace {

// A FIFO (or device) is read as vesk-beat reads it, as a stream with a header, and
// waits for its writer and its data in slices so that `poll` runs meanwhile.
std::unique_ptr<AudioReader> openInput(const std::string& path, const std::function<void()>& poll) {
  if (isStreamPath(path))
    return openStreamPath(path, path, RawFormat(), poll ? poll : std::function<void()>([] {}));
  return std::make_unique<SndfileReader>(path, path);
}

}  // namespace

FileBeats trackFile(const std::string& path, const TrackConfig& config, bool readAhead,
                    const std::function<void()>& poll, bool features) {
  TrackingCore::Options options;
  options.stage = config.stage;
  options.readAhead = readAhead;
  options.vectors = features;
  TrackingCore tracking(openInput(path, poll), config.settings, options);
  FileBeats out;
  const auto [fastest, pastSlowest] = tracking.node().patternIntervals();
  out.patternLength = pastSlowest - fastest;
  while (tracking.next()) {
    if (poll) poll();
    if (features) out.features.push_back(frameFeatures(tracking));
    if (!tracking.beat()) continue;
    out.beats.push_back(*tracking.beat());
    out.beats.back().file = path;
  }
  out.summary = tracking.summary(path);
  return out;
}

}  // namespace vesk_python
