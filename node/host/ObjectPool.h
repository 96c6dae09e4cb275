#ifndef RILL_OBJECTPOOL_H
#define RILL_OBJECTPOOL_H

#include <mutex>
#include <vector>

#include "node/host/ForkSafety.h"

namespace RL {

// A free list of objects of type T, shared by every thread of the process. The
// pool itself is never destroyed, so objects released during exit stay valid.
template <class T>
class ObjectPool {
 public:
  static constexpr std::size_t kMaxFree = 256;

  static T* alloc() {
    State& s = state();
    {
      std::lock_guard<std::mutex> lock(s.mutex);
      if (!s.free.empty()) {
        T* object = s.free.back();
        s.free.pop_back();
        return object;
      }
    }
    return new T;
  }

  static void release(T* object) {
    State& s = state();
    {
      std::lock_guard<std::mutex> lock(s.mutex);
      if (s.free.size() < kMaxFree) {
        s.free.push_back(object);
        return;
      }
    }
    delete object;
  }

  static std::size_t freeCount() {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.free.size();
  }

 private:
  // On cache lines of its own: every frame takes and returns objects here,
  // and nothing another thread writes may share the mutex's line.
  struct alignas(64) State {
    std::mutex mutex;
    std::vector<T*> free;
  };
  static State& state() {
    // Deliberately never freed: see the class comment.
    static State* s = [] {
      State* made = new State;
      holdAcrossFork(made->mutex);
      return made;
    }();
    return *s;
  }
};

}  // namespace RL

#endif
