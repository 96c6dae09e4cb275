#include "python/src/TrackConfig.h"

#include "tracking/settings/SettingsCheck.h"

namespace vesk_python {

using namespace vesk_tracking;

TrackConfig makeTrackConfig(const SettingValues& v) {
  const TrackingSettings checked = checkSettingValues(v, Spelling::Keyword);
  return TrackConfig{v, checked.settings, checked.stage};
}

}  // namespace vesk_python
