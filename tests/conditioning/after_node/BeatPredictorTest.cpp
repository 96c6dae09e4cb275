// The beat predictor places its beats on the onsets at the node's interval
// (the level the node held most lately), whatever phase the node's own beats
// have, and stays quiet when it should.
#include <gtest/gtest.h>

#include <complex>
#include <stdexcept>
#include <vector>

#include "conditioning/after_node/BeatPredictor.h"

using vesk_conditioning::BeatPredictor;

namespace {

constexpr std::size_t kBins = 257;
constexpr int kInterval = 50;  // frames: 120 BPM at 100 frames per second

struct Input {
  int frames = 1500;
  int pulseAt = 0;  // pulses on pulseAt + k * interval
  int nodeAt = 25;  // the node's reliable beats, here on the off-beat
  int reliableFrom = 0;
  int reliableUntil = 1 << 30;
  int silentFrom = 1 << 30;  // digital silence from this frame on
  bool noise = false;        // a noise floor under the pulses
  int flipFrom = 1 << 30;    // the node measures twice the interval from this frame
  int flipUntil = 1 << 30;   // up to this one
  // From tailFrom the pulses stop and the music rings out: faint flickers at
  // random frames; from softFrom the pulses come back, softer.
  int tailFrom = 1 << 30;
  int softFrom = 1 << 30;
  double pulseBeats = 0.0;
};

std::vector<int> run(const Input& in) {
  BeatPredictor::Settings settings;
  settings.pulseBeats = in.pulseBeats;
  BeatPredictor stage(settings, kBins, 100.0, 31.25);
  std::vector<int> reported;
  std::vector<std::complex<float>> x(kBins);
  unsigned state = 1;
  for (int f = 0; f < in.frames; ++f) {
    const bool ringing = f >= in.tailFrom && f < in.softFrom;
    const bool pulse = f % kInterval == in.pulseAt && !ringing;
    const float height = f >= in.softFrom ? 0.05f : 5.0f;
    state = state * 1664525u + 1013904223u;
    const bool flicker = ringing && (state >> 8) % 8 == 0;
    for (std::size_t k = 0; k < kBins; ++k) {
      state = state * 1664525u + 1013904223u;
      const float floor = in.noise ? 0.5f * static_cast<float>(state >> 8) / 16777216.0f : 0.01f;
      x[k] = f >= in.silentFrom ? 0.0f : (pulse ? height : flicker ? 0.022f : floor);
    }
    const bool reliable =
        f % kInterval == in.nodeAt && f >= in.reliableFrom && f < in.reliableUntil;
    const int measured = f >= in.flipFrom && f < in.flipUntil ? 2 * kInterval : kInterval;
    const BeatPredictor::Beat beat = stage.process(x.data(), reliable, measured);
    if (beat.due) reported.push_back(f - beat.framesLate);
  }
  return reported;
}

void expectOnPulses(const std::vector<int>& beats, int pulseAt, int from) {
  int checked = 0;
  for (int b : beats) {
    if (b < from) continue;
    EXPECT_EQ(b % kInterval, pulseAt) << "beat on frame " << b;
    ++checked;
  }
  EXPECT_GT(checked, 5);
}

}  // namespace

TEST(BeatPredictor, BeatsLandOnTheOnsetsWhateverTheNodesPhase) {
  Input in;
  const std::vector<int> beats = run(in);
  ASSERT_FALSE(beats.empty());
  EXPECT_GE(beats.front(), in.nodeAt);  // nothing before the node's first reliable beat
  expectOnPulses(beats, 0, 300);
  in.noise = true;
  in.pulseAt = 13;
  expectOnPulses(run(in), 13, 300);
}

TEST(BeatPredictor, ABeatJustBeforeTheNodesFirstIsReportedLateNotLost) {
  Input in;
  in.reliableFrom = 300;
  in.nodeAt = 2;  // the node's beats come two frames after the onsets
  std::vector<int> beats = run(in);
  ASSERT_FALSE(beats.empty());
  EXPECT_EQ(beats.front(), 300);
  in.nodeAt = 25;  // half an interval is too late: that beat is gone
  beats = run(in);
  ASSERT_FALSE(beats.empty());
  EXPECT_EQ(beats.front(), 350);
}

TEST(BeatPredictor, QuietAfterTheBridgeAndInDigitalSilence) {
  Input in;
  in.reliableUntil = 400;
  const std::vector<int> bridged = run(in);
  ASSERT_FALSE(bridged.empty());
  EXPECT_GT(bridged.back(), 1000);  // kept through a dip of the node's reliability
  EXPECT_LE(bridged.back(), 400 + 800 + kInterval);

  in = Input();
  in.silentFrom = 600;
  for (int b : run(in)) EXPECT_LT(b, 600 + kInterval / 2) << "beat in silence";
  in.silentFrom = 0;
  EXPECT_TRUE(run(in).empty());
}

TEST(BeatPredictor, StopsWhenTheMusicRingsOutAndFollowsSofterMusicAfter) {
  Input in;
  in.frames = 2500;
  in.pulseBeats = 1.5;
  in.tailFrom = 800;
  in.softFrom = 1200;
  const std::vector<int> beats = run(in);
  for (int b : beats)
    EXPECT_FALSE(b > in.tailFrom + kInterval && b < in.softFrom)
        << "beat in the ringing, frame " << b;
  ASSERT_FALSE(beats.empty());
  EXPECT_GT(beats.back(), in.frames - 2 * kInterval);  // the soft pulses are followed
}

TEST(BeatPredictor, KeepsItsLevelThroughShortFlipsOfTheNodesInterval) {
  Input in;
  in.flipFrom = 500;
  in.flipUntil = 750;  // 2.5 s at half the tempo
  const std::vector<int> beats = run(in);
  ASSERT_GT(beats.size(), 20u);
  for (std::size_t i = 1; i < beats.size(); ++i) {
    if (beats[i - 1] < 300) continue;
    EXPECT_EQ(beats[i] - beats[i - 1], kInterval) << "after " << beats[i - 1];
  }

  in.frames = 3000;
  in.flipUntil = 1 << 30;  // a lasting change of level is followed
  const std::vector<int> moved = run(in);
  ASSERT_GE(moved.size(), 2u);
  EXPECT_EQ(moved.back() - moved[moved.size() - 2], 2 * kInterval);
}

TEST(BeatPredictor, RefusesSettingsOutOfRange) {
  BeatPredictor::Settings s;
  s.pastWeight = 1.0;
  EXPECT_THROW(BeatPredictor(s, kBins, 100.0, 31.25), std::invalid_argument);
  s = BeatPredictor::Settings();
  s.intervalMemorySeconds = -1.0;
  EXPECT_THROW(BeatPredictor(s, kBins, 100.0, 31.25), std::invalid_argument);
  EXPECT_THROW(BeatPredictor(BeatPredictor::Settings(), 1, 100.0, 31.25), std::invalid_argument);
}
