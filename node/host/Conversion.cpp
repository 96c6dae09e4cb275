#include "node/host/Conversion.h"

#include <complex>
#include <map>
#include <mutex>
#include <utility>

#include "node/host/ForkSafety.h"
#include "node/host/Matrix.h"
#include "node/host/Vector.h"

namespace RL {

namespace {

using Key = std::pair<std::type_index, std::type_index>;

template <class From, class To>
ObjectRef convertMatrix(const ObjectRef& ref) {
  const auto& in = static_cast<const Matrix<From>&>(*ref);
  auto* out = new Matrix<To>(in.nrows(), in.ncols());
  for (std::size_t i = 0; i < in.size(); ++i) out->data()[i] = static_cast<To>(in.data()[i]);
  return ObjectRef(out);
}

ObjectRef vectorToRow(const ObjectRef& ref) {
  const auto& in = static_cast<const Vector<float>&>(*ref);
  auto* out = new Matrix<float>(1, in.size());
  for (std::size_t i = 0; i < in.size(); ++i) (*out)(0, i) = in[i];
  return ObjectRef(out);
}

struct Table {
  std::mutex mutex;
  std::map<Key, Conversion::Function> entries;

  Table() {
    entries[{typeid(Matrix<double>), typeid(Matrix<float>)}] = convertMatrix<double, float>;
    entries[{typeid(Matrix<std::complex<double>>), typeid(Matrix<std::complex<float>>)}] =
        convertMatrix<std::complex<double>, std::complex<float>>;
    entries[{typeid(Vector<float>), typeid(Matrix<float>)}] = vectorToRow;
    entries[{typeid(PooledVector<float>), typeid(Matrix<float>)}] = vectorToRow;
  }
};

Table& table() {
  static Table* t = [] {
    Table* made = new Table;  // lives as long as the process
    holdAcrossFork(made->mutex);
    return made;
  }();
  return *t;
}

}  // namespace

void Conversion::add(std::type_index from, std::type_index to, Function f) {
  Table& t = table();
  std::lock_guard<std::mutex> lock(t.mutex);
  t.entries[{from, to}] = std::move(f);
}

const Conversion::Function* Conversion::find(std::type_index from, std::type_index to) {
  Table& t = table();
  std::lock_guard<std::mutex> lock(t.mutex);
  auto it = t.entries.find({from, to});
  return it == t.entries.end() ? nullptr : &it->second;
}

}  // namespace RL
