#ifndef VESK_COMMON_FFTCOMPLEX_H
#define VESK_COMMON_FFTCOMPLEX_H

#include <cmath>

// One complex spectrum value, real part then imaginary part, as two doubles.
struct FftComplex {
  double re = 0.0;
  double im = 0.0;

  FftComplex() = default;
  FftComplex(double real, double imaginary) : re(real), im(imaginary) {}

  double real() const { return re; }
  double imag() const { return im; }
  // Magnitude as the plain square root of the sum of squares (not hypot), so
  // that every caller gets the same bits.
  double abs() const { return std::sqrt(re * re + im * im); }
};

#endif
