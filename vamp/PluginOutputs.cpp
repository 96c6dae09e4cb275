#include "vamp/PluginOutputs.h"

#include <cmath>
#include <cstdio>
#include <string>

#include "node/TempoRange.h"

namespace vesk_vamp {

using Descriptor = Vamp::Plugin::OutputDescriptor;
using Vamp::RealTime;

namespace {

Descriptor describe(const char* id, const char* name, const char* description, const char* unit,
                    std::size_t bins) {
  Descriptor d;
  d.identifier = id;
  d.name = name;
  d.description = description;
  d.unit = unit;
  d.hasFixedBinCount = true;
  d.binCount = bins;
  return d;
}

// Beats fall on frames but are placed by their own time, which is not on the
// frame grid (the node's lag is taken off).
Descriptor instants(Descriptor d, double frameRate) {
  d.sampleType = Descriptor::VariableSampleRate;
  d.sampleRate = static_cast<float>(frameRate);
  return d;
}

Descriptor perFrame(Descriptor d, double frameRate) {
  d.sampleType = Descriptor::FixedSampleRate;
  d.sampleRate = static_cast<float>(frameRate);
  return d;
}

std::vector<std::string> numbered(const char* prefix, int first, int count) {
  std::vector<std::string> names;
  for (int i = 0; i < count; ++i) names.push_back(prefix + std::to_string(first + i));
  return names;
}

std::string formatted(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

Vamp::Plugin::Feature at(const RealTime& origin, double seconds) {
  Vamp::Plugin::Feature f;
  f.hasTimestamp = true;
  f.timestamp = origin + RealTime::fromSeconds(seconds);
  return f;
}

}  // namespace

std::pair<int, int> patternIntervals(const vesk_tracking::Settings& s) {
  const IntervalRange range = DeriveIntervalRange(s.rate, s.hop, s.minBpm, s.maxBpm);
  return {static_cast<int>(range.min_interval), static_cast<int>(range.max_interval)};
}

Vamp::Plugin::OutputList outputDescriptors(const vesk_tracking::Settings& s) {
  const double frameRate = static_cast<double>(s.rate) / s.hop;
  Vamp::Plugin::OutputList list;
  list.push_back(instants(
      describe("beats", "Beats", "One instant per reliable beat, labelled with its tempo", "", 0),
      frameRate));
  list.push_back(instants(describe("all_beats", "All beats",
                                   "Every beat the node signals, also below the reliability "
                                   "threshold, labelled with its confidence",
                                   "", 0),
                          frameRate));
  list.push_back(
      instants(describe("tempo", "Tempo", "The tempo of each reliable beat", "bpm", 1), frameRate));

  Descriptor confidence =
      describe("confidence", "Confidence",
               "Reliability of the beat interval on each frame: the share of recent frames "
               "whose interval agrees",
               "", 1);
  confidence.hasKnownExtents = true;
  confidence.minValue = 0.0f;
  confidence.maxValue = 1.0f;
  list.push_back(perFrame(confidence, frameRate));

  Descriptor onset = describe("onset", "Onset vector",
                              "Onset strength in each of 64 mel bands, lowest band first", "", 64);
  onset.binNames = numbered("band ", 1, 64);
  list.push_back(perFrame(onset, frameRate));

  const auto [first, end] = patternIntervals(s);
  Descriptor pattern =
      describe("stpm", "Pattern matching",
               "Pattern-matching score of each candidate beat interval, fastest tempo first", "",
               static_cast<std::size_t>(end - first));
  for (int interval = first; interval < end; ++interval)
    pattern.binNames.push_back(formatted("%.1f bpm", 60.0 * frameRate / interval));
  list.push_back(perFrame(pattern, frameRate));

  // The engine folds spectrum bins by their index measured as if it were a
  // frequency in Hz, so its classes are not the pitch classes of the notes:
  // they are named by number only.
  Descriptor chroma = describe(
      "chroma", "Chroma", "The engine's 12 chroma bins, scaled so that the strongest is 1", "", 12);
  chroma.binNames = numbered("class ", 0, 12);
  list.push_back(perFrame(chroma, frameRate));
  return list;
}

void addBeat(const vesk_tracking::BeatEvent& beat, const RealTime& origin,
             Vamp::Plugin::FeatureSet& out) {
  Vamp::Plugin::Feature any = at(origin, beat.time);
  any.label = formatted("confidence %.2f", beat.confidence);
  out[kAllBeats].push_back(any);
  if (!beat.reliable) return;
  Vamp::Plugin::Feature reliable = at(origin, beat.time);
  reliable.label = formatted("%.1f bpm", beat.tempo);
  out[kBeats].push_back(reliable);
  Vamp::Plugin::Feature tempo = at(origin, beat.time);
  tempo.values.push_back(static_cast<float>(beat.tempo));
  out[kTempo].push_back(tempo);
}

void addFrame(const vesk_tracking::FrameFeatures& frame, const RealTime& origin,
              Vamp::Plugin::FeatureSet& out) {
  Vamp::Plugin::Feature confidence = at(origin, frame.time);
  confidence.values.push_back(frame.confidence);
  out[kConfidence].push_back(std::move(confidence));
  const std::pair<Output, const std::vector<float>*> vectors[] = {
      {kOnset, &frame.onset}, {kPattern, &frame.pattern}, {kChroma, &frame.chroma}};
  for (const auto& [output, values] : vectors) {
    Vamp::Plugin::Feature f = at(origin, frame.time);
    // A frame without energy gives 0 / 0 in the chroma; hosts draw numbers.
    for (float v : *values) f.values.push_back(std::isfinite(v) ? v : 0.0f);
    out[output].push_back(std::move(f));
  }
}

}  // namespace vesk_vamp
