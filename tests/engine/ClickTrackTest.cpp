#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <iostream>
#include <thread>

#include "EngineTestSupport.h"
#include "tests/support/ConcurrentRuns.h"

using beat_tracker::BeatTracker;
using beat_tracker::BeatTrackerData;
using engine_test::ClickTrack;
using engine_test::CoutCapture;
using engine_test::SmallInit;
using engine_test::TempDir;

namespace {

// Distance in frames from a beat time to the nearest click.
double DistanceToClick(const ClickTrack& clicks, double beat_time, int overlap_half) {
  const double frame = beat_time - overlap_half;  // engine frame t is input frame t - overlap / 2
  const double period = clicks.PeriodFrames();
  const double phase = std::fmod(frame - clicks.ClickFrame(0), period);
  const double wrapped = phase < 0 ? phase + period : phase;
  return std::min(wrapped, period - wrapped);
}

void ExpectSameResult(const BeatTrackerData& a, const BeatTrackerData& b, int frame) {
  ASSERT_EQ(a.stpm_vector, b.stpm_vector) << frame;
  ASSERT_EQ(a.onset_vector, b.onset_vector) << frame;
  ASSERT_EQ(a.now_interval, b.now_interval) << frame;
  ASSERT_EQ(a.reliability, b.reliability) << frame;
  ASSERT_EQ(a.next_beat_time, b.next_beat_time) << frame;
  ASSERT_EQ(a.beat_time, b.beat_time) << frame;
}

}  // namespace

TEST(ClickTrack, SteadyTempoBecomesReliableAndBeatsFallOnTheClicks) {
  // 100 beats per minute at 100 frames per second: 60 frames between clicks.
  TempDir dir;
  auto engine = engine_test::QuietEngine(SmallInit(51, 100, dir.prefix(), false));
  const ClickTrack clicks(100.0, 0.25);
  CoutCapture console;
  double best_reliability = 0.0;
  int checked = 0;
  for (int f = 0; f < 2000; ++f) {
    const BeatTrackerData result = engine->analyze(clicks.Frame(f));
    best_reliability = std::max(best_reliability, result.reliability);
    if (f >= 1000) {
      ASSERT_EQ(result.now_interval, 60.0) << f;
      ASSERT_GT(result.beat_time, 0.0) << f;
      ASSERT_LE(DistanceToClick(clicks, result.beat_time, engine->overlap / 2), 2.0)
          << "frame " << f << " beat " << result.beat_time;
      ++checked;
    }
  }
  EXPECT_EQ(best_reliability, 1.0);
  EXPECT_EQ(engine->music_reliability, 1.0);
  EXPECT_EQ(checked, 1000);
}

TEST(ClickTrack, TwoEnginesInAlternationMatchEachAlone) {
  TempDir dir;
  const ClickTrack fast(100.0, 0.25);
  const ClickTrack slow(75.0, 0.1);
  const int frames = 900;
  std::vector<BeatTrackerData> fast_alone;
  std::vector<BeatTrackerData> slow_alone;
  CoutCapture console;
  {
    auto engine = engine_test::QuietEngine(SmallInit(51, 100, dir.prefix(), false));
    for (int f = 0; f < frames; ++f) fast_alone.push_back(engine->analyze(fast.Frame(f)));
  }
  {
    auto engine = engine_test::QuietEngine(SmallInit(51, 100, dir.prefix(), false));
    for (int f = 0; f < frames; ++f) slow_alone.push_back(engine->analyze(slow.Frame(f)));
  }
  auto a = engine_test::QuietEngine(SmallInit(51, 100, dir.prefix(), false));
  auto b = engine_test::QuietEngine(SmallInit(51, 100, dir.prefix(), false));
  for (int f = 0; f < frames; ++f) {
    ExpectSameResult(a->analyze(fast.Frame(f)), fast_alone[f], f);
    ExpectSameResult(b->analyze(slow.Frame(f)), slow_alone[f], f);
  }
  // The two tempos really differ, so shared state would have shown.
  EXPECT_EQ(fast_alone.back().now_interval, 60.0);
  EXPECT_EQ(slow_alone.back().now_interval, 80.0);
}

// As a host would: engines built and run in threads at once (the first also
// choosing the vector unit). Run under ThreadSanitizer too.
TEST(ClickTrack, EnginesInSeveralThreadsMatchEachAlone) {
  constexpr int kThreads = 4;
  const int frames = 700;
  std::vector<TempDir> dirs(kThreads);
  auto run = [&](int i) {
    const ClickTrack clicks(75.0 + 12.5 * i, 0.1 * i);
    BeatTracker engine(SmallInit(51, 100, dirs[i].prefix(), false));
    std::vector<BeatTrackerData> results;
    for (int f = 0; f < frames; ++f) results.push_back(engine.analyze(clicks.Frame(f)));
    return results;
  };
  const auto [together, alone] = RunTogetherAndAlone(kThreads, run);
  for (int i = 0; i < kThreads; ++i) {
    for (int f = 0; f < frames; ++f)
      ASSERT_NO_FATAL_FAILURE(ExpectSameResult(together[i][f], alone[i][f], f)) << "thread " << i;
    // Each follows its own tempo, so shared state would have shown.
    EXPECT_NEAR(together[i].back().now_interval, 6000.0 / (75.0 + 12.5 * i), 1.0);
  }
}

TEST(ClickTrack, LongSilenceDropsTheAnchorAndTrackingResumes) {
  // 150 beats per minute (40 frames) in the range 31 ... 50 frames: 20 s of
  // clicks, 65 s of silence, 20 s of clicks. Run under AddressSanitizer too.
  TempDir dir;
  auto engine = engine_test::QuietEngine(SmallInit(31, 50, dir.prefix(), false));
  const ClickTrack clicks(150.0, 0.2);
  const int music = 2000;
  const int silence = 6500;
  CoutCapture console;
  bool anchor_before_silence = false;
  bool dropped = false;
  for (int f = 0; f < music + silence + music; ++f) {
    const bool silent = f >= music && f < music + silence;
    const BeatTrackerData result = engine->analyze(clicks.Frame(f, silent));
    if (f == music - 1) {
      anchor_before_silence = result.next_beat_time > 0;
      ASSERT_EQ(result.now_interval, 40.0);
    }
    if (silent && result.next_beat_time == 0) {
      dropped = true;
      ASSERT_EQ(result.beat_time, 0.0) << f;
    }
    if (result.next_beat_time != 0) {
      ASSERT_LT(result.t_current - result.next_beat_time, 3000.0) << f;
    }
    if (f >= music + silence + 1000) {
      ASSERT_EQ(result.now_interval, 40.0) << f;
      ASSERT_LE(DistanceToClick(clicks, result.beat_time, engine->overlap / 2), 2.0) << f;
    }
  }
  EXPECT_TRUE(anchor_before_silence);
  EXPECT_TRUE(dropped);
  EXPECT_EQ(engine->music_reliability, 1.0);
}
