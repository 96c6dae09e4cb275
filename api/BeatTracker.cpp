#include "api/vesk/BeatTracker.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <stdexcept>
#include <type_traits>
#include <variant>

#include "node/host/Node.h"
#include "tracking/LiveTracker.h"
#include "tracking/settings/SettingsCheck.h"

namespace vesk {

using vesk_tracking::SettingRow;
using vesk_tracking::SettingValues;

namespace {

const SettingRow& rowOf(const std::string& key) {
  const SettingRow* row = vesk_tracking::settingRow(key);
  if (!row) {
    std::string keys;
    for (const SettingRow& r : vesk_tracking::settingRows())
      keys += (keys.empty() ? "" : ", ") + std::string(r.key);
    throw std::invalid_argument("unknown setting \"" + key + "\": expected one of " + keys);
  }
  return *row;
}

// A number into its field: whole for an integer, 0 or 1 for a flag. Checked
// before any cast, which is undefined for NaN and for values beyond int.
void setNumber(const SettingRow& row, SettingValues& v, double value) {
  const std::string given = std::string(row.key) + " " + vesk_tracking::numberText(value);
  std::visit(
      [&](auto field) {
        using T = std::decay_t<decltype(v.*field)>;
        if constexpr (std::is_same_v<T, int>) {
          if (!(value == std::round(value) && std::abs(value) < 1e9))
            throw std::invalid_argument(given + ": expected a whole number in " +
                                        vesk_tracking::allowedRange(row));
          v.*field = static_cast<int>(value);
        } else if constexpr (std::is_same_v<T, bool>) {
          if (value != 0.0 && value != 1.0)
            throw std::invalid_argument(given + ": expected 0 or 1");
          v.*field = value == 1.0;
        } else if constexpr (std::is_same_v<T, std::string>) {
          throw std::invalid_argument(given + ": expected a name: " + vesk_tracking::nameList(row));
        } else {
          v.*field = value;
        }
      },
      row.field);
}

void setName(const SettingRow& row, SettingValues& v, const std::string& value) {
  std::visit(
      [&](auto field) {
        using T = std::decay_t<decltype(v.*field)>;
        if constexpr (std::is_same_v<T, std::string>) {
          v.*field = value;
        } else if constexpr (std::is_same_v<T, std::optional<double>>) {
          if (value != "off")
            throw std::invalid_argument(std::string(row.key) + " \"" + value +
                                        "\": expected a number, or off");
          v.*field = std::nullopt;
        } else {
          throw std::invalid_argument(std::string(row.key) + " \"" + value +
                                      "\": expected a number");
        }
      },
      row.field);
}

std::vector<Beat> toBeats(const std::vector<vesk_tracking::BeatEvent>& events) {
  std::vector<Beat> beats;
  beats.reserve(events.size());
  for (const vesk_tracking::BeatEvent& e : events)
    beats.push_back(Beat{e.time, e.tempo, e.confidence, e.reliable});
  return beats;
}

}  // namespace

Settings& Settings::set(const std::string& key, double value) {
  SettingValues probe;
  setNumber(rowOf(key), probe, value);
  char text[64];
  std::snprintf(text, sizeof text, "%.17g", value);
  given.emplace_back(key, text);
  return *this;
}

Settings& Settings::set(const std::string& key, const std::string& value) {
  SettingValues probe;
  setName(rowOf(key), probe, value);
  given.emplace_back(key, "=" + value);  // '=': a name, not a number
  return *this;
}

struct BeatTracker::State {
  std::unique_ptr<vesk_tracking::LiveTracker> tracker;
  std::vector<vesk_tracking::BeatEvent> events;
};

BeatTracker::BeatTracker(int sampleRate, int channels, const Settings& settings,
                         const Options& options)
    : state(std::make_unique<State>()) {
  SettingValues values;
  for (const auto& [key, text] : settings.given) {
    if (text.rfind('=', 0) == 0)
      setName(rowOf(key), values, text.substr(1));
    else
      setNumber(rowOf(key), values, std::strtod(text.c_str(), nullptr));
  }
  const vesk_tracking::TrackingSettings checked =
      vesk_tracking::checkSettingValues(values, vesk_tracking::Spelling::Keyword);
  // libvesk-music registers the node when it is loaded, which linking this
  // library does.
  if (!RL::Node::getFactoryNamed("BeatTracker"))
    throw std::runtime_error(
        "the node type \"BeatTracker\" is not registered: libvesk-music "
        "was not loaded");
  vesk_tracking::LiveTracker::Options o;
  o.stage = checked.stage;
  o.features = options.features;
  o.folder = options.logFolder;
  state->tracker =
      std::make_unique<vesk_tracking::LiveTracker>(sampleRate, channels, checked.settings, o);
}

BeatTracker::~BeatTracker() = default;
BeatTracker::BeatTracker(BeatTracker&&) noexcept = default;
BeatTracker& BeatTracker::operator=(BeatTracker&&) noexcept = default;

std::vector<Beat> BeatTracker::process(const float* samples, std::size_t frames) {
  state->events.clear();
  state->tracker->process(samples, frames, state->events);
  return toBeats(state->events);
}

std::vector<Beat> BeatTracker::finish() {
  state->events.clear();
  state->tracker->finish(state->events);
  return toBeats(state->events);
}

std::vector<Frame> BeatTracker::takeFrames() {
  std::vector<vesk_tracking::FrameFeatures> taken;
  state->tracker->takeFeatures(taken);
  std::vector<Frame> frames;
  frames.reserve(taken.size());
  for (vesk_tracking::FrameFeatures& f : taken)
    frames.push_back(Frame{f.time, f.tempo, f.confidence, std::move(f.onset), std::move(f.pattern),
                           std::move(f.chroma)});
  return frames;
}

int BeatTracker::sampleRate() const {
  return state->tracker->sampleRate();
}

int BeatTracker::channels() const {
  return state->tracker->channels();
}

double BeatTracker::seconds() const {
  return state->tracker->seconds();
}

}  // namespace vesk
