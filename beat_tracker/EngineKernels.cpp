#include "beat_tracker/EngineKernels.h"

#include <cstring>
#include <utility>

#include "common/VectorKernels.h"

namespace beat_tracker {
namespace kernels {

namespace {

// W doubles in one vector register (a GCC and Clang extension). The kernels
// are written once for any width and inlined into one function per
// instruction set, so that the wide version is compiled for its unit.
template <int W>
struct Lanes {
  typedef double Type __attribute__((vector_size(8 * W)));
};

// Vectors pass by reference only: a wide vector passed by value would need the
// wide unit's calling convention in code compiled without it.
template <typename V>
inline __attribute__((always_inline)) V& Load(V& v, const double* p) {
  std::memcpy(&v, p, sizeof v);
  return v;
}

template <typename V>
inline __attribute__((always_inline)) void Store(double* p, const V& v) {
  std::memcpy(p, &v, sizeof v);
}

// R vectors of lags at once: R independent sums in registers.
template <int W, int R>
inline __attribute__((always_inline)) void LagTermsBlock(const double* x, const double* lagged,
                                                         std::size_t stride, int width,
                                                         double* terms) {
  typedef typename Lanes<W>::Type V;
  V a[R] = {};
  V y;
  for (int k = 0; k < width; ++k, lagged += stride) {
    const double xk = x[k];
#pragma GCC unroll 12
    for (int r = 0; r < R; ++r) a[r] += xk * Load(y, lagged + r * W);
  }
#pragma GCC unroll 12
  for (int r = 0; r < R; ++r) Store(terms + r * W, a[r]);
}

// Covers `vectors` vectors of lags with as few blocks as there are registers
// for: one block of up to twelve independent sums (every lag at once at the
// usual ranges) keeps the adders busy, where small blocks would each wait on
// their own chain of additions. Calls block.Run<R>(first vector) per block.
constexpr int kMostVectorsPerBlock = 12;

// The last block's size is known only at run time, but R must be known when
// compiling: runs the one Run<R> (R = 1 ... kMostVectorsPerBlock) for `rest`.
template <typename Block, int... R>
inline __attribute__((always_inline)) void RunLastBlock(const Block& block, int v, int rest,
                                                        std::integer_sequence<int, R...>) {
  ((rest == R + 1 ? block.template Run<R + 1>(v) : void()), ...);
}

template <typename Block>
inline __attribute__((always_inline)) void ForEachBlock(int vectors, const Block& block) {
  int v = 0;
  for (; vectors - v > kMostVectorsPerBlock; v += kMostVectorsPerBlock)
    block.template Run<kMostVectorsPerBlock>(v);
  RunLastBlock(block, v, vectors - v, std::make_integer_sequence<int, kMostVectorsPerBlock>());
}

template <int W>
struct LagTermsBlocks {
  const double* x;
  const double* lagged;
  std::size_t stride;
  int width;
  double* terms;
  template <int R>
  inline __attribute__((always_inline)) void Run(int v) const {
    LagTermsBlock<W, R>(x, lagged + v * W, stride, width, terms + v * W);
  }
};

template <int W>
inline __attribute__((always_inline)) void LagTermsKernel(const double* x, const double* lagged,
                                                          std::size_t stride, int width, int count,
                                                          double* terms) {
  ForEachBlock(PaddedLags(count) / W, LagTermsBlocks<W>{x, lagged, stride, width, terms});
}

template <int W, int R>
inline __attribute__((always_inline)) void WindowSumsBlock(const double* rows,
                                                           std::size_t row_stride, int window,
                                                           int newest, double* cross) {
  typedef typename Lanes<W>::Type V;
  V a[R] = {};
  V y;
  int slot = newest;
  for (int s = 0; s < window; ++s) {
    const double* row = rows + static_cast<std::size_t>(slot) * row_stride;
#pragma GCC unroll 12
    for (int r = 0; r < R; ++r) a[r] += Load(y, row + r * W);
    if (++slot == window) slot = 0;
  }
#pragma GCC unroll 12
  for (int r = 0; r < R; ++r) Store(cross + r * W, a[r]);
}

template <int W>
struct WindowSumsBlocks {
  const double* rows;
  std::size_t row_stride;
  int window;
  int newest;
  double* cross;
  template <int R>
  inline __attribute__((always_inline)) void Run(int v) const {
    WindowSumsBlock<W, R>(rows + v * W, row_stride, window, newest, cross + v * W);
  }
};

template <int W>
inline __attribute__((always_inline)) void WindowSumsKernel(const double* rows,
                                                            std::size_t row_stride, int count,
                                                            int window, int newest, double* cross) {
  ForEachBlock(PaddedLags(count) / W, WindowSumsBlocks<W>{rows, row_stride, window, newest, cross});
}

template <int W>
inline __attribute__((always_inline)) void TriangleSumsKernel(
    const double* values, const double* bins, const double* points, std::size_t filters,
    const std::size_t* first, const std::size_t* mid, const std::size_t* end, double* out) {
  // W terms at a time, taken from the register in bin order (storing them for
  // a narrower reload would stall on the store).
  typedef typename Lanes<W>::Type V;
  V x, v, t;
  for (std::size_t f = 0; f < filters; ++f) {
    const double lo = points[f];
    const double pk = points[f + 1];
    const double hi = points[f + 2];
    const double rise = pk - lo;
    const double fall = hi - pk;
    double band = 0.0;
    std::size_t i = first[f];
    for (; i + W <= mid[f]; i += W) {
      t = ((Load(x, bins + i) - lo) * Load(v, values + i)) / rise;
#pragma GCC unroll 12
      for (int l = 0; l < W; ++l) band += t[l];
    }
    for (; i < mid[f]; ++i) band += ((bins[i] - lo) * values[i]) / rise;
    for (; i + W <= end[f]; i += W) {
      t = (Load(v, values + i) * (hi - Load(x, bins + i))) / fall;
#pragma GCC unroll 12
      for (int l = 0; l < W; ++l) band += t[l];
    }
    for (; i < end[f]; ++i) band += (values[i] * (hi - bins[i])) / fall;
    out[f] = band;
  }
}

// Each unit's entry points: the kernels at the unit's width, compiled for it.
void BaseLagTerms(const double* x, const double* lagged, std::size_t stride, int width, int count,
                  double* terms) {
  LagTermsKernel<2>(x, lagged, stride, width, count, terms);
}

void BaseWindowSums(const double* rows, std::size_t row_stride, int count, int window, int newest,
                    double* cross) {
  WindowSumsKernel<2>(rows, row_stride, count, window, newest, cross);
}

void BaseTriangleSums(const double* values, const double* bins, const double* points,
                      std::size_t filters, const std::size_t* first, const std::size_t* mid,
                      const std::size_t* end, double* out) {
  TriangleSumsKernel<2>(values, bins, points, filters, first, mid, end, out);
}

#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("avx2"))) void Avx2LagTerms(const double* x, const double* lagged,
                                                  std::size_t stride, int width, int count,
                                                  double* terms) {
  LagTermsKernel<4>(x, lagged, stride, width, count, terms);
}

__attribute__((target("avx2"))) void Avx2WindowSums(const double* rows, std::size_t row_stride,
                                                    int count, int window, int newest,
                                                    double* cross) {
  WindowSumsKernel<4>(rows, row_stride, count, window, newest, cross);
}

__attribute__((target("avx2"))) void Avx2TriangleSums(const double* values, const double* bins,
                                                      const double* points, std::size_t filters,
                                                      const std::size_t* first,
                                                      const std::size_t* mid,
                                                      const std::size_t* end, double* out) {
  TriangleSumsKernel<4>(values, bins, points, filters, first, mid, end, out);
}
#endif

struct Set {
  decltype(&LagTerms) lag_terms;
  decltype(&WindowSums) window_sums;
  decltype(&TriangleSums) triangle_sums;
};

// Indexed by vesk_kernels::Unit; the wide unit is never chosen where it is not
// built.
constexpr Set kSets[] = {
    {BaseLagTerms, BaseWindowSums, BaseTriangleSums},
#if defined(__x86_64__) || defined(__i386__)
    {Avx2LagTerms, Avx2WindowSums, Avx2TriangleSums},
#endif
};

const Set& InUse() {
  return kSets[static_cast<int>(vesk_kernels::InUse())];
}

}  // namespace

void LagTerms(const double* x, const double* lagged, std::size_t stride, int width, int count,
              double* terms) {
  InUse().lag_terms(x, lagged, stride, width, count, terms);
}

void WindowSums(const double* rows, std::size_t row_stride, int count, int window, int newest,
                double* cross) {
  InUse().window_sums(rows, row_stride, count, window, newest, cross);
}

void TriangleSums(const double* values, const double* bins, const double* points,
                  std::size_t filters, const std::size_t* first, const std::size_t* mid,
                  const std::size_t* end, double* out) {
  InUse().triangle_sums(values, bins, points, filters, first, mid, end, out);
}

}  // namespace kernels
}  // namespace beat_tracker
