#include "apps/vesk-beat/output/PlotWriter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

#include "apps/vesk-beat/output/AtomicFile.h"
#include "apps/vesk-beat/output/Utf8.h"

namespace vesk_beat {

using namespace vesk_tracking;

namespace {

constexpr double kWidth = 1200, kLeft = 70, kRight = 20;
constexpr double kPlotWidth = kWidth - kLeft - kRight;

struct Panel {
  double top, height;
  double lo, hi;
  double y(double v) const {
    double share = hi > lo ? (v - lo) / (hi - lo) : 0.0;
    share = std::clamp(share, 0.0, 1.0);
    return top + height * (1.0 - share);
  }
};

std::string num(double v) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.1f", v);
  return buffer;
}

// Text for the SVG: well-formed UTF-8 without the control characters XML
// forbids, its markup characters escaped.
std::string escape(const std::string& text) {
  std::string s;
  for (char c : validUtf8(text)) {
    if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r')
      s += "\xEF\xBF\xBD";
    else if (c == '<')
      s += "&lt;";
    else if (c == '>')
      s += "&gt;";
    else if (c == '&')
      s += "&amp;";
    else if (c == '"')
      s += "&quot;";
    else
      s += c;
  }
  return s;
}

double niceStep(double span, int maxTicks) {
  static const double kSteps[] = {0.1, 0.2, 0.5, 1,   2,   5,    10,  15,
                                  30,  60,  120, 300, 600, 1200, 3600};
  for (double s : kSteps)
    if (span / s <= maxTicks) return s;
  return std::ceil(span / maxTicks / 3600) * 3600;
}

void frame(std::ostringstream& svg, const Panel& p, const std::string& label, double lo, double hi,
           const char* format) {
  svg << "<rect x='" << kLeft << "' y='" << p.top << "' width='" << kPlotWidth << "' height='"
      << p.height << "' fill='#fafafa' stroke='#999'/>\n";
  svg << "<text x='" << kLeft << "' y='" << p.top - 6 << "' font-size='13'>" << label
      << "</text>\n";
  for (double v : {lo, hi}) {
    char text[32];
    std::snprintf(text, sizeof text, format, v);
    svg << "<text x='" << kLeft - 6 << "' y='" << num(p.y(v) + 4)
        << "' font-size='11' text-anchor='end'>" << text << "</text>\n";
  }
}

// Horizontal lines and labels every 10 bpm across the tempo panel.
void tempoTicks(std::ostringstream& svg, const Panel& p) {
  for (double bpm = p.lo + 10; bpm < p.hi - 1e-9; bpm += 10)
    svg << "<line x1='" << kLeft << "' x2='" << kLeft + kPlotWidth << "' y1='" << num(p.y(bpm))
        << "' y2='" << num(p.y(bpm)) << "' stroke='#e0e0e0'/>\n<text x='" << kLeft - 6 << "' y='"
        << num(p.y(bpm) + 4) << "' font-size='11' text-anchor='end'>" << bpm << "</text>\n";
}

// One line of legend under the title: a sample of each mark and what it is.
void legend(std::ostringstream& svg, bool reference) {
  struct Item {
    const char* mark;
    const char* text;
  };
  std::vector<Item> items = {
      {"<rect x='0' y='-9' width='14' height='10' fill='#9ecae1' stroke='#3182bd'/>",
       "onset strength"},
      {"<line x1='7' x2='7' y1='-11' y2='2' stroke='#d62728' stroke-width='1.5'/>",
       "reported beat"},
      {"<line x1='7' x2='7' y1='-11' y2='2' stroke='#d62728' stroke-dasharray='2,3'/>",
       "beat below the threshold"},
      {"<circle cx='7' cy='-4' r='3' fill='#2ca02c'/>", "tempo"},
      {"<line x1='0' x2='14' y1='-4' y2='-4' stroke='#9467bd' stroke-width='1.5'/>", "confidence"},
      {"<line x1='0' x2='14' y1='-4' y2='-4' stroke='#555' stroke-dasharray='4,3'/>", "threshold"}};
  if (reference)
    items.insert(
        items.begin() + 2,
        {"<line x1='7' x2='7' y1='-11' y2='2' stroke='#000' stroke-width='2'/>", "reference beat"});
  double at = kLeft;
  for (const Item& item : items) {
    svg << "<g transform='translate(" << num(at) << ",44)'>" << item.mark << "<text x='19' y='0' "
        << "font-size='11'>" << item.text << "</text></g>\n";
    at += 30 + 6.2 * std::string(item.text).size();
  }
}

// Columns of the plot: for each pixel the largest value of the frames it covers.
std::vector<double> columns(const std::vector<float>& values, bool largest) {
  std::vector<double> out(static_cast<std::size_t>(kPlotWidth), 0.0);
  if (values.empty()) return out;
  for (std::size_t c = 0; c < out.size(); ++c) {
    std::size_t a = c * values.size() / out.size();
    std::size_t b = std::max(a + 1, (c + 1) * values.size() / out.size());
    double v = largest ? 0.0 : values[std::min(a, values.size() - 1)];
    if (largest)
      for (std::size_t i = a; i < b && i < values.size(); ++i)
        v = std::max(v, std::isfinite(values[i]) ? static_cast<double>(values[i]) : 0.0);
    out[c] = std::isfinite(v) ? v : 0.0;
  }
  return out;
}

}  // namespace

