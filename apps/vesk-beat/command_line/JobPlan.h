#ifndef VESK_BEAT_JOBPLAN_H
#define VESK_BEAT_JOBPLAN_H

#include <string>
#include <vector>

#include "apps/vesk-beat/command_line/Options.h"
#include "apps/vesk-beat/run/TrackSession.h"

namespace vesk_beat {

// What a run will read and write, every name expanded and checked before
// anything is opened for writing.
struct RunPlan {
  std::vector<TrackJob> jobs;  // one per input, in order
  std::string logDir;          // absolute, or empty without --log-dir
  std::string nodeOutputPath;  // absolute, or empty unless --node-output FILE
  std::string outputPath;      // absolute, or empty unless -o FILE
};

// Throws UsageError when an output cannot be written as asked: not a regular
// file, in a missing or read-only folder, the same file as an input or as
// another output.
RunPlan planRun(const Options& options);

}  // namespace vesk_beat

#endif
