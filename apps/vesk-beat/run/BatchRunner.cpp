#include "apps/vesk-beat/run/BatchRunner.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <iostream>
#include <map>
#include <memory>
#include <optional>

#include "apps/vesk-beat/output/AtomicFile.h"
#include "apps/vesk-beat/run/WorkerWait.h"
#include "tracking/input/AudioReader.h"
#include "tracking/input/Interrupt.h"
#include "tracking/network/WorkingDirectory.h"

namespace vesk_beat {

using namespace vesk_tracking;

namespace {

void reportError(const std::string& message) {
  std::fprintf(stderr, "vesk-beat: %s\n", message.c_str());
  std::fflush(stderr);
}

// Tracks one input, writes its summary; returns its exit code.
int runOne(const Options& o, const TrackJob& job, EventWriter& writer, std::FILE* progress) {
  try {
    std::unique_ptr<RobotSender> robot;
    if (!o.robot.empty()) robot = std::make_unique<RobotSender>(o.robot);
    FileSummary summary = trackInput(o, job, writer, robot.get(), progress);
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

// Copies a worker's result to `out`; returns the errno of a failed write to
// `out`, or 0.
int copyFile(const std::string& path, std::FILE* out) {
  std::FILE* in = std::fopen(path.c_str(), "r");
  if (!in) return 0;  // the worker could not write it and said so
  char buffer[8192];
  std::size_t n;
  int error = 0;
  while (error == 0 && (n = std::fread(buffer, 1, sizeof buffer, in)) > 0) {
    errno = 0;
    if (std::fwrite(buffer, 1, n, out) != n) error = errno != 0 ? errno : EIO;
  }
  std::fclose(in);
  errno = 0;
  if (error == 0 && std::fflush(out) != 0) error = errno != 0 ? errno : EIO;
  return error;
}

// The exit code a failed write to standard output adds: none when its reader
// went away, which is how `| head` ends a run.
int outputVerdict(int error) {
  if (error == 0 || error == EPIPE) return kExitOk;
  reportError(std::string("standard output: ") + std::strerror(error));
  return kExitFailed;
}

}  // namespace

int runJobs(const Options& o, const std::vector<TrackJob>& jobs, std::FILE* out) {
  std::FILE* info = o.quiet ? nullptr : stderr;
  if (jobs.size() == 1) {
    auto writer = makeEventWriter(o.format, out, info, false);
    writer->header();
    const bool progress =
        !o.quiet && jobs[0].input != "-" && o.nodeOutput != NodeOutput::Stderr && ::isatty(2);
    const int code = runOne(o, jobs[0], *writer, progress ? stderr : nullptr);
    return std::max(code, outputVerdict(writer->writeError()));
  }

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
  std::fflush(stderr);
  std::cout.flush();

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
        int code = kExitFailed;
        if (std::FILE* f = std::fopen(resultPath(next).c_str(), "w")) {
          auto writer = makeEventWriter(o.format, f, info, true);
          code = runOne(o, jobs[next], *writer, nullptr);
          errno = 0;
          if ((std::fclose(f) != 0 || writer->writeError() != 0) && code == kExitOk) {
            reportError(jobs[next].name + ": cannot keep its result until it is printed: " +
                        std::strerror(writer->writeError() != 0 ? writer->writeError() : errno));
            code = kExitFailed;
          }
        } else {
          reportError("cannot write a temporary result: " + std::string(std::strerror(errno)));
        }
        std::cout.flush();
        std::fflush(stdout);
        ::_exit(code);
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
  return std::max(worst, outputVerdict(outError));
}

}  // namespace vesk_beat
