#ifndef RILL_MATRIX_H
#define RILL_MATRIX_H

#include <cstddef>
#include <vector>

#include "node/host/Object.h"

namespace RL {

// A rows x columns matrix stored row-major: one row per channel for audio.
template <class T>
class Matrix : public Object {
 public:
  Matrix() = default;
  Matrix(std::size_t rows, std::size_t cols, const T& v = T())
      : rowCount(rows), colCount(cols), values(rows * cols, v) {}

  std::size_t nrows() const { return rowCount; }
  std::size_t ncols() const { return colCount; }
  void resize(std::size_t rows, std::size_t cols) {
    rowCount = rows;
    colCount = cols;
    values.assign(rows * cols, T());
  }
  T& operator()(std::size_t r, std::size_t c) { return values[r * colCount + c]; }
  const T& operator()(std::size_t r, std::size_t c) const { return values[r * colCount + c]; }
  T* data() { return values.data(); }
  const T* data() const { return values.data(); }
  std::size_t size() const { return values.size(); }

  void printOn(std::ostream& out) const override {
    out << "<Matrix " << rowCount << " " << colCount << ">";
  }

 private:
  std::size_t rowCount = 0;
  std::size_t colCount = 0;
  std::vector<T> values;
};

}  // namespace RL

#endif
