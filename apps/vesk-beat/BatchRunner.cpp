#include "apps/vesk-beat/BatchRunner.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <map>
#include <memory>

#include "apps/vesk-beat/AtomicFile.h"
#include "apps/vesk-beat/AudioReader.h"
#include "apps/vesk-beat/Interrupt.h"
#include "apps/vesk-beat/WorkingDirectory.h"

namespace vesk_beat {

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

bool copyFile(const std::string& path, std::FILE* out) {
  std::FILE* in = std::fopen(path.c_str(), "r");
  if (!in) return false;
  char buffer[8192];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) std::fwrite(buffer, 1, n, out);
  std::fclose(in);
  std::fflush(out);
  return true;
}

}  // namespace

int runJobs(const Options& o, const std::vector<TrackJob>& jobs, std::FILE* out) {
  std::FILE* info = o.quiet ? nullptr : stderr;
  if (jobs.size() == 1) {
    auto writer = makeEventWriter(o.format, out, info, false);
    writer->header();
    const bool progress =
        !o.quiet && jobs[0].input != "-" && o.nodeOutput != NodeOutput::Stderr && ::isatty(2);
    return runOne(o, jobs[0], *writer, progress ? stderr : nullptr);
  }

  TemporaryDirectory results("vesk-beat-batch");
  makeEventWriter(o.format, out, info, true)->header();
  std::fflush(out);
  std::fflush(stderr);
  std::cout.flush();

  std::map<pid_t, std::size_t> running;
  std::vector<int> codes(jobs.size(), -1);
  std::size_t next = 0, printed = 0;
  int worst = kExitOk;
  auto resultPath = [&](std::size_t i) {
    return results.path() + "/" + std::to_string(i) + ".out";
  };

  while (printed < jobs.size()) {
    while (next < jobs.size() && running.size() < static_cast<std::size_t>(o.jobs) &&
           !interrupted()) {
      pid_t pid = ::fork();
      if (pid < 0) {
        reportError(std::string("cannot start a worker: ") + std::strerror(errno));
        codes[next++] = kExitFailed;
        continue;
      }
      if (pid == 0) {
        int code = kExitFailed;
        if (std::FILE* f = std::fopen(resultPath(next).c_str(), "w")) {
          auto writer = makeEventWriter(o.format, f, info, true);
          code = runOne(o, jobs[next], *writer, nullptr);
          if (std::fclose(f) != 0) code = kExitFailed;
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
      if (codes[printed] == kExitOk || codes[printed] == kExitFailed)
        copyFile(resultPath(printed), out);
      if (codes[printed] > worst) worst = codes[printed];
      ++printed;
    }
    if (printed >= jobs.size()) break;
    if (running.empty()) {
      // Interrupted before every input started: the rest count as interrupted.
      for (std::size_t i = next; i < jobs.size(); ++i) codes[i] = kExitInterrupted;
      next = jobs.size();
      continue;
    }
    int status = 0;
    pid_t pid = ::waitpid(-1, &status, 0);
    if (pid < 0) {
      if (errno == EINTR) continue;
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
  return worst;
}

}  // namespace vesk_beat
