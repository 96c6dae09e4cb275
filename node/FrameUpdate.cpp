#include "node/FrameUpdate.h"

#include <iostream>

void update_signal(std::vector<double>& signal, RL::Matrix<float>& frame, int n) {
  const std::size_t length = signal.size();
  const std::size_t count = static_cast<std::size_t>(n);
  std::vector<double> next(length, 0.0);
  for (std::size_t i = count; i < length; ++i) next[i - count] = signal[i];
  for (std::size_t j = length - count; j < length; ++j) {
    double sum = 0.0;
    for (std::size_t r = 0; r < frame.nrows(); ++r) sum += frame(r, j);
    next[j] = 0.5 * sum;
  }
  signal.swap(next);
}

void update_fftsignal(std::vector<FftComplex>& spectrum, RL::Matrix<std::complex<float>>& frame,
                      int k) {
  const std::size_t bins = spectrum.size();
  const std::size_t count = static_cast<std::size_t>(k);
  std::vector<FftComplex> next(bins);
  for (std::size_t i = count; i < bins; ++i) next[i - count] = spectrum[i];
  const std::complex<float>* values = frame.data();
  for (std::size_t j = bins - count; j < bins; ++j)
    next[j] =
        FftComplex(static_cast<double>(values[j].real()), static_cast<double>(values[j].imag()));
  spectrum.swap(next);
}

void PrintVector(std::vector<double>& values, int n) {
  for (int i = 0; i < n && static_cast<std::size_t>(i) < values.size(); ++i)
    std::cout << values[i] << ", ";
  std::cout << std::endl;
}