std::string renderSvg(const PlotData& d) {
  const double duration = std::max(d.frameSeconds * static_cast<double>(d.onset.size()),
                                   d.frameSeconds * static_cast<double>(d.confidence.size()));
  const double span = duration > 0 ? duration : 1.0;
  auto x = [&](double t) { return kLeft + kPlotWidth * std::clamp(t / span, 0.0, 1.0); };

  std::vector<double> onset = columns(d.onset, true);
  std::vector<double> confidence = columns(d.confidence, false);
  double onsetMax = 0.0;
  for (double v : onset) onsetMax = std::max(onsetMax, v);
  if (onsetMax <= 0.0) onsetMax = 1.0;

  double tempoLo = 1e9, tempoHi = -1e9;
  for (const BeatEvent& b : d.beats)
    if (b.reliable && std::isfinite(b.tempo)) {
      tempoLo = std::min(tempoLo, b.tempo);
      tempoHi = std::max(tempoHi, b.tempo);
    }
  if (tempoLo > tempoHi) tempoLo = 60, tempoHi = 180;
  tempoLo = std::floor(tempoLo / 10) * 10 - 10;
  tempoHi = std::ceil(tempoHi / 10) * 10 + 10;

  const Panel onsetPanel{75, 220, 0.0, onsetMax};
  const Panel tempoPanel{330, 140, tempoLo, tempoHi};
  const Panel confidencePanel{505, 110, 0.0, 1.0};
  const double height = 665;

  std::ostringstream svg;
  svg << "<?xml version='1.0' encoding='UTF-8'?>\n"
      << "<svg xmlns='http://www.w3.org/2000/svg' width='" << kWidth << "' height='" << height
      << "' viewBox='0 0 " << kWidth << " " << height
      << "' font-family='sans-serif'>\n<rect width='100%' height='100%' fill='white'/>\n";
  svg << "<text x='" << kLeft << "' y='24' font-size='16' font-weight='bold'>" << escape(d.title)
      << "</text>\n";

  legend(svg, !d.reference.empty());
  frame(svg, onsetPanel, "onset strength and beats", 0.0, onsetMax, "%.3g");
  frame(svg, tempoPanel, "tempo (bpm) at reliable beats", tempoLo, tempoHi, "%.0f");
  tempoTicks(svg, tempoPanel);
  frame(svg, confidencePanel, "confidence (dashed: threshold)", 0.0, 1.0, "%.1f");

  // Onset strength as a filled area.
  svg << "<path fill='#9ecae1' stroke='#3182bd' stroke-width='0.6' d='M" << kLeft << ","
      << onsetPanel.y(0);
  for (std::size_t c = 0; c < onset.size(); ++c)
    svg << " L" << num(kLeft + c + 0.5) << "," << num(onsetPanel.y(onset[c]));
  svg << " L" << kLeft + kPlotWidth << "," << onsetPanel.y(0) << " Z'/>\n";

  // Beat markers: solid for reliable beats, dotted below the threshold.
  for (const BeatEvent& b : d.beats)
    svg << "<line x1='" << num(x(b.time)) << "' x2='" << num(x(b.time)) << "' y1='"
        << onsetPanel.top << "' y2='" << onsetPanel.top + onsetPanel.height
        << "' stroke='#d62728' stroke-width='1'" << (b.reliable ? "" : " stroke-dasharray='2,3'")
        << "/>\n";

  // Known beats: black ticks along the bottom of the panel, under the reported ones.
  const double tickTop = onsetPanel.top + onsetPanel.height * 0.8;
  for (double t : d.reference)
    if (t <= span)
      svg << "<line x1='" << num(x(t)) << "' x2='" << num(x(t)) << "' y1='" << num(tickTop)
          << "' y2='" << onsetPanel.top + onsetPanel.height
          << "' stroke='#000' stroke-width='2'/>\n";

  // Tempo at the reliable beats.
  for (const BeatEvent& b : d.beats)
    if (b.reliable)
      svg << "<circle cx='" << num(x(b.time)) << "' cy='" << num(tempoPanel.y(b.tempo))
          << "' r='2.5' fill='#2ca02c'/>\n";

  // Confidence and threshold.
  svg << "<polyline fill='none' stroke='#9467bd' stroke-width='1.2' points='";
  for (std::size_t c = 0; c < confidence.size() && !d.confidence.empty(); ++c)
    svg << num(kLeft + c + 0.5) << "," << num(confidencePanel.y(confidence[c])) << " ";
  svg << "'/>\n";
  svg << "<line x1='" << kLeft << "' x2='" << kLeft + kPlotWidth << "' y1='"
      << num(confidencePanel.y(d.threshold)) << "' y2='" << num(confidencePanel.y(d.threshold))
      << "' stroke='#555' stroke-dasharray='6,4'/>\n";

  // Time axis under the last panel.
  const double step = niceStep(span, 12);
  const double axisY = confidencePanel.top + confidencePanel.height;
  for (double t = 0; t <= span + 1e-9; t += step) {
    svg << "<line x1='" << num(x(t)) << "' x2='" << num(x(t)) << "' y1='" << axisY << "' y2='"
        << axisY + 5 << "' stroke='#333'/>\n";
    svg << "<text x='" << num(x(t)) << "' y='" << axisY + 18
        << "' font-size='11' text-anchor='middle'>" << num(t) << "</text>\n";
  }
  svg << "<text x='" << kLeft + kPlotWidth / 2 << "' y='" << axisY + 36
      << "' font-size='12' text-anchor='middle'>time (s)</text>\n";
  svg << "</svg>\n";
  return svg.str();
}

void writePlot(const std::string& path, const PlotData& data) {
  AtomicFile file(path);
  file.write(renderSvg(data));
  file.commit();
}

}  // namespace vesk_beat
