#include "apps/vesk-beat/run/TrackSession.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <optional>
#include <thread>

#include "apps/vesk-beat/output/BeatsFile.h"
#include "apps/vesk-beat/output/ClickTrack.h"
#include "apps/vesk-beat/output/PlotWriter.h"
#include "apps/vesk-beat/run/BeatAnnouncer.h"
#include "apps/vesk-beat/run/ProgressBar.h"
#include "tracking/beats/TimeBase.h"
#include "tracking/core/TrackingCore.h"
#include "tracking/input/PcmStreamReader.h"
#include "tracking/input/SndfileReader.h"
#include "tracking/input/StreamPath.h"
#include "tracking/process/Interrupt.h"

namespace vesk_beat {

using namespace vesk_tracking;

namespace {

std::unique_ptr<AudioReader> openInput(const TrackJob& job, const RawFormat& raw) {
  if (job.device) return openCaptureDevice(*job.device);
  if (job.input == "-") return openPcmStream(0, "standard input", raw);
  if (isStreamPath(job.input)) return openStreamPath(job.input, job.name, raw);
  return std::make_unique<SndfileReader>(job.input, job.name);
}

// Waits until frame `f` would arrive from a live source.
class Pacer {
 public:
  explicit Pacer(double frameSeconds) : frameSeconds(frameSeconds) {}
  void wait(std::int64_t f) const {
    std::this_thread::sleep_until(start +
                                  std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                      std::chrono::duration<double>((f + 1) * frameSeconds)));
  }

 private:
  double frameSeconds;
  std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
};

}  // namespace

bool readsStream(const TrackJob& job) {
  return job.device || job.input == "-" || isStreamPath(job.input);
}

FileSummary trackInput(const Options& o, const TrackJob& job, EventWriter& writer,
                       RobotSender* robot, std::FILE* progressTerminal, std::ostream& nodeConsole) {
  const bool live = readsStream(job);
  const TrackingSettings checked = o.tracking();
  const Settings& settings = checked.settings;
  TrackingCore::Options core;
  core.stage = checked.stage;
  // Reading ahead takes the second core, unless other inputs already run on it.
  core.readAhead = o.jobs <= 1 || o.inputs.size() <= 1;
  core.vectors = !job.plotPath.empty();
  // Without --log-dir, the node's beat log and the engine's files go to a
  // private folder that is removed afterwards.
  core.log = !job.logDir.empty();
  core.folder = job.logDir;
  core.console = &nodeConsole;
  TrackingCore tracking(openInput(job, o.raw), settings, core);
  const TimeBase& time = tracking.time();

  // Standard output first; the files are written when the input has ended.
  std::vector<std::unique_ptr<BeatSink>> files;
  if (!job.beatsPath.empty()) files.push_back(std::make_unique<BeatsFileSink>(job.beatsPath));
  if (!job.plotPath.empty())
    files.push_back(std::make_unique<PlotSink>(
        job.plotPath,
        PlotData{job.name, time.frameSeconds(), {}, {}, {}, settings.threshold, job.reference}));
  if (!job.clicksPath.empty())
    files.push_back(std::make_unique<ClickTrackSink>(job.clicksPath, job.input, job.name));
  std::optional<RobotSink> robotSink;
  if (robot) robotSink.emplace(*robot);
  // What is reported as it happens; with --ahead, beats are announced to these.
  std::vector<BeatSink*> reporters{&writer};
  if (robotSink) reporters.push_back(&*robotSink);
  std::vector<BeatSink*> sinks{&writer};
  bool framesWanted = false;
  for (const auto& sink : files) {
    sinks.push_back(sink.get());
    framesWanted |= sink->wantsFrames();
  }
  if (robotSink) sinks.push_back(&*robotSink);

  std::optional<ProgressBar> progress;
  if (progressTerminal && tracking.expectedFrames() > 0)
    progress.emplace(progressTerminal, job.name, tracking.expectedFrames());
  const Pacer pacer(time.frameSeconds());
  std::optional<BeatAnnouncer> announcer;
  if (o.aheadMs) announcer.emplace(*o.aheadMs / 1000.0, time);
  const auto named = [&](BeatEvent event) {
    event.file = job.name;
    if (progress) progress->clear();
    return event;
  };

  for (BeatSink* sink : sinks) sink->begin();
  for (;;) {
    if (interrupted()) {
      if (!live) throw Interrupted();
      break;  // Ctrl-C ends a live stream like its end would
    }
    if (o.realtime && !live) pacer.wait(tracking.record().frame + 1);
    if (!tracking.next()) break;
    const std::int64_t f = tracking.record().frame;
    if (framesWanted)
      for (BeatSink* sink : sinks)
        if (sink->wantsFrames())
          sink->frame(f, tracking.node().onsetStrength(), tracking.record().confidence);
    if (progress) progress->update(f);
    if (announcer) {
      const BeatAnnouncer::Step step = announcer->next(f, tracking.beat(), tracking.predicted());
      if (tracking.beat())
        for (const auto& sink : files) sink->beat(named(*tracking.beat()));
      if (step.withdrawn)
        for (BeatSink* sink : reporters) sink->withdrawn(named(*step.withdrawn));
      for (const auto* beat : {&step.due, &step.announced})
        if (*beat)
          for (BeatSink* sink : reporters) sink->beat(named(**beat));
    } else if (tracking.beat()) {
      const BeatEvent event = named(*tracking.beat());
      for (BeatSink* sink : sinks) sink->beat(event);
    } else {
      continue;
    }
    // Nobody reads the beats any more and nothing else is written: stop
    // rather than follow a live stream for ever.
    if (writer.writeError() != 0 && !o.writesBesidesStandardOutput()) break;
  }
  if (progress) progress->finish();
  for (BeatSink* sink : sinks) sink->finish();
  return tracking.summary(job.name);
}

}  // namespace vesk_beat
