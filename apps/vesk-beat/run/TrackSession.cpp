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
#include "node/host/Rill.h"
#include "tracking/input/Interrupt.h"
#include "tracking/input/PcmStreamReader.h"
#include "tracking/input/SndfileReader.h"
#include "tracking/input/StreamPath.h"
#include "tracking/network/AudioSourceNode.h"
#include "tracking/network/WorkingDirectory.h"

namespace vesk_beat {

using namespace vesk_tracking;

namespace {

std::string takeMessage(RL::BaseException* e) {
  std::string text = e->message();
  delete e;
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

RL::ParameterSet nodeParameters(const Options& o, bool vectors, bool log) {
  RL::ParameterSet p;
  p.add("RELIABILITY-THRESHOLD", RL::ObjectRef(new RL::NetCType<float>(o.threshold)));
  p.add("ADVANCE", RL::ObjectRef(new RL::GenericType<int>(o.hop)));
  p.add("SAMPLING_RATE", RL::ObjectRef(new RL::GenericType<int>(o.rate)));
  p.add("MAX_BPM", RL::ObjectRef(new RL::GenericType<int>(o.maxBpm)));
  p.add("MIN_BPM", RL::ObjectRef(new RL::GenericType<int>(o.minBpm)));
  p.add("VECTOR_FLAG", RL::ObjectRef(new RL::Bool(vectors)));
  p.add("LOG_FLAG", RL::ObjectRef(new RL::Bool(log)));
  return p;
}

// Sends the robot its end message also when tracking stops on an error.
struct RobotSession {
  RobotSender* robot = nullptr;
  bool open = false;
  ~RobotSession() {
    if (!open) return;
    try {
      robot->end();
    } catch (...) {  // the error that stopped us is the one to report
    }
  }
};

// The network of one input. Destroyed downstream first.
struct Network {
  std::unique_ptr<AudioSourceNode> source;
  std::unique_ptr<RL::Node> tracker;
  ~Network() {
    tracker.reset();
    source.reset();
  }
};

}  // namespace

FileSummary trackInput(const Options& o, const TrackJob& job, EventWriter& writer,
                       RobotSender* robot, std::FILE* progressTerminal) {
  const bool standardInput = job.input == "-";
  const bool live = standardInput || isStreamPath(job.input);
  const bool plotting = !job.plotPath.empty();
  const bool logging = !job.logDir.empty();

  std::unique_ptr<AudioReader> reader;
  if (standardInput)
    reader = openPcmStream(0, "standard input", o.raw);
  else if (live)
    reader = openStreamPath(job.input, job.name, o.raw);
  else
    reader = std::make_unique<SndfileReader>(job.input, job.name);

  // Without --log-dir, the node's beat log and the engine's files go to a
  // private directory that is removed afterwards.
  std::optional<TemporaryDirectory> privateDir;
  if (!logging) privateDir.emplace();
  const std::string workDir = logging ? job.logDir : privateDir->path();

  Network net;
  // Every beat is kept only when a beats file or a plot needs them all; the
  // summary is counted as the beats come, so a live stream runs in bounded memory.
  const bool keepBeats = !job.beatsPath.empty() || plotting;
  std::vector<BeatEvent> beats;
  SummaryCounter summary;
  PlotData plot;
  plot.title = job.name;
  plot.frameSeconds = static_cast<double>(o.hop) / o.rate;
  plot.threshold = o.threshold;
  RobotSession robotSession{robot};

  try {
    // Reading ahead takes the second core, unless other inputs already run on it.
    const bool readAhead = o.jobs <= 1 || o.inputs.size() <= 1;
    const FrameFormat format{o.frame, o.hop, static_cast<WindowFunction::Type>(o.windowType)};
    net.source =
        std::make_unique<AudioSourceNode>("source", std::move(reader), o.rate, format, readAhead);

    RL::_NodeFactory* factory = RL::Node::getFactoryNamed("BeatTracker");
    if (!factory) throw TrackingError("the node type \"BeatTracker\" is not registered");
    {
      ScopedWorkingDirectory cwd(workDir);  // the node opens its beat log here
      net.tracker.reset(factory->Create("beat-tracker", nodeParameters(o, plotting, logging)));
    }
    net.tracker->connectToNode("AUDIO", net.source.get(), "AUDIO");
    net.tracker->connectToNode("FFTAUDIO", net.source.get(), "FFTAUDIO");
    net.source->initialize();
    net.tracker->initialize();

    const int beatID = net.tracker->translateOutput("BEAT_DETECTED");
    const int tempoID = net.tracker->translateOutput("TEMPO");
    const int confidenceID = net.tracker->translateOutput("CONFIDENCE");
    const int onsetID = net.tracker->translateOutput("ONSET_VECTOR");
    if (beatID < 0 || tempoID < 0 || confidenceID < 0 || (plotting && onsetID < 0))
      throw TrackingError("the \"BeatTracker\" node lacks an expected output");

    std::optional<ProgressBar> progress;
    const std::int64_t expected = net.source->expectedFrames();
    if (progressTerminal && expected > 0) progress.emplace(progressTerminal, job.name, expected);

    const auto start = std::chrono::steady_clock::now();
    const double frameSeconds = static_cast<double>(o.hop) / o.rate;
    if (robot) {
      robot->start();
      robotSession.open = true;
    }
    for (int f = 0;; ++f) {
      if (interrupted()) {
        if (!live) throw Interrupted();
        break;  // Ctrl-C ends a live stream like its end would
      }
      if (!net.source->hasNextFrame()) break;
      if (o.realtime && !live)
        std::this_thread::sleep_until(
            start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                        std::chrono::duration<double>((f + 1) * frameSeconds)));
      RL::ObjectRef beatRef;
      {
        // The engine opens its diagnostic files when frame 0 is computed.
        std::optional<ScopedWorkingDirectory> cwd;
        if (f == 0) cwd.emplace(workDir);
        beatRef = net.tracker->getOutput(beatID, f);
      }
      const bool isBeat = RL::dereference_cast<bool>(beatRef);
      // Tempo and confidence are read only on the frames that use them.
      auto confidenceOf = [&] {
        return RL::dereference_cast<float>(net.tracker->getOutput(confidenceID, f));
      };
      if (plotting) {
        const float confidence = confidenceOf();
        auto onset =
            RL::Conversion::convertTo<RL::Vector<float>>(net.tracker->getOutput(onsetID, f));
        float sum = 0.0f;
        for (float v : *onset) sum += v;
        plot.onset.push_back(sum);
        plot.confidence.push_back(confidence);
      }
      if (progress) progress->update(f);
      if (!isBeat) continue;
      const float tempo = RL::dereference_cast<float>(net.tracker->getOutput(tempoID, f));
      const float confidence = confidenceOf();
      BeatEvent event;
      event.file = job.name;
      event.frame = f;
      event.time = std::max(0.0, static_cast<double>(f) * o.hop / o.rate +
                                     defaults::BeatTimeOffsetSec(o.frame, o.hop, o.rate));
      event.tempo = tempo;
      event.confidence = confidence;
      event.reliable = tempo > 0.0f;
      if (!event.reliable && !o.allBeats) continue;
      if (keepBeats) beats.push_back(event);
      summary.add(event);
      if (progress) progress->clear();
      writer.beat(event);
      // Nobody reads the beats any more and nothing else is written: stop
      // rather than follow a live stream for ever.
      if (writer.writeError() != 0 && !o.writesBesidesStandardOutput()) break;
      if (robot && event.reliable) {
        // The interval is a whole number of frames; recover it exactly from
        // the float tempo.
        const double intervalFrames = std::round(60.0 / event.tempo / frameSeconds);
        robot->beat(event.time, intervalFrames * o.hop / o.rate);
      }
    }
    if (robot) {
      robotSession.open = false;
      robot->end();
    }
    if (progress) progress->finish();
  } catch (RL::BaseException* e) {
    throw TrackingError(takeMessage(e));
  }

  const double duration = static_cast<double>(net.source->samplesDelivered()) / o.rate;
  if (!job.beatsPath.empty()) writeBeatsFile(job.beatsPath, beats);
  if (plotting) {
    plot.beats = beats;
    writePlot(job.plotPath, plot);
  }
  return summary.result(job.name, duration);
}

}  // namespace vesk_beat
