#ifndef VESK_VAMP_PLUGINPARAMETERS_H
#define VESK_VAMP_PLUGINPARAMETERS_H

#include <vamp-sdk/PluginBase.h>

#include <map>
#include <string>

#include "tracking/settings/SettingValues.h"

namespace vesk_vamp {

// The plug-in's parameters (the settings table's rows offered to plug-in
// hosts) as the host set them, kept as given: a value out of its range is
// refused in initialise, with a message, rather than silently clamped. A
// setting with a list of names is the index of a name.
class ParameterValues {
 public:
  ParameterValues();  // every default
  // False for an unknown identifier.
  bool set(const std::string& id, float value);
  float get(const std::string& id) const;

 private:
  std::map<std::string, float> values;
};

Vamp::PluginBase::ParameterList parameterDescriptors();

// The tracking settings for these values (the tool's defaults for the rest).
// Throws vesk_tracking::SettingError naming the parameter and what it allows.
vesk_tracking::TrackingSettings trackingSettings(const ParameterValues& values);

}  // namespace vesk_vamp

#endif
