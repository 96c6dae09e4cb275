// The stage after the node moves beats that sit on the off-beat, keeps the
// grid through a dip of the reliability and stays quiet in digital silence.
#include <gtest/gtest.h>

#include <complex>
#include <vector>

#include "conditioning/after_node/OffBeatCorrector.h"

using vesk_conditioning::OffBeatCorrector;

namespace {

constexpr std::size_t kBins = 257;
constexpr int kInterval = 50;  // frames: 120 BPM at 100 frames per second

// Runs `frames` frames of a bass pulse on every multiple of the interval
// (shifted by `pulseAt`), with the node signalling beats on frames
// `nodeAt` + k * interval, reliable unless in [dipFrom, dipTo). Returns the
// frames on which a beat is reported.
std::vector<int> run(int frames, int pulseAt, int nodeAt, int dipFrom = -1, int dipTo = -1,
                     bool silent = false) {
  OffBeatCorrector stage(OffBeatCorrector::Settings(), kBins, 100.0, 31.25);
  std::vector<int> reported;
  std::vector<std::complex<float>> x(kBins);
  for (int f = 0; f < frames; ++f) {
    const bool pulse = !silent && f % kInterval == pulseAt;
    for (std::size_t k = 0; k < kBins; ++k) x[k] = silent ? 0.0f : (pulse && k < 8 ? 50.0f : 0.01f);
    const bool beat = f % kInterval == nodeAt;
    const bool reliable = !(f >= dipFrom && f < dipTo);
    if (stage.process(x.data(), beat, reliable, kInterval).due) reported.push_back(f);
  }
  return reported;
}

}  // namespace

TEST(OffBeatCorrector, BeatsOnTheOffBeatMoveHalfAnIntervalLaterAndOnlyLater) {
  // The node beats on the pulses: nothing moves.
  std::vector<int> onBeat = run(1000, 0, 1);
  ASSERT_FALSE(onBeat.empty());
  for (int f : onBeat) EXPECT_EQ(f % kInterval, 1);
  // The node beats between the pulses: after a few beats of evidence the
  // reported beats come half an interval after the node's.
  std::vector<int> offBeat = run(1000, 0, 26);
  ASSERT_GE(offBeat.size(), 15u);
  for (std::size_t i = 5; i < offBeat.size(); ++i) EXPECT_EQ(offBeat[i] % kInterval, 1) << i;
}

TEST(OffBeatCorrector, KeepsTheGridThroughADipAndIsQuietInSilence) {
  // Unreliable for two seconds: the beats go on at the same interval.
  std::vector<int> dip = run(1000, 0, 1, 400, 600);
  int inDip = 0;
  for (int f : dip) inDip += f >= 400 && f < 600;
  EXPECT_EQ(inDip, 4);
  EXPECT_TRUE(run(1000, 0, 1, -1, -1, true).empty());
}
