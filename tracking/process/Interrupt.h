#ifndef VESK_TRACKING_INTERRUPT_H
#define VESK_TRACKING_INTERRUPT_H

#include <stdexcept>

namespace vesk_tracking {

// A file run stopped by Ctrl-C, SIGTERM or SIGHUP.
class Interrupted : public std::runtime_error {
 public:
  Interrupted() : std::runtime_error("interrupted") {}
};

// Ctrl-C (SIGINT), SIGTERM and SIGHUP (the terminal closed) set a flag instead of killing the tool,
// so that a live stream can end cleanly (summary and output files written) and a file run can stop
// without leaving half-written files.
void installInterruptHandler();
bool interrupted();

}  // namespace vesk_tracking

#endif
