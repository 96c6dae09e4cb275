#include "apps/vesk-beat/output/AtomicFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "common/OpenErrorText.h"

namespace vesk_beat {

AtomicFile::AtomicFile(const std::string& target) : path(target) {
  temporary = path + ".tmp.XXXXXX";
  int fd = ::mkstemp(temporary.data());
  if (fd < 0)
    throw OutputError("cannot write '" + path + "': " + vesk_common::OpenErrorText(errno));
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

void AtomicFile::fail(int e) {
  if (error == 0) error = e != 0 ? e : EIO;
}

void AtomicFile::write(const std::string& text) {
  errno = 0;
  if (std::fwrite(text.data(), 1, text.size(), file) != text.size()) fail(errno);
}

void AtomicFile::commit() {
  errno = 0;
  if (std::fflush(file) != 0 || std::ferror(file)) fail(errno);
  // The data must be on disk before the name points to it.
  if (error == 0 && ::fsync(::fileno(file)) != 0) fail(errno);
  errno = 0;
  if (std::fclose(file) != 0) fail(errno);
  file = nullptr;
  if (error != 0) {
    ::unlink(temporary.c_str());
    throw OutputError("cannot write '" + path + "': " + std::strerror(error));
  }
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    int e = errno;
    ::unlink(temporary.c_str());
    throw OutputError("cannot write '" + path + "': " + std::strerror(e));
  }
}

}  // namespace vesk_beat
