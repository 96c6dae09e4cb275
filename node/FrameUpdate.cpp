#include "node/FrameUpdate.h"

#include <algorithm>
#include <iostream>

// Both slides work in place: the kept values move to the front, the new ones
// fill the back, with the same results as building a fresh vector each frame.

void update_signal(std::vector<double>& signal, RL::Matrix<float>& frame, int n) {
  const std::size_t length = signal.size();
  const std::size_t count = static_cast<std::size_t>(n);
  std::copy(signal.begin() + count, signal.end(), signal.begin());
  // Channel by channel over the new samples (each sum still adds the channels
  // in order, from 0.0), so that the loops run straight through memory.
  double* out = signal.data() + (length - count);
  const std::size_t first = length - count;
  const std::size_t columns = frame.ncols();
  const float* values = frame.data();
  std::fill(out, out + count, 0.0);
  for (std::size_t r = 0; r < frame.nrows(); ++r) {
    const float* row = values + r * columns + first;
    for (std::size_t j = 0; j < count; ++j) out[j] += static_cast<double>(row[j]);
  }
  for (std::size_t j = 0; j < count; ++j) out[j] = 0.5 * out[j];
}

void update_fftsignal(std::vector<FftComplex>& spectrum, RL::Matrix<std::complex<float>>& frame,
                      int k) {
  const std::size_t bins = spectrum.size();
  const std::size_t count = static_cast<std::size_t>(k);
  std::copy(spectrum.begin() + count, spectrum.end(), spectrum.begin());
  const std::complex<float>* values = frame.data();
  for (std::size_t j = bins - count; j < bins; ++j)
    spectrum[j] =
        FftComplex(static_cast<double>(values[j].real()), static_cast<double>(values[j].imag()));
}

void PrintVector(std::vector<double>& values, int n) {
  for (int i = 0; i < n && static_cast<std::size_t>(i) < values.size(); ++i)
    std::cout << values[i] << ", ";
  std::cout << std::endl;
}
