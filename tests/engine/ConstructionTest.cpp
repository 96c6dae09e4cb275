#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

#include "EngineTestSupport.h"

using beat_tracker::BeatTracker;
using beat_tracker::BeatTrackerInit;
using engine_test::CoutCapture;
using engine_test::SmallInit;
using engine_test::TempDir;

TEST(Construction, SizesCounterAndConsoleLines) {
  TempDir dir;
  std::string console;
  {
    CoutCapture capture;
    BeatTracker engine(SmallInit(51, 100, dir.prefix(), false));
    console = capture.text();
    EXPECT_EQ(engine.spectrum_size, 256u);
    EXPECT_EQ(engine.overlap, 3);
    EXPECT_EQ(engine.t_current, 0);
    EXPECT_EQ(engine.min_interval, 51);
    EXPECT_EQ(engine.max_interval, 100);
    EXPECT_EQ(engine.window_length, 100);
    EXPECT_EQ(engine.file_prefix, dir.prefix() + "bt_");
    EXPECT_EQ(engine.interval_value_buffer.back(0).size(), 100u);
    EXPECT_EQ(engine.spectrum_buffer.back(2999).size(), 256u);
    EXPECT_EQ(engine.mel_buffer.back(5).size(), 64u);
    EXPECT_EQ(engine.held_interval_index, 0.0);
    EXPECT_FALSE(engine.phase_valid);
  }
  EXPECT_EQ(console, "DEBUG10051100\nbeat_tracking initialize ended\n");
}

TEST(Construction, FrameLengthsAndTheIgnoredRecordFields) {
  TempDir dir;
  BeatTrackerInit init = SmallInit(43, 130, dir.prefix(), false);
  init.sampling_rate = 44100.0;
  init.fft_length = 4096;
  init.advance = 512;
  init.max_interval = 7.0;  // not consulted: the range ends at window_length
  init.mel_band_num = 3;
  auto engine = engine_test::QuietEngine(init);
  EXPECT_EQ(engine->spectrum_size, 2048u);
  EXPECT_EQ(engine->overlap, 8);
  EXPECT_EQ(engine->t_current, 3);
  EXPECT_EQ(engine->max_interval, 130);
  EXPECT_EQ(engine->mel_band_num, 64);

  init.fft_length = 4097;
  EXPECT_EQ(engine_test::QuietEngine(init)->spectrum_size, 2048u);
}

TEST(Construction, MelPointsSpanTheSpectrum) {
  TempDir dir;
  BeatTrackerInit init = SmallInit(43, 130, dir.prefix(), false);
  init.sampling_rate = 44100.0;
  init.fft_length = 4096;
  init.advance = 512;
  auto engine = engine_test::QuietEngine(init);
  const auto& points = engine->mel_points;
  ASSERT_EQ(points.size(), 66u);
  EXPECT_EQ(points[0], 0.0);
  EXPECT_EQ(points[65], 2048.0);
  EXPECT_NEAR(points[64], 2048.0, 1e-9);
  for (std::size_t i = 1; i < points.size() - 1; ++i) EXPECT_LT(points[i - 1], points[i]);
  // Equal steps on the mel scale: 2595 log10(1 + f / 700) grows linearly.
  const double bin = 44100.0 / 4096.0;
  auto mel = [&](double point) { return 2595.0 * std::log10(1.0 + point * bin / 700.0); };
  EXPECT_NEAR(mel(points[32]), 32.0 * mel(points[1]), 1e-6);
}

TEST(Construction, PitchTablesKeepLowBinsOutOfTheChroma) {
  TempDir dir;
  BeatTrackerInit init = SmallInit(43, 130, dir.prefix(), false);
  init.fft_length = 4096;
  auto engine = engine_test::QuietEngine(init);
  ASSERT_EQ(engine->bin_cents.size(), 2048u);
  ASSERT_EQ(engine->bin_octave.size(), 2048u);
  ASSERT_EQ(engine->bin_pitch_class.size(), 2048u);
  EXPECT_TRUE(std::isinf(engine->bin_cents[0]) && engine->bin_cents[0] < 0);
  for (int i = 0; i < 24; ++i) {
    const int octave = static_cast<int>(engine->bin_octave[i]);
    EXPECT_TRUE(octave < 1 || octave > 9) << "bin " << i;
  }
  EXPECT_EQ(engine->bin_octave[12], 0.0);
  EXPECT_EQ(engine->bin_pitch_class[12], 1.0);
  EXPECT_EQ(engine->bin_octave[24], 1.0);  // k = 12
  EXPECT_EQ(engine->bin_pitch_class[24], 0.0);
  for (int i = 24; i < 2048; ++i) {
    EXPECT_GE(engine->bin_octave[i], 1.0);
    EXPECT_LE(engine->bin_octave[i], 9.0);
  }
  // 1200 cents per doubling of the bin index.
  EXPECT_NEAR(engine->bin_cents[200] - engine->bin_cents[100], 1200.0, 1e-9);
}

TEST(Construction, RefusesRangesThatWouldReadOutsideTheHistory) {
  TempDir dir;
  EXPECT_THROW(BeatTracker(SmallInit(5, 100, dir.prefix(), false)), std::invalid_argument);
  EXPECT_THROW(BeatTracker(SmallInit(50, 51, dir.prefix(), false)), std::invalid_argument);
  EXPECT_THROW(BeatTracker(SmallInit(340, 342, dir.prefix(), false)), std::invalid_argument);
  BeatTrackerInit init = SmallInit(51, 100, dir.prefix(), false);
  init.advance = 0;
  EXPECT_THROW({ BeatTracker engine(init); }, std::invalid_argument);
  init = SmallInit(51, 100, dir.prefix(), false);
  init.min_interval = std::nan("");
  EXPECT_THROW({ BeatTracker engine(init); }, std::invalid_argument);
  init.min_interval = 1e12;
  EXPECT_THROW({ BeatTracker engine(init); }, std::invalid_argument);
  // The message names the value.
  try {
    CoutCapture quiet;
    BeatTracker engine(SmallInit(340, 342, dir.prefix(), false));
    FAIL();
  } catch (const std::invalid_argument& error) {
    EXPECT_NE(std::string(error.what()).find("340 to 342"), std::string::npos);
  }
  EXPECT_NO_THROW(engine_test::QuietEngine(SmallInit(339, 341, dir.prefix(), false)));
}

TEST(Construction, SafeIntervalBound) {
  static_assert(BeatTracker::MaxSafeInterval() == 341);
  // Worst case: the narrowest range, whose 3:1 correction stores 3m - 18.
  EXPECT_EQ(BeatTracker::LongestStoredInterval(339, 341), 999);
  EXPECT_TRUE(BeatTracker::IntervalRangeFits(339, 341));
  EXPECT_FALSE(BeatTracker::IntervalRangeFits(340, 342));
  for (int m = 6; m <= 339; ++m) EXPECT_TRUE(BeatTracker::IntervalRangeFits(m, 341)) << m;
  // Wider ranges allow longer intervals: pattern matching then sets the limit.
  EXPECT_TRUE(BeatTracker::IntervalRangeFits(100, 1000));
  EXPECT_FALSE(BeatTracker::IntervalRangeFits(100, 1001));  // comb: 3 * 1000 >= 3000
  EXPECT_FALSE(BeatTracker::IntervalRangeFits(5, 100));
  EXPECT_FALSE(BeatTracker::IntervalRangeFits(99, 100));
  EXPECT_TRUE(BeatTracker::IntervalRangeFits(51, 100));
}
