// The front end must stay causal, keep silence silent and free of NaN, gate
// noise, and (when whitening) not care about the input level.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>
#include <vector>

#include "conditioning/before_node/SpectrumConditioner.h"

using vesk_conditioning::ConditionerSettings;
using vesk_conditioning::SpectrumConditioner;
using Bins = std::vector<std::complex<float>>;

namespace {

constexpr std::size_t kBins = 257;
constexpr double kRate = 16000.0;
constexpr double kWindowPower = 192.0;  // a 512-point Hann window

// Frames of noisy spectra with a loud bin here and there, `scale` times as loud.
std::vector<Bins> frames(int count, float scale, unsigned noiseStart = 7) {
  std::mt19937 rng(noiseStart);
  std::normal_distribution<float> noise(0.0f, 1.0f);
  std::vector<Bins> out(count, Bins(kBins));
  for (int f = 0; f < count; ++f)
    for (std::size_t k = 0; k < kBins; ++k)
      out[f][k] =
          scale * std::complex<float>(noise(rng), noise(rng)) * (f % 10 == 0 ? 20.0f : 1.0f);
  return out;
}

std::vector<Bins> conditioned(const ConditionerSettings& s, std::vector<Bins> in) {
  SpectrumConditioner c(s, kBins, kRate, kWindowPower);
  for (Bins& x : in) c.process(x.data());
  return in;
}

ConditionerSettings everyStage() {
  ConditionerSettings s;
  s.whitenDecay = 0.99;
  s.compressLambda = 100.0;
  s.lowPassHz = 500.0;
  s.gateDb = -90.0;
  s.gateHoldFrames = 5;
  return s;
}

}  // namespace

TEST(SpectrumConditioner, AFrameDependsOnlyOnItselfAndThePast) {
  std::vector<Bins> in = frames(40, 1.0f);
  const std::vector<Bins> before = conditioned(everyStage(), in);
  for (std::size_t k = 0; k < kBins; ++k) in[21][k] *= 50.0f;  // change frame 21 only
  const std::vector<Bins> after = conditioned(everyStage(), in);
  for (int f = 0; f <= 20; ++f) EXPECT_EQ(before[f], after[f]) << "frame " << f;
  EXPECT_NE(before[21], after[21]);
}

TEST(SpectrumConditioner, SilenceStaysSilentAndNoValueIsNotANumber) {
  std::vector<Bins> in(20, Bins(kBins));
  in[10][3] = std::complex<float>(NAN, 0.0f);
  in[11][4] = std::complex<float>(INFINITY, 1.0f);
  ConditionerSettings s = everyStage();
  s.gateDb = -200.0;  // let the odd frames through the gate
  for (const Bins& x : conditioned(s, in))
    for (const std::complex<float>& v : x) {
      EXPECT_TRUE(std::isfinite(v.real()) && std::isfinite(v.imag()));
      EXPECT_EQ(std::abs(v), 0.0f);
    }
}

TEST(SpectrumConditioner, TheGateSilencesNoiseBelowItsLevelAndHoldsOpenThroughPauses) {
  ConditionerSettings s;
  s.gateDb = -60.0;
  s.gateHoldFrames = 3;
  SpectrumConditioner c(s, kBins, kRate, kWindowPower);
  // A full-scale sine on bin 16 of a Hann-windowed 512-point frame: N/4 there
  // and -N/8 in the bins beside it.
  Bins loud(kBins), quiet(kBins);
  loud[16] = 128.0f;
  loud[15] = loud[17] = -64.0f;
  for (std::size_t k = 15; k <= 17; ++k) quiet[k] = loud[k] * 1e-4f;  // -80 dB
  Bins x = loud;
  c.process(x.data());
  EXPECT_NEAR(c.levelDb(), 0.0, 1.0);
  EXPECT_EQ(x, loud);  // no stage but the gate: the spectrum passes as it is
  for (int f = 0; f < 3; ++f) {
    x = quiet;
    c.process(x.data());
    EXPECT_TRUE(c.gateOpen()) << f;
  }
  x = quiet;
  c.process(x.data());
  EXPECT_FALSE(c.gateOpen());
  EXPECT_NEAR(c.levelDb(), -80.0, 1.0);
  EXPECT_EQ(std::abs(x[16]), 0.0f);
}

TEST(SpectrumConditioner, WhiteningMakesTheOutputIndependentOfTheLevel) {
  ConditionerSettings s;
  s.whitenDecay = 0.997;
  s.compressLambda = 100.0;
  const std::vector<Bins> soft = conditioned(s, frames(30, 0.01f));
  const std::vector<Bins> loud = conditioned(s, frames(30, 100.0f));
  for (int f = 0; f < 30; ++f)
    for (std::size_t k = 0; k < kBins; ++k)
      ASSERT_NEAR(std::abs(soft[f][k]), std::abs(loud[f][k]), 1e-3f) << f << " " << k;
}

TEST(SpectrumConditioner, NamesAndSettingsOutOfRangeAreRefused) {
  EXPECT_NO_THROW(vesk_conditioning::conditionerNamed("none"));
  EXPECT_THROW(vesk_conditioning::conditionerNamed("bogus"), std::invalid_argument);
  ConditionerSettings s;
  s.whitenDecay = 1.0;
  EXPECT_THROW(SpectrumConditioner(s, kBins, kRate, kWindowPower), std::invalid_argument);
  EXPECT_THROW(SpectrumConditioner(ConditionerSettings{}, 1, kRate, kWindowPower),
               std::invalid_argument);
}
