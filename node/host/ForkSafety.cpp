#include "node/host/ForkSafety.h"

#include <pthread.h>

#include <vector>

namespace RL {

namespace {

struct Held {
  std::mutex listMutex;  // taken first, so that no mutex is added during a fork
  std::vector<std::mutex*> mutexes;
};

Held& held() {
  static Held* h = new Held;  // lives as long as the process, like the mutexes
  return *h;
}

extern "C" void lockAll() {
  Held& h = held();
  h.listMutex.lock();
  for (std::mutex* m : h.mutexes) m->lock();
}

extern "C" void unlockAll() {
  Held& h = held();
  for (auto it = h.mutexes.rbegin(); it != h.mutexes.rend(); ++it) (*it)->unlock();
  h.listMutex.unlock();
}

}  // namespace

void holdAcrossFork(std::mutex& m) {
  static const int registered = pthread_atfork(lockAll, unlockAll, unlockAll);
  (void)registered;
  Held& h = held();
  const std::lock_guard<std::mutex> lock(h.listMutex);
  h.mutexes.push_back(&m);
}

}  // namespace RL
