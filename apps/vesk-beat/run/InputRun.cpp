#include "apps/vesk-beat/run/InputRun.h"

#include <cerrno>
#include <cstring>
#include <memory>

#include "apps/vesk-beat/output/AtomicFile.h"
#include "apps/vesk-beat/output/RobotSender.h"
#include "apps/vesk-beat/run/BatchReport.h"
#include "apps/vesk-beat/run/ExitCode.h"
#include "tracking/input/AudioReader.h"
#include "tracking/network/NodeSession.h"
#include "tracking/process/Interrupt.h"

namespace vesk_beat {

using namespace vesk_tracking;

int runInput(const Options& o, const TrackJob& job, EventWriter& writer, std::FILE* progress,
             std::ostream& nodeConsole) {
  try {
    std::unique_ptr<RobotSender> robot;
    if (!o.robot.empty()) robot = std::make_unique<RobotSender>(o.robot, nodeConsole);
    FileSummary summary = trackInput(o, job, writer, robot.get(), progress, nodeConsole);
    writer.summary(summary);
    if (!summary.warning.empty()) reportError(job.name + ": warning: " + summary.warning);
    return kExitOk;
  } catch (const Interrupted&) {
    reportError(job.name + ": interrupted; no output files written");
    return kExitInterrupted;
  } catch (const AudioError& e) {
    reportError(e.what());
  } catch (const OutputError& e) {
    reportError(e.what());
  } catch (const RobotError& e) {
    reportError(e.what());
  } catch (const TrackingError& e) {
    reportError(job.name + ": tracking failed: " + e.what());
  } catch (const std::bad_alloc&) {
    reportError(job.name + ": out of memory");
  } catch (const std::exception& e) {
    reportError(job.name + ": " + e.what());
  }
  return kExitFailed;
}

int runWorker(const Options& o, const TrackJob& job, const std::string& resultPath,
              std::ostream& nodeConsole) {
  std::FILE* info = o.quiet ? nullptr : stderr;
  int code = kExitFailed;
  if (std::FILE* f = std::fopen(resultPath.c_str(), "w")) {
    auto writer = makeEventWriter(o.format, f, info, true);
    code = runInput(o, job, *writer, nullptr, nodeConsole);
    errno = 0;
    if ((std::fclose(f) != 0 || writer->writeError() != 0) && code == kExitOk) {
      reportError(job.name + ": cannot keep its result until it is printed: " +
                  std::strerror(writer->writeError() != 0 ? writer->writeError() : errno));
      code = kExitFailed;
    }
  } else {
    reportError("cannot write a temporary result: " + std::string(std::strerror(errno)));
  }
  nodeConsole.flush();
  std::fflush(stdout);
  return code;
}

}  // namespace vesk_beat
