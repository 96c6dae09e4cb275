#ifndef VESK_BEAT_TRACKSESSION_H
#define VESK_BEAT_TRACKSESSION_H

#include <cstdio>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "apps/vesk-beat/command_line/Options.h"
#include "apps/vesk-beat/output/EventWriter.h"
#include "apps/vesk-beat/output/RobotSender.h"
#include "tracking/beats/BeatEvent.h"
#include "tracking/devices/CaptureDevice.h"
#include "tracking/network/NodeSession.h"
#include "tracking/process/Interrupt.h"

namespace vesk_beat {

// One input tracked from start to end.
struct TrackJob {
  std::string input;  // file path (absolute) or "-"; empty for a device
  std::optional<vesk_tracking::CaptureDevice> device;  // a sound card instead of an input
  std::string name;               // as the user gave it, for messages and output
  std::string logDir;             // absolute; empty: the node's files go to a private directory
  std::string beatsPath;          // absolute or empty
  std::string plotPath;           // absolute or empty
  std::vector<double> reference;  // known beat times (seconds) drawn over the plot
  std::string clicksPath;         // absolute or empty
};

// Whether the job reads a stream (standard input, a FIFO or a device), which
// ends when its writer stops or on Ctrl-C, rather than a file.
bool readsStream(const TrackJob& job);

// Builds the network (the audio source feeding the "BeatTracker" node's
// "AUDIO" and "FFTAUDIO"), pulls every frame, reports beats
// through `writer` (and `robot` when given) as they are found, then writes the
// beats file and the plot. The node's console lines go to `nodeConsole`. The
// plug-in must be loaded. Throws AudioError,
// OutputError, RobotError, TrackingError or Interrupted; nothing is written to
// the beats or plot file then.
vesk_tracking::FileSummary trackInput(const Options& options, const TrackJob& job,
                                      EventWriter& writer, RobotSender* robot,
                                      std::FILE* progressTerminal, std::ostream& nodeConsole);

}  // namespace vesk_beat

#endif
