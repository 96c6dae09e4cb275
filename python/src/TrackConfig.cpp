#include "python/src/TrackConfig.h"

#include <charconv>
#include <string>

#include "tracking/SettingError.h"
#include "tracking/SettingsCheck.h"
#include "tracking/frames/WindowNames.h"

namespace vesk_python {

using namespace vesk_tracking;

TrackConfig makeTrackConfig(const SettingValues& v) {
  TrackConfig c;
  c.values = v;
  Settings& s = c.settings;
  s.rate = v.rate;
  s.frame = v.frame;
  s.hop = v.hop;
  s.minBpm = v.minBpm;
  s.maxBpm = v.maxBpm;
  s.threshold = static_cast<float>(v.threshold);
  // The threshold is checked as the double given: a float cast would turn
  // 1.00000001 into 1.
  if (!(v.threshold >= 0.0 && v.threshold <= 1.0)) {
    char shown[32];  // every digit needed to tell it from 1
    const std::to_chars_result end = std::to_chars(shown, shown + sizeof shown, v.threshold);
    throw SettingError("threshold " + std::string(shown, end.ptr) + ": expected 0..1");
  }
  checkSettings(s);
  const std::optional<WindowFunction::Type> window = windowTypeNamed(v.window);
  if (!window)
    throw SettingError("window '" + v.window + "': unknown (allowed: " + windowNameList() + ")");
  s.window = *window;
  s.frontEnd = frontEndSettings(FrontEndChoice{v.frontEnd, v.compress, v.whiten, v.lowPass, v.gate},
                                s.rate, s.hop);
  if (!isAfterNodeStage(v.afterNode))
    throw SettingError("after_node '" + v.afterNode + "': unknown (allowed: " + afterNodeNames() +
                       ")");
  c.picking.afterNode = v.afterNode;
  c.picking.allBeats = v.allBeats;
  return c;
}

}  // namespace vesk_python
