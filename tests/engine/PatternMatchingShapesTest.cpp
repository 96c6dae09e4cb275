// The pattern-matching cache on rings and windows of other shapes than the
// engine's: short rings of odd lengths, windows from 5 to 75 frames, the first
// frames after a fill, the ring's wrap, and rebuilds, which must give the very
// values the frame-by-frame path gives.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "EngineTestSupport.h"
#include "beat_tracker/PatternMatchingCache.h"

using beat_tracker::PatternMatchingCache;
using beat_tracker::RingIBuffer;
using engine_test::MatchesReference;
using engine_test::QuietEngine;
using engine_test::RandomOnsetRow;
using engine_test::SameBits;
using engine_test::SmallInit;
using engine_test::TempDir;

namespace {

struct Shape {
  int min_interval;
  int max_interval;
  int window;
};

}  // namespace

TEST(PatternMatchingShapes, FollowedAndRebuiltSumsAgreeOnEveryFrame) {
  TempDir dir;
  auto engine = QuietEngine(SmallInit(10, 40, dir.prefix(), false));
  std::mt19937_64 rng(21);
  // Windows short and long, even and odd.
  const Shape shapes[] = {{10, 40, 40}, {6, 20, 5}, {8, 30, 8}, {12, 37, 17}, {31, 75, 75}};
  // Ring lengths even and odd, far shorter than the engine's.
  for (std::uint64_t length : {160u, 161u, 171u}) {
    for (const Shape& shape : shapes) {
      SCOPED_TRACE(::testing::Message()
                   << "ring " << length << ", lags " << shape.min_interval << " ... "
                   << shape.max_interval - 1 << ", window " << shape.window);
      engine->min_interval = shape.min_interval;
      engine->max_interval = shape.max_interval;
      engine->window_length = shape.window;
      engine->onset_band_begin = 1;
      engine->onset_band_end = 63;
      PatternMatchingCache::Config config;
      config.min_interval = shape.min_interval;
      config.max_interval = shape.max_interval;
      config.window = shape.window;
      config.band_begin = 1;
      config.band_end = 63;

      RingIBuffer<std::vector<double>> ring;
      ring.length = length;
      ring.fill(std::vector<double>(64, 0.0));
      PatternMatchingCache followed;  // sees one more row each frame
      PatternMatchingCache rebuilt;   // sees another ring each frame
      RingIBuffer<std::vector<double>> copies[2];
      std::vector<double> fast, again;
      const int frames = static_cast<int>(2 * length) + 20;  // wraps twice
      for (int f = 0; f < frames; ++f) {
        if (f > 0) ring.push(RandomOnsetRow(rng));
        if (f == static_cast<int>(length) + 3) {
          // An older row edited by hand: the followed cache rebuilds too.
          ring.back(shape.max_interval / 2)[7] += 3.0;
        }
        followed.Compute(config, ring, fast);
        ASSERT_TRUE(MatchesReference(fast, engine->PatternMatchingReference(ring)))
            << "frame " << f;
        RingIBuffer<std::vector<double>>& copy = copies[f % 2];
        copy = ring;
        rebuilt.Compute(config, copy, again);
        ASSERT_TRUE(SameBits(fast, again)) << "frame " << f;
      }
      // Two rebuilds (the first frame and the edit), one per frame for the other.
      EXPECT_EQ(followed.rebuilds(), 2u);
      EXPECT_EQ(rebuilt.rebuilds(), static_cast<std::uint64_t>(frames));
    }
  }
}

TEST(PatternMatchingShapes, AZeroWindowStaysExactlyZero) {
  // Silence in the newest window gives exactly 0, not a rounding remainder.
  TempDir dir;
  auto engine = QuietEngine(SmallInit(10, 40, dir.prefix(), false));
  std::mt19937_64 rng(4);
  for (int f = 0; f < 100; ++f) engine->onset_buffer.push(RandomOnsetRow(rng));
  for (int f = 0; f < 60; ++f) {
    engine->onset_buffer.push(std::vector<double>(64, 0.0));
    const auto stpm = engine->STPattanMatching(engine->onset_buffer);
    if (f >= 39) {
      for (double v : stpm) ASSERT_EQ(v, 0.0) << "frame " << f;
    }
  }
}
