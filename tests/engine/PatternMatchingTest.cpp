#include <gtest/gtest.h>

#include "EngineTestSupport.h"

namespace {

// m = 43, N = F = 130: 87 candidate intervals.
class PatternMatching : public engine_test::EngineTest<43, 130> {
 protected:
  // Pushes a row whose bands 1 ... 62 follow a pattern of the given phase.
  void PushPatternRow(int phase, int period) {
    std::vector<double> row(64, 0.0);
    for (int k = 1; k < 63; ++k)
      row[k] = 1.0 + ((phase * 7 + k * 3) % 11) * (phase % period == 0 ? 3.0 : 0.1);
    engine->onset_buffer.push(row);
  }
};

}  // namespace

TEST_F(PatternMatching, PeriodicPatternScoresOneAtItsPeriodAndMultiples) {
  const int period = 45;
  for (int f = 0; f < period * 2 + 130 + 10; ++f) PushPatternRow(f % period, period);
  const auto S = engine->STPattanMatching(engine->onset_buffer);
  ASSERT_EQ(S.size(), 87u);
  EXPECT_NEAR(S[period - 43], 1.0, 1e-12);
  EXPECT_NEAR(S[2 * period - 43], 1.0, 1e-12);
  for (int j = 0; j < 87; ++j) {
    EXPECT_GE(S[j], 0.0);
    if ((43 + j) % period != 0) {
      EXPECT_LT(S[j], 0.99) << "interval " << 43 + j;
    }
  }
}

TEST_F(PatternMatching, ImpulsesAtThePeriodOnly) {
  const int period = 60;
  for (int f = 0; f < 400; ++f) {
    std::vector<double> row(64, 0.0);
    if (f % period == 0)
      for (int k = 1; k < 63; ++k) row[k] = 0.5 + k % 3;
    engine->onset_buffer.push(row);
  }
  const auto S = engine->STPattanMatching(engine->onset_buffer);
  for (int j = 0; j < 87; ++j) {
    if (43 + j == 60 || 43 + j == 120)
      EXPECT_NEAR(S[j], 1.0, 1e-12);
    else
      EXPECT_EQ(S[j], 0.0) << 43 + j;
  }
}

TEST_F(PatternMatching, ConstantRowsZeroRowsAndOuterBands) {
  // All rows equal and non-zero in the matched bands: 1 everywhere.
  std::vector<double> row(64, 0.0);
  for (int k = 1; k < 63; ++k) row[k] = 0.25 * k;
  engine->onset_buffer.fill(row);
  for (double value : engine->STPattanMatching(engine->onset_buffer))
    EXPECT_NEAR(value, 1.0, 1e-12);

  // Only bands 0 and 63: they never enter the sums.
  std::vector<double> outer(64, 0.0);
  outer[0] = 5.0;
  outer[63] = 5.0;
  engine->onset_buffer.fill(outer);
  for (double value : engine->STPattanMatching(engine->onset_buffer)) EXPECT_EQ(value, 0.0);

  // A single non-zero row: no interval finds it twice.
  engine->onset_buffer.fill(std::vector<double>(64, 0.0));
  engine->onset_buffer.back(70) = row;
  for (double value : engine->STPattanMatching(engine->onset_buffer)) EXPECT_EQ(value, 0.0);
}

TEST_F(PatternMatching, LongestIntervalReachesTwoHundredFiftyEightFramesBack) {
  // Entry 86 (interval 129) compares the rows 0 ... 129 back with 129 ... 258 back.
  engine->onset_buffer.fill(std::vector<double>(64, 0.0));
  std::vector<double> row(64, 0.0);
  row[10] = 2.0;
  row[40] = 1.0;
  engine->onset_buffer.back(129) = row;
  engine->onset_buffer.back(258) = row;
  const auto S = engine->STPattanMatching(engine->onset_buffer);
  // A = x.x; X = x.x (row 129 in the newest block); Y = 2 x.x (rows 129 and
  // 258 in the lagged block): 0.5.
  EXPECT_NEAR(S[86], 0.5, 1e-12);
  for (int j = 0; j < 86; ++j) EXPECT_EQ(S[j], 0.0);
  engine->onset_buffer.back(258) = std::vector<double>(64, 0.0);
  engine->onset_buffer.back(259) = row;  // one frame too far
  EXPECT_EQ(engine->STPattanMatching(engine->onset_buffer)[86], 0.0);
}
