#ifndef VESK_TRACKING_SETTINGSTABLE_H
#define VESK_TRACKING_SETTINGSTABLE_H

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "tracking/settings/SettingValues.h"

namespace vesk_tracking {

// One tracking setting, declared once: every host's option, keyword or
// parameter, its help, its check and its default come from its row.
struct SettingRow {
  enum class Kind { Integer, Number, Name, Flag };
  // Where its value lives in SettingValues.
  using Field = std::variant<int SettingValues::*, double SettingValues::*,
                             std::optional<double> SettingValues::*, std::string SettingValues::*,
                             bool SettingValues::*>;

  const char* key;  // snake_case: Python's keyword, the plug-in's identifier
  Kind kind;
  Field field;
  double low = 0.0, high = 0.0;  // the range of a number (and of an integer)
  const char* metavar = "";      // the tool's placeholder: "HZ", "N", "NAME"
  const char* title = "";        // a short name, for plug-in hosts
  const char* unit = "";         // "Hz", "bpm", ...
  const char* help = "";         // one sentence, lower case
  // Names a Name setting takes, and the noun its messages use ("window").
  const std::vector<std::string>* names = nullptr;
  const char* noun = "";
  bool anyCase = false;  // names are matched in any case
  // For an optional number: what none means ("off" for the gate, spelt
  // "off" by the tool and None in Python; "the front end's own" otherwise).
  const char* none = nullptr;
  bool pluginParameter = false;    // offered as a plug-in parameter
  const char* nodeParameter = "";  // the node parameter it sets, if any
};

// Every setting, in the order hosts list them.
const std::vector<SettingRow>& settingRows();
// The row of a key; null for an unknown one.
const SettingRow* settingRow(const std::string& key);

// How a host spells a setting's name in messages and on its command line.
enum class Spelling {
  Option,  // the tool's "--max-bpm"
  Keyword  // Python's and the plug-in's "max_bpm"
};
std::string spelled(const SettingRow& row, Spelling spelling);
std::string spelled(const char* key, Spelling spelling);

// A Name setting's allowed names, comma separated.
std::string nameList(const SettingRow& row);
// The default of a row, as the tool shows it ("16000", "0.4", "off").
std::string defaultText(const SettingRow& row);
// A value as messages show it: the shortest text that reads back as it.
std::string numberText(double value);
// The range of a number or integer setting, for messages: "4000..192000".
std::string allowedRange(const SettingRow& row);

}  // namespace vesk_tracking

#endif
