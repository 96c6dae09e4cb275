#ifndef RILL_OBJECT_H
#define RILL_OBJECT_H

#include <atomic>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace RL {

// The module versions registered by the plug-ins loaded into this process.
struct ModuleVersion {
  std::string module;
  std::string revision;
  std::string version;
};

// Reference-counted base of every value that travels between nodes. An object
// is released through destroy() when its last reference goes, so that pooled
// types can return to their pool instead of being deleted.
class Object {
 public:
  Object() = default;
  Object(const Object&) : refCount(0) {}
  Object& operator=(const Object&) { return *this; }
  virtual ~Object() = default;

  void ref() const { refCount.fetch_add(1, std::memory_order_relaxed); }
  void unref() const {
    if (refCount.fetch_sub(1, std::memory_order_acq_rel) == 1) const_cast<Object*>(this)->destroy();
  }
  int references() const { return refCount.load(std::memory_order_relaxed); }

  virtual void destroy() { delete this; }
  virtual std::string className() const;
  virtual void printOn(std::ostream& out) const;
  virtual bool isNil() const { return false; }

  static void setModuleVersion(std::string module, std::string revision, std::string version);
  static std::vector<ModuleVersion> moduleVersions();

 private:
  mutable std::atomic<int> refCount{0};
};

// Intrusive counted pointer to an Object or a type derived from it.
template <class T>
class RCPtr {
 public:
  RCPtr() = default;
  RCPtr(T* p) : ptr(p) {  // NOLINT: implicit on purpose, like a raw pointer
    if (ptr) ptr->ref();
  }
  RCPtr(const RCPtr& other) : RCPtr(other.ptr) {}
  RCPtr(RCPtr&& other) noexcept : ptr(std::exchange(other.ptr, nullptr)) {}
  template <class U>
  RCPtr(const RCPtr<U>& other) : RCPtr(other.get()) {}  // NOLINT: upcast
  ~RCPtr() {
    if (ptr) ptr->unref();
  }
  RCPtr& operator=(RCPtr other) noexcept {
    std::swap(ptr, other.ptr);
    return *this;
  }

  T* get() const { return ptr; }
  T& operator*() const { return *ptr; }
  T* operator->() const { return ptr; }
  bool isNil() const { return ptr == nullptr; }
  explicit operator bool() const { return ptr != nullptr; }

 private:
  T* ptr = nullptr;
};

template <class T, class U>
bool operator==(const RCPtr<T>& a, const RCPtr<U>& b) {
  return static_cast<const Object*>(a.get()) == static_cast<const Object*>(b.get());
}

using ObjectRef = RCPtr<Object>;

// Readable type name for messages ("RL::Matrix<float>" rather than a mangled name).
std::string demangle(const char* mangled);

}  // namespace RL

#endif
