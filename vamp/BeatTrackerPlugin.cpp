#include "vamp/BeatTrackerPlugin.h"

#include <cmath>
#include <iostream>
#include <sstream>

#include "tracking/SettingError.h"
#include "vamp/PluginOutputs.h"

namespace vesk_vamp {

namespace {

// Messages go to std::cerr, the only channel Vamp leaves a plug-in.
void complain(const std::string& what) {
  std::cerr << "vesk-music:beattracker: " << what << std::endl;
}

}  // namespace

BeatTrackerPlugin::BeatTrackerPlugin(float inputSampleRate) : Vamp::Plugin(inputSampleRate) {}

BeatTrackerPlugin::~BeatTrackerPlugin() {
  stop();
}

std::string BeatTrackerPlugin::getDescription() const {
  return "Beats, tempo, confidence and the node's onset, pattern-matching and chroma vectors, "
         "as vesk-beat finds them";
}

std::string BeatTrackerPlugin::getCopyright() const {
  return "libvesk-music " VESK_VAMP_VERSION "; licence: " VESK_VAMP_LICENSE;
}

int BeatTrackerPlugin::getPluginVersion() const {
  return VESK_VAMP_VERSION_MAJOR;
}

Vamp::Plugin::OutputList BeatTrackerPlugin::getOutputDescriptors() const {
  // Hosts ask before initialise, with any values; the tool's defaults stand
  // in for values the tracker would refuse.
  try {
    return outputDescriptors(trackingSettings(values).settings);
  } catch (const vesk_tracking::SettingError&) {
    return outputDescriptors(vesk_tracking::Settings());
  }
}

std::string BeatTrackerPlugin::refusal(size_t channelCount, size_t step, size_t block) const {
  std::ostringstream m;
  const float rate = getInputSampleRate();
  if (!(rate >= 1.0f && rate <= 1e7f) || rate != std::round(rate))
    m << "input sample rate " << rate << ": expected a whole number of Hz";
  else if (channelCount < 1 || channelCount > kMaxChannels)
    m << "channel count " << channelCount << ": expected 1.." << kMaxChannels;
  else if (block < 1 || block > (1u << 24))
    m << "block size " << block << ": expected 1.." << (1u << 24);
  else if (step < 1 || step > block)
    m << "step size " << step << ": expected 1.." << block
      << " (no longer than the block, so that no audio is skipped)";
  return m.str();
}

bool BeatTrackerPlugin::initialise(size_t channelCount, size_t step, size_t block) {
  stop();
  failed = false;
  const std::string why = refusal(channelCount, step, block);
  if (!why.empty()) {
    complain(why);
    return false;
  }
  try {
    const vesk_tracking::TrackingSettings checked = trackingSettings(values);
    settings = checked.settings;
    afterNode = checked.stage.afterNode;
  } catch (const vesk_tracking::SettingError& e) {
    complain(e.what());
    return false;
  }
  channels = static_cast<int>(channelCount);
  blockSize = block;
  try {
    start();
  } catch (const std::exception& e) {
    complain(e.what());
    return false;
  }
  return true;
}

void BeatTrackerPlugin::start() {
  vesk_tracking::LiveTracker::Options options;
  // The all_beats output; the others take the reliable ones.
  options.stage = {afterNode, true};
  options.features = true;
  const int rate = static_cast<int>(getInputSampleRate());
  tracker = std::make_unique<vesk_tracking::LiveTracker>(rate, channels, settings, options);
  blocks.emplace(channels, blockSize, rate);
}

void BeatTrackerPlugin::stop() {
  tracker.reset();
  blocks.reset();
}

void BeatTrackerPlugin::reset() {
  if (!tracker && !failed) return;  // not initialised
  stop();
  failed = false;
  try {
    start();
  } catch (const std::exception& e) {
    complain(e.what());
    failed = true;
  }
}

void BeatTrackerPlugin::collect(std::vector<vesk_tracking::BeatEvent>& beats, FeatureSet& out) {
  for (const vesk_tracking::BeatEvent& beat : beats) addBeat(beat, blocks->origin(), out);
  std::vector<vesk_tracking::FrameFeatures> frames;
  tracker->takeFeatures(frames);
  for (const vesk_tracking::FrameFeatures& frame : frames) addFrame(frame, blocks->origin(), out);
}

Vamp::Plugin::FeatureSet BeatTrackerPlugin::process(const float* const* inputBuffers,
                                                    Vamp::RealTime timestamp) {
  FeatureSet out;
  if (!tracker || failed || tracker->finished()) return out;
  const std::vector<float>& samples = blocks->take(inputBuffers, timestamp);
  std::vector<vesk_tracking::BeatEvent> beats;
  try {
    tracker->process(samples.data(), blocks->frames(), beats);
  } catch (const std::exception& e) {
    // No exception may cross into the host.
    complain(e.what());
    failed = true;
  }
  collect(beats, out);
  return out;
}

Vamp::Plugin::FeatureSet BeatTrackerPlugin::getRemainingFeatures() {
  FeatureSet out;
  if (!tracker || failed) return out;
  std::vector<vesk_tracking::BeatEvent> beats;
  try {
    tracker->finish(beats);
  } catch (const std::exception& e) {
    complain(e.what());
    failed = true;
  }
  collect(beats, out);
  return out;
}

}  // namespace vesk_vamp
