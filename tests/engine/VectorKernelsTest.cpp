// Every vector unit the kernels are built for gives the very bits of the
// scalar expressions they stand for, on odd sizes, padding and wrap-around.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "EngineTestSupport.h"
#include "beat_tracker/EngineKernels.h"
#include "common/VectorKernels.h"

namespace kernels = beat_tracker::kernels;
using vesk_kernels::Unit;

namespace {

bool SameBits(double a, double b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

// Runs `check` once with every available unit, then restores the unit in use.
template <typename Check>
void ForEachUnit(Check check) {
  const Unit before = vesk_kernels::InUse();
  for (Unit unit : {Unit::kBase, Unit::kAvx2}) {
    if (!vesk_kernels::Available(unit)) continue;
    vesk_kernels::Use(unit);
    SCOPED_TRACE(unit == Unit::kBase ? "base unit" : "AVX2 unit");
    check();
  }
  vesk_kernels::Use(before);
}

std::vector<double> RandomValues(std::mt19937_64& rng, std::size_t n) {
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::vector<double> v(n);
  for (double& x : v) {
    const double u = unit(rng);
    x = u < 0.1 ? 0.0 : u < 0.15 ? u * 1e-310 : (u - 0.5) * 1e3;
  }
  return v;
}

}  // namespace

TEST(VectorKernels, LagTermsAreBandOrderedDotProducts) {
  std::mt19937_64 rng(1);
  for (int count : {1, 3, 4, 5, 13, 44, 69}) {
    const int width = 62;
    const std::size_t stride = static_cast<std::size_t>(kernels::PaddedLags(count)) + 9;
    const auto x = RandomValues(rng, width);
    const auto lagged = RandomValues(rng, stride * width);
    ForEachUnit([&] {
      std::vector<double> terms(kernels::PaddedLags(count), -1.0);
      kernels::LagTerms(x.data(), lagged.data(), stride, width, count, terms.data());
      for (int j = 0; j < count; ++j) {
        double expected = 0.0;
        for (int k = 0; k < width; ++k) expected += x[k] * lagged[k * stride + j];
        ASSERT_TRUE(SameBits(terms[j], expected)) << "count " << count << " lag " << j;
      }
    });
  }
}

TEST(VectorKernels, WindowSumsRunNewestFirstAcrossTheWrap) {
  std::mt19937_64 rng(2);
  for (int count : {1, 2, 7, 44, 70}) {
    for (int window : {1, 5, 75}) {
      const std::size_t row_stride = static_cast<std::size_t>(kernels::PaddedLags(count));
      const auto rows = RandomValues(rng, row_stride * window);
      const int newest = window / 2;
      ForEachUnit([&] {
        std::vector<double> cross(row_stride, -1.0);
        kernels::WindowSums(rows.data(), row_stride, count, window, newest, cross.data());
        for (int j = 0; j < count; ++j) {
          double expected = 0.0;
          for (int s = 0; s < window; ++s)
            expected += rows[((newest + s) % window) * row_stride + j];
          ASSERT_TRUE(SameBits(cross[j], expected))
              << "count " << count << " window " << window << " lag " << j;
        }
      });
    }
  }
}

TEST(VectorKernels, TriangleSumsAddBothSidesInBinOrder) {
  std::mt19937_64 rng(3);
  const std::size_t bins = 257;
  const auto values = RandomValues(rng, bins);
  std::vector<double> numbers(bins);
  for (std::size_t i = 0; i < bins; ++i) numbers[i] = static_cast<double>(i);
  // Triangles of every width from none to wide, with sides of any length.
  std::vector<double> points;
  std::vector<std::size_t> first, mid, end;
  std::uniform_int_distribution<std::size_t> position(0, bins);
  for (int f = 0; f < 40; ++f) {
    std::size_t a = position(rng), b = position(rng), c = position(rng);
    if (a > b) std::swap(a, b);
    if (b > c) std::swap(b, c);
    if (a > b) std::swap(a, b);
    first.push_back(a);
    mid.push_back(b);
    end.push_back(c);
  }
  for (std::size_t f = 0; f < first.size() + 2; ++f) points.push_back(0.37 * f + 1.5);
  ForEachUnit([&] {
    std::vector<double> out(first.size(), -1.0);
    kernels::TriangleSums(values.data(), numbers.data(), points.data(), first.size(), first.data(),
                          mid.data(), end.data(), out.data());
    for (std::size_t f = 0; f < first.size(); ++f) {
      const double lo = points[f], pk = points[f + 1], hi = points[f + 2];
      double expected = 0.0;
      for (std::size_t i = first[f]; i < mid[f]; ++i)
        expected += ((static_cast<double>(i) - lo) * values[i]) / (pk - lo);
      for (std::size_t i = mid[f]; i < end[f]; ++i)
        expected += (values[i] * (hi - static_cast<double>(i))) / (hi - pk);
      ASSERT_TRUE(SameBits(out[f], expected)) << "filter " << f;
    }
  });
}

TEST(VectorKernels, MagnitudesAreRootsOfSumsOfSquares) {
  std::mt19937_64 rng(4);
  const auto parts = RandomValues(rng, 2 * 259);
  std::vector<FftComplex> bins;
  for (std::size_t i = 0; i + 1 < parts.size(); i += 2) bins.emplace_back(parts[i], parts[i + 1]);
  bins.emplace_back(-INFINITY, 1.0);
  bins.emplace_back(NAN, 0.0);
  ForEachUnit([&] {
    std::vector<double> out(bins.size(), -1.0);
    vesk_kernels::Magnitudes(bins.data(), bins.size(), out.data());
    for (std::size_t i = 0; i < bins.size(); ++i)
      ASSERT_TRUE(SameBits(out[i], bins[i].abs()) ||
                  (std::isnan(out[i]) && std::isnan(bins[i].abs())))
          << "bin " << i;
  });
}

TEST(VectorKernels, EveryUnitGivesTheSameAnalysis) {
  // Whole frames through the engine: onset, matching and chroma bit for bit.
  std::vector<std::vector<double>> first_run;
  bool first = true;
  ForEachUnit([&] {
    engine_test::TempDir dir;
    auto engine = engine_test::QuietEngine(engine_test::SmallInit(34, 100, dir.prefix(), false));
    engine_test::ClickTrack clicks(117.0, 0.2);
    engine_test::CoutCapture quiet;
    std::vector<std::vector<double>> run;
    for (std::uint64_t f = 0; f < 400; ++f) {
      const auto result = engine->analyze(clicks.Frame(f, false));
      run.push_back(result.onset_vector);
      run.push_back(result.stpm_vector);
    }
    if (first) {
      first_run = run;
      first = false;
      return;
    }
    ASSERT_EQ(run.size(), first_run.size());
    for (std::size_t i = 0; i < run.size(); ++i)
      ASSERT_TRUE(engine_test::SameBits(run[i], first_run[i])) << "row " << i;
  });
}
