#ifndef VESK_PYTHON_TRACKCONFIG_H
#define VESK_PYTHON_TRACKCONFIG_H

#include <optional>
#include <string>

#include "tracking/Settings.h"

namespace vesk_python {

// The settings of one tracker, by the tool's option names, as given: kept to
// show them back to the user.
struct SettingValues {
  int rate = vesk_tracking::defaults::kRate;
  int frame = vesk_tracking::defaults::kFrame;
  int hop = vesk_tracking::defaults::kHop;
  std::string window = vesk_tracking::defaults::kWindow;
  int minBpm = vesk_tracking::defaults::kMinBpm;
  int maxBpm = vesk_tracking::defaults::kMaxBpm;
  double threshold = vesk_tracking::defaults::kThreshold;
  std::string frontEnd = vesk_tracking::defaults::kFrontEnd;
  std::optional<double> compress, whiten, lowPass;
  std::optional<double> gate = vesk_tracking::defaults::kGateDb;  // none: no gate
  std::string afterNode = vesk_conditioning::afterNodeName(vesk_tracking::defaults::kAfterNode);
  bool allBeats = false;
};

// Checked settings, ready for a tracker.
struct TrackConfig {
  SettingValues values;
  vesk_tracking::Settings settings;
  vesk_tracking::StageChoice stage;
};

// Throws SettingError naming the first value out of its range, as the tool
// checks them.
TrackConfig makeTrackConfig(const SettingValues& values);

}  // namespace vesk_python

#endif
