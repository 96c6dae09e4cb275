#ifndef VESK_PYTHON_TRACKCONFIG_H
#define VESK_PYTHON_TRACKCONFIG_H

#include "tracking/Settings.h"
#include "tracking/settings/SettingValues.h"

namespace vesk_python {

// Checked settings, ready for a tracker, with the values as given: kept to
// show them back to the user.
struct TrackConfig {
  vesk_tracking::SettingValues values;
  vesk_tracking::Settings settings;
  vesk_tracking::StageChoice stage;
};

// Throws SettingError naming the first value out of its range, as the tool
// checks them, by the keyword names.
TrackConfig makeTrackConfig(const vesk_tracking::SettingValues& values);

}  // namespace vesk_python

#endif
