#include "apps/vesk-beat/run/WorkerWait.h"

#include <sys/wait.h>

namespace vesk_beat {

namespace {

// SIGCHLD's default action is to discard it: without a handler it would not
// end sigsuspend().
extern "C" void onChild(int) {}

constexpr int kHeld[] = {SIGINT, SIGTERM, SIGHUP, SIGCHLD};

}  // namespace

WorkerWait::WorkerWait() {
  sigset_t held;
  sigemptyset(&held);
  for (int sig : kHeld) sigaddset(&held, sig);
  struct sigaction action {};
  action.sa_handler = onChild;
  sigemptyset(&action.sa_mask);
  sigaction(SIGCHLD, &action, &childAction);
  sigprocmask(SIG_BLOCK, &held, &before);
  waiting = before;
  for (int sig : kHeld) sigdelset(&waiting, sig);
}

WorkerWait::~WorkerWait() {
  restore();
}

void WorkerWait::restore() const {
  sigaction(SIGCHLD, &childAction, nullptr);
  sigprocmask(SIG_SETMASK, &before, nullptr);
}

pid_t WorkerWait::next(int* status) {
  const pid_t pid = ::waitpid(-1, status, WNOHANG);
  if (pid != 0) return pid;
  // Unblocks the held signals and sleeps in one step: one that is pending
  // already, or comes later, is handled and ends the sleep.
  sigsuspend(&waiting);
  return 0;
}

}  // namespace vesk_beat
