#ifndef VESK_TRACKING_SETTINGVALUES_H
#define VESK_TRACKING_SETTINGVALUES_H

#include <optional>
#include <string>

#include "tracking/Settings.h"

namespace vesk_tracking {

// Every tracking setting as a host was given it, before it is checked: one
// field per row of the settings table (SettingsTable.h), its defaults.
struct SettingValues {
  int rate = defaults::kRate;
  int frame = defaults::kFrame;
  int hop = defaults::kHop;
  std::string window = defaults::kWindow;
  int minBpm = defaults::kMinBpm;
  int maxBpm = defaults::kMaxBpm;
  double threshold = defaults::kThreshold;
  std::string frontEnd = defaults::kFrontEnd;
  // Retunings of the front end's stages; none: the front end's own.
  std::optional<double> compress, whiten, lowPass;
  std::optional<double> gate = defaults::kGateDb;  // none: no gate
  std::string afterNode = vesk_conditioning::afterNodeName(defaults::kAfterNode);
  bool allBeats = false;
};

// Checked settings, ready for a tracker.
struct TrackingSettings {
  Settings settings;
  StageChoice stage;
};

}  // namespace vesk_tracking

#endif
