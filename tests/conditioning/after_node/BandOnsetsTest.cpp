// The band onsets a host computes with the onset energy, from its powers, are
// those of the spectrum itself: the meter stage may take either.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <limits>
#include <vector>

#include "conditioning/after_node/BandOnsets.h"
#include "conditioning/after_node/OnsetEnergy.h"

using vesk_conditioning::BandOnsets;
using vesk_conditioning::OnsetEnergy;

TEST(BandOnsets, TheOnsetEnergysBandsAreTheSpectrumsBitForBit) {
  constexpr std::size_t kBins = 257;
  constexpr double kBinHz = 31.25;
  BandOnsets direct(kBins, kBinHz);
  OnsetEnergy::Settings settings;
  settings.bands = true;
  OnsetEnergy withBands(settings, kBins, kBinHz);
  std::vector<std::complex<float>> x(kBins);
  std::uint32_t state = 1u;
  for (int f = 0; f < 200; ++f) {
    for (std::size_t k = 0; k < kBins; ++k) {
      state = state * 1664525u + 1013904223u;
      const float v = static_cast<float>(state >> 8) / 16777216.0f * (f % 7 == 0 ? 50.0f : 1.0f);
      x[k] = {v, 0.5f * v};
    }
    // A damaged bin now and then: it counts as silent in both.
    if (f % 13 == 0) x[7] = {std::numeric_limits<float>::infinity(), 0.0f};
    if (f % 17 == 0) x[150] = {std::numeric_limits<float>::quiet_NaN(), 1.0f};
    const BandOnsets::Value a = direct.process(x.data());
    const BandOnsets::Value b = withBands.process(x.data()).bands;
    ASSERT_EQ(a.low, b.low) << "frame " << f;
    ASSERT_EQ(a.mid, b.mid) << "frame " << f;
    ASSERT_EQ(a.high, b.high) << "frame " << f;
  }
}
