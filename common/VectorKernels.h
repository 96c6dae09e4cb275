#ifndef VESK_COMMON_VECTORKERNELS_H
#define VESK_COMMON_VECTORKERNELS_H

#include <cstddef>

#include "common/FftComplex.h"

// Per-frame loops run on as wide a vector unit as the processor has. Every
// lane computes exactly the scalar expression, and every sum keeps its order,
// so the results are the same bits on every processor. The engine's own
// kernels are in beat_tracker/EngineKernels.h and follow the same choice.
// Nothing is checked, null pointers included: these are the innermost loops,
// and their callers size every array.
namespace vesk_kernels {

// magnitudes[i] = bins[i].abs() for i < count.
void Magnitudes(const FftComplex* bins, std::size_t count, double* magnitudes);

// The vector units the kernels are built for. The widest the processor has is
// chosen once, by the first call from any thread; tests switch between them
// (before any analysis starts) to compare.
enum class Unit { kBase, kAvx2 };
bool Available(Unit unit);
Unit InUse();
void Use(Unit unit);  // ignored when the unit is not available

}  // namespace vesk_kernels

#endif
