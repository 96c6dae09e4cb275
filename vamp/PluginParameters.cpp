#include "vamp/PluginParameters.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <sstream>

#include "tracking/SettingError.h"
#include "tracking/settings/SettingsCheck.h"
#include "tracking/settings/SettingsTable.h"

namespace vesk_vamp {

using vesk_tracking::SettingError;
using vesk_tracking::SettingRow;
using vesk_tracking::SettingValues;

namespace {

template <class F>
void forEachParameter(F f) {
  for (const SettingRow& row : vesk_tracking::settingRows())
    if (row.pluginParameter) f(row);
}

// A setting's default as a parameter value: the number, or the index of the name.
float defaultValue(const SettingRow& row) {
  const SettingValues defaults;
  return std::visit(
      [&](auto field) -> float {
        const auto& value = defaults.*field;
        using T = std::decay_t<decltype(value)>;
        if constexpr (std::is_same_v<T, int> || std::is_same_v<T, double>) {
          return static_cast<float>(value);
        } else if constexpr (std::is_same_v<T, std::string>) {
          return static_cast<float>(std::find(row.names->begin(), row.names->end(), value) -
                                    row.names->begin());
        } else {
          return 0.0f;  // no optional number or flag is a parameter
        }
      },
      row.field);
}

// `value` as a whole number within [low, high]; checked before the cast,
// which is undefined for NaN and for values beyond int.
int wholeNumber(const char* id, float value, int low, int high) {
  if (std::isfinite(value) && value == std::round(value) && value >= low && value <= high)
    return static_cast<int>(value);
  std::ostringstream m;
  m << id << " " << value << ": expected a whole number in " << low << ".." << high;
  throw SettingError(m.str());
}

double number(const char* id, float value, double low, double high) {
  if (std::isfinite(value) && value >= low && value <= high) return value;
  std::ostringstream m;
  m << id << " " << value << ": expected " << low << ".." << high;
  throw SettingError(m.str());
}

std::string sentence(const char* text) {
  std::string s = text;
  if (!s.empty()) s[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(s[0])));
  return s;
}

}  // namespace

ParameterValues::ParameterValues() {
  forEachParameter([this](const SettingRow& row) { values[row.key] = defaultValue(row); });
}

bool ParameterValues::set(const std::string& id, float value) {
  auto it = values.find(id);
  if (it == values.end()) return false;
  it->second = value;
  return true;
}

float ParameterValues::get(const std::string& id) const {
  auto it = values.find(id);
  return it == values.end() ? 0.0f : it->second;
}

Vamp::PluginBase::ParameterList parameterDescriptors() {
  Vamp::PluginBase::ParameterList list;
  forEachParameter([&list](const SettingRow& row) {
    Vamp::PluginBase::ParameterDescriptor d;
    d.identifier = row.key;  // as the messages name it
    d.name = row.title;
    d.description = sentence(row.help);
    d.unit = row.unit;
    d.defaultValue = defaultValue(row);
    d.isQuantized = row.kind != SettingRow::Kind::Number;
    d.quantizeStep = d.isQuantized ? 1.0f : 0.0f;
    if (row.names) {
      d.minValue = 0.0f;
      d.maxValue = static_cast<float>(row.names->size() - 1);
      d.valueNames = *row.names;
    } else {
      d.minValue = static_cast<float>(row.low);
      d.maxValue = static_cast<float>(row.high);
    }
    list.push_back(d);
  });
  return list;
}

vesk_tracking::TrackingSettings trackingSettings(const ParameterValues& parameters) {
  SettingValues v;
  forEachParameter([&](const SettingRow& row) {
    const float given = parameters.get(row.key);
    std::visit(
        [&](auto field) {
          auto& value = v.*field;
          using T = std::decay_t<decltype(value)>;
          if constexpr (std::is_same_v<T, int>) {
            // The hop is refused beyond the frame here already: the frame comes first.
            const double high = std::string(row.key) == "hop" ? v.frame : row.high;
            value = wholeNumber(row.key, given, static_cast<int>(row.low), static_cast<int>(high));
          } else if constexpr (std::is_same_v<T, double>) {
            value = number(row.key, given, row.low, row.high);
          } else if constexpr (std::is_same_v<T, std::string>) {
            const int last = static_cast<int>(row.names->size()) - 1;
            value = (*row.names)[static_cast<std::size_t>(wholeNumber(row.key, given, 0, last))];
          }
        },
        row.field);
  });
  return vesk_tracking::checkSettingValues(v, vesk_tracking::Spelling::Keyword);
}

}  // namespace vesk_vamp
