#ifndef VESK_CONDITIONING_TEMPOFILTER_H
#define VESK_CONDITIONING_TEMPOFILTER_H

#include <cstddef>
#include <vector>

namespace vesk_conditioning {

// Which beat period the music has now, as a probability over periods spaced
// 1 % apart: a causal forward filter. Each update the belief spreads a little
// (a tempo drifts), and a small share goes to every period (a tempo can
// change at once), then it is weighed by the evidence: the comb over the
// onsets, the period the beat tracker measured, and a prior over tempi
// (listeners tap between about 80 and 160 BPM; log-normal, its centre and
// width below). A level is
// taken when its evidence has outweighed the held one for a while, so it
// neither flips on a fill nor sticks after a real change.
class TempoFilter {
 public:
  struct Settings {
    double spreadStates = 1.4;    // the drift per update, in states (1 % each)
    double jump = 1e-5;           // share of the belief moved to any period per update
    double sharpness = 24.0;      // how strongly the comb's evidence counts
    double priorBpm = 135.0;      // the prior's centre
    double priorOctaves = 0.7;    // its width (standard deviation, octaves)
    double trackerWeight = 15.0;  // extra weight of the tracker's period (15: 16 times as likely)
    double trackerTolerance = 0.03;  // relative width of the tracker's period
  };

  // Periods from `shortest` to `longest` frames; `frameRate` to turn them into
  // tempi. Throws std::invalid_argument for values out of range.
  TempoFilter(const Settings& settings, double shortest, double longest, double frameRate);

  std::size_t states() const { return periods.size(); }
  double period(std::size_t state) const { return periods[state]; }

  // One update: `comb` holds the comb's value per state, `trackerPeriod` the
  // tracker's period in frames (0: none).
  void update(const std::vector<double>& comb, double trackerPeriod);
  // The most probable period, interpolated between states.
  double best() const;
  std::size_t bestState() const;

 private:
  Settings settings;
  std::vector<double> periods, prior, belief, spread, kernel;
  std::vector<double> tracker;  // the tracker's weight per period
  double lastTrackerPeriod = 0.0;
  int reach;
};

}  // namespace vesk_conditioning

#endif
