// The meter tracker finds the beat's level and its phase in drum grooves
// whatever level the node measures: kicks, snares and hats drawn as spectra
// of their own bands, 100 frames per second.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <string>
#include <vector>

#include "conditioning/after_node/MeterTracker.h"

using vesk_conditioning::MeterTracker;
using vesk_conditioning::OnsetEnergy;
using vesk_conditioning::OnsetPeriodicity;

namespace {

constexpr std::size_t kBins = 257;  // 16 kHz, 512-sample frames
constexpr double kBinHz = 31.25;
constexpr double kFrameRate = 100.0;

// A groove as step strings over one bar of sixteenths: x a hit.
struct Groove {
  double bpm;
  std::string kick, snare, hat;
  float hatLevel = 1.0f;
  int nodeInterval;        // the level the node measures (frames)
  int flipInterval = 0;    // if set, the node measures this one every other 3 s
  double until = 1e9;      // seconds after which nothing is hit (the floor stays)
  bool nodeSure = true;    // whether the node's beats are reliable
  float tailNoise = 0.0f;  // from 1 s after `until`, faint flickers in the snare's band
  double phaseShare = MeterTracker::Settings().phaseShare;
  bool followSwing = true;
};

struct Result {
  std::vector<double> beats;  // frames of the reported beats
  std::vector<double> periods;
};

// With `hostPeriodicity`, the onsets' periodicity is kept beside the stage,
// as the tool keeps it on its reading thread, and handed over in snapshots.
Result track(const Groove& g, double seconds, bool hostPeriodicity = false) {
  // Bands drawn one instrument each are no drum kit: the level classifier,
  // trained on played drums, is left out here (the tracker's tests play it).
  MeterTracker::Settings settings;
  settings.fasterShare = settings.slowerShare = settings.offBeatShare = 2.0;
  settings.phaseShare = g.phaseShare;
  settings.followSwing = g.followSwing;
  MeterTracker stage(settings, kBins, kFrameRate, kBinHz, 80.0, 200.0);
  const double step = 60.0 * kFrameRate / g.bpm / 4.0;  // frames per sixteenth
  const int frames = static_cast<int>(seconds * kFrameRate);
  std::vector<float> kick(frames + 8, 0.0f), snare(frames + 8, 0.0f), hat(frames + 8, 0.0f);
  // Each hit rises at once and fades over a few frames.
  auto hits = [&](const std::string& steps, std::vector<float>& env, float level) {
    for (int s = 0; !steps.empty(); ++s) {
      const int at = static_cast<int>(std::lround(s * step));
      if (at >= frames || at >= g.until * kFrameRate) break;
      if (steps[s % steps.size()] != 'x') continue;
      for (int k = 0; k < 6 && at + k < frames; ++k)
        env[at + k] = std::max(env[at + k], level * std::pow(0.5f, static_cast<float>(k)));
    }
  };
  hits(g.kick, kick, 1.0f);
  hits(g.snare, snare, 1.0f);
  hits(g.hat, hat, g.hatLevel);
  // The noise under a recording: a flicker every 3 to 13 frames, at random levels.
  for (int f = static_cast<int>((g.until + 1.0) * kFrameRate); g.tailNoise > 0.0f && f < frames;
       f += 3 + (f * 7919) % 11)
    snare[f] = std::max(snare[f],
                        g.tailNoise * (0.5f + 0.5f * static_cast<float>(f * 104729 % 97) / 97.0f));
  Result r;
  std::vector<std::complex<float>> x(kBins);
  OnsetEnergy onsets(settings.predictor.onsets, kBins, kBinHz);
  OnsetPeriodicity periodicity(stage.periodicityFormat());
  OnsetPeriodicity::Snapshot snapshot;
  for (int f = 0; f < frames; ++f) {
    for (std::size_t k = 0; k < kBins; ++k) {
      const float floor = 0.01f;
      float v = floor;
      if (k >= 1 && k <= 4) v += 40.0f * kick[f];
      if (k >= 6 && k <= 100) v += 8.0f * snare[f];
      if (k >= 112) v += 6.0f * hat[f];
      x[k] = v;
    }
    const int node = g.flipInterval > 0 && f / 300 % 2 == 1 ? g.flipInterval : g.nodeInterval;
    MeterTracker::Beat beat;
    if (hostPeriodicity) {
      const OnsetEnergy::Value onset = onsets.process(x.data());
      const bool due = periodicity.push(onset);
      if (due) periodicity.snapshot(snapshot);
      beat = stage.process(onset, g.nodeSure, node, due ? &snapshot : nullptr);
    } else {
      beat = stage.process(x.data(), g.nodeSure, node);
    }
    if (beat.due) {
      r.beats.push_back(f - beat.framesLate);
      r.periods.push_back(beat.intervalFrames);
    }
  }
  return r;
}

// Beats after `from` seconds: the share within 3 frames of a multiple of the
// beat period (offset `phase` beats), and the periods reported.
double onBeat(const Result& r, double bpm, double phase, double from) {
  const double period = 60.0 * kFrameRate / bpm;
  int on = 0, all = 0;
  for (double b : r.beats) {
    if (b < from * kFrameRate) continue;
    const double pos = b / period - phase;
    on += std::abs(pos - std::round(pos)) * period <= 3.0;
    ++all;
  }
  return all > 0 ? static_cast<double>(on) / all : 0.0;
}

}  // namespace

