// Counts heap allocations made by analyze once the engine is running: only the
// result record's three vectors may be allocated per frame.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <streambuf>

#include "EngineTestSupport.h"

namespace {
std::atomic<bool> counting{false};
std::atomic<long> allocations{0};

// Swallows the engine's console lines without allocating.
class NullBuffer : public std::streambuf {
 protected:
  int overflow(int c) override { return c; }
};
}  // namespace

// The replacement pair takes its memory from malloc and gives it back to free;
// the compiler cannot see that the two belong together.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t size) {
  if (counting.load(std::memory_order_relaxed)) allocations.fetch_add(1);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}

TEST(SteadyState, AnalyzeAllocatesOnlyItsResultRecord) {
  engine_test::TempDir dir;
  auto engine = engine_test::QuietEngine(engine_test::SmallInit(34, 100, dir.prefix(), false));
  engine_test::ClickTrack clicks(118.0, 0.2);
  NullBuffer null;
  std::streambuf* old = std::cout.rdbuf(&null);
  for (std::uint64_t f = 0; f < 600; ++f) engine->analyze(clicks.Frame(f));
  // Frames prepared outside the counted stretch.
  std::vector<std::vector<double>> frames;
  for (std::uint64_t f = 600; f < 2600; ++f)
    frames.push_back(clicks.Frame(f, f > 1800 && f < 1900));
  allocations = 0;
  counting = true;
  double beats = 0;
  for (const auto& spectrum : frames) beats += engine->analyze(spectrum).beat_time > 0 ? 1 : 0;
  counting = false;
  std::cout.rdbuf(old);
  EXPECT_GT(beats, 0);
  // onset_vector, stpm_vector and chroma_vector of each record.
  EXPECT_EQ(allocations.load(), 3 * static_cast<long>(frames.size()));
}
