#ifndef VESK_BEAT_OPTIONS_H
#define VESK_BEAT_OPTIONS_H

#include <optional>
#include <string>
#include <vector>

#include "apps/vesk-beat/command_line/UsageError.h"
#include "apps/vesk-beat/output/OutputFormat.h"
#include "tracking/Settings.h"
#include "tracking/devices/CaptureDevice.h"
#include "tracking/input/RawFormat.h"
#include "tracking/settings/SettingValues.h"

namespace vesk_beat {

enum class NodeOutput { None, Stderr, File };

struct Options {
  // The tracking settings, one field per row of the settings table, as given.
  vesk_tracking::SettingValues values;

  // Input.
  std::vector<std::string> inputs;  // "-" is standard input
  vesk_tracking::RawFormat raw;     // format of raw PCM on standard input
  bool realtime = false;
  std::optional<vesk_tracking::CaptureDevice> device;  // a sound card: the only input
  bool listDevices = false;
  vesk_tracking::CaptureDevice deviceSettings;  // what the device options set, for `device`

  // Output.
  OutputFormat format = OutputFormat::Text;
  std::string outputPath;  // -o: the event stream to this file instead of standard output
  std::string beatsPath;
  std::string plotPath;
  std::string referencePath;  // known beat times drawn over the plot
  std::string clicksPath;     // the input with a click on every beat (WAV)
  std::string logDir;
  NodeOutput nodeOutput = NodeOutput::None;
  std::string nodeOutputPath;
  std::string robot;  // HOST:PORT
  // Milliseconds before its predicted time a beat is reported; none: when due.
  std::optional<int> aheadMs;
  std::string plugin;
  bool quiet = false;
  int jobs = 1;

  bool help = false;
  bool version = false;

  // The tracking settings, checked; parseOptions checks them.
  vesk_tracking::TrackingSettings tracking() const;
  vesk_tracking::Settings settings() const { return tracking().settings; }

  // Whether the run writes anything besides standard output (files, the
  // node's lines to a file, robot messages): when standard output goes
  // away, a run that writes nothing else stops.
  bool writesBesidesStandardOutput() const {
    return !outputPath.empty() || !beatsPath.empty() || !clicksPath.empty() || !plotPath.empty() ||
           !logDir.empty() || !robot.empty() || nodeOutput == NodeOutput::File;
  }
};

// Parses argv (without checking that files exist). Throws UsageError.
Options parseOptions(int argc, const char* const* argv);

// Checks the tracking settings (each one's range, and the beat-interval range
// they give together). Throws UsageError. parseOptions calls it.
void validateParameters(const Options& options);

// The --help text.
std::string usageText();

}  // namespace vesk_beat

#endif