TEST(MeterTracker, GroovesAt140AreTrackedAt140NotAtTwoThirds) {
  // The node takes the dotted quarter (93.75 BPM) as the beat. A rock groove
  // with the hats on the off-beats; a snare's 3+3+2 figure over the kick on
  // the first and third beats and soft eighth hats, whose every third eighth
  // repeats in twos (the beat is two of them).
  // The rock groove is on its beat within 10 s; the figure needs 3 s of its
  // pulse in twos first, and its tempo is read within a BPM.
  const struct {
    Groove groove;
    double tolerance, from;
  } cases[] = {
      {{140.0, "x.......x.......", "....x.......x...", "..x...x...x...x.", 1.0f, 64}, 0.5, 10.0},
      {{140.0, "x.......x.......", "...x..x....x..x.", "x.x.x.x.x.x.x.x.", 0.5f, 64}, 1.0, 20.0}};
  for (const auto& c : cases) {
    const Result r = track(c.groove, 40.0);
    ASSERT_GT(r.beats.size(), 40u);
    EXPECT_NEAR(60.0 * kFrameRate / r.periods.back(), 140.0, c.tolerance);
    EXPECT_GE(onBeat(r, 140.0, 0.0, c.from), 0.95);
  }
}

TEST(MeterTracker, TheLevelDoesNotFlipInAThreeThreeTwoGroove) {
  // Dembow: kick on every beat, snare 3+3+2; the node flips between the beat
  // and its 3/2 (the dotted quarter) every few seconds.
  const Groove dembow{100.0, "x...x...x...x...", "...x..x....x..x.", "", 1.0f, 60, 90};
  const Result r = track(dembow, 40.0);
  ASSERT_GT(r.beats.size(), 40u);
  for (std::size_t i = 0; i < r.beats.size(); ++i)
    if (r.beats[i] >= 800) {
      EXPECT_NEAR(r.periods[i], 60.0, 1.5) << "beat at frame " << r.beats[i];
    }
  EXPECT_GE(onBeat(r, 100.0, 0.0, 8.0), 0.95);
}

TEST(MeterTracker, ASlowSongInTwelveEightIsTrackedAtItsDottedQuarter) {
  // Slow blues in 12/8 (steps of sixteenths at a quarter of the eighths'
  // tempo), the kick on the first and third dotted quarters:
  // - eighths at 192 BPM, a soft ride on every one and the snare on every
  //   dotted quarter; the node takes the eighth, the beat is 64 BPM;
  // - eighths at 210 BPM, beyond the range, the snare on the second and
  //   fourth dotted quarters and hats on the first and third eighth of each;
  //   the beat, 70 BPM, lies below the range, and the node and the combs
  //   take one and a half eighths (140 BPM), a period at which nothing
  //   repeats.
  const struct {
    Groove groove;
    double bpm;
  } cases[] = {{{48.0, "x.....x.....", "x..x..x..x..", "xxxxxxxxxxxx", 0.1f, 31}, 64.0},
               {{52.5, "x.....x.....", "...x.....x..", "x.xx.xx.xx.x", 0.5f, 43}, 70.0}};
  for (const auto& c : cases) {
    const Result r = track(c.groove, 40.0);
    ASSERT_GT(r.beats.size(), 20u);
    EXPECT_NEAR(60.0 * kFrameRate / r.periods.back(), c.bpm, 1.0);
    EXPECT_GE(onBeat(r, c.bpm, 0.0, 15.0), 0.9) << c.bpm << " BPM";
  }
}

