#ifndef VESK_BEAT_OPTIONS_H
#define VESK_BEAT_OPTIONS_H

#include <optional>
#include <string>
#include <vector>

#include "apps/vesk-beat/command_line/UsageError.h"
#include "apps/vesk-beat/output/OutputFormat.h"
#include "tracking/Settings.h"
#include "tracking/input/RawFormat.h"

namespace vesk_beat {

enum class NodeOutput { None, Stderr, File };

struct Options {
  // Tracking parameters.
  int rate = vesk_tracking::defaults::kRate;
  int frame = vesk_tracking::defaults::kFrame;
  int hop = vesk_tracking::defaults::kHop;
  std::string window = vesk_tracking::defaults::kWindow;
  WindowFunction::Type windowType = vesk_tracking::Settings().window;  // of `window`
  int minBpm = vesk_tracking::defaults::kMinBpm;
  int maxBpm = vesk_tracking::defaults::kMaxBpm;
  float threshold = vesk_tracking::defaults::kThreshold;

  // Input.
  std::vector<std::string> inputs;  // "-" is standard input
  vesk_tracking::RawFormat raw;     // format of raw PCM on standard input
  bool realtime = false;

  // Output.
  OutputFormat format = OutputFormat::Text;
  bool allBeats = false;  // also report beats below the reliability threshold
  std::string beatsPath;
  std::string plotPath;
  std::string logDir;
  NodeOutput nodeOutput = NodeOutput::None;
  std::string nodeOutputPath;
  std::string robot;  // HOST:PORT
  std::string plugin;
  bool quiet = false;
  int jobs = 1;

  bool help = false;
  bool version = false;

  // The spectrum the node sees: a named front end, its stages retuned, and
  // the level gate (dB; none: off).
  std::string frontEnd = vesk_tracking::defaults::kFrontEnd;
  std::optional<double> compress, whiten, lowPass;
  std::optional<double> gateDb = vesk_tracking::defaults::kGateDb;
  // The stage after the node.
  vesk_conditioning::AfterNode afterNode = vesk_tracking::defaults::kAfterNode;

  // The tracking parameters, as the tracking stages take them.
  vesk_tracking::Settings settings() const;
  // The beats to report.
  vesk_tracking::StageChoice stageChoice() const { return {afterNode, allBeats}; }

  // Whether the run writes anything besides standard output (files, the
  // node's lines to a file, robot messages): when standard output goes
  // away, a run that writes nothing else stops.
  bool writesBesidesStandardOutput() const {
    return !beatsPath.empty() || !plotPath.empty() || !logDir.empty() || !robot.empty() ||
           nodeOutput == NodeOutput::File;
  }
};

// Parses argv (without checking that files exist). Throws UsageError.
Options parseOptions(int argc, const char* const* argv);

// Checks the tracking parameters together (ranges and the beat-interval range
// they give). Throws UsageError. parseOptions calls it.
void validateParameters(const Options& options);

// The --help text.
std::string usageText();

}  // namespace vesk_beat

#endif
