#ifndef VESK_VAMP_PLUGINOUTPUTS_H
#define VESK_VAMP_PLUGINOUTPUTS_H

#include <vamp-sdk/Plugin.h>
#include <utility>

#include "tracking/LiveTracker.h"
#include "tracking/Settings.h"

namespace vesk_vamp {

// The outputs, by their index in the descriptor list.
enum Output { kBeats, kAllBeats, kTempo, kConfidence, kOnset, kPattern, kChroma };

// The beat intervals, in frames, of the pattern vector's first entry and one
// past its last, as the node derives them from these settings.
std::pair<int, int> patternIntervals(const vesk_tracking::Settings& settings);

Vamp::Plugin::OutputList outputDescriptors(const vesk_tracking::Settings& settings);

// The features of a beat and of a frame, at `origin` (the time of the host's
// first block) plus their own time.
void addBeat(const vesk_tracking::BeatEvent& beat, const Vamp::RealTime& origin,
             Vamp::Plugin::FeatureSet& out);
void addFrame(const vesk_tracking::FrameFeatures& frame, const Vamp::RealTime& origin,
              Vamp::Plugin::FeatureSet& out);

}  // namespace vesk_vamp

#endif
