#include "python/src/WithoutGil.h"

#include <pthread.h>

#include <atomic>
#include <stdexcept>
#include <thread>

namespace vesk_python {

namespace {

std::atomic<bool> stopping{false};
std::atomic<int> running{0};

// Stops work at the interpreter's exit (caught by withoutGil()).
struct ExitStop : std::exception {};

[[noreturn]] void sleepForEver() {
  for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
}

}  // namespace

namespace native_work {

// The main thread is the one that exits: it is neither counted nor stopped.
void enter(bool mainThread) {
  if (mainThread) return;
  running.fetch_add(1);
  if (stopping.load()) leave(false);
}

void leave(bool mainThread) {
  if (mainThread) return;
  running.fetch_sub(1);
  if (stopping.load()) sleepForEver();
}

bool exiting() {
  return stopping.load();
}

}  // namespace native_work

InterruptPoll::InterruptPoll()
    : mainThread(_PyOS_IsMainThread() != 0), due(std::chrono::steady_clock::now()) {}

void InterruptPoll::operator()() {
  if (!mainThread) {
    if (native_work::exiting()) throw ExitStop();
    return;
  }
  const auto now = std::chrono::steady_clock::now();
  if (now < due) return;
  due = now + std::chrono::milliseconds(50);
  const PyGILState_STATE gil = PyGILState_Ensure();
  const int raised = PyErr_CheckSignals();
  PyGILState_Release(gil);
  if (raised != 0) throw PythonErrorSet();
}

void registerExitAndForkHandlers() {
  pybind11::module_::import("atexit").attr("register")(
      pybind11::cpp_function(&stopNativeWorkAtExit));
  // Only the forking thread lives on in a child, and it holds the GIL.
  pthread_atfork(nullptr, nullptr, [] { running.store(0); });
}

void stopNativeWorkAtExit() {
  stopping.store(true);
  PyThreadState* state = PyEval_SaveThread();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (running.load() > 0 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  PyEval_RestoreThread(state);
}

}  // namespace vesk_python
