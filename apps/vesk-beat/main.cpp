// vesk-beat: tracks the beat of audio files or of a live stream with the
// "BeatTracker" node of the vesk-music plug-in, hosted as a Rill application
// hosts it: the plug-in is loaded with dlopen and its node is built through the
// framework's registry.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "apps/vesk-beat/BatchRunner.h"
#include "apps/vesk-beat/ConsoleRedirect.h"
#include "apps/vesk-beat/HugePageHeap.h"
#include "apps/vesk-beat/Interrupt.h"
#include "apps/vesk-beat/Options.h"
#include "apps/vesk-beat/PluginLoader.h"
#include "apps/vesk-beat/RobotSender.h"
#include "apps/vesk-beat/WorkingDirectory.h"

using namespace vesk_beat;

namespace {

int fail(int code, const std::string& message) {
  std::fprintf(stderr, "vesk-beat: %s\n", message.c_str());
  return code;
}

// "{}" in a per-input output name becomes the input's name without extension.
std::string perInputName(const std::string& pattern, const std::string& input) {
  std::string stem = input == "-" ? "stdin" : std::filesystem::path(input).stem().string();
  std::string path = pattern;
  for (std::size_t at; (at = path.find("{}")) != std::string::npos;) path.replace(at, 2, stem);
  return path;
}

// The absolute path of an output file, checked to be creatable before hours
// of audio are tracked; empty when not asked for.
std::string outputPath(const std::string& option, const std::string& pattern,
                       const std::string& input) {
  if (pattern.empty()) return pattern;
  const std::string shown = perInputName(pattern, input);
  std::filesystem::path dir = std::filesystem::path(shown).parent_path();
  if (dir.empty()) dir = ".";
  std::error_code e;
  if (!std::filesystem::is_directory(dir, e))
    throw UsageError(option + ": the directory '" + dir.string() + "' does not exist");
  if (::access(dir.c_str(), W_OK) != 0)
    throw UsageError(option + ": cannot write into '" + dir.string() + "'");
  if (std::filesystem::is_directory(shown, e))
    throw UsageError(option + ": '" + shown + "' is a directory");
  return absolutePath(shown);
}

}  // namespace

int main(int argc, char** argv) {
  adviseHugePageHeap();
  Options options;
  try {
    options = parseOptions(argc, argv);
    if (options.help) {
      std::fputs(usageText().c_str(), stdout);
      return kExitOk;
    }
    if (options.version) {
      std::printf("vesk-beat %s\n", VESK_BEAT_VERSION);
      return kExitOk;
    }
    if (!options.robot.empty()) {
      std::string host;
      int port = 0;
      parseRobotAddress(options.robot, host, port);
      if (options.inputs.size() > 1)
        throw UsageError("--robot: takes a single input (the robot follows one piece of music)");
    }
  } catch (const UsageError& e) {
    std::fprintf(stderr, "vesk-beat: %s\nTry 'vesk-beat --help' for more information.\n", e.what());
    return kExitUsage;
  }

  installInterruptHandler();
  std::unique_ptr<ConsoleRedirect> console;
  try {
    ConsoleRedirect::Target target =
        options.nodeOutput == NodeOutput::Stderr ? ConsoleRedirect::Target::Stderr
        : options.nodeOutput == NodeOutput::File ? ConsoleRedirect::Target::File
                                                 : ConsoleRedirect::Target::Null;
    console = std::make_unique<ConsoleRedirect>(target, absolutePath(options.nodeOutputPath));
  } catch (const std::exception& e) {
    return fail(kExitFailed, e.what());
  }

  try {
    loadPlugin(options.plugin.empty() ? defaultPluginPath() : options.plugin);
  } catch (const PluginError& e) {
    return fail(kExitPlugin, e.what());
  }

  std::vector<TrackJob> jobs;
  try {
    const bool several = options.inputs.size() > 1;
    std::string logDir;
    if (!options.logDir.empty()) {
      logDir = absolutePath(options.logDir);
      makeDirectories(logDir);
    }
    for (const std::string& input : options.inputs) {
      TrackJob job;
      job.name = input;
      job.input = input == "-" ? input : absolutePath(input);
      job.beatsPath = outputPath("--beats", options.beatsPath, input);
      job.plotPath = outputPath("--plot", options.plotPath, input);
      if (!logDir.empty()) {
        // Several inputs would overwrite each other's files: one folder each.
        job.logDir = several ? perInputName(logDir + "/{}", input) : logDir;
        makeDirectories(job.logDir);
      }
      jobs.push_back(job);
    }
  } catch (const UsageError& e) {
    std::fprintf(stderr, "vesk-beat: %s\n", e.what());
    return kExitUsage;
  } catch (const std::exception& e) {
    return fail(kExitFailed, e.what());
  }

  return runJobs(options, jobs, console->output());
}
