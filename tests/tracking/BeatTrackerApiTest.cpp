// The C++ API (vesk/BeatTracker.h) as an application uses it: settings by
// name, checked with the tool's words; blocks of any size; per-frame features.
#include <gtest/gtest.h>
#include <vesk/BeatTracker.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

std::string refusal(const std::function<void()>& f) {
  try {
    f();
  } catch (const std::invalid_argument& e) {
    return e.what();
  }
  return "accepted";
}

// Mono noise bursts at 16 kHz.
std::vector<float> clicks(double bpm, double seconds) {
  std::vector<float> x(static_cast<std::size_t>(seconds * 16000), 0.0f);
  std::uint32_t state = 7u;
  for (double t = 0.5; t < seconds - 0.05; t += 60.0 / bpm) {
    const std::size_t at = static_cast<std::size_t>(t * 16000);
    for (std::size_t i = 0; i < 500 && at + i < x.size(); ++i) {
      state = state * 1664525u + 1013904223u;
      x[at + i] = static_cast<float>(((state >> 8) / 16777216.0 - 0.5) * std::exp(-(i / 100.0)));
    }
  }
  return x;
}

}  // namespace

TEST(BeatTrackerApi, SettingsAreRefusedWithTheirNameAndWhatIsAllowed) {
  using vesk::Settings;
  EXPECT_NE(refusal([] {
              Settings().set("max-bpm", 180);
            }).find("unknown setting \"max-bpm\": expected one of rate"),
            std::string::npos);
  EXPECT_EQ(refusal([] { Settings().set("min_bpm", 60.5); }),
            "min_bpm 60.5: expected a whole number in 10..1000");
  EXPECT_NE(refusal([] { Settings().set("front_end", 1); }).find("expected a name: none, log"),
            std::string::npos);
  EXPECT_EQ(refusal([] { Settings().set("threshold", "high"); }),
            "threshold \"high\": expected a number");
  EXPECT_EQ(refusal([] { vesk::BeatTracker(16000, 1, Settings().set("rate", 100)); }),
            "rate: 100 is out of range (allowed: 4000..192000)");
  EXPECT_NE(refusal([] {
              vesk::BeatTracker(16000, 1, Settings().set("front_end", "loud"));
            }).find("loud"),
            std::string::npos);
  EXPECT_EQ(refusal([] {
              vesk::BeatTracker(16000, 1, Settings().set("gate", "off").set("min_bpm", 60));
            }),
            "accepted");
  vesk::BeatTracker finished(16000, 1);
  finished.finish();
  const float sample = 0.0f;
  EXPECT_THROW(finished.process(&sample, 1), std::logic_error);
}

TEST(BeatTrackerApi, AnyBlockSizeGivesTheSameBeatsAndEveryFramesFeatures) {
  const std::vector<float> audio = clicks(100.0, 12.0);
  std::vector<std::vector<vesk::Beat>> runs;
  for (std::size_t block : {std::size_t{1}, std::size_t{4093}, audio.size()}) {
    vesk::BeatTracker tracker(16000, 1, vesk::Settings().set("max_bpm", 180),
                              vesk::Options{true, ""});
    std::vector<vesk::Beat> beats;
    std::vector<vesk::Frame> frames;
    for (std::size_t at = 0; at < audio.size(); at += block) {
      for (const vesk::Beat& b : tracker.process(&audio[at], std::min(block, audio.size() - at)))
        beats.push_back(b);
      for (vesk::Frame& f : tracker.takeFrames()) frames.push_back(std::move(f));
    }
    for (const vesk::Beat& b : tracker.finish()) beats.push_back(b);
    for (vesk::Frame& f : tracker.takeFrames()) frames.push_back(std::move(f));
    ASSERT_NEAR(static_cast<double>(frames.size()), 1200.0, 2.0);
    EXPECT_EQ(frames.front().tempo, 0.0);  // nothing measured yet
    for (const vesk::Frame& f : frames) {
      EXPECT_TRUE(f.tempo == 0.0 || (f.tempo >= 80.0 && f.tempo <= 180.0))
          << f.time << " " << f.tempo;
      ASSERT_EQ(f.onset.size(), 64u);
      ASSERT_EQ(f.chroma.size(), 12u);
    }
    EXPECT_NEAR(frames.back().tempo, 100.0, 3.0);
    runs.push_back(beats);
  }
  ASSERT_GT(runs[0].size(), 10u);
  for (const std::vector<vesk::Beat>& run : runs) {
    ASSERT_EQ(run.size(), runs[0].size());
    for (std::size_t i = 0; i < run.size(); ++i) {
      EXPECT_EQ(run[i].time, runs[0][i].time);
      EXPECT_EQ(run[i].tempo, runs[0][i].tempo);
      EXPECT_TRUE(run[i].reliable);
    }
  }
}
