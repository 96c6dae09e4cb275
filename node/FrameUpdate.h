#ifndef VESK_NODE_FRAMEUPDATE_H
#define VESK_NODE_FRAMEUPDATE_H

#include <complex>
#include <vector>

#include "common/FftComplex.h"
#include "node/host/Matrix.h"

// Slides `signal` by n samples: the oldest n drop out and the last n columns
// of `frame` come in, each as half the sum over the frame's rows (channels).
// The frame must have at least signal.size() columns and 0 <= n <= signal.size().
void update_signal(std::vector<double>& signal, RL::Matrix<float>& frame, int n);

// Slides `spectrum` by k bins: the newest k come from the frame's elements
// M - k .. M - 1 in row-major order (M = spectrum.size()). The frame must hold
// at least M elements and 0 <= k <= M.
void update_fftsignal(std::vector<FftComplex>& spectrum, RL::Matrix<std::complex<float>>& frame,
                      int k);

// Writes the first n elements, each followed by ", ", then a line end.
void PrintVector(std::vector<double>& values, int n);

#endif
