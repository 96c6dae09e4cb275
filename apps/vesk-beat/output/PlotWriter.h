#ifndef VESK_BEAT_PLOTWRITER_H
#define VESK_BEAT_PLOTWRITER_H

#include <string>
#include <vector>

#include "apps/vesk-beat/output/BeatSink.h"
#include "tracking/beats/BeatEvent.h"

namespace vesk_beat {

// Everything the picture of one input shows, one value per frame.
struct PlotData {
  std::string title;
  double frameSeconds = 0.01;     // hop / rate
  std::vector<float> onset;       // onset strength: the sum of the onset vector
  std::vector<float> confidence;  // "CONFIDENCE" of every frame
  std::vector<vesk_tracking::BeatEvent> beats;
  double threshold = 0.5;
  std::vector<double> reference;  // known beat times (seconds), drawn over the beats
};

// The SVG text: onset strength with the beats marked, tempo at the reliable
// beats, and confidence with the threshold, over a common time axis.
std::string renderSvg(const PlotData& data);

// Writes renderSvg() to `path`, whole or not at all. Throws OutputError.
void writePlot(const std::string& path, const PlotData& data);

// Gathers every frame's onset strength and confidence and every beat, and
// draws them when the input has ended.
class PlotSink : public BeatSink {
 public:
  PlotSink(std::string path, PlotData empty) : path(std::move(path)), data(std::move(empty)) {}
  bool wantsFrames() const override { return true; }
  void frame(std::int64_t, float onsetStrength, float confidence) override {
    data.onset.push_back(onsetStrength);
    data.confidence.push_back(confidence);
  }
  void beat(const vesk_tracking::BeatEvent& event) override { data.beats.push_back(event); }
  void finish() override { writePlot(path, data); }

 private:
  std::string path;
  PlotData data;
};

}  // namespace vesk_beat

#endif
