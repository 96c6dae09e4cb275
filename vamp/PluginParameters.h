#ifndef VESK_VAMP_PLUGINPARAMETERS_H
#define VESK_VAMP_PLUGINPARAMETERS_H

#include <vamp-sdk/PluginBase.h>
#include <string>
#include <vector>

#include "tracking/Settings.h"

namespace vesk_vamp {

// The plug-in's parameters as the host set them, kept as given: a value out
// of its range is refused in initialise, with a message, rather than
// silently clamped.
struct ParameterValues {
  float minBpm = vesk_tracking::defaults::kMinBpm;
  float maxBpm = vesk_tracking::defaults::kMaxBpm;
  float threshold = vesk_tracking::defaults::kThreshold;
  float frontEnd;   // index into frontEndNames()
  float afterNode;  // index into afterNodeChoices()
  float rate = vesk_tracking::defaults::kRate;
  float frame = vesk_tracking::defaults::kFrame;
  float hop = vesk_tracking::defaults::kHop;

  ParameterValues();
  // False for an unknown identifier.
  bool set(const std::string& id, float value);
  float get(const std::string& id) const;
};

// The value lists of the two choices, in the order of their indices.
const std::vector<std::string>& frontEndNames();
const std::vector<std::string>& afterNodeChoices();

Vamp::PluginBase::ParameterList parameterDescriptors();

// The tool's settings for these values (its defaults for the rest). Throws
// vesk_tracking::SettingError naming the parameter and what it allows.
vesk_tracking::Settings trackingSettings(const ParameterValues& values);
std::string afterNodeStage(const ParameterValues& values);

}  // namespace vesk_vamp

#endif
