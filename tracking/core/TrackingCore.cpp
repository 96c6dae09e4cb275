#include "tracking/core/TrackingCore.h"

#include <stdexcept>

#include "tracking/SettingError.h"
#include "tracking/process/WorkingDirectory.h"

namespace vesk_tracking {

using vesk_conditioning::AfterNodeStage;
using vesk_conditioning::FrameRecord;

namespace {

std::unique_ptr<AfterNodeStage> makeStage(vesk_conditioning::AfterNode choice, const Settings& s,
                                          const TimeBase& time) {
  vesk_conditioning::StageFormat format;
  format.bins = static_cast<std::size_t>(s.frame / 2 + 1);
  format.frameRate = 1.0 / time.frameSeconds();
  format.frameSeconds = time.frameSeconds();
  format.minBpm = s.minBpm;
  format.maxBpm = s.maxBpm;
  format.binHz = static_cast<double>(s.rate) / s.frame;
  format.threshold = s.threshold;
  try {
    return vesk_conditioning::makeAfterNodeStage(choice, format);
  } catch (const std::invalid_argument& e) {
    throw SettingError(e.what());
  }
}

}  // namespace

TrackingCore::TrackingCore(std::unique_ptr<AudioReader> reader, const Settings& s, const Options& o)
    : timeBase(s), allBeats(o.stage.allBeats), stage(makeStage(o.stage.afterNode, s, timeBase)) {
  NodeSession::Options network;
  network.readAhead = o.readAhead;
  network.vectors = o.vectors;
  network.log = o.log;
  network.console = o.console;
  network.onsets = stage->needs().onsets;
  network.spectrum = stage->needs().spectrum;
  network.bands = stage->needs().bands;
  network.activation = stage->needs().activation;
  // The meter stage's periodicity is kept where the onsets are computed: off the node's thread.
  network.periodicity = stage->periodicity();
  if (o.folder.empty()) privateFolder = std::make_unique<TemporaryDirectory>("vesk-track");
  network.folder = o.folder.empty() ? privateFolder->path() : o.folder;
  input = reader.get();
  session = std::make_unique<NodeSession>(std::move(reader), s, network);
}

TrackingCore::~TrackingCore() {
  session.reset();  // before its folder goes
}

bool TrackingCore::next() {
  reported.reset();
  if (!session->next()) return false;
  pick();
  if (reported) counter.add(*reported);
  return true;
}

FileSummary TrackingCore::summary(const std::string& name) const {
  FileSummary s = counter.result(name, seconds());
  s.warning = input->shortfall();
  return s;
}

std::optional<BeatEvent> TrackingCore::predicted() const {
  const std::optional<AfterNodeStage::Prediction> p = stage->prediction();
  if (!p) return std::nullopt;
  return stageBeat(p->frame, p->intervalFrames, p->tempo);
}

BeatEvent TrackingCore::stageBeat(std::int64_t frame, int intervalFrames,
                                  const std::optional<double>& tempo) const {
  BeatEvent event;
  event.frame = frame;
  event.interval = timeBase.span(intervalFrames);
  event.tempo = tempo ? *tempo : 60.0 / event.interval;
  event.reliable = event.tempo > 0.0;
  event.time = timeBase.beatTime(frame);
  if (event.reliable) event.time += stage->latencySeconds();
  event.confidence = session->record().confidence;
  return event;
}

void TrackingCore::pick() {
  const FrameRecord& r = session->record();
  const AfterNodeStage::Beat beat = stage->process(r);
  if (beat.due) {
    reported = stageBeat(r.frame - beat.framesLate, beat.intervalFrames, beat.tempo);
  } else if (allBeats && r.beat && !r.reliableBeat()) {
    // The node's beat below its threshold: no tempo, no interval.
    BeatEvent& event = reported.emplace();
    event.frame = r.frame;
    event.time = timeBase.beatTime(event.frame);
    event.confidence = r.confidence;
  }
}

}  // namespace vesk_tracking
