#include "apps/vesk-beat/AtomicFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace vesk_beat {

AtomicFile::AtomicFile(const std::string& target) : path(target) {
  temporary = path + ".tmp.XXXXXX";
  int fd = ::mkstemp(temporary.data());
  if (fd < 0) throw OutputError("cannot write '" + path + "': " + std::strerror(errno));
  ::fchmod(fd, 0644);
  file = ::fdopen(fd, "w");
  if (!file) {
    int e = errno;
    ::close(fd);
    ::unlink(temporary.c_str());
    throw OutputError("cannot write '" + path + "': " + std::strerror(e));
  }
}

AtomicFile::~AtomicFile() {
  if (file) {
    std::fclose(file);
    ::unlink(temporary.c_str());
  }
}

void AtomicFile::commit() {
  bool failed = std::ferror(file) != 0;
  failed |= std::fclose(file) != 0;
  file = nullptr;
  if (failed) {
    ::unlink(temporary.c_str());
    throw OutputError("cannot write '" + path + "': write error");
  }
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    int e = errno;
    ::unlink(temporary.c_str());
    throw OutputError("cannot write '" + path + "': " + std::strerror(e));
  }
}

}  // namespace vesk_beat
