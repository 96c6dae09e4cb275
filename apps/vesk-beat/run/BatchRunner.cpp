#include "apps/vesk-beat/run/BatchRunner.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <map>
#include <memory>
#include <optional>

#include "apps/vesk-beat/run/BatchReport.h"
#include "apps/vesk-beat/run/InputRun.h"
#include "apps/vesk-beat/run/WorkerWait.h"
#include "tracking/process/Interrupt.h"
#include "tracking/process/WorkingDirectory.h"

namespace vesk_beat {

using namespace vesk_tracking;

namespace {

// One input, in this process: beats written as they are found.
int runSingle(const Options& o, const TrackJob& job, std::FILE* out, std::ostream& nodeConsole,
              const std::string& outName) {
  auto writer = makeEventWriter(o.format, out, o.quiet ? nullptr : stderr, false);
  writer->header();
  const bool progress =
      !o.quiet && !readsStream(job) && o.nodeOutput != NodeOutput::Stderr && ::isatty(2);
  const int code = runInput(o, job, *writer, progress ? stderr : nullptr, nodeConsole);
  return std::max(code, outputVerdict(writer->writeError(), outName));
}

// Several inputs in worker processes, their results printed in input order.
int runBatch(const Options& o, const std::vector<TrackJob>& jobs, std::FILE* out,
             std::ostream& nodeConsole, const std::string& outName) {
  std::FILE* info = o.quiet ? nullptr : stderr;
  std::optional<TemporaryDirectory> results;
  try {
    results.emplace("vesk-beat-batch");
  } catch (const std::exception& e) {
    reportError(e.what());
    return kExitFailed;
  }
  auto header = makeEventWriter(o.format, out, info, true);
  header->header();
  int outError = header->writeError();
  // Nothing buffered may be copied into the workers.
  std::fflush(nullptr);
  nodeConsole.flush();

  std::map<pid_t, std::size_t> running;
  std::vector<int> codes(jobs.size(), -1);
  std::size_t next = 0, printed = 0;
  int worst = kExitOk;
  bool abandoned = false;  // standard output went away and nothing else is written
  bool stopping = false;   // interrupted: the workers were told to stop
  WorkerWait wait;
  auto resultPath = [&](std::size_t i) {
    return results->path() + "/" + std::to_string(i) + ".out";
  };

  while (printed < jobs.size()) {
    if (!abandoned && outError != 0 && !o.writesBesidesStandardOutput()) {
      // Files being tracked finish; streams are ended as Ctrl-C ends them.
      abandoned = true;
      for (const auto& [pid, job] : running)
        if (readsStream(jobs[job])) ::kill(pid, SIGTERM);
    }
    if (!stopping && interrupted()) {
      // A signal to this process alone (SIGTERM, SIGHUP) stops the workers too.
      stopping = true;
      for (const auto& [pid, job] : running) ::kill(pid, SIGTERM);
    }
    while (next < jobs.size() && running.size() < static_cast<std::size_t>(o.jobs) &&
           !interrupted() && !abandoned) {
      pid_t pid = ::fork();
      if (pid < 0) {
        reportError(std::string("cannot start a worker: ") + std::strerror(errno));
        codes[next++] = kExitFailed;
        continue;
      }
      if (pid == 0) {
        wait.restore();
        ::_exit(runWorker(o, jobs[next], resultPath(next), nodeConsole));
      }
      running[pid] = next++;
    }
    // Print every finished input that is next in order.
    while (printed < jobs.size() && codes[printed] >= 0) {
      if ((codes[printed] == kExitOk || codes[printed] == kExitFailed) && outError == 0)
        outError = copyFile(resultPath(printed), out);
      if (codes[printed] > worst) worst = codes[printed];
      ++printed;
    }
    if (printed >= jobs.size()) break;
    if (running.empty()) {
      // Stopped before every input started: the rest count as not tracked.
      std::string skipped;
      for (std::size_t i = next; i < jobs.size(); ++i) {
        codes[i] = abandoned ? kExitOk : kExitInterrupted;
        skipped += (skipped.empty() ? "" : ", ") + jobs[i].name;
      }
      if (!abandoned && !skipped.empty()) reportError("interrupted; not tracked: " + skipped);
      next = jobs.size();
      continue;
    }
    int status = 0;
    pid_t pid = wait.next(&status);
    if (pid == 0) continue;  // a signal came: look at it first
    if (pid < 0) {
      reportError(std::string("waiting for a worker failed: ") + std::strerror(errno));
      return kExitFailed;
    }
    auto it = running.find(pid);
    if (it == running.end()) continue;
    int code = kExitFailed;
    if (WIFEXITED(status)) {
      code = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
      reportError(jobs[it->second].name + ": worker died (" + strsignal(WTERMSIG(status)) + ")");
    }
    codes[it->second] = code;
    running.erase(it);
  }
  return std::max(worst, outputVerdict(outError, outName));
}

}  // namespace

int runJobs(const Options& o, const std::vector<TrackJob>& jobs, std::FILE* out,
            std::ostream& nodeConsole, const std::string& outName) {
  return jobs.size() == 1 ? runSingle(o, jobs[0], out, nodeConsole, outName)
                          : runBatch(o, jobs, out, nodeConsole, outName);
}

}  // namespace vesk_beat
