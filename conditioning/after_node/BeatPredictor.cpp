#include "conditioning/after_node/BeatPredictor.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <stdexcept>

namespace vesk_conditioning {

namespace {
constexpr long kLongestInterval = BeatPredictor::kLongestInterval;
// A second and a half of digital silence (longer than any beat interval,
// so that the gaps between clicks do not count) ends the beat.
constexpr double kForgetSeconds = 1.5;
// The tracker signals its beat a few frames after the onset the predictor
// places it on: when the tracker's beats resume, a beat placed this recently
// is reported then (late, with its own time) rather than dropped.
constexpr double kLateSeconds = 0.05;
// Per beat placed where the music does not pulse, of the usual beat onset.
constexpr double kUnpulsedDecay = 0.95;
// Frames of score kept: a power of two above three of the longest intervals,
// so that a frame's place in the ring is a mask.
constexpr std::size_t kScoreFrames = 2048;
// Intervals within 6 % of each other are one metrical level, and another
// level must have half as many votes again as the held one to take over.
constexpr double kSameLevel = 0.06;
constexpr double kSwitchMargin = 1.5;
static_assert(kScoreFrames >= 3 * kLongestInterval + 8 && (kScoreFrames & (kScoreFrames - 1)) == 0,
              "the score ring holds three intervals and is a power of two");
}  // namespace

BeatPredictor::BeatPredictor(const Settings& s, std::size_t binCount, double frameRate,
                             double binHz)
    : settings(s),
      onsets(s.onsets, binCount, binHz),
      score(kScoreFrames, 0.0),
      future(2 * kLongestInterval + 8, 0.0),
      weights(2 * kLongestInterval + 1, 0.0),
      backWeights(2 * kLongestInterval + 1, 0.0),
      votes(kLongestInterval + 1, 0.0) {
  if (!(frameRate > 0.0) || !(s.tightness > 0.0) || !(s.pastWeight >= 0.0 && s.pastWeight < 1.0) ||
      !(s.expectWidth > 0.0) || !(s.bridgeSeconds >= 0.0) || !(s.intervalMemorySeconds >= 0.0) ||
      !(s.pulseBeats >= 0.0) || !(s.pulseShare >= 0.0) || !(s.doubtBeats >= 0.0) ||
      !(s.confirmBeats >= 0.0 && s.confirmBeats < 1.0) || !(s.restartShare >= 0.0))
    throw std::invalid_argument("BeatPredictor: frame rate and settings out of range");
  bridgeFrames = static_cast<long>(s.bridgeSeconds * frameRate);
  silentLimit = static_cast<long>(kForgetSeconds * frameRate);
  lateLimit = static_cast<long>(kLateSeconds * frameRate);
  if (s.intervalMemorySeconds > 0.0)
    voteGrowth = std::exp(1.0 / (s.intervalMemorySeconds * frameRate));
}

double BeatPredictor::votesNear(int frames) const {
  const long low = std::max(2L, std::lround(frames * (1.0 - kSameLevel)));
  const long high = std::min(kLongestInterval, std::lround(frames * (1.0 + kSameLevel)));
  double sum = 0.0;
  for (long d = low; d <= high; ++d) sum += votes[static_cast<std::size_t>(d)];
  return sum;
}

int BeatPredictor::heldInterval(int trackerInterval) {
  if (settings.intervalMemorySeconds <= 0.0) return trackerInterval;
  // Older votes decay: rather than scaling every vote down each frame, each
  // new vote weighs more, and all are scaled back now and then.
  voteGain *= voteGrowth;
  if (voteGain > 1e200) {
    for (double& v : votes) v /= voteGain;
    voteGain = 1.0;
  }
  votes[static_cast<std::size_t>(trackerInterval)] += voteGain;
  if (interval == 0) return trackerInterval;
  // Near the held interval the tracker's own is followed as it is (a tempo
  // drifts); another level is taken when its votes clearly win.
  if (std::abs(trackerInterval - interval) <= kSameLevel * interval) return trackerInterval;
  const double held = votesNear(interval);
  const double other = votesNear(trackerInterval);
  return other > kSwitchMargin * held ? trackerInterval : interval;
}

double BeatPredictor::bestPast(long at) const {
  // The best earlier score, weighted by how near its distance is to one
  // interval on a log scale: half and double the interval are the limits.
  // Distances shorter than `ahead` reach a score continued past the present.
  double best = 0.0;
  const long first = std::max(1L, std::lround(interval / 2.0));
  const long last = 2L * interval;
  const long ahead = at - frame;
  long d = first;
  for (; d <= last && d < ahead; ++d) {
    const double v = future[static_cast<std::size_t>(ahead - d - 1)];
    if (v > best) best = std::max(best, v * weights[static_cast<std::size_t>(d)]);  // weight <= 1
  }
  // The rest lie in the ring. Where they are contiguous (nearly always), a
  // loop over them side by side; a maximum is exact in any order.
  const long end = std::min(last, at);  // the furthest distance with a score
  if (d <= end) {
    const std::size_t from = static_cast<std::size_t>(at - end) & (kScoreFrames - 1);
    const std::size_t count = static_cast<std::size_t>(end - d + 1);
    if (from + count <= kScoreFrames) {
      const double* v = &score[from];
      const double* w = &backWeights[static_cast<std::size_t>(last - end)];
      double lanes[4] = {best, 0.0, 0.0, 0.0};
      std::size_t i = 0;
      for (; i + 4 <= count; i += 4)
        for (std::size_t j = 0; j < 4; ++j) lanes[j] = std::max(lanes[j], v[i + j] * w[i + j]);
      for (; i < count; ++i) lanes[0] = std::max(lanes[0], v[i] * w[i]);
      return std::max(std::max(lanes[0], lanes[1]), std::max(lanes[2], lanes[3]));
    }
  }
  for (; d <= end; ++d) {
    const double v = score[static_cast<std::size_t>(at - d) & (kScoreFrames - 1)];
    if (v > best) best = std::max(best, v * weights[static_cast<std::size_t>(d)]);
  }
  return best;
}

void BeatPredictor::setInterval(int frames) {
  if (frames == interval) return;
  interval = frames;
  const double tau = interval;
  for (long d = 1; d <= 2 * interval; ++d) {
    const double x = settings.tightness * std::log(static_cast<double>(d) / tau);
    weights[static_cast<std::size_t>(d)] = std::exp(-0.5 * x * x);
  }
  for (long i = 0; i < 2 * interval; ++i)
    backWeights[static_cast<std::size_t>(i)] = weights[static_cast<std::size_t>(2 * interval - i)];
}

void BeatPredictor::predict() {
  const double tau = interval;
  // Where the next beat is expected: one interval after the last; at the
  // start, anywhere within the next interval.
  const bool expect = lastBeat >= 0;
  const double centre = expect ? static_cast<double>(lastBeat + interval - frame) : 0.0;
  const long reach = expect ? std::min<long>(std::lround(centre + tau / 2), 2 * interval)
                            : static_cast<long>(interval);
  double best = -1.0;
  long bestAt = 1;
  for (long m = 1; m <= std::max(1L, reach); ++m) {
    // The score continued without new onsets.
    future[static_cast<std::size_t>(m - 1)] = settings.pastWeight * bestPast(frame + m);
    double v = future[static_cast<std::size_t>(m - 1)];
    if (expect) {
      const double z = (static_cast<double>(m) - centre) / (settings.expectWidth * tau);
      v *= std::exp(-0.5 * z * z);
    }
    if (v > best) {
      best = v;
      bestAt = m;
    }
  }
  nextBeat = frame + bestAt;
  predictAt = -1;
}

bool BeatPredictor::bridged() const {
  return lastReliable >= 0 && frame - lastReliable <= bridgeFrames;
}

bool BeatPredictor::mayReport() const {
  // Never a beat in digital silence: the music must have sounded within
  // half an interval (a click track is silent between its clicks).
  return bridged() && silentFrames <= interval / 2 && pulsingAt(frame);
}

bool BeatPredictor::pulsingAt(long at) const {
  return settings.pulseBeats <= 0.0 || at - lastPulse <= settings.pulseBeats * interval;
}

void BeatPredictor::notePulse(double onset) {
  recent[static_cast<std::size_t>(frame) & 3] = onset;
  const double share = settings.restartShare > 0.0 && interval > 0 && !pulsingAt(frame)
                           ? settings.restartShare
                           : settings.pulseShare;
  if (onset > 0.0 && onset >= share * beatOnset) lastPulse = frame;
}

void BeatPredictor::shiftBeats(long frames) {
  if (lastBeat < 0 || interval == 0) return;
  // As if the last beat had come that much later: the next one is predicted
  // half an interval before it is expected, as always (at once if that is past).
  lastBeat += frames;
  nextBeat = -1;
  predictAt = lastBeat + std::max(1, interval / 2);
}

long BeatPredictor::expectedBeat() const {
  if (interval == 0 || !bridged() || silentFrames >= silentLimit) return -1;
  const long at = nextBeat >= 0 ? nextBeat : lastBeat >= 0 ? lastBeat + interval : -1;
  // Past the pulse's end by then, unless a clear onset comes first: not expected.
  return at >= 0 && pulsingAt(at) ? at : -1;
}

BeatPredictor::Beat BeatPredictor::process(const std::complex<float>* x, bool reliableBeat,
                                           int intervalFrames) {
  return process(onsets.process(x), reliableBeat, intervalFrames);
}

BeatPredictor::Beat BeatPredictor::process(const OnsetEnergy::Value& value, bool reliableBeat,
                                           int intervalFrames) {
  ++frame;
  const double onset = value.energy;
  silentFrames = value.sounding ? 0 : silentFrames + 1;
  notePulse(onset);
  if (silentFrames >= silentLimit) lastBeat = nextBeat = predictAt = -1;  // the beat is gone
  const bool resumed = reliableBeat && !bridged();
  if (reliableBeat) lastReliable = frame;
  // The tracker's interval is not counted in silence, where it has nothing new to go on.
  if (intervalFrames >= 2 && intervalFrames <= kLongestInterval &&
      (value.sounding || interval == 0))
    setInterval(heldInterval(intervalFrames));

  score[static_cast<std::size_t>(frame) & (kScoreFrames - 1)] =
      (1.0 - settings.pastWeight) * onset +
      (interval > 0 ? settings.pastWeight * bestPast(frame) : 0.0);

  Beat beat;
  if (interval == 0 || silentFrames >= silentLimit) return beat;
  if (resumed && lastBeat >= 0 && lastBeat < frame && frame - lastBeat <= lateLimit &&
      mayReport()) {
    beat.due = true;
    beat.intervalFrames = interval;
    beat.framesLate = static_cast<int>(frame - lastBeat);
  }
  if (heldBeat >= 0 && frame != nextBeat) {
    // A clear onset since: the music goes on, and so does the beat held back.
    if (lastPulse >= heldBeat && !beat.due && mayReport()) {
      beat.due = beat.confirmed = true;
      beat.intervalFrames = interval;
      beat.framesLate = static_cast<int>(frame - heldBeat);
    }
    if (lastPulse >= heldBeat || frame - heldBeat >= settings.confirmBeats * interval)
      heldBeat = -1;
  }
  if (frame == nextBeat) {
    // The usual onset on a beat: its strongest frame, averaged over beats.
    const double here = std::max(std::max(recent[0], recent[1]), std::max(recent[2], recent[3]));
    // Learned only where the music pulses: beats placed on the flicker of a
    // dying reverb would lower the bar for what counts as a clear onset.
    // Where it does not, the bar falls slowly, so that softer music after a
    // loud part is followed again within seconds.
    if (pulsingAt(frame))
      beatOnset = beatOnset > 0.0 ? 0.8 * beatOnset + 0.2 * here : here;
    else
      beatOnset *= kUnpulsedDecay;
    lastBeat = frame;
    nextBeat = -1;
    predictAt = frame + std::max(1, interval / 2);
    beat.due = mayReport();
    beat.intervalFrames = interval;
    heldBeat = -1;  // not confirmed before the next beat
    if (beat.due && settings.pulseBeats > 0.0 && settings.doubtBeats > 0.0 &&
        frame - lastPulse > settings.doubtBeats * interval) {
      beat.due = false;
      beat.held = true;
      heldBeat = frame;
    }
  }
  if (nextBeat < 0 && (predictAt < 0 || frame >= predictAt)) predict();
  return beat;
}

}  // namespace vesk_conditioning
