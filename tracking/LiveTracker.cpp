#include "tracking/LiveTracker.h"

#include <stdexcept>

#include "tracking/SettingError.h"
#include "tracking/input/PushedAudio.h"

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
    : inputRate(sampleRate), channelCount(channelCount), trackSettings(s), features(o.features) {
  std::unique_ptr<PushedAudio> input = pushedAudio(sampleRate, channelCount);
  audio = input.get();
  TrackingCore::Options options;
  options.stage = o.stage;
  options.readAhead = false;  // the host hands the audio over in its own thread
  options.vectors = o.features;
  options.folder = o.folder;
  core = std::make_unique<TrackingCore>(std::move(input), s, options);
}

LiveTracker::~LiveTracker() = default;

double LiveTracker::frameSeconds() const {
  return core->time().frameSeconds();
}

std::pair<int, int> LiveTracker::patternIntervals() const {
  return core->node().patternIntervals();
}

double LiveTracker::seconds() const {
  return core->seconds();
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
  while (core->next()) {
    ++frameCount;
    if (features) {
      pending.push_back(frameFeatures(*core));
    }
    if (core->beat()) beats.push_back(*core->beat());
  }
}

void LiveTracker::takeFeatures(std::vector<FrameFeatures>& out) {
  for (FrameFeatures& f : pending) out.push_back(std::move(f));
  pending.clear();
}

}  // namespace vesk_tracking
