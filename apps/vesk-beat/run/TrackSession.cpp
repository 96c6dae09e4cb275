#include "apps/vesk-beat/run/TrackSession.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <optional>
#include <thread>

#include "apps/vesk-beat/output/BeatsFile.h"
#include "apps/vesk-beat/output/PlotWriter.h"
#include "apps/vesk-beat/run/ProgressBar.h"
#include "tracking/beats/BeatPicker.h"
#include "tracking/beats/TimeBase.h"
#include "tracking/input/Interrupt.h"
#include "tracking/input/PcmStreamReader.h"
#include "tracking/input/SndfileReader.h"
#include "tracking/input/StreamPath.h"
#include "tracking/network/NodeSession.h"
#include "tracking/network/WorkingDirectory.h"

namespace vesk_beat {

using namespace vesk_tracking;

namespace {

std::unique_ptr<AudioReader> openInput(const TrackJob& job, const RawFormat& raw) {
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
  return job.input == "-" || isStreamPath(job.input);
}

FileSummary trackInput(const Options& o, const TrackJob& job, EventWriter& writer,
                       RobotSender* robot, std::FILE* progressTerminal) {
  const bool live = readsStream(job);
  std::unique_ptr<AudioReader> reader = openInput(job, o.raw);
  const AudioReader& input = *reader;  // owned by the session from here on

  // Without --log-dir, the node's beat log and the engine's files go to a
  // private directory that is removed afterwards.
  std::optional<TemporaryDirectory> privateDir;
  if (job.logDir.empty()) privateDir.emplace();

  const Settings settings = o.settings();
  const TimeBase time(settings);
  NodeSession::Options network;
  // Reading ahead takes the second core, unless other inputs already run on it.
  network.readAhead = o.jobs <= 1 || o.inputs.size() <= 1;
  network.vectors = !job.plotPath.empty();
  network.log = !job.logDir.empty();
  network.workDir = network.log ? job.logDir : privateDir->path();
  BeatPicker picker(settings, BeatPicker::Options{o.afterNode, o.allBeats});
  network.onsets = picker.usesOnsets();
  NodeSession session(std::move(reader), settings, network);

  // Standard output first; the files are written when the input has ended.
  std::vector<std::unique_ptr<BeatSink>> files;
  if (!job.beatsPath.empty()) files.push_back(std::make_unique<BeatsFileSink>(job.beatsPath));
  if (!job.plotPath.empty())
    files.push_back(std::make_unique<PlotSink>(
        job.plotPath, PlotData{job.name, time.frameSeconds(), {}, {}, {}, o.threshold}));
  if (robot) files.push_back(std::make_unique<RobotSink>(*robot));
  std::vector<BeatSink*> sinks{&writer};
  bool framesWanted = false;
  for (const auto& sink : files) {
    sinks.push_back(sink.get());
    framesWanted |= sink->wantsFrames();
  }

  std::optional<ProgressBar> progress;
  if (progressTerminal && session.expectedFrames() > 0)
    progress.emplace(progressTerminal, job.name, session.expectedFrames());
  const Pacer pacer(time.frameSeconds());
  // The summary is counted as the beats come, so a live stream runs in bounded memory.
  SummaryCounter summary;

  for (BeatSink* sink : sinks) sink->begin();
  for (;;) {
    if (interrupted()) {
      if (!live) throw Interrupted();
      break;  // Ctrl-C ends a live stream like its end would
    }
    if (o.realtime && !live) pacer.wait(session.frame() + 1);
    if (!session.next()) break;
    const std::int64_t f = session.frame();
    if (framesWanted)
      for (BeatSink* sink : sinks)
        if (sink->wantsFrames()) sink->frame(f, session.onsetStrength(), session.confidence());
    if (progress) progress->update(f);

    // Which beat, if any, this frame reports; the event is made only then.
    std::optional<BeatEvent> beat = picker.pick(session);
    if (!beat) continue;
    BeatEvent& event = *beat;
    event.file = job.name;
    summary.add(event);
    if (progress) progress->clear();
    for (BeatSink* sink : sinks) sink->beat(event);
    // Nobody reads the beats any more and nothing else is written: stop
    // rather than follow a live stream for ever.
    if (writer.writeError() != 0 && !o.writesBesidesStandardOutput()) break;
  }
  if (progress) progress->finish();
  for (BeatSink* sink : sinks) sink->finish();
  FileSummary result = summary.result(job.name, time.seconds(session.samplesDelivered()));
  result.warning = input.shortfall();
  return result;
}

}  // namespace vesk_beat
