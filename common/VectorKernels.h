#ifndef VESK_COMMON_VECTORKERNELS_H
#define VESK_COMMON_VECTORKERNELS_H

#include <cstddef>

#include "common/FftComplex.h"

// The innermost per-frame loops, run on as wide a vector unit as the processor
// has (chosen once, at the first call). Every lane computes exactly the scalar
// expression, and every sum keeps its order, so the results are the same bits
// on every processor. Nothing is checked, null pointers included: these are
// the innermost loops, and their callers size every array.
namespace vesk_kernels {

// Lags side by side: LagTerms and WindowSums handle `count` lags rounded up to
// a multiple of this; the arrays they read and write must be padded to it.
constexpr int kLagPadding = 4;
constexpr int PaddedLags(int count) {
  return (count + kLagPadding - 1) / kLagPadding * kLagPadding;
}

// terms[j] = sum over k < width, in band order, of x[k] * lagged[k * stride + j]
// for j < PaddedLags(count).
void LagTerms(const double* x, const double* lagged, std::size_t stride, int width, int count,
              double* terms);

// cross[j] = sum over s < window of rows[((newest + s) mod window) * row_stride + j],
// newest row first, for j < PaddedLags(count); row_stride >= PaddedLags(count).
void WindowSums(const double* rows, std::size_t row_stride, int count, int window, int newest,
                double* cross);

// Triangle filters over one spectrum row: for filter f (points[f], points[f+1],
// points[f+2] = lo, pk, hi), out[f] = the sum, in bin order, of
// ((x - lo) * values[i]) / (pk - lo) for i in [first[f], mid[f]) and then
// (values[i] * (hi - x)) / (hi - pk) for i in [mid[f], end[f]), where x =
// bins[i] is the bin number i as a double.
void TriangleSums(const double* values, const double* bins, const double* points,
                  std::size_t filters, const std::size_t* first, const std::size_t* mid,
                  const std::size_t* end, double* out);

// magnitudes[i] = bins[i].abs() for i < count.
void Magnitudes(const FftComplex* bins, std::size_t count, double* magnitudes);

// The vector units the kernels are built for. The widest the processor has is
// used; tests switch between them (before any analysis starts) to compare.
enum class Unit { kBase, kAvx2 };
bool Available(Unit unit);
Unit InUse();
void Use(Unit unit);  // ignored when the unit is not available

}  // namespace vesk_kernels

#endif
