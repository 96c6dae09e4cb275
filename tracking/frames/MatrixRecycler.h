#ifndef VESK_TRACKING_MATRIXRECYCLER_H
#define VESK_TRACKING_MATRIXRECYCLER_H

#include <cstddef>
#include <vector>

#include "node/host/Rill.h"

namespace vesk_tracking {

// Hands out matrices of one shape for a node's frames, reusing one that no
// one holds any more (its readers' buffers have moved on), so that a frame
// costs no allocation once a few are in circulation. One thread only: the
// reference counts are read without ordering.
template <class T>
class MatrixRecycler {
 public:
  MatrixRecycler(std::size_t rows, std::size_t cols) : rows(rows), cols(cols) {}

  // A matrix of the shape whose values are to be overwritten.
  RL::RCPtr<RL::Matrix<T>> get() {
    for (const RL::RCPtr<RL::Matrix<T>>& m : kept)
      if (m->references() == 1) return m;
    RL::RCPtr<RL::Matrix<T>> fresh(new RL::Matrix<T>(rows, cols));
    if (kept.size() < kMostKept) kept.push_back(fresh);
    return fresh;
  }

 private:
  static constexpr std::size_t kMostKept = 8;
  std::size_t rows;
  std::size_t cols;
  std::vector<RL::RCPtr<RL::Matrix<T>>> kept;
};

}  // namespace vesk_tracking

#endif
