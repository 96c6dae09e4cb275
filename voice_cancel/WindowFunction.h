#ifndef VESK_VOICE_CANCEL_WINDOWFUNCTION_H
#define VESK_VOICE_CANCEL_WINDOWFUNCTION_H

#include <cstdint>
#include <vector>

// A table of periodic analysis-window coefficients: w(j / size) for
// j = 0 .. size-1, computed once at construction.
class WindowFunction {
 public:
  enum Type : std::int32_t {
    Rectangular = 0,
    Hann = 1,
    Hamming = 2,
    Bartlett = 3,
    BartlettHann = 4,
    Nuttall = 5,
    Blackman = 6,
    BlackmanHarris = 7,
    BlackmanNuttall = 8,
    FlatTop = 9,
    OneMinusCos4 = 10,
    Welch = 11,
    BlackmanDoubled = 12,
  };

  // Deliberately short: the tables are defined with this value of pi.
  static constexpr double pi = 3.1415926;

  // Any type outside Rectangular .. BlackmanDoubled builds a table of ones but
  // is still reported by type(). Throws std::bad_alloc when the table cannot
  // be held.
  WindowFunction(std::uint64_t size, Type type);

  std::uint64_t size() const { return values.size(); }
  Type type() const { return window_type; }
  // No bounds check: index must be below size().
  double operator[](std::uint64_t index) const { return values[index]; }
  double value(std::uint64_t index) const { return values[index]; }

 private:
  Type window_type;
  std::vector<double> values;
};

#endif
