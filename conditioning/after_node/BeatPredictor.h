#ifndef VESK_CONDITIONING_BEATPREDICTOR_H
#define VESK_CONDITIONING_BEATPREDICTOR_H

#include <complex>
#include <cstddef>
#include <vector>

#include "conditioning/after_node/OnsetEnergy.h"

namespace vesk_conditioning {

// A stage after the beat tracker that places the beats itself, at the
// tracker's beat interval (the metrical level it held most of late: see
// intervalMemorySeconds). The tracker is good at the interval and often
// wrong about the phase (on the off-beat, or drifting), and it falls silent
// whenever its reliability dips; this stage keeps a cumulative beat score:
// each frame's onset energy plus the best score one interval back (weighted
// by how close the distance is to the interval). Half an interval after each
// beat it predicts the next one: where the score, continued without new
// onsets, peaks near one interval after the last beat. The beat is reported
// when its frame comes, never earlier: causal, no look-ahead (a beat held
// back where the music may have stopped is reported later, if at all).
// Beats are reported while the tracker has given a reliable beat within
// `bridgeSeconds`, never in digital silence; a beat placed just before the
// tracker's beats resume is reported when they do, late (Beat::framesLate).
// Allocates only when constructed.
class BeatPredictor {
 public:
  struct Settings {
    double tightness = 7.0;      // how sharply the score prefers one interval back
    double pastWeight = 0.9;     // share of the past score in the cumulative score
    double expectWidth = 0.5;    // spread, in intervals, of where the next beat is expected
    double bridgeSeconds = 8.0;  // beats go on this long after the tracker's last reliable one
    // How long the tracker's intervals are remembered when the stage picks
    // its own: the tracker often flips for a few seconds to twice, half or
    // 3/2 of its interval; the stage keeps the interval the tracker held
    // most over this time, and moves to another only when that one clearly
    // wins. 0: the tracker's interval of each frame, as it is.
    double intervalMemorySeconds = 6.0;
    // Beats stop when the music stops pulsing: once no onset of at least
    // pulseShare of the beats' usual onset has come for pulseBeats intervals
    // (the last notes ring out, a song ends on a held chord, the tail of a
    // room), until one comes again. 0: beats go on over the whole bridge.
    double pulseBeats = 0.0;
    double pulseShare = 0.3;
    // Once the pulse has stopped, the share of the usual onset that brings it
    // back: the noise under a recording flickers up to half of it after the
    // music has ended. 0: pulseShare.
    double restartShare = 0.0;
    // With pulseBeats: a beat whose last clear onset came more than
    // doubtBeats intervals before it is held back until one comes, within
    // confirmBeats intervals after it, and reported then, late; else never.
    // The music may have just stopped (a groove's last hit), or left the beat
    // bare for a moment. 0: reported at once.
    double doubtBeats = 0.0;
    double confirmBeats = 0.5;
    OnsetEnergy::Settings onsets;
  };
  // The beats are placed on the frames where onsets rise, which the time of a
  // frame's beat (a hop and a quarter window before the frame's end) puts
  // 15 ms early, measured against exact annotations: hosts add this to the
  // time of the predictor's beats.
  static constexpr double kOnsetLagSeconds = 0.015;
  // The longest interval served, in frames; longer ones are not followed.
  static constexpr long kLongestInterval = 600;
  struct Beat {
    bool due = false;
    int intervalFrames = 0;
    // Frames since the beat's own frame: 0, except for a beat placed just
    // before the tracker's beats resumed, which is reported then, late.
    int framesLate = 0;
    // A beat placed on this frame but held back (Settings::doubtBeats).
    bool held = false;
    // This beat is one held back, now reported (framesLate after its frame).
    bool confirmed = false;
  };

  // `bins` of each spectrum, `frameRate` frames per second, `binHz` the width
  // of a bin. Throws std::invalid_argument for values out of range.
  BeatPredictor(const Settings& settings, std::size_t bins, double frameRate, double binHz);

  // One frame: its spectrum (as the tracker saw it), whether the tracker
  // reported a reliable beat on it, and the interval it measures (frames,
  // 0 before any). Returns the beat to report on this frame, if any.
  Beat process(const std::complex<float>* spectrum, bool reliableBeat, int intervalFrames);
  // The same with the frame's onset energy computed by the host (an
  // OnsetEnergy of settings.onsets fed every frame's spectrum).
  Beat process(const OnsetEnergy::Value& onset, bool reliableBeat, int intervalFrames);

  // The frame of the next beat as it stands: the one predicted, or until
  // that prediction is made, one interval after the last beat. -1 while no
  // beat is expected (none placed yet, silence, no reliable beat from the
  // tracker within the bridge, or the pulse has stopped). A beat is reported
  // on it only if the music sounds then; reading it changes nothing.
  long expectedBeat() const;
  int beatInterval() const { return interval; }
  // The beats move `frames` later (earlier if negative) from the next one on,
  // at the interval of the next frame: a host found them on the off-beat, or
  // on the weaker of two beats when it halves the tempo. With 0, the next beat
  // is predicted afresh, at that interval, from the last.
  void shiftBeats(long frames);

 private:
  double bestPast(long at) const;
  void predict();
  void setInterval(int frames);
  int heldInterval(int trackerInterval);
  bool bridged() const;  // the tracker gave a reliable beat within the bridge
  bool mayReport() const;
  // A clear onset has come within the pulse's reach of frame `at`.
  bool pulsingAt(long at) const;
  void notePulse(double onset);
  double votesNear(int frames) const;

  Settings settings;
  OnsetEnergy onsets;
  std::vector<double> score;        // ring of cumulative scores per frame
  std::vector<double> future;       // scores continued past the present, for a prediction
  std::vector<double> weights;      // of a past score by its distance, for the interval
  std::vector<double> backWeights;  // the same from the furthest distance down
  std::vector<double> votes;        // the tracker's intervals of past frames, decaying
  double voteGain = 1.0;            // weight of this frame's vote; grows instead of decaying all
  double voteGrowth = 1.0;
  long frame = -1;
  long silentFrames = 1L << 30;  // frames of digital silence up to now: all, at the start
  long lastReliable = -1000000;
  long bridgeFrames;
  long silentLimit;
  long lateLimit;                           // frames a beat may be reported late
  double recent[4] = {0.0, 0.0, 0.0, 0.0};  // the last frames' onset energy
  double beatOnset = 0.0;                   // usual onset energy on a beat
  long lastPulse = -1000000;                // frame of the last clear onset
  long heldBeat = -1;                       // frame of the beat held back, if any
  long lastBeat = -1;                       // frame of the last beat placed
  long predictAt = -1;                      // frame on which the next beat is predicted
  long nextBeat = -1;                       // frame of the predicted beat
  int interval = 0;                         // the interval the beats follow
};

}  // namespace vesk_conditioning

#endif
