#ifndef VESK_PYTHON_SAMPLEBLOCK_H
#define VESK_PYTHON_SAMPLEBLOCK_H

#include <pybind11/numpy.h>

#include <vector>

namespace vesk_python {

// The samples of a numpy block as interleaved floats in [-1, 1]: float32 or
// float64 as they are, int16 scaled by 1/32768 (as libsndfile reads 16-bit
// files), in either byte order. Mono is 1-D; several channels are 1-D interleaved or 2-D
// (frames, channels). Throws TypeError (pybind11::type_error) for another
// dtype and ValueError for a shape that does not fit `channels`. Needs the GIL.
std::vector<float> interleavedSamples(const pybind11::array& samples, int channels);

}  // namespace vesk_python

#endif
