#ifndef VESK_PYTHON_WITHOUTGIL_H
#define VESK_PYTHON_WITHOUTGIL_H

#include <pybind11/pybind11.h>

#include <cxxabi.h>
#include <chrono>
#include <exception>
#include <optional>
#include <type_traits>
#include <utility>

namespace vesk_python {

// Thrown without the GIL when a Python error was set (a KeyboardInterrupt
// from a signal handler); withoutGil() raises it once the GIL is back.
struct PythonErrorSet {};

namespace native_work {
// Counts the threads in withoutGil(); see stopNativeWorkAtExit().
void enter(bool mainThread);
// Leaves withoutGil(), or never returns when the interpreter exits.
void leave(bool mainThread);
// Native work should stop: the interpreter is exiting.
bool exiting();
}  // namespace native_work

// Runs `work` without the GIL and returns its result. The GIL is taken back
// here, in an ordinary frame, never in a destructor: at interpreter exit,
// Python ends a daemon thread that asks for the GIL by unwinding its stack,
// and that unwinding must not meet a noexcept frame (std::terminate). An
// exception of `work` waits until the GIL is back, so that nothing Python
// owns is touched or freed without it.
template <class Work>
auto withoutGil(Work&& work) -> decltype(work()) {
  using Result = decltype(work());
  std::exception_ptr failure;
  std::optional<std::conditional_t<std::is_void_v<Result>, bool, Result>> result;
  const bool mainThread = _PyOS_IsMainThread() != 0;
  PyThreadState* state = PyEval_SaveThread();
  native_work::enter(mainThread);
  try {
    if constexpr (std::is_void_v<Result>) {
      work();
      result.emplace(true);
    } else {
      result.emplace(work());
    }
  } catch (abi::__forced_unwind&) {
    throw;  // the thread is ending, without the GIL
  } catch (...) {
    failure = std::current_exception();
  }
  native_work::leave(mainThread);
  PyEval_RestoreThread(state);
  if (failure) {
    try {
      std::rethrow_exception(failure);
    } catch (const PythonErrorSet&) {
      throw pybind11::error_already_set();
    }
  }
  if constexpr (!std::is_void_v<Result>) return std::move(*result);
}

// Called between steps of long work without the GIL: stops the work when
// the interpreter exits, and lets Ctrl-C stop it. Python runs its signal
// handlers in the main thread only; there this takes the GIL at most every
// 50 ms to run them.
class InterruptPoll {
 public:
  // Needs the GIL.
  InterruptPoll();
  // Without the GIL: throws PythonErrorSet when a handler raised.
  void operator()();

 private:
  bool mainThread;
  std::chrono::steady_clock::time_point due;
};

// Registered with Python's atexit: native work in other (daemon) threads
// stops at its next step and those threads sleep until the process ends,
// so that none runs while the process destroys its static objects. Waits
// for them a moment. Needs the GIL.
void stopNativeWorkAtExit();

// Registers stopNativeWorkAtExit() with atexit, and resets the count of
// running work in a forked child. Once, with the GIL.
void registerExitAndForkHandlers();

}  // namespace vesk_python

#endif
