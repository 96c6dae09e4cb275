#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <type_traits>
#include <vector>

#include "voice_cancel/VoiceCancel.h"

namespace {

static_assert(!std::is_copy_constructible_v<VoiceCancel>);
static_assert(!std::is_copy_assignable_v<VoiceCancel>);

std::vector<FftComplex> spectrum(std::size_t bins, double scale, double phase) {
  std::vector<FftComplex> values;
  for (std::size_t k = 0; k < bins; ++k) {
    values.emplace_back(scale * std::cos(phase + 0.1 * k), scale * std::sin(phase * k));
  }
  return values;
}

TEST(VoiceCancelTest, EveryVectorMustHoldHalfTheSizePlusOne) {
  for (std::uint64_t size : {512u, 513u}) {
    VoiceCancel cancel(size);
    std::vector<double> magnitude(257, 7.0);
    const auto good = spectrum(257, 1.0, 0.3);
    EXPECT_EQ(cancel.ExecuteVoiceCancel(spectrum(256, 1.0, 0.3), good, magnitude), -1);
    EXPECT_EQ(cancel.ExecuteVoiceCancel(good, spectrum(258, 1.0, 0.3), magnitude), -1);
    std::vector<double> short_magnitude(256, 7.0);
    EXPECT_EQ(cancel.ExecuteVoiceCancel(good, good, short_magnitude), -1);
    EXPECT_EQ(short_magnitude, std::vector<double>(256, 7.0));
    EXPECT_EQ(magnitude, std::vector<double>(257, 7.0));

    // Nothing advanced: the first successful call still sees fresh filters.
    const auto mixture = spectrum(257, 2.0, 1.1);
    ASSERT_EQ(cancel.ExecuteVoiceCancel(good, mixture, magnitude), 0) << size;
    EXPECT_EQ(magnitude[0], 0.0);
    EXPECT_EQ(magnitude[1], 0.0);
    for (std::size_t k = 2; k < 257; ++k) EXPECT_EQ(magnitude[k], mixture[k].abs()) << k;
  }
}

TEST(VoiceCancelTest, AdaptsFromTheSecondFrameAndNeverTouchesBinsZeroAndOne) {
  VoiceCancel cancel(64);
  std::vector<double> magnitude(33);
  std::vector<double> first;
  bool changed = false;
  for (int frame = 0; frame < 20; ++frame) {
    auto reference = spectrum(33, 1.0, 0.5 * frame);
    auto mixture = reference;
    for (auto& value : mixture) value = FftComplex(0.9 * value.re, 0.9 * value.im);
    reference[5] = FftComplex(0.005, 0.0);  // power 2.5e-5, below the floor
    mixture[5] = FftComplex(3.0, -4.0);
    ASSERT_EQ(cancel.ExecuteVoiceCancel(reference, mixture, magnitude), 0);
    EXPECT_EQ(magnitude[0], 0.0);
    EXPECT_EQ(magnitude[1], 0.0);
    EXPECT_EQ(magnitude[5], 5.0) << "frame " << frame;
    for (std::size_t k = 2; k < 33; ++k) {
      if (k != 5 && magnitude[k] != mixture[k].abs()) changed = true;
    }
  }
  EXPECT_TRUE(changed) << "the filters never adapted";
}

TEST(VoiceCancelTest, RefusesSizesBeyondTheCancellersRange) {
  EXPECT_THROW(VoiceCancel(std::uint64_t{1} << 40), std::invalid_argument);
}

}  // namespace
