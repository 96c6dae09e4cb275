#ifndef VESK_BEAT_WORKERWAIT_H
#define VESK_BEAT_WORKERWAIT_H

#include <signal.h>
#include <sys/types.h>

namespace vesk_beat {

// How a batch waits for its workers without losing a stop signal. While it
// lives, SIGINT, SIGTERM, SIGHUP and SIGCHLD are held back everywhere but in
// the wait itself, so a signal that comes after the batch last looked at
// interrupted() ends the wait at once instead of after the running file.
class WorkerWait {
 public:
  WorkerWait();
  ~WorkerWait();  // restore()
  WorkerWait(const WorkerWait&) = delete;
  WorkerWait& operator=(const WorkerWait&) = delete;

  // The mask and SIGCHLD action from before. Also called in a worker just
  // forked, so that its reads are interrupted by the stop signals as a single
  // run's are.
  void restore() const;

  // A worker that ended (its pid, and its status in `status`); 0 when a signal
  // came first (look at interrupted() and call again); -1 with errno on failure.
  pid_t next(int* status);

 private:
  sigset_t before{};
  sigset_t waiting{};  // the mask inside the wait: `before` without the held signals
  struct sigaction childAction {};
};

}  // namespace vesk_beat

#endif
