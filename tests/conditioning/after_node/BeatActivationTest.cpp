// The beat activation stays a probability on any input, and a kick and a
// snare on the beats score above the hats between them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>
#include <stdexcept>
#include <vector>

#include "conditioning/after_node/BeatActivation.h"
#include "conditioning/after_node/OnsetEnergy.h"

using vesk_conditioning::BeatActivation;
using vesk_conditioning::OnsetEnergy;

namespace {
constexpr std::size_t kBins = 257;
constexpr double kBinHz = 31.25;
}  // namespace

TEST(BeatActivation, StaysAProbabilityOnDamagedAndExtremeInputs) {
  BeatActivation activation(kBins, kBinHz);
  const float values[] = {0.0f,
                          -5.0f,
                          1e30f,
                          std::numeric_limits<float>::infinity(),
                          std::numeric_limits<float>::quiet_NaN(),
                          3.0f};
  for (int f = 0; f < 300; ++f) {
    BeatActivation::Inputs in;
    for (std::size_t i = 0; i < in.size(); ++i)
      in[i] = values[(static_cast<std::size_t>(f) + i) % 6];
    const double a = activation.process(in);
    ASSERT_TRUE(std::isfinite(a) && a >= 0.0 && a <= 1.0) << "frame " << f << ": " << a;
  }
  EXPECT_THROW(BeatActivation(kBins, 0.0), std::invalid_argument);
  OnsetEnergy::Settings noBands;
  noBands.activation = true;
  EXPECT_THROW(OnsetEnergy(noBands, kBins, kBinHz), std::invalid_argument);
}

TEST(BeatActivation, KickAndSnareOnTheBeatsScoreAboveTheHatsBetween) {
  OnsetEnergy::Settings settings;
  settings.bands = settings.activation = true;
  OnsetEnergy onsets(settings, kBins, kBinHz);
  // 120 BPM at 100 frames a second: a kick on every beat (50 frames), a snare
  // on every other one, a hat on every eighth.
  std::vector<std::complex<float>> x(kBins);
  double onBeats = 0.0, between = 0.0;
  for (int f = 0; f < 1500; ++f) {
    const int at = f % 50;
    const float decay = static_cast<float>(std::exp(-at / 2.0));
    for (std::size_t k = 0; k < kBins; ++k) {
      const double hz = static_cast<double>(k) * kBinHz;
      float v = 1e-4f;  // a faint floor
      if (at < 4 && hz < 150.0) v += 0.5f * decay;
      if (at < 4 && (f / 50) % 2 == 1 && hz > 200.0 && hz < 5000.0) v += 0.1f * decay;
      if (at % 25 < 2 && hz > 5000.0) v += 0.05f;
      x[k] = {v, 0.0f};
    }
    const double a = onsets.process(x.data()).activation;
    if (f < 500) continue;  // its running means settle
    // It rises a frame or two after the onset.
    if (at < 4) onBeats = std::max(onBeats, a);
    if (at >= 25 && at < 29) between = std::max(between, a);
  }
  EXPECT_GT(onBeats, 3.0 * between);
}
