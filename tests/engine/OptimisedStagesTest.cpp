// The fast stages against the straightforward reference computations they
// replace: the mel filter bit for bit, the pattern matching within rounding.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "EngineTestSupport.h"

using beat_tracker::BeatTracker;
using beat_tracker::RingIBuffer;
using engine_test::ClickTrack;
using engine_test::MatchesReference;
using engine_test::QuietEngine;
using engine_test::RandomOnsetRow;
using engine_test::SameBits;
using engine_test::SmallInit;
using engine_test::TempDir;

namespace {

std::vector<double> RandomSpectrum(std::mt19937_64& rng, std::size_t bins) {
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::vector<double> row(bins);
  for (double& v : row) {
    const double u = unit(rng);
    v = u < 0.05 ? 0.0 : u < 0.1 ? u * 1e-310 : u * u * 1e3;
  }
  return row;
}

}  // namespace

TEST(OptimisedMelFilter, BitIdenticalToTheReferenceForSeveralFrameShapes) {
  TempDir dir;
  std::mt19937_64 rng(11);
  struct Shape {
    double rate;
    std::uint64_t fft;
    std::uint64_t hop;
  };
  for (const Shape& shape : {Shape{16000.0, 512, 160}, Shape{44100.0, 4096, 512},
                             Shape{8000.0, 1000, 100}, Shape{16000.0, 130, 20}}) {
    beat_tracker::BeatTrackerInit init = SmallInit(10, 40, dir.prefix(), false);
    init.sampling_rate = shape.rate;
    init.fft_length = shape.fft;
    init.advance = shape.hop;
    auto engine = QuietEngine(init);
    for (int f = 0; f < 20; ++f) {
      engine->spectrum_buffer.push(RandomSpectrum(rng, shape.fft / 2));
      const auto fast = engine->MelFilter(engine->spectrum_buffer);
      const auto reference = engine->MelSpectrumReference(engine->spectrum_buffer.back(0));
      ASSERT_TRUE(SameBits(fast, reference)) << "fft " << shape.fft << " frame " << f;
    }
  }
}

TEST(OptimisedMelFilter, FollowsMelPointsEditedByHand) {
  TempDir dir;
  auto engine = QuietEngine(SmallInit(10, 40, dir.prefix(), false));
  std::mt19937_64 rng(5);
  engine->spectrum_buffer.push(RandomSpectrum(rng, 256));
  const auto before = engine->MelFilter(engine->spectrum_buffer);
  // Narrow every triangle: the old bin ranges would now add wrong bins.
  for (double& p : engine->mel_points) p *= 0.5;
  const auto after = engine->MelFilter(engine->spectrum_buffer);
  EXPECT_FALSE(SameBits(before, after));
  EXPECT_TRUE(SameBits(after, engine->MelSpectrumReference(engine->spectrum_buffer.back(0))));
  // A bin exactly on a peak point still weighs 1 in its filter and 0 in the next.
  engine->mel_points = {0.0, 2.0, 4.0, 6.0};
  std::vector<double> row(256, 0.0);
  row[4] = 1.0;
  engine->spectrum_buffer.push(row);
  const auto peak = engine->MelFilter(engine->spectrum_buffer);
  ASSERT_EQ(peak.size(), 2u);
  EXPECT_EQ(peak[0], 0.0);
  EXPECT_EQ(peak[1], 1.0);
  // Points out of order: sides of triangles empty or overlapping.
  engine->mel_points = {10.0, 5.0, 20.0, 8.0, 30.0, 31.0, 31.0, 29.5, 60.0};
  engine->spectrum_buffer.push(RandomSpectrum(rng, 256));
  EXPECT_TRUE(SameBits(engine->MelFilter(engine->spectrum_buffer),
                       engine->MelSpectrumReference(engine->spectrum_buffer.back(0))));
}

TEST(OptimisedPatternMatching, MatchesTheReferenceOnEveryFrameAcrossTheRingWrap) {
  // From the zero fill of construction, through 3000 frames and past the
  // ring's wrap, on random rows with zeros and subnormal values.
  TempDir dir;
  auto engine = QuietEngine(SmallInit(10, 40, dir.prefix(), false));
  std::mt19937_64 rng(3);
  for (int f = 0; f < 3200; ++f) {
    if (f > 0) engine->onset_buffer.push(RandomOnsetRow(rng));
    const auto fast = engine->STPattanMatching(engine->onset_buffer);
    ASSERT_TRUE(MatchesReference(fast, engine->PatternMatchingReference(engine->onset_buffer)))
        << "frame " << f;
  }
}

TEST(OptimisedPatternMatching, MatchesTheReferenceOnRealOnsetsAtTheDefaultRange) {
  // The tool's default range (34 ... 99 at 100 frames a second) on the onset
  // vectors of a click train, with silence in between.
  TempDir dir;
  auto engine = QuietEngine(SmallInit(34, 100, dir.prefix(), false));
  ClickTrack clicks(121.0, 0.3);
  engine_test::CoutCapture quiet;
  for (std::uint64_t f = 0; f < 900; ++f) {
    const bool silent = f >= 400 && f < 520;
    const auto result = engine->analyze(clicks.Frame(f, silent));
    ASSERT_TRUE(MatchesReference(result.stpm_vector,
                                 engine->PatternMatchingReference(engine->onset_buffer)))
        << "frame " << f;
  }
}

