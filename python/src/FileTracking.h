#ifndef VESK_PYTHON_FILETRACKING_H
#define VESK_PYTHON_FILETRACKING_H

#include <functional>
#include <string>
#include <vector>

#include "python/src/TrackConfig.h"
#include "tracking/beats/BeatEvent.h"
#include "tracking/core/FrameFeatures.h"

namespace vesk_python {

struct FileBeats {
  std::vector<vesk_tracking::BeatEvent> beats;
  vesk_tracking::FileSummary summary;
  std::vector<vesk_tracking::FrameFeatures> features;  // with `features`, one per frame
  int patternLength = 0;                               // entries of each pattern vector
};

// What vesk-beat finds in the audio file `path`: the same reader, session
// and tracking core, so the same beats. `poll` is called on every frame and
// while a FIFO waits for its writer or its data, at least every 50 ms (a host
// checks for an interrupt there and throws to stop). Throws AudioError,
// SettingError or TrackingError. With `features`, every frame's features too.
FileBeats trackFile(const std::string& path, const TrackConfig& config, bool readAhead,
                    const std::function<void()>& poll, bool features = false);

}  // namespace vesk_python

#endif
