#include "common/VectorKernels.h"

#include <atomic>
#include <cmath>

namespace vesk_kernels {

namespace {

bool HasAvx2() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
#else
  return false;
#endif
}

std::atomic<Unit>& Current() {
  // Initialised once, by whichever thread calls first; a static's
  // initialisation is synchronised.
  static std::atomic<Unit> unit{HasAvx2() ? Unit::kAvx2 : Unit::kBase};
  return unit;
}

// A plain loop, built once per unit: the compiler pairs the real and imaginary
// parts itself.
inline __attribute__((always_inline)) void MagnitudesLoop(const FftComplex* bins, std::size_t count,
                                                          double* magnitudes) {
  for (std::size_t i = 0; i < count; ++i) {
    const double re = bins[i].re;
    const double im = bins[i].im;
    magnitudes[i] = std::sqrt(re * re + im * im);
  }
}

void BaseMagnitudes(const FftComplex* bins, std::size_t count, double* magnitudes) {
  MagnitudesLoop(bins, count, magnitudes);
}

#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("avx2"))) void Avx2Magnitudes(const FftComplex* bins, std::size_t count,
                                                    double* magnitudes) {
  MagnitudesLoop(bins, count, magnitudes);
}
#endif

// Indexed by Unit; the wide unit is never chosen where it is not built.
constexpr decltype(&Magnitudes) kMagnitudes[] = {
    BaseMagnitudes,
#if defined(__x86_64__) || defined(__i386__)
    Avx2Magnitudes,
#endif
};

}  // namespace

void Magnitudes(const FftComplex* bins, std::size_t count, double* magnitudes) {
  kMagnitudes[static_cast<int>(InUse())](bins, count, magnitudes);
}

bool Available(Unit unit) {
  return unit == Unit::kBase || HasAvx2();
}

Unit InUse() {
  return Current().load(std::memory_order_relaxed);
}

void Use(Unit unit) {
  if (Available(unit)) Current().store(unit, std::memory_order_relaxed);
}

}  // namespace vesk_kernels
