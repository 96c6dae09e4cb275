#include "tracking/input/StreamPath.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/OpenErrorText.h"
#include "tracking/input/PcmStreamReader.h"
#include "tracking/process/Interrupt.h"

namespace vesk_tracking {

bool isStreamPath(const std::string& path) {
  struct stat st {};
  return path != "-" && ::stat(path.c_str(), &st) == 0 &&
         (S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode) || S_ISSOCK(st.st_mode));
}

std::unique_ptr<AudioReader> openStreamPath(const std::string& path, const std::string& name,
                                            const RawFormat& raw) {
  int fd;
  // Opening a FIFO waits for its writer; the signal handlers do not restart
  // the call, so Ctrl-C ends the wait.
  while ((fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC)) < 0) {
    if (errno != EINTR)
      throw AudioError("cannot open '" + name + "': " + vesk_common::OpenErrorText(errno));
    if (interrupted()) throw Interrupted();
  }
  return openPcmStream(fd, "'" + name + "'", raw, true);
}

std::unique_ptr<AudioReader> openStreamPath(const std::string& path, const std::string& name,
                                            const RawFormat& raw,
                                            const std::function<void()>& waitHook) {
  // Opened without waiting: a FIFO's reader then polls until a writer has
  // come and written (or gone again, the end).
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) throw AudioError("cannot open '" + name + "': " + vesk_common::OpenErrorText(errno));
  try {
    pollfd p{fd, POLLIN, 0};
    for (;;) {
      waitHook();
      const int ready = ::poll(&p, 1, 50);
      if (ready > 0) break;
      if (ready < 0 && errno != EINTR)
        throw AudioError("cannot read '" + name + "': " + std::strerror(errno));
    }
  } catch (...) {
    ::close(fd);
    throw;
  }
  return openPcmStream(fd, "'" + name + "'", raw, true, waitHook);
}

}  // namespace vesk_tracking
