#ifndef RILL_VECTOR_H
#define RILL_VECTOR_H

#include <vector>

#include "node/host/Object.h"
#include "node/host/ObjectPool.h"

namespace RL {

// A resizable vector value.
template <class T>
class Vector : public Object, public std::vector<T> {
 public:
  Vector() = default;
  explicit Vector(std::size_t n, const T& v = T()) : std::vector<T>(n, v) {}
  void printOn(std::ostream& out) const override {
    out << "<Vector";
    for (const T& x : *this) out << " " << x;
    out << ">";
  }
};

// Vectors handed out by a pool and returned to it when their last reference goes.
template <class T>
class PooledVector : public Vector<T> {
 public:
  void destroy() override { ObjectPool<PooledVector<T>>::release(this); }
};

template <class T>
class VectorPool {
 public:
  // A vector of n default values, reused from the pool when one is free.
  Vector<T>* newVector(std::size_t n) {
    PooledVector<T>* v = ObjectPool<PooledVector<T>>::alloc();
    v->assign(n, T());
    return v;
  }
};

extern VectorPool<float> floatVectorPool;

}  // namespace RL

#endif
