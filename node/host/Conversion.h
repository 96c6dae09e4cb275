#ifndef RILL_CONVERSION_H
#define RILL_CONVERSION_H

#include <functional>
#include <string>
#include <typeindex>
#include <typeinfo>

#include "node/host/Exception.h"
#include "node/host/Object.h"

namespace RL {

// The conversion table: how an object of one type becomes an object of another
// when a node reads an input of a type that its upstream node does not produce.
class Conversion {
 public:
  using Function = std::function<ObjectRef(const ObjectRef&)>;

  static void add(std::type_index from, std::type_index to, Function f);
  // Null when the table has no entry for the pair.
  static const Function* find(std::type_index from, std::type_index to);

  // The object as a T: the object itself when it is one, else through the
  // table. Throws GeneralException when neither applies (or for a nil reference).
  template <class T>
  static RCPtr<T> convertTo(const ObjectRef& ref) {
    Object* object = ref.get();
    if (T* exact = dynamic_cast<T*>(object)) return RCPtr<T>(exact);
    std::string from = "nil";
    if (object) {
      const std::type_info& type = typeid(*object);
      from = demangle(type.name());
      if (const Function* f = find(type, typeid(T))) {
        ObjectRef converted = (*f)(ref);
        if (T* result = dynamic_cast<T*>(converted.get())) return RCPtr<T>(result);
      }
    }
    throw new GeneralException("Cannot convert " + from + " into " + demangle(typeid(T).name()),
                               __FILE__, __LINE__);
  }
};

}  // namespace RL

#endif
