#include "tracking/settings/SettingsCheck.h"

#include <cctype>
#include <cmath>
#include <sstream>
#include <stdexcept>

#include "node/TempoRange.h"
#include "tracking/SettingError.h"
#include "tracking/frames/WindowNames.h"

namespace vesk_tracking {

namespace {

using Kind = SettingRow::Kind;

[[noreturn]] void refuse(const std::string& message) {
  throw SettingError(message);
}

void checkNumber(const SettingRow& row, double value, Spelling spelling) {
  const std::string name = spelled(row, spelling);
  if (std::isnan(value))
    refuse(name + ": nan is not a number (allowed: " + allowedRange(row) + ")");
  if (!(value >= row.low && value <= row.high))
    refuse(name + ": " + numberText(value) + " is out of range (allowed: " + allowedRange(row) +
           ")");
}

void checkName(const SettingRow& row, const std::string& value, Spelling spelling) {
  std::string wanted = value;
  if (row.anyCase)
    for (char& c : wanted) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const std::string& name : *row.names)
    if (wanted == name) return;
  refuse(spelled(row, spelling) + ": unknown " + row.noun + " '" + value +
         "' (allowed: " + nameList(row) + ")");
}

// The tempo range the node can use, judged by the node's own rule.
void checkTempoRange(const SettingValues& v, Spelling spelling) {
  const std::string rate = spelled("rate", spelling), hop = spelled("hop", spelling);
  const std::string minBpm = spelled("min_bpm", spelling), maxBpm = spelled("max_bpm", spelling);
  const TempoRangeVerdict verdict = CheckTempoRange(v.rate, v.hop, v.minBpm, v.maxBpm);
  const IntervalRange& r = verdict.range;
  std::ostringstream at;
  at << " at " << rate << " " << v.rate << " and " << hop << " " << v.hop << " ("
     << r.frames_per_minute / 60.0 << " frames/s)";
  std::ostringstream m;
  switch (verdict.failure) {
    case TempoRangeFailure::None:
      return;
    case TempoRangeFailure::FastestTooFast:
      m << maxBpm << ": " << v.maxBpm << " gives a beat interval of " << r.min_interval << " frames"
        << at.str() << ", fewer than the " << kShortestBeatInterval << " the tracker needs (";
      if (verdict.bound > 0)
        m << "allowed: up to " << verdict.bound << ", or lower " << hop << ")";
      else
        m << "no " << maxBpm << " works here: lower " << hop << ")";
      break;
    case TempoRangeFailure::TooFewIntervals:
      m << minBpm << " " << v.minBpm << " and " << maxBpm << " " << v.maxBpm
        << " leave too few candidate beat intervals (" << r.min_interval << " to " << r.max_interval
        << " frames" << at.str() << "); widen the tempo range";
      break;
    case TempoRangeFailure::SlowestTooSlow:
      m << minBpm << ": " << v.minBpm << " gives a beat interval of " << r.max_interval << " frames"
        << at.str() << ", longer than the tracker's histories allow (";
      if (verdict.bound > 0)
        m << "allowed: " << verdict.bound << " or more, or raise " << hop << ")";
      else
        m << "raise " << hop << " or " << maxBpm << ")";
      break;
  }
  refuse(m.str());
}

}  // namespace

void checkSettingValue(const SettingRow& row, const SettingValues& values, Spelling spelling) {
  std::visit(
      [&](auto field) {
        const auto& value = values.*field;
        using T = std::decay_t<decltype(value)>;
        if constexpr (std::is_same_v<T, int> || std::is_same_v<T, double>) {
          checkNumber(row, static_cast<double>(value), spelling);
        } else if constexpr (std::is_same_v<T, std::optional<double>>) {
          if (value) checkNumber(row, *value, spelling);
        } else if constexpr (std::is_same_v<T, std::string>) {
          checkName(row, value, spelling);
        }
      },
      row.field);
}

TrackingSettings checkSettingValues(const SettingValues& v, Spelling spelling) {
  for (const SettingRow& row : settingRows()) checkSettingValue(row, v, spelling);
  if (v.hop > v.frame) {
    const std::string hop = spelled("hop", spelling);
    refuse(hop + ": " + std::to_string(v.hop) + " exceeds the frame length " +
           std::to_string(v.frame) + " (allowed: 1.." + std::to_string(v.frame) + ")");
  }
  if (v.minBpm + 1 >= v.maxBpm)
    refuse(spelled("min_bpm", spelling) + " " + std::to_string(v.minBpm) + " and " +
           spelled("max_bpm", spelling) + " " + std::to_string(v.maxBpm) +
           ": the maximum must exceed the minimum by at least 2");
  checkTempoRange(v, spelling);

  TrackingSettings t;
  Settings& s = t.settings;
  s.rate = v.rate;
  s.frame = v.frame;
  s.hop = v.hop;
  s.window = *windowTypeNamed(v.window);
  s.minBpm = v.minBpm;
  s.maxBpm = v.maxBpm;
  s.threshold = static_cast<float>(v.threshold);
  s.frontEnd =
      frontEndSettings({v.frontEnd, v.compress, v.whiten, v.lowPass, v.gate}, v.rate, v.hop);
  t.stage = {*vesk_conditioning::afterNodeNamed(v.afterNode), v.allBeats};
  return t;
}

std::optional<vesk_conditioning::ConditionerSettings> frontEndSettings(const FrontEndChoice& choice,
                                                                       int rate, int hop) {
  vesk_conditioning::ConditionerSettings c;
  try {
    c = vesk_conditioning::conditionerNamed(choice.name);
  } catch (const std::invalid_argument& e) {
    throw SettingError(e.what());
  }
  if (choice.compress) c.compressLambda = *choice.compress;
  if (choice.whiten) c.whitenDecay = *choice.whiten;
  if (choice.lowPass) c.lowPassHz = *choice.lowPass;
  if (choice.gateDb) {
    c.gateDb = *choice.gateDb;
    // The gate closes after half a second below its level, so that a pause
    // between notes does not cut the music.
    c.gateHoldFrames = static_cast<int>(0.5 * rate / hop);
  }
  // The plain spectrum takes no detour at all.
  if (vesk_conditioning::isPlain(c)) return std::nullopt;
  return c;
}

}  // namespace vesk_tracking
