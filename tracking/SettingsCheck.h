#ifndef VESK_TRACKING_SETTINGSCHECK_H
#define VESK_TRACKING_SETTINGSCHECK_H

#include <optional>
#include <string>

#include "conditioning/before_node/SpectrumConditioner.h"
#include "tracking/Settings.h"

namespace vesk_tracking {

// How a host asks for a front end: a named preset with some of its stages
// retuned (0 turns a stage off) and the level gate (none: no gate).
struct FrontEndChoice {
  std::string name = defaults::kFrontEnd;
  std::optional<double> compress, whiten, lowPass;
  std::optional<double> gateDb = defaults::kGateDb;
};

// The front end `choice` asks for at this rate and hop; none when it leaves
// the spectrum plain. Throws SettingError for an unknown name or a value out
// of its range.
std::optional<vesk_conditioning::ConditionerSettings> frontEndSettings(const FrontEndChoice& choice,
                                                                       int rate, int hop);

// Throws SettingError naming the first setting out of its range, by the
// bindings' names (rate, frame, hop, min_bpm, max_bpm, threshold), with the
// values allowed.
void checkSettings(const Settings& settings);

}  // namespace vesk_tracking

#endif
