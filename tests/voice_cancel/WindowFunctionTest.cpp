#include <gtest/gtest.h>

#include <cmath>
#include <new>
#include <vector>

#include "voice_cancel/WindowFunction.h"

namespace {

using Type = WindowFunction::Type;

std::vector<double> table(std::uint64_t size, Type type) {
  const WindowFunction window(size, type);
  std::vector<double> values;
  for (std::uint64_t j = 0; j < window.size(); ++j) {
    EXPECT_EQ(window[j], window.value(j));
    values.push_back(window[j]);
  }
  return values;
}

TEST(WindowFunctionTest, EnumerationIsThirtyTwoBitsWithFixedValues) {
  static_assert(sizeof(WindowFunction::Type) == 4);
  static_assert(WindowFunction::Rectangular == 0 && WindowFunction::Hann == 1 &&
                WindowFunction::Hamming == 2 && WindowFunction::Bartlett == 3 &&
                WindowFunction::BartlettHann == 4 && WindowFunction::Nuttall == 5 &&
                WindowFunction::Blackman == 6 && WindowFunction::BlackmanHarris == 7 &&
                WindowFunction::BlackmanNuttall == 8 && WindowFunction::FlatTop == 9 &&
                WindowFunction::OneMinusCos4 == 10 && WindowFunction::Welch == 11 &&
                WindowFunction::BlackmanDoubled == 12);
  EXPECT_EQ(WindowFunction::pi, 3.1415926);
}

TEST(WindowFunctionTest, SizeZeroIsEmptyForEveryType) {
  for (int type = -1; type <= 13; ++type) {
    const WindowFunction window(0, static_cast<Type>(type));
    EXPECT_EQ(window.size(), 0u);
    EXPECT_EQ(window.type(), static_cast<Type>(type));
  }
}

TEST(WindowFunctionTest, SizeOneHoldsTheValueAtZero) {
  EXPECT_EQ(table(1, WindowFunction::Hann), std::vector<double>{0.0});
  EXPECT_EQ(table(1, WindowFunction::Hamming), std::vector<double>{0.54 - 0.46});
  EXPECT_DOUBLE_EQ(table(1, WindowFunction::Hamming)[0], 0.08);
  EXPECT_EQ(table(1, WindowFunction::Bartlett), std::vector<double>{0.0});
  EXPECT_EQ(table(1, WindowFunction::Welch), std::vector<double>{0.0});
  EXPECT_EQ(table(1, WindowFunction::Rectangular), std::vector<double>{1.0});
}

TEST(WindowFunctionTest, SizeFourTables) {
  EXPECT_EQ(table(4, WindowFunction::Bartlett), (std::vector<double>{0.0, 0.5, 1.0, 0.5}));
  EXPECT_EQ(table(4, WindowFunction::Welch), (std::vector<double>{0.0, 0.75, 1.0, 0.75}));
  EXPECT_EQ(table(4, WindowFunction::Rectangular), (std::vector<double>{1.0, 1.0, 1.0, 1.0}));
  const std::vector<double> hann = table(4, WindowFunction::Hann);
  EXPECT_EQ(hann[0], 0.0);
  EXPECT_NEAR(hann[1], 0.49999998660, 1e-11);
  EXPECT_EQ(hann[2], 0.99999999999999933);
  EXPECT_NEAR(hann[3], 0.50000004019, 1e-11);
  EXPECT_NE(hann[1], hann[3]) << "the shortened pi shows in the last digits";
}

TEST(WindowFunctionTest, FirstCoefficientsShowTheOrderOfEvaluation) {
  EXPECT_NEAR(table(4, WindowFunction::Blackman)[0], -1.4e-17, 0.05e-17);
  EXPECT_NE(table(4, WindowFunction::Blackman)[0], 0.0);
  EXPECT_NEAR(table(4, WindowFunction::Nuttall)[0], -2.4e-17, 0.05e-17);
  EXPECT_NEAR(table(4, WindowFunction::BlackmanHarris)[0], 6.0e-5, 1e-15);
  EXPECT_NEAR(table(4, WindowFunction::BlackmanNuttall)[0], 3.628e-4, 1e-15);
}

TEST(WindowFunctionTest, ValuesAtZeroAndAtTheMiddle) {
  struct Case {
    Type type;
    double at_zero, at_half;
  };
  for (Case c :
       {Case{WindowFunction::FlatTop, 0.004, 4.64}, Case{WindowFunction::BlackmanDoubled, 0.0, 2.0},
        Case{WindowFunction::OneMinusCos4, 0.0, 1.0}, Case{WindowFunction::Hamming, 0.08, 1.0},
        Case{WindowFunction::BartlettHann, 0.0, 1.0}}) {
    const std::vector<double> values = table(8, c.type);
    EXPECT_NEAR(values[0], c.at_zero, 1e-12) << c.type;
    EXPECT_NEAR(values[4], c.at_half, 1e-12) << c.type;
  }
}

TEST(WindowFunctionTest, PeriodicTablesDividedByTheSize) {
  const std::vector<double> hann = table(8, WindowFunction::Hann);
  for (std::size_t j = 0; j < 8; ++j) {
    EXPECT_EQ(hann[j], 0.5 - 0.5 * std::cos(2 * WindowFunction::pi * (j / 8.0))) << j;
  }
  const std::vector<double> bartlett = table(5, WindowFunction::Bartlett);
  EXPECT_EQ(bartlett[4], 1.0 - 2 * (0.8 - 0.5));  // never reaches t = 1
}

TEST(WindowFunctionTest, UnknownTypesBuildOnesButKeepTheirValue) {
  for (int value : {13, 1000, -1}) {
    const WindowFunction window(3, static_cast<Type>(value));
    EXPECT_EQ(window.type(), static_cast<Type>(value));
    EXPECT_EQ(static_cast<int>(window.type()), value);
    ASSERT_EQ(window.size(), 3u);
    for (std::uint64_t j = 0; j < 3; ++j) EXPECT_EQ(window[j], 1.0) << value;
  }
}

TEST(WindowFunctionTest, TooLargeATableIsAnAllocationError) {
  EXPECT_THROW(WindowFunction(~std::uint64_t{0}, WindowFunction::Hann), std::bad_alloc);
}

}  // namespace
