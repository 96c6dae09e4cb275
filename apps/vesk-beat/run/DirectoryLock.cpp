#include "apps/vesk-beat/run/DirectoryLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "common/OpenErrorText.h"

namespace vesk_beat {

DirectoryLock::DirectoryLock(const std::string& dir) {
  fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0)
    throw std::runtime_error("cannot open '" + dir + "': " + vesk_common::OpenErrorText(errno));
  int result;
  while ((result = ::flock(fd, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
  }
  if (result != 0) {
    const int e = errno;
    ::close(fd);
    throw std::runtime_error(e == EWOULDBLOCK ? "'" + dir + "' is in use by another vesk-beat run"
                                              : "cannot lock '" + dir + "': " + std::strerror(e));
  }
}

DirectoryLock::~DirectoryLock() {
  ::close(fd);
}

}  // namespace vesk_beat
