#include "tracking/settings/SettingsTable.h"

#include <charconv>
#include <cmath>
#include <sstream>

#include "conditioning/after_node/AfterNodeStage.h"
#include "conditioning/before_node/SpectrumConditioner.h"
#include "tracking/frames/WindowNames.h"

namespace vesk_tracking {

namespace {

using Kind = SettingRow::Kind;
using V = SettingValues;

std::vector<SettingRow> makeRows() {
  namespace d = defaults;
  std::vector<SettingRow> rows;
  auto add = [&rows](SettingRow row) { rows.push_back(row); };
  SettingRow r{"rate", Kind::Integer, &V::rate};
  r.low = d::kMinRate, r.high = d::kMaxRate, r.metavar = "HZ", r.title = "Processing rate";
  r.unit = "Hz", r.help = "processing rate; the input is resampled to it";
  r.pluginParameter = true, r.nodeParameter = "SAMPLING_RATE";
  add(r);
  r = {"frame", Kind::Integer, &V::frame};
  r.low = d::kMinFrame, r.high = d::kMaxFrame, r.metavar = "N", r.title = "Frame";
  r.unit = "samples", r.help = "analysis window length in samples", r.pluginParameter = true;
  add(r);
  r = {"hop", Kind::Integer, &V::hop};
  r.low = 1, r.high = d::kMaxFrame, r.metavar = "N", r.title = "Hop", r.unit = "samples";
  r.help = "new samples per frame, at the processing rate, at most the frame";
  r.pluginParameter = true, r.nodeParameter = "ADVANCE";
  add(r);
  r = {"window", Kind::Name, &V::window};
  r.metavar = "NAME", r.title = "Window", r.help = "analysis window of the spectrum";
  r.names = &windowNames(), r.noun = "window", r.anyCase = true;
  add(r);
  r = {"min_bpm", Kind::Integer, &V::minBpm};
  r.low = d::kMinBpmLimit, r.high = d::kMaxBpmLimit, r.metavar = "BPM", r.title = "Slowest tempo";
  r.unit = "bpm", r.help = "slowest tempo searched";
  r.pluginParameter = true, r.nodeParameter = "MIN_BPM";
  add(r);
  r = {"max_bpm", Kind::Integer, &V::maxBpm};
  r.low = d::kMinBpmLimit, r.high = d::kMaxBpmLimit, r.metavar = "BPM", r.title = "Fastest tempo";
  r.unit = "bpm", r.help = "fastest tempo searched, at least the slowest + 2";
  r.pluginParameter = true, r.nodeParameter = "MAX_BPM";
  add(r);
  r = {"threshold", Kind::Number, &V::threshold};
  r.low = 0, r.high = 1, r.metavar = "X", r.title = "Reliability threshold";
  r.help = "reliability of the beat interval a beat needs to be reported";
  r.pluginParameter = true, r.nodeParameter = "RELIABILITY-THRESHOLD";
  add(r);
  r = {"front_end", Kind::Name, &V::frontEnd};
  r.metavar = "NAME", r.title = "Front end";
  r.help =
      "the spectrum the node sees: none (plain), log (log(1 + L*|X|)), log-bass (log, then "
      "bass weighted), whiten (each bin over its decaying peak, then log)";
  r.names = &vesk_conditioning::conditionerNames(), r.noun = "front end";
  r.pluginParameter = true;
  add(r);
  r = {"compress", Kind::Number, &V::compress};
  r.low = 0, r.high = 1e9, r.metavar = "L", r.title = "Compression";
  r.help = "the front end's log(1 + L*magnitude) compression; 0: off";
  r.none = "the front end's own";
  add(r);
  r = {"whiten", Kind::Number, &V::whiten};
  r.low = 0, r.high = 0.99999, r.metavar = "DECAY", r.title = "Whitening";
  r.help = "the front end's per-bin peak decay per frame for whitening; 0: off";
  r.none = "the front end's own";
  add(r);
  r = {"low_pass", Kind::Number, &V::lowPass};
  r.low = 0, r.high = 1e6, r.metavar = "HZ", r.title = "Bass weighting", r.unit = "Hz";
  r.help = "the front end's weighting of the bins by 1 / (1 + f / HZ); 0: off";
  r.none = "the front end's own";
  add(r);
  r = {"gate", Kind::Number, &V::gate};
  r.low = -200, r.high = 0, r.metavar = "DB", r.title = "Silence gate", r.unit = "dB";
  r.help =
      "frames below DB (relative to a full-scale sine) for half a second reach the node as "
      "digital silence: no beat in noise or dither";
  r.none = "off";
  add(r);
  r = {"after_node", Kind::Name, &V::afterNode};
  r.metavar = "NAME", r.title = "Stage after the node";
  r.help =
      "what decides the reported beats: none (the node's beats as they are); phase (the "
      "node's beats, moved half an interval when the bass onsets lie on its off-beat); "
      "predict (beats placed on the onsets at the interval the node held most over the last "
      "6 s, each predicted half a beat ahead); meter (the same placing at the metrical level "
      "chosen from the onsets' periodicity in three bands, the node's interval and a tempo "
      "prior, on the kicks rather than the off-beat, the tempo to a fraction of a frame)";
  r.names = &vesk_conditioning::afterNodeNames(), r.noun = "stage";
  r.pluginParameter = true;
  add(r);
  r = {"all_beats", Kind::Flag, &V::allBeats};
  r.title = "All beats", r.help = "also report beats below the threshold (tempo 0)";
  add(r);
  return rows;
}

}  // namespace

const std::vector<SettingRow>& settingRows() {
  static const std::vector<SettingRow> rows = makeRows();
  return rows;
}

const SettingRow* settingRow(const std::string& key) {
  for (const SettingRow& row : settingRows())
    if (key == row.key) return &row;
  return nullptr;
}

std::string spelled(const char* key, Spelling spelling) {
  std::string name = key;
  if (spelling == Spelling::Keyword) return name;
  for (char& c : name)
    if (c == '_') c = '-';
  return "--" + name;
}

std::string spelled(const SettingRow& row, Spelling spelling) {
  return spelled(row.key, spelling);
}

std::string nameList(const SettingRow& row) {
  std::string list;
  if (row.names)
    for (const std::string& n : *row.names) list += (list.empty() ? "" : ", ") + n;
  return list;
}

std::string numberText(double value) {
  char text[64];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  return std::string(text, end);
}

std::string allowedRange(const SettingRow& row) {
  if (row.kind == SettingRow::Kind::Integer)
    return std::to_string(static_cast<long long>(row.low)) + ".." +
           std::to_string(static_cast<long long>(row.high));
  std::ostringstream range;
  range << row.low << ".." << row.high;
  return range.str();
}

std::string defaultText(const SettingRow& row) {
  const SettingValues defaults;
  return std::visit(
      [&](auto field) -> std::string {
        const auto& value = defaults.*field;
        using T = std::decay_t<decltype(value)>;
        if constexpr (std::is_same_v<T, int>) {
          return std::to_string(value);
        } else if constexpr (std::is_same_v<T, double>) {
          // A float setting shows the float's shortest text (0.4, not 0.40000000596).
          char text[32];
          const float single = static_cast<float>(value);
          return std::string(text, std::to_chars(text, text + sizeof text, single).ptr);
        } else if constexpr (std::is_same_v<T, std::optional<double>>) {
          return value ? numberText(*value) : std::string(row.none ? row.none : "");
        } else if constexpr (std::is_same_v<T, std::string>) {
          return value;
        } else {
          return value ? "on" : "off";
        }
      },
      row.field);
}

}  // namespace vesk_tracking
