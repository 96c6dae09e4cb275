#include "tracking/input/StreamPath.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

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
    if (errno != EINTR) throw AudioError("cannot open '" + name + "': " + std::strerror(errno));
    if (interrupted()) throw Interrupted();
  }
  return openPcmStream(fd, "'" + name + "'", raw, true);
}

}  // namespace vesk_tracking
