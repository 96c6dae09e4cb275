#ifndef RILL_GENERICTYPE_H
#define RILL_GENERICTYPE_H

#include <typeinfo>

#include "node/host/Exception.h"
#include "node/host/Object.h"
#include "node/host/ObjectPool.h"

namespace RL {

// An object holding one value of type T.
template <class T>
class GenericType : public Object {
 public:
  GenericType() : value() {}
  explicit GenericType(const T& v) : value(v) {}
  const T& val() const { return value; }
  void setValue(const T& v) { value = v; }
  void printOn(std::ostream& out) const override { out << value; }

 protected:
  T value;
};

// A scalar that can travel over the network of nodes; allocated from its pool.
template <class T>
class NetCType : public GenericType<T> {
 public:
  NetCType() = default;
  explicit NetCType(const T& v) : GenericType<T>(v) {}
  void destroy() override { ObjectPool<NetCType<T>>::release(this); }
  static NetCType<T>* alloc() { return ObjectPool<NetCType<T>>::alloc(); }
};

using Bool = GenericType<bool>;

// The two shared boolean objects; outputs hand out references to them.
extern const ObjectRef TrueObject;
extern const ObjectRef FalseObject;

// The value held by a GenericType<T> (or a class derived from it). Throws
// CastException<T> for any other object and std::bad_typeid for a nil reference.
template <class T>
T dereference_cast(const ObjectRef& ref) {
  const Object* object = ref.get();
  const std::type_info& actual = typeid(*object);  // throws std::bad_typeid when nil
  if (const auto* v = dynamic_cast<const GenericType<T>*>(object)) return v->val();
  throw new CastException<T>(demangle(actual.name()));
}

}  // namespace RL

#endif
