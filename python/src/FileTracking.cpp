#include "python/src/FileTracking.h"

#include <memory>

#include "tracking/beats/BeatPicker.h"
#include "tracking/beats/TimeBase.h"
#include "tracking/input/SndfileReader.h"
#include "tracking/input/StreamPath.h"
#include "tracking/network/ConsoleMute.h"
#include "tracking/network/NodeSession.h"
#include "tracking/network/WorkingDirectory.h"

namespace vesk_python {

using namespace vesk_tracking;

namespace {

// A FIFO (or device) is read as vesk-beat reads it, as a WAV stream, and
// waits for its writer and its data in slices so that `poll` runs meanwhile.
std::unique_ptr<AudioReader> openInput(const std::string& path, const std::function<void()>& poll) {
  if (isStreamPath(path))
    return openStreamPath(path, path, RawFormat(), poll ? poll : std::function<void()>([] {}));
  return std::make_unique<SndfileReader>(path, path);
}

}  // namespace

FileBeats trackFile(const std::string& path, const TrackConfig& config, bool readAhead,
                    const std::function<void()>& poll) {
  const ConsoleMute mute;
  // The node's beat log goes to a private folder, removed afterwards.
  const TemporaryDirectory dir("vesk-python");
  NodeSession::Options network;
  network.readAhead = readAhead;
  network.workDir = dir.path();
  NodeSession session(openInput(path, poll), config.settings, network);
  BeatPicker picker(config.settings, config.picking);
  SummaryCounter counter;
  FileBeats out;
  while (session.next()) {
    if (poll) poll();
    std::optional<BeatEvent> beat = picker.pick(session);
    if (!beat) continue;
    beat->file = path;
    counter.add(*beat);
    out.beats.push_back(std::move(*beat));
  }
  out.summary = counter.result(path, TimeBase(config.settings).seconds(session.samplesDelivered()));
  return out;
}

}  // namespace vesk_python
