#include "python/src/FileTracking.h"

#include <memory>

#include "tracking/beats/BeatPicker.h"
#include "tracking/beats/TimeBase.h"
#include "tracking/input/SndfileReader.h"
#include "tracking/network/ConsoleMute.h"
#include "tracking/network/NodeSession.h"
#include "tracking/network/WorkingDirectory.h"

namespace vesk_python {

using namespace vesk_tracking;

FileBeats trackFile(const std::string& path, const TrackConfig& config, bool readAhead,
                    const std::function<void()>& poll) {
  constexpr std::int64_t kPollFrames = 500;
  const ConsoleMute mute;
  // The node's beat log goes to a private folder, removed afterwards.
  const TemporaryDirectory dir("vesk-python");
  NodeSession::Options network;
  network.readAhead = readAhead;
  network.workDir = dir.path();
  auto reader = std::make_unique<SndfileReader>(path, path);
  const AudioReader& input = *reader;  // owned by the session from here on
  NodeSession session(std::move(reader), config.settings, network);
  BeatPicker picker(config.settings, config.picking);
  SummaryCounter counter;
  FileBeats out;
  while (session.next()) {
    if (session.frame() % kPollFrames == 0 && poll) poll();
    std::optional<BeatEvent> beat = picker.pick(session);
    if (!beat) continue;
    beat->file = path;
    counter.add(*beat);
    out.beats.push_back(std::move(*beat));
  }
  out.summary = counter.result(path, TimeBase(config.settings).seconds(session.samplesDelivered()));
  out.summary.warning = input.shortfall();
  return out;
}

}  // namespace vesk_python
