#ifndef VESK_CONDITIONING_OFFBEATCORRECTOR_H
#define VESK_CONDITIONING_OFFBEATCORRECTOR_H

#include <complex>
#include <cstddef>
#include <vector>

namespace vesk_conditioning {

// A stage after the beat tracker. On music whose off-beats are accented
// (a hi-hat or a skank between the kicks, a syncopated bass) the tracker may
// settle on the right interval and the wrong phase, half an interval off;
// and it falls silent whenever its reliability dips for a moment. This stage
// follows the tracker's beats and:
// - measures, over the last few seconds, how much more onset energy (bass
//   weighted) lies half an interval after its beats than on them, and when
//   the off-beat clearly wins for two beats running, reports every beat half
//   an interval later (until the evidence turns back);
// - keeps reporting the beats the tracker signals below its threshold while
//   their interval stays that of the last reliable beat, for a few seconds;
// - reports nothing while the input is digitally silent.
// Causal: a beat moved to the off-beat is reported on the frame it falls due,
// never earlier; no look-ahead. Allocates only when constructed.
class OffBeatCorrector {
 public:
  struct Settings {
    double switchRatio = 1.4;     // off-beat over on-beat energy that moves the phase
    double bridgeSeconds = 4.0;   // how long unreliable beats are kept after a reliable one
    double historySeconds = 6.0;  // the onset energy compared
    int phases = 2;               // grid phases weighed: 2 halves, or 4 quarters
  };

  // A beat to report on the current frame.
  struct Beat {
    bool due = false;
    int intervalFrames = 0;  // the beat interval it follows
  };

  // `bins` of each spectrum; `frameRate` frames per second; `binHz` the
  // width of a bin. Throws std::invalid_argument for values that are not
  // positive.
  OffBeatCorrector(const Settings& settings, std::size_t bins, double frameRate, double binHz);

  // One frame: its spectrum (as the tracker saw it) and the tracker's
  // decision on it (a beat, whether reliable, and its interval in frames).
  // Returns the beat to report on this frame, if any.
  Beat process(const std::complex<float>* spectrum, bool trackerBeat, bool reliable,
               int intervalFrames);

 private:
  double onsetAt(long frame) const;  // the onset energy of a past frame, 0 when forgotten
  double energyAround(long frame, int interval) const;

  Settings settings;
  std::size_t bins;
  std::size_t bassBins;                // the bins whose onsets count
  std::vector<float> lastLog;          // log magnitude per bin, previous frame
  std::vector<float> logNow, riseNow;  // scratch, per bin
  std::vector<float> bassWeight;       // per bin
  std::vector<double> onsets;          // ring of onset energy per frame
  long frame = -1;
  bool silent = true;
  int phase = 0;         // the reported grid lags the tracker's by phase / phases of an interval
  int candidate = 0;     // the phase the last beat's evidence favoured
  int votes = 0;         // beats in a row whose evidence disagrees with the phase
  long pendingDue = -1;  // a moved beat waiting for its frame
  int pendingInterval = 0;
  long lastReliable = -1000000;  // frame of the last reliable beat
  int reliableInterval = 0;
  long bridgeFrames;
};

}  // namespace vesk_conditioning

#endif
