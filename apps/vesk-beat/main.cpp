// vesk-beat: tracks the beat of audio files or of a live stream with the
// "BeatTracker" node of the vesk-music plug-in, hosted as a Rill application
// hosts it: the plug-in is loaded with dlopen and its node is built through the
// framework's registry.
#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "apps/vesk-beat/command_line/JobPlan.h"
#include "apps/vesk-beat/command_line/Options.h"
#include "apps/vesk-beat/output/AtomicFile.h"
#include "apps/vesk-beat/output/RobotSender.h"
#include "apps/vesk-beat/run/BatchRunner.h"
#include "apps/vesk-beat/run/DirectoryLock.h"
#include "apps/vesk-beat/run/HugePageHeap.h"
#include "apps/vesk-beat/run/NodeConsole.h"
#include "tracking/devices/AlsaCapture.h"
#include "tracking/devices/JackCapture.h"
#include "tracking/input/SndfileReader.h"
#include "tracking/process/Interrupt.h"
#include "tracking/process/PluginLoader.h"
#include "tracking/process/WorkingDirectory.h"

using namespace vesk_beat;
using namespace vesk_tracking;

namespace {

// A standard descriptor the caller left closed would be taken by the first
// file opened (the node's console file, say), and the results written there.
void keepStandardDescriptorsOpen() {
  for (int fd = 0; fd <= 2; ++fd)
    if (::fcntl(fd, F_GETFD) < 0 && errno == EBADF)
      ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
}

// The capture devices ALSA knows, then the ports of a running JACK server.
void listDevices() {
  std::printf("ALSA capture devices (--device NAME):\n");
  for (const std::string& line : alsaCaptureDevices()) std::printf("  %s\n", line.c_str());
  const std::vector<std::string> ports = jackCapturePorts();
  if (ports.empty()) {
    std::printf("JACK: no server running (--jack needs one)\n");
  } else {
    std::printf("JACK ports to connect (--jack --connect PORT):\n");
    for (const std::string& port : ports) std::printf("  %s\n", port.c_str());
  }
}

int fail(int code, const std::string& message) {
  std::fprintf(stderr, "vesk-beat: %s\n", message.c_str());
  return code;
}

// True when at least one input can be opened; the others are named on
// standard error. When none can, the run stops before anything is written.
bool anyInputOpens(const std::vector<TrackJob>& jobs) {
  std::vector<std::string> problems;
  for (const TrackJob& job : jobs) {
    try {
      if (!job.device && job.input != "-") checkInputFile(job.input, job.name);
      return true;
    } catch (const AudioError& e) {
      problems.push_back(e.what());
    }
  }
  for (const std::string& p : problems) fail(kExitFailed, p);
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  keepStandardDescriptorsOpen();
  silenceJackLibrary();  // their own lines would repeat ours
  silenceAlsaLibrary();
  adviseHugePageHeap();
  Options options;
  try {
    options = parseOptions(argc, argv);
    if (options.help) {
      std::fputs(usageText().c_str(), stdout);
      return kExitOk;
    }
    if (options.listDevices) {
      listDevices();
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
  RunPlan plan;
  try {
    plan = planRun(options);
  } catch (const UsageError& e) {
    return fail(kExitUsage, e.what());
  }
  if (options.device && options.device->kind == CaptureDevice::Kind::Alsa &&
      !alsaCaptureDeviceExists(options.device->name))
    return fail(kExitUsage, "--device: no capture device '" + options.device->name +
                                "' (vesk-beat --list-devices lists them)");
  if (!anyInputOpens(plan.jobs)) return kExitFailed;
  try {
    checkTemporaryDirectory();
  } catch (const std::exception& e) {
    return fail(kExitFailed, e.what());
  }

  try {
    loadPlugin(options.plugin.empty() ? defaultPluginPath() : options.plugin);
  } catch (const PluginError& e) {
    return fail(kExitPlugin, e.what());
  }

  // Everything is checked: only now are outputs created.
  std::unique_ptr<DirectoryLock> logLock;
  std::unique_ptr<NodeConsole> console;
  try {
    if (!plan.logDir.empty()) {
      makeDirectories(plan.logDir);
      logLock = std::make_unique<DirectoryLock>(plan.logDir);
      for (const TrackJob& job : plan.jobs) makeDirectories(job.logDir);
    }
  } catch (const std::exception& e) {
    return fail(kExitFailed, "--log-dir: " + std::string(e.what()));
  }
  try {
    NodeConsole::Target target =
        options.nodeOutput == NodeOutput::Stderr ? NodeConsole::Target::Stderr
        : options.nodeOutput == NodeOutput::File ? NodeConsole::Target::File
                                                 : NodeConsole::Target::Null;
    console = std::make_unique<NodeConsole>(target, plan.nodeOutputPath);
  } catch (const std::exception& e) {
    return fail(kExitFailed, e.what());
  }

  if (plan.outputPath.empty()) return runJobs(options, plan.jobs, stdout, console->stream());
  std::optional<AtomicFile> out;
  try {
    out.emplace(plan.outputPath);
  } catch (const OutputError& e) {
    return fail(kExitFailed, "-o: " + std::string(e.what()));
  }
  const int code = runJobs(options, plan.jobs, out->stream(), console->stream(),
                           "-o '" + options.outputPath + "'");
  if (std::ferror(out->stream())) return std::max(code, int{kExitFailed});  // said already
  try {
    out->commit();
  } catch (const OutputError& e) {
    return std::max(fail(kExitFailed, "-o: " + std::string(e.what())), code);
  }
  return code;
}
