#ifndef VESK_BEAT_INPUTRUN_H
#define VESK_BEAT_INPUTRUN_H

#include <cstdio>
#include <ostream>
#include <string>

#include "apps/vesk-beat/command_line/Options.h"
#include "apps/vesk-beat/output/EventWriter.h"
#include "apps/vesk-beat/run/TrackSession.h"

namespace vesk_beat {

// Tracks one input, beats through `writer` and then its summary; every error
// is reported on standard error, naming the input. `progress`: a terminal for
// the progress bar, or null. Returns the input's exit code.
int runInput(const Options& options, const TrackJob& job, EventWriter& writer, std::FILE* progress,
             std::ostream& nodeConsole);

// A batch worker's whole life: tracks `job` into the file `resultPath`, to be
// printed by the batch when its turn comes. Returns the exit code.
int runWorker(const Options& options, const TrackJob& job, const std::string& resultPath,
              std::ostream& nodeConsole);

}  // namespace vesk_beat

#endif
