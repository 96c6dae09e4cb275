#include "tracking/network/NodeSession.h"

#include <optional>

#include "node/BeatTracker.h"
#include "node/TempoRange.h"
#include "tracking/network/AudioSourceNode.h"

namespace vesk_tracking {

namespace {

std::string takeMessage(RL::BaseException* e) {
  std::string text = e->message();
  delete e;
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

RL::ParameterSet nodeParameters(const Settings& s, const NodeSession::Options& o,
                                std::ostream* console) {
  RL::ParameterSet p;
  p.add("RELIABILITY-THRESHOLD", RL::ObjectRef(new RL::NetCType<float>(s.threshold)));
  p.add("ADVANCE", RL::ObjectRef(new RL::GenericType<int>(s.hop)));
  p.add("SAMPLING_RATE", RL::ObjectRef(new RL::GenericType<int>(s.rate)));
  p.add("MAX_BPM", RL::ObjectRef(new RL::GenericType<int>(s.maxBpm)));
  p.add("MIN_BPM", RL::ObjectRef(new RL::GenericType<int>(s.minBpm)));
  p.add("VECTOR_FLAG", RL::ObjectRef(new RL::Bool(o.vectors)));
  p.add("LOG_FLAG", RL::ObjectRef(new RL::Bool(o.log)));
  p.setHostContext(RL::HostContext{o.folder, console});
  return p;
}

// Framework errors are thrown as pointers; the session throws them as TrackingError.
template <class F>
auto framework(F f) -> decltype(f()) {
  try {
    return f();
  } catch (RL::BaseException* e) {
    throw TrackingError(takeMessage(e));
  }
}

}  // namespace

NodeSession::NodeSession(std::unique_ptr<AudioReader> reader, const Settings& s, const Options& o)
    : withOnsets(o.onsets),
      withSpectrum(o.spectrum),
      withPeriodicity(o.periodicity && o.onsets && o.bands) {
  framework([&] {
    std::optional<vesk_conditioning::OnsetEnergy::Settings> onsets;
    if (o.onsets) {
      onsets.emplace();
      onsets->bands = o.bands;
      onsets->activation = o.bands && o.activation;
    }
    FrameFormat format{s.frame, s.hop, s.window, s.frontEnd, s.rate, onsets};
    if (withPeriodicity) format.periodicity = *o.periodicity;
    source =
        std::make_unique<AudioSourceNode>("source", std::move(reader), s.rate, format, o.readAhead);
    RL::_NodeFactory* factory = RL::Node::getFactoryNamed("BeatTracker");
    if (!factory) throw TrackingError("the node type \"BeatTracker\" is not registered");
    tracker.reset(
        factory->Create("beat-tracker", nodeParameters(s, o, o.console ? o.console : &discarded)));
    node = dynamic_cast<const ::BeatTracker*>(tracker.get());
    tracker->connectToNode("AUDIO", source.get(), "AUDIO");
    tracker->connectToNode("FFTAUDIO", source.get(), "FFTAUDIO");
    source->initialize();
    tracker->initialize();
    beatID = tracker->translateOutput("BEAT_DETECTED");
    tempoID = tracker->translateOutput("TEMPO");
    confidenceID = tracker->translateOutput("CONFIDENCE");
    onsetID = tracker->translateOutput("ONSET_VECTOR");
    patternID = tracker->translateOutput("STPM_VECTOR");
    chromaID = tracker->translateOutput("CHROMA_VECTOR");
    spectrumID = source->translateOutput("FFTAUDIO");
    if (beatID < 0 || tempoID < 0 || confidenceID < 0 ||
        (o.vectors && (onsetID < 0 || patternID < 0 || chromaID < 0)) || !node)
      throw TrackingError("the \"BeatTracker\" node lacks an expected output");
  });
  const IntervalRange range = DeriveIntervalRange(s.rate, s.hop, s.minBpm, s.maxBpm);
  intervals = {static_cast<int>(range.min_interval), static_cast<int>(range.max_interval)};
}

NodeSession::~NodeSession() {
  // Downstream first: the node holds references into the source.
  tracker.reset();
  source.reset();
}

bool NodeSession::next() {
  return framework([&] {
    if (!source->hasNextFrame()) return false;
    vesk_conditioning::FrameRecord& r = current;
    const int f = static_cast<int>(++r.frame);
    r.beat = RL::dereference_cast<bool>(tracker->getOutput(beatID, f));
    r.tempo = r.beat ? RL::dereference_cast<float>(tracker->getOutput(tempoID, f)) : 0.0f;
    r.confidence = RL::dereference_cast<float>(tracker->getOutput(confidenceID, f));
    r.intervalFrames = static_cast<int>(node->lastResult().now_interval);
    r.onset = withOnsets ? &source->onsetOf(f) : nullptr;
    r.periodicity = withPeriodicity ? source->periodicityOf(f) : nullptr;
    r.spectrum = withSpectrum ? givenSpectrum() : nullptr;
    return true;
  });
}

bool NodeSession::ended() const {
  return source->ended();
}

void NodeSession::vectorOutput(int id, std::vector<float>& out) const {
  framework([&] {
    auto v = RL::Conversion::convertTo<RL::Vector<float>>(
        tracker->getOutput(id, static_cast<int>(current.frame)));
    out.assign(v->begin(), v->end());
  });
}

void NodeSession::onsetVector(std::vector<float>& out) const {
  vectorOutput(onsetID, out);
}

void NodeSession::patternVector(std::vector<float>& out) const {
  vectorOutput(patternID, out);
}

void NodeSession::chromaVector(std::vector<float>& out) const {
  vectorOutput(chromaID, out);
}

std::pair<int, int> NodeSession::patternIntervals() const {
  return intervals;
}

float NodeSession::onsetStrength() const {
  return framework([&] {
    auto onset = RL::Conversion::convertTo<RL::Vector<float>>(
        tracker->getOutput(onsetID, static_cast<int>(current.frame)));
    float sum = 0.0f;
    for (float v : *onset) sum += v;
    return sum;
  });
}

const std::complex<float>* NodeSession::givenSpectrum() const {
  return framework([&] {
    auto frame = RL::Conversion::convertTo<RL::Matrix<std::complex<float>>>(
        source->getOutput(spectrumID, static_cast<int>(current.frame)));
    return frame->data();
  });
}

std::int64_t NodeSession::expectedFrames() const {
  return source->expectedFrames();
}

std::int64_t NodeSession::samplesDelivered() const {
  return source->samplesDelivered();
}

}  // namespace vesk_tracking
