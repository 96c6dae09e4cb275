#include "voice_cancel/WindowFunction.h"

#include <cmath>
#include <cstdint>
#include <new>

namespace {

// The coefficient at normalised position t; every formula is evaluated left
// to right as written, since the last bits show in the tables.
double coefficient(WindowFunction::Type type, double t) {
  constexpr double pi = WindowFunction::pi;
  const double c1 = std::cos(2 * pi * t);
  switch (type) {
    case WindowFunction::Hann:
      return 0.5 - 0.5 * c1;
    case WindowFunction::Hamming:
      return 0.54 - 0.46 * c1;
    case WindowFunction::Bartlett:
      return 1.0 - 2 * std::fabs(t - 0.5);
    case WindowFunction::BartlettHann:
      return (0.62 - 0.48 * std::fabs(t - 0.5)) - 0.38 * c1;
    case WindowFunction::Nuttall:
      return ((0.355768 - 0.487396 * c1) + 0.144232 * std::cos(4 * pi * t)) -
             0.012604 * std::cos(6 * pi * t);
    case WindowFunction::Blackman:
      return (0.42 - 0.5 * c1) + 0.08 * std::cos(4 * pi * t);
    case WindowFunction::BlackmanHarris:
      return ((0.35875 - 0.48829 * c1) + 0.14128 * std::cos(4 * pi * t)) -
             0.01168 * std::cos(6 * pi * t);
    case WindowFunction::BlackmanNuttall:
      return ((0.3635819 - 0.4891775 * c1) + 0.1365995 * std::cos(4 * pi * t)) -
             0.0106411 * std::cos(6 * pi * t);
    case WindowFunction::FlatTop:
      return (((1.0 - 1.93 * c1) + 1.29 * std::cos(4 * pi * t)) - 0.388 * std::cos(6 * pi * t)) +
             0.032 * std::cos(8 * pi * t);
    case WindowFunction::OneMinusCos4:
      return (0.625 - 0.5 * c1) - 0.125 * std::cos(4 * pi * t);
    case WindowFunction::Welch:
      return (1.0 - t) * (4.0 * t);
    case WindowFunction::BlackmanDoubled:
      return (0.762 - c1) + 0.238 * std::cos(4 * pi * t);
    case WindowFunction::Rectangular:
    default:
      return 1.0;
  }
}

}  // namespace

WindowFunction::WindowFunction(std::uint64_t size, Type type) : window_type(type) {
  if (size > values.max_size()) throw std::bad_alloc();
  values.assign(size, 0.0);
  // Types outside the table (compared as unsigned) build ones.
  const Type built = static_cast<std::uint32_t>(type) > static_cast<std::uint32_t>(BlackmanDoubled)
                         ? Rectangular
                         : type;
  for (std::uint64_t j = 0; j < size; ++j) {
    values[j] = coefficient(built, static_cast<double>(j) / static_cast<double>(size));
  }
}