TEST(MeterTracker, ATwelveEightStaysAtItsDottedQuarterThroughFiguresInTwos) {
  // The share of the beats after 15 s at the dotted quarter's period.
  const auto atDottedQuarter = [](const Result& r) {
    int at = 0, all = 0;
    for (std::size_t i = 0; i < r.beats.size(); ++i)
      if (r.beats[i] >= 15.0 * kFrameRate) {
        ++all;
        at += std::abs(r.periods[i] - 60.0 * kFrameRate / 64.0) < 4.5;
      }
    return all > 20 ? static_cast<double>(at) / all : 0.0;
  };
  // The slow twelve-eight above, with a hemiola every fourth bar: the snare
  // on every other eighth, so that for a while the pulse repeats in twos.
  const std::string threes = "x..x..x..x..", hemiola = "x.x.x.x.x.x.";
  const Groove hemiolas{48.0,           "x.....x.....", threes + threes + threes + hemiola,
                        "xxxxxxxxxxxx", 0.1f,           31};
  EXPECT_GE(atDottedQuarter(track(hemiolas, 60.0)), 0.9);
  // Steps of sixteenths at 96 BPM: eight bars of hats on the eighths, then
  // eight on every dotted eighth, two against the beat's three eighths, where
  // the filter goes to half the beat.
  std::string hats;
  for (int bar = 0; bar < 8; ++bar) hats += "x.x.x.x.x.x.x.x.x.x.x.x.";
  for (int bar = 0; bar < 8; ++bar) hats += "x..x..x..x..x..x..x..x..";
  const Groove twoAgainstThree{
      96.0, "x...........x...........", "x.....x.....x.....x.....", hats, 0.5f, 31};
  EXPECT_GE(atDottedQuarter(track(twoAgainstThree, 60.0)), 0.9);
}

TEST(MeterTracker, AShuffleWhoseKickIsOnTheSwungEighthsIsTrackedOnTheBeat) {
  // 120 BPM in triplets (steps of a 90 BPM grid's sixteenths): hats on the
  // beats and the swung eighths, snare on the backbeats, the kick on the
  // first beat and every swung eighth, where the onsets are strongest. The
  // beats are placed on the swung eighths; the phase's template and the
  // long-short of swing each move them to the beat.
  Groove shuffle{90.0, "x.x..x..x..x", "...x.....x..", "x.xx.xx.xx.x", 1.0f, 50};
  shuffle.phaseShare = 2.0;
  shuffle.followSwing = false;
  EXPECT_GE(onBeat(track(shuffle, 40.0), 120.0, 2.0 / 3.0, 20.0), 0.9);
  shuffle.followSwing = true;
  EXPECT_GE(onBeat(track(shuffle, 40.0), 120.0, 0.0, 20.0), 0.9) << "by the swing alone";
  shuffle.phaseShare = MeterTracker::Settings().phaseShare;
  shuffle.followSwing = false;
  EXPECT_GE(onBeat(track(shuffle, 40.0), 120.0, 0.0, 20.0), 0.9) << "by the template alone";
}

TEST(MeterTracker, ThePeriodicityKeptByTheHostGivesTheSameBeats) {
  // The dembow whose node flips between levels: the filter's every update counts.
  const Groove dembow{100.0, "x...x...x...x...", "...x..x....x..x.", "", 1.0f, 60, 90};
  const Result own = track(dembow, 40.0), host = track(dembow, 40.0, true);
  ASSERT_GT(own.beats.size(), 40u);
  EXPECT_EQ(own.beats, host.beats);
  EXPECT_EQ(own.periods, host.periods);

  // Once a host hands snapshots, one missing (or of another frame) is a fault.
  MeterTracker stage(MeterTracker::Settings(), kBins, kFrameRate, kBinHz, 80.0, 200.0);
  OnsetPeriodicity periodicity(stage.periodicityFormat());
  OnsetPeriodicity::Snapshot snapshot;
  const OnsetEnergy::Value silence;
  ASSERT_TRUE(periodicity.push(silence));
  periodicity.snapshot(snapshot);
  stage.process(silence, false, 0, &snapshot);
  const long every = stage.periodicityFormat().updateFrames;
  for (long f = 1; f < every; ++f) stage.process(silence, false, 0, nullptr);
  EXPECT_THROW(stage.process(silence, false, 0, nullptr), std::logic_error);
  for (long f = every + 1; f < 2 * every; ++f) stage.process(silence, false, 0, nullptr);
  EXPECT_THROW(stage.process(silence, false, 0, &snapshot), std::logic_error);  // frame 0's
}

