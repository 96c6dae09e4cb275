#include "python/src/FileTracking.h"

#include <memory>

#include "tracking/core/TrackingCore.h"
#include "tracking/input/SndfileReader.h"

namespace vesk_python {

using namespace vesk_tracking;

FileBeats trackFile(const std::string& path, const TrackConfig& config, bool readAhead,
                    const std::function<void()>& poll) {
  constexpr std::int64_t kPollFrames = 500;
  TrackingCore::Options options;
  options.stage = config.stage;
  options.readAhead = readAhead;
  TrackingCore tracking(std::make_unique<SndfileReader>(path, path), config.settings, options);
  FileBeats out;
  while (tracking.next()) {
    if (tracking.record().frame % kPollFrames == 0 && poll) poll();
    if (!tracking.beat()) continue;
    out.beats.push_back(*tracking.beat());
    out.beats.back().file = path;
  }
  out.summary = tracking.summary(path);
  return out;
}

}  // namespace vesk_python
