#ifndef VESK_BEAT_BATCHRUNNER_H
#define VESK_BEAT_BATCHRUNNER_H

#include <cstdio>
#include <ostream>
#include <vector>

#include "apps/vesk-beat/command_line/Options.h"
#include "apps/vesk-beat/run/ExitCode.h"
#include "apps/vesk-beat/run/TrackSession.h"

namespace vesk_beat {

// Tracks every job and writes the results to `out`; errors go to standard
// error, each naming its input. One input is tracked in this process, beats
// written as they are found. Several inputs are tracked in up to
// `options.jobs` worker processes at once, so that one input that crashes
// or runs out of memory costs only its own result; their output is printed
// whole, in the order of the inputs. A write error on `out` fails the run
// (exit 1), unless its reader went away (`| head`); either way, a run that
// writes nothing else then stops. Returns the exit code: the worst of the
// inputs and of the output.
// The node's console lines go to `nodeConsole`.
// `outName` names `out` in messages.
int runJobs(const Options& options, const std::vector<TrackJob>& jobs, std::FILE* out,
            std::ostream& nodeConsole, const std::string& outName = "standard output");

}  // namespace vesk_beat

#endif
