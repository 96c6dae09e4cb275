#ifndef VESK_TRACKING_SETTINGSCHECK_H
#define VESK_TRACKING_SETTINGSCHECK_H

#include <optional>
#include <string>

#include "conditioning/before_node/SpectrumConditioner.h"
#include "tracking/Settings.h"
#include "tracking/settings/SettingValues.h"
#include "tracking/settings/SettingsTable.h"

namespace vesk_tracking {

// The one check of the tracking settings, for every host: each value against
// its row of the settings table, then what only the values together decide
// (the hop within the frame, a tempo range the node can use). Messages name
// the setting as the host spells it ("--max-bpm: ...", "max_bpm: ...") and
// say what is allowed. Throws SettingError at the first bad value.
TrackingSettings checkSettingValues(const SettingValues& values, Spelling spelling);

// The check of one row's value alone.
void checkSettingValue(const SettingRow& row, const SettingValues& values, Spelling spelling);

// How a host asks for a front end: a named preset with some of its stages
// retuned (0 turns a stage off) and the level gate (none: no gate).
struct FrontEndChoice {
  std::string name = defaults::kFrontEnd;
  std::optional<double> compress, whiten, lowPass;
  std::optional<double> gateDb = defaults::kGateDb;
};

// The front end `choice` asks for at this rate and hop; none when it leaves
// the spectrum plain. Throws SettingError for an unknown name.
std::optional<vesk_conditioning::ConditionerSettings> frontEndSettings(const FrontEndChoice& choice,
                                                                       int rate, int hop);

}  // namespace vesk_tracking

#endif