TEST(MeterTracker, AnOffBeatHatPatternIsTrackedOnTheBeat) {
  // Open hats on the off-beats, louder over all bands than the kick on the
  // beats; the node's own beats are on every frame, no help for the phase.
  // At 82 BPM the node takes the eighth: the beats go from kick and hat alike
  // to half their tempo, on the kick, as soon as the filter halves it.
  const struct {
    Groove groove;
    double from;
  } cases[] = {{{124.0, "x...x...x...x...", "", "..x...x...x...x.", 2.0f, 48}, 10.0},
               {{82.0, "x...x...x...x...", "", "..x...x...x...x.", 2.0f, 37}, 6.0}};
  for (const auto& c : cases) {
    const Result r = track(c.groove, 30.0);
    ASSERT_GT(r.beats.size(), 30u);
    EXPECT_GE(onBeat(r, c.groove.bpm, 0.0, c.from), 0.95) << c.groove.bpm << " BPM";
  }
}

TEST(MeterTracker, BeatsStopSoonAfterTheMusicStopsThoughTheRoomStillSounds) {
  // The groove stops at 20 s, its last hit a hat half a beat after the
  // last beat; the floor (a room, a tail) goes on, and the node would keep
  // its beats for a few seconds more. The beat due at 20 s still has the hat
  // just before it; the one after has nothing to stand on: held back, it is
  // never reported.
  Groove rock{120.0, "x.......x.......", "....x.......x...", "..x...x...x...x.", 1.0f, 50};
  rock.until = 20.0;
  const Result r = track(rock, 30.0);
  ASSERT_GT(r.beats.size(), 20u);
  EXPECT_NEAR(r.beats.back(), 2000.0, 2.0);
}

TEST(MeterTracker, AMetronomeBelowTheTempoRangeIsTrackedThoughTheNodeNeverIsSure) {
  // 75 BPM with the range from 80: the node finds nothing; the clicks repeat
  // so clearly that the stage beats on every click. It follows twice the
  // tempo, and the beats between the clicks, where nothing sounds for a
  // whole interval either side, are held back and never reported.
  Groove click{75.0, "x...", "x...", "x...", 1.0f, 0};
  click.nodeSure = false;
  const Result r = track(click, 30.0);
  EXPECT_NEAR(60.0 * kFrameRate / r.periods.back(), 150.0, 1.0);
  const auto late =
      std::count_if(r.beats.begin(), r.beats.end(), [](double b) { return b >= 5.0 * kFrameRate; });
  EXPECT_GE(late, 30);  // of the 32 clicks from 5 s on
  EXPECT_GE(onBeat(r, 75.0, 0.0, 5.0), 0.95);
}

TEST(MeterTracker, ABareBeatIsReportedLateWhenTheMusicGoesOnJustAfterIt) {
  // Nothing sounds on the fourth beat nor for a beat before it; a hat comes a
  // sixteenth after it. Held back, the beat is reported when the hat comes.
  const Groove bare{100.0, "x.......x.......", "....x...........", ".............x..", 1.0f, 60};
  const Result r = track(bare, 30.0);
  const auto late =
      std::count_if(r.beats.begin(), r.beats.end(), [](double b) { return b >= 800.0; });
  EXPECT_GE(late, 35);  // of the 37 beats from 8 s on
  EXPECT_GE(onBeat(r, 100.0, 0.0, 8.0), 0.95);
}

TEST(MeterTracker, TheNoiseUnderARecordingDoesNotBringTheBeatsBackAfterItsEnd) {
  // Once the beats have stopped with the music, only an onset near the
  // beats' usual one starts them again; the noise's flickers are far below.
  Groove rock{120.0, "x.......x.......", "....x.......x...", "..x...x...x...x.", 1.0f, 50};
  rock.until = 20.0;
  rock.tailNoise = 0.002f;
  const Result r = track(rock, 30.0);
  ASSERT_GT(r.beats.size(), 20u);
  EXPECT_LE(r.beats.back(), 2000.0 + 2.0);
}
