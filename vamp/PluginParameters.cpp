#include "vamp/PluginParameters.h"

#include <algorithm>
#include <cmath>
#include <sstream>

#include "tracking/SettingError.h"
#include "tracking/SettingsCheck.h"
#include "tracking/beats/BeatPicker.h"

namespace vesk_vamp {

using vesk_tracking::SettingError;
namespace defaults = vesk_tracking::defaults;

namespace {

// The identifiers are the names checkSettings uses in its messages, so that a
// refusal names the parameter the user sees.
Vamp::PluginBase::ParameterDescriptor describe(const char* id, const char* name,
                                               const char* description, const char* unit, float low,
                                               float high, float initial, bool whole) {
  Vamp::PluginBase::ParameterDescriptor d;
  d.identifier = id;
  d.name = name;
  d.description = description;
  d.unit = unit;
  d.minValue = low;
  d.maxValue = high;
  d.defaultValue = initial;
  d.isQuantized = whole;
  d.quantizeStep = whole ? 1.0f : 0.0f;
  return d;
}

std::size_t indexOf(const std::vector<std::string>& names, const char* name) {
  return static_cast<std::size_t>(std::find(names.begin(), names.end(), name) - names.begin());
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

const std::string& choice(const char* id, float value, const std::vector<std::string>& names) {
  return names[static_cast<std::size_t>(
      wholeNumber(id, value, 0, static_cast<int>(names.size()) - 1))];
}

}  // namespace

const std::vector<std::string>& frontEndNames() {
  static const std::vector<std::string> names{"none", "log", "log-bass", "whiten"};
  return names;
}

ParameterValues::ParameterValues()
    : frontEnd(static_cast<float>(indexOf(frontEndNames(), defaults::kFrontEnd))),
      afterNode(
          static_cast<float>(indexOf(vesk_tracking::afterNodeStages(), defaults::kAfterNode))) {}

namespace {

// Every parameter with its place in ParameterValues, in the order hosts show them.
struct Field {
  const char* id;
  float ParameterValues::*value;
};
constexpr Field kFields[] = {
    {"min_bpm", &ParameterValues::minBpm},       {"max_bpm", &ParameterValues::maxBpm},
    {"threshold", &ParameterValues::threshold},  {"front_end", &ParameterValues::frontEnd},
    {"after_node", &ParameterValues::afterNode}, {"rate", &ParameterValues::rate},
    {"frame", &ParameterValues::frame},          {"hop", &ParameterValues::hop}};

}  // namespace

bool ParameterValues::set(const std::string& id, float v) {
  for (const Field& f : kFields)
    if (id == f.id) {
      this->*f.value = v;
      return true;
    }
  return false;
}

float ParameterValues::get(const std::string& id) const {
  for (const Field& f : kFields)
    if (id == f.id) return this->*f.value;
  return 0.0f;
}

Vamp::PluginBase::ParameterList parameterDescriptors() {
  const ParameterValues initial;
  Vamp::PluginBase::ParameterList list{
      describe("min_bpm", "Slowest tempo", "Slowest tempo searched", "bpm", defaults::kMinBpmLimit,
               defaults::kMaxBpmLimit, initial.minBpm, true),
      describe("max_bpm", "Fastest tempo", "Fastest tempo searched", "bpm", defaults::kMinBpmLimit,
               defaults::kMaxBpmLimit, initial.maxBpm, true),
      describe("threshold", "Reliability threshold",
               "Reliability of the beat interval a beat needs to be reported", "", 0.0f, 1.0f,
               initial.threshold, false),
      describe("front_end", "Front end",
               "The spectrum the node sees: plain, log-compressed, log then bass weighted, or "
               "whitened then log",
               "", 0.0f, static_cast<float>(frontEndNames().size() - 1), initial.frontEnd, true),
      describe("after_node", "Stage after the node",
               "none: the node's beats as they are; phase: the node's beats, moved half an "
               "interval when the bass onsets lie on its off-beat; predict: beats placed on the "
               "onsets at the interval the node held most over the last 6 s, each predicted half "
               "a beat ahead; meter: the same placing at the level chosen from the onsets' "
               "periodicity, the node's interval and a tempo prior",
               "", 0.0f, static_cast<float>(vesk_tracking::afterNodeStages().size() - 1),
               initial.afterNode, true),
      describe("rate", "Processing rate", "The input is resampled to this rate", "Hz",
               defaults::kMinRate, defaults::kMaxRate, initial.rate, true),
      describe("frame", "Frame", "Analysis window length", "samples", defaults::kMinFrame,
               defaults::kMaxFrame, initial.frame, true),
      describe("hop", "Hop", "New samples per frame, at the processing rate", "samples", 1,
               defaults::kMaxFrame, initial.hop, true)};
  list[3].valueNames = frontEndNames();
  list[4].valueNames = vesk_tracking::afterNodeStages();
  return list;
}

vesk_tracking::Settings trackingSettings(const ParameterValues& v) {
  vesk_tracking::Settings s;
  s.rate = wholeNumber("rate", v.rate, defaults::kMinRate, defaults::kMaxRate);
  s.frame = wholeNumber("frame", v.frame, defaults::kMinFrame, defaults::kMaxFrame);
  s.hop = wholeNumber("hop", v.hop, 1, s.frame);
  s.minBpm = wholeNumber("min_bpm", v.minBpm, defaults::kMinBpmLimit, defaults::kMaxBpmLimit);
  s.maxBpm = wholeNumber("max_bpm", v.maxBpm, defaults::kMinBpmLimit, defaults::kMaxBpmLimit);
  s.threshold = v.threshold;
  vesk_tracking::checkSettings(s);
  vesk_tracking::FrontEndChoice frontEnd;
  frontEnd.name = choice("front_end", v.frontEnd, frontEndNames());
  s.frontEnd = vesk_tracking::frontEndSettings(frontEnd, s.rate, s.hop);
  return s;
}

std::string afterNodeStage(const ParameterValues& v) {
  return choice("after_node", v.afterNode, vesk_tracking::afterNodeStages());
}

}  // namespace vesk_vamp