TEST(OptimisedPatternMatching, RebuildsWhenTheHistoryIsNotTheOneItFollowed) {
  TempDir dir;
  auto engine = QuietEngine(SmallInit(10, 40, dir.prefix(), false));
  std::mt19937_64 rng(9);
  for (int f = 0; f < 100; ++f) engine->onset_buffer.push(RandomOnsetRow(rng));
  auto check = [&](const char* what) {
    EXPECT_TRUE(MatchesReference(engine->STPattanMatching(engine->onset_buffer),
                                 engine->PatternMatchingReference(engine->onset_buffer)))
        << what;
  };
  check("first call");
  // An older row edited by hand, then one row pushed as analyze would.
  engine->onset_buffer.back(30)[5] += 7.0;
  engine->onset_buffer.push(RandomOnsetRow(rng));
  check("edited history");
  // Called again without a new row, and after a whole refill.
  check("same frame again");
  engine->onset_buffer.fill(RandomOnsetRow(rng));
  check("refilled ring");
  // Another ring, then the engine's own again.
  RingIBuffer<std::vector<double>> other;
  other.fill(std::vector<double>(64, 0.0));
  for (int f = 0; f < 90; ++f) other.push(RandomOnsetRow(rng));
  EXPECT_TRUE(
      MatchesReference(engine->STPattanMatching(other), engine->PatternMatchingReference(other)));
  engine->onset_buffer.push(RandomOnsetRow(rng));
  check("own ring after another");
  // A changed interval range and band range.
  engine->min_interval = 12;
  engine->onset_band_begin = 3;
  engine->onset_band_end = 50;
  engine->onset_buffer.push(RandomOnsetRow(rng));
  check("changed ranges");
}

TEST(OptimisedPatternMatching, AnalyzeTakesUpARefilledHistoryAndCheckedEdits) {
  // analyze follows its own pushes; a ring refilled between frames is noticed
  // by itself, a row edited by hand once STPattanMatching has seen the ring.
  TempDir dir;
  auto engine = QuietEngine(SmallInit(34, 100, dir.prefix(), false));
  ClickTrack clicks(121.0, 0.3);
  std::mt19937_64 rng(21);
  engine_test::CoutCapture quiet;
  auto expect_reference = [&](const std::vector<double>& stpm, int f) {
    ASSERT_TRUE(MatchesReference(stpm, engine->PatternMatchingReference(engine->onset_buffer)))
        << "frame " << f;
  };
  for (int f = 0; f < 600; ++f) {
    if (f == 250) engine->onset_buffer.fill(RandomOnsetRow(rng));
    if (f == 400) {
      engine->onset_buffer.back(60)[7] += 5.0;
      engine->onset_buffer.back(3)[20] = 0.0;
      engine->STPattanMatching(engine->onset_buffer);
    }
    expect_reference(
        engine->analyze(clicks.Frame(static_cast<std::uint64_t>(f), false)).stpm_vector, f);
  }
}

TEST(OptimisedPatternMatching, RefusesWhatTheReferenceRefuses) {
  TempDir dir;
  auto engine = QuietEngine(SmallInit(10, 40, dir.prefix(), false));
  engine->onset_buffer.back(45) = std::vector<double>(20, 1.0);  // too few bands
  EXPECT_THROW(engine->STPattanMatching(engine->onset_buffer), std::invalid_argument);
  RingIBuffer<std::vector<double>> unfilled;
  EXPECT_THROW(engine->STPattanMatching(unfilled), std::invalid_argument);
  engine->min_interval = 40;  // no candidate interval
  EXPECT_TRUE(engine->STPattanMatching(engine->onset_buffer).empty());
  // A row shortened after a history was followed: refused, nothing read past it.
  engine->min_interval = 10;
  engine->onset_buffer.back(45) = std::vector<double>(64, 0.5);
  std::mt19937_64 rng(8);
  engine->onset_buffer.push(RandomOnsetRow(rng));
  engine->STPattanMatching(engine->onset_buffer);
  engine->onset_buffer.push(RandomOnsetRow(rng));
  engine->onset_buffer.back(1) = std::vector<double>(3, 1.0);
  EXPECT_THROW(engine->STPattanMatching(engine->onset_buffer), std::invalid_argument);
}

TEST(ReferenceStages, WholeRunsAgreeOnEveryDecision) {
  // The engine option that forces the reference stages gives the same interval,
  // reliability and beat times on every frame.
  TempDir fast_dir, reference_dir;
  auto fast = QuietEngine(SmallInit(34, 100, fast_dir.prefix(), false));
  auto reference = QuietEngine(SmallInit(34, 100, reference_dir.prefix(), false));
  reference->use_reference_stages = true;
  ClickTrack clicks(97.0, 0.1);
  engine_test::CoutCapture quiet;
  for (std::uint64_t f = 0; f < 1500; ++f) {
    const auto spectrum = clicks.Frame(f, f > 700 && f < 760);
    const auto a = fast->analyze(spectrum);
    const auto b = reference->analyze(spectrum);
    ASSERT_EQ(a.now_interval, b.now_interval) << f;
    ASSERT_EQ(a.reliability, b.reliability) << f;
    ASSERT_EQ(a.beat_time, b.beat_time) << f;
    ASSERT_EQ(a.next_beat_time, b.next_beat_time) << f;
    ASSERT_TRUE(SameBits(a.onset_vector, b.onset_vector)) << f;
    ASSERT_TRUE(MatchesReference(a.stpm_vector, b.stpm_vector)) << f;
  }
}
