#include "tracking/process/Interrupt.h"

#include <csignal>

namespace vesk_tracking {

namespace {
volatile std::sig_atomic_t flag = 0;
extern "C" void onSignal(int) {
  flag = 1;
}
}  // namespace

void installInterruptHandler() {
  struct sigaction action {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: a blocking read returns with EINTR
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  // A closed terminal ends the run the same way, so that temporary folders go.
  sigaction(SIGHUP, &action, nullptr);
  // A reader that goes away (`vesk-beat song.wav | head`) must not end the run
  // before --beats and --plot are written: writes to the closed pipe just fail.
  std::signal(SIGPIPE, SIG_IGN);
}

bool interrupted() {
  return flag != 0;
}

}  // namespace vesk_tracking
