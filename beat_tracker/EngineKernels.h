#ifndef VESK_BEAT_TRACKER_ENGINEKERNELS_H
#define VESK_BEAT_TRACKER_ENGINEKERNELS_H

#include <cstddef>

// The engine's innermost per-frame loops (mel triangles, lag terms and window
// sums), run on the vector unit chosen in common/VectorKernels.h. Every lane
// computes exactly the scalar expression, and every sum keeps its order, so
// the results are the same bits on every processor.
namespace beat_tracker {
namespace kernels {

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

}  // namespace kernels
}  // namespace beat_tracker

#endif
