#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "beat_tracker/LogScale.h"

namespace {

TEST(LogScaleTest, ShiftedLogarithmClippedAtZero) {
  EXPECT_EQ(convert_log_scale(1000.0, 0.0), 3.0);
  EXPECT_EQ(convert_log_scale(100.0, -1.5), 0.5);
  EXPECT_NEAR(convert_log_scale(0.5, 1.0), 0.69897000433601886, 1e-15);
  EXPECT_EQ(convert_log_scale(0.001, 2.0), 0.0);
  EXPECT_EQ(convert_log_scale(10.0, -1.0), 0.0);  // exactly 0 is not above 0
  EXPECT_EQ(convert_log_scale(0.01, 2.0), 0.0);
}

TEST(LogScaleTest, NonPositiveAndNotANumberGiveZero) {
  constexpr double nan = std::numeric_limits<double>::quiet_NaN();
  constexpr double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(convert_log_scale(0.0, 5.0), 0.0);
  EXPECT_EQ(convert_log_scale(-0.0, 5.0), 0.0);
  EXPECT_EQ(convert_log_scale(-1.0, 5.0), 0.0);
  EXPECT_EQ(convert_log_scale(-inf, 5.0), 0.0);
  EXPECT_EQ(convert_log_scale(nan, 5.0), 0.0);
  EXPECT_EQ(convert_log_scale(-nan, 5.0), 0.0);
  EXPECT_EQ(convert_log_scale(10.0, nan), 0.0);
  EXPECT_EQ(convert_log_scale(inf, 0.0), inf);
  EXPECT_EQ(convert_log_scale(inf, -inf), 0.0);  // inf - inf is not a number
}

}  // namespace
