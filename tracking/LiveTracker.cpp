#include "tracking/LiveTracker.h"

#include <stdexcept>

#include "tracking/SettingError.h"
#include "tracking/input/PushedAudio.h"
#include "tracking/network/NodeSession.h"
#include "tracking/network/WorkingDirectory.h"

namespace vesk_tracking {

namespace {

std::unique_ptr<PushedAudio> pushedAudio(int rate, int channels) {
  try {
    return std::make_unique<PushedAudio>(channels, rate);
  } catch (const std::invalid_argument& e) {
    throw SettingError(e.what());
  }
}

}  // namespace

LiveTracker::LiveTracker(int sampleRate, int channelCount, const Settings& s, const Options& o)
    : inputRate(sampleRate),
      channelCount(channelCount),
      trackSettings(s),
      features(o.features),
      picker(s, o.picking) {
  std::unique_ptr<PushedAudio> input = pushedAudio(sampleRate, channelCount);
  audio = input.get();
  NodeSession::Options network;
  network.readAhead = false;  // the host hands the audio over in its own thread
  network.vectors = o.features;
  network.log = false;
  network.onsets = picker.usesOnsets();
  if (o.folder.empty()) privateDir = std::make_unique<TemporaryDirectory>("vesk-track");
  network.folder = o.folder.empty() ? privateDir->path() : o.folder;
  session = std::make_unique<NodeSession>(std::move(input), s, network);
}

LiveTracker::~LiveTracker() {
  session.reset();  // before its folder goes
}

double LiveTracker::frameSeconds() const {
  return picker.time().frameSeconds();
}

std::pair<int, int> LiveTracker::patternIntervals() const {
  return session->patternIntervals();
}

double LiveTracker::seconds() const {
  return picker.time().seconds(session->samplesDelivered());
}

void LiveTracker::process(const float* samples, std::size_t frames, std::vector<BeatEvent>& beats) {
  if (done) throw std::logic_error("audio given to a tracker after finish()");
  audio->push(samples, frames);
  computeFrames(beats);
}

void LiveTracker::finish(std::vector<BeatEvent>& beats) {
  if (done) return;
  audio->close();
  computeFrames(beats);
  done = true;
}

void LiveTracker::computeFrames(std::vector<BeatEvent>& beats) {
  while (session->next()) {
    ++frameCount;
    if (features) {
      FrameFeatures f;
      f.frame = session->frame();
      f.time = picker.time().span(f.frame);
      f.confidence = session->confidence();
      const int interval = session->intervalFrames();
      if (interval > 0) f.tempo = 60.0 / picker.time().span(interval);
      session->onsetVector(f.onset);
      session->patternVector(f.pattern);
      session->chromaVector(f.chroma);
      pending.push_back(std::move(f));
    }
    if (std::optional<BeatEvent> beat = picker.pick(*session)) {
      counter.add(*beat);
      beats.push_back(std::move(*beat));
    }
  }
}

void LiveTracker::takeFeatures(std::vector<FrameFeatures>& out) {
  for (FrameFeatures& f : pending) out.push_back(std::move(f));
  pending.clear();
}

FileSummary LiveTracker::summary(const std::string& name) const {
  return counter.result(name, seconds());
}

}  // namespace vesk_tracking
