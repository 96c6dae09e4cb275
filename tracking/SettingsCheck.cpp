#include "tracking/SettingsCheck.h"

#include <charconv>
#include <cmath>
#include <sstream>
#include <stdexcept>

#include "node/TempoRange.h"
#include "tracking/SettingError.h"

namespace vesk_tracking {

namespace {

// The shortest text that reads back as `value`: 1.0000001 is not shown as 1,
// which would hide why it is out of 0..1.
template <class T>
std::string shortest(T value) {
  char text[64];
  const std::to_chars_result end = std::to_chars(text, text + sizeof text, value);
  return std::string(text, end.ptr);
}

template <class T>
void checkRange(const char* name, T value, double low, double high) {
  if (std::isfinite(static_cast<double>(value)) && value >= low && value <= high) return;
  throw SettingError(std::string(name) + " " + shortest(value) + ": expected " + shortest(low) +
                     ".." + shortest(high));
}

}  // namespace

std::optional<vesk_conditioning::ConditionerSettings> frontEndSettings(const FrontEndChoice& choice,
                                                                       int rate, int hop) {
  vesk_conditioning::ConditionerSettings c;
  try {
    c = vesk_conditioning::conditionerNamed(choice.name);
  } catch (const std::invalid_argument& e) {
    throw SettingError(e.what());
  }
  if (choice.compress) {
    checkRange("compress", *choice.compress, 0, 1e9);
    c.compressLambda = *choice.compress;
  }
  if (choice.whiten) {
    checkRange("whiten", *choice.whiten, 0, 0.99999);
    c.whitenDecay = *choice.whiten;
  }
  if (choice.lowPass) {
    checkRange("low_pass", *choice.lowPass, 0, 1e6);
    c.lowPassHz = *choice.lowPass;
  }
  if (choice.gateDb) {
    checkRange("gate", *choice.gateDb, -200, 0);
    c.gateDb = *choice.gateDb;
    // The gate closes after half a second below its level, so that a pause
    // between notes does not cut the music.
    c.gateHoldFrames = static_cast<int>(0.5 * rate / hop);
  }
  // The plain spectrum takes no detour at all.
  if (vesk_conditioning::isPlain(c)) return std::nullopt;
  return c;
}

void checkSettings(const Settings& s) {
  checkRange("rate", s.rate, defaults::kMinRate, defaults::kMaxRate);
  checkRange("frame", s.frame, defaults::kMinFrame, defaults::kMaxFrame);
  checkRange("hop", s.hop, 1, s.frame);
  checkRange("min_bpm", s.minBpm, defaults::kMinBpmLimit, defaults::kMaxBpmLimit);
  checkRange("max_bpm", s.maxBpm, defaults::kMinBpmLimit, defaults::kMaxBpmLimit);
  if (s.maxBpm < s.minBpm + 2)
    throw SettingError("min_bpm " + std::to_string(s.minBpm) + " and max_bpm " +
                       std::to_string(s.maxBpm) +
                       ": the maximum must exceed the minimum by at least 2");
  checkRange("threshold", s.threshold, 0, 1);
  const TempoRangeVerdict v = CheckTempoRange(s.rate, s.hop, s.minBpm, s.maxBpm);
  std::ostringstream m;
  switch (v.failure) {
    case TempoRangeFailure::None:
      return;
    case TempoRangeFailure::FastestTooFast:
      m << "max_bpm " << s.maxBpm << ": its beat interval of " << v.range.min_interval
        << " frames is shorter than the " << kShortestBeatInterval << " the tracker needs";
      if (v.bound > 0) m << " (allowed: up to " << v.bound << ", or a lower hop)";
      break;
    case TempoRangeFailure::TooFewIntervals:
      m << "min_bpm " << s.minBpm << " and max_bpm " << s.maxBpm
        << " leave too few candidate beat intervals; widen the tempo range";
      break;
    case TempoRangeFailure::SlowestTooSlow:
      m << "min_bpm " << s.minBpm << ": its beat interval of " << v.range.max_interval
        << " frames is longer than the tracker's histories allow";
      if (v.bound > 0) m << " (allowed: " << v.bound << " or more, or a higher hop)";
      break;
  }
  throw SettingError(m.str());
}

}  // namespace vesk_tracking
