#ifndef VESK_BEAT_PLOTWRITER_H
#define VESK_BEAT_PLOTWRITER_H

#include <string>
#include <vector>

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
};

// The SVG text: onset strength with the beats marked, tempo at the reliable
// beats, and confidence with the threshold, over a common time axis.
std::string renderSvg(const PlotData& data);

// Writes renderSvg() to `path`, whole or not at all. Throws OutputError.
void writePlot(const std::string& path, const PlotData& data);

}  // namespace vesk_beat

#endif
