#include "apps/vesk-beat/run/ConsoleRedirect.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>

namespace vesk_beat {

ConsoleRedirect::ConsoleRedirect(Target target, const std::string& file) {
  std::cout.flush();
  std::fflush(stdout);
  int target_fd = -1;
  if (target == Target::Stderr) {
    target_fd = ::dup(2);
  } else {
    const char* path = target == Target::File ? file.c_str() : "/dev/null";
    target_fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (target_fd < 0)
      throw std::runtime_error("--node-output: cannot open '" + file +
                               "': " + std::strerror(errno));
  }
  int saved = ::fcntl(1, F_DUPFD_CLOEXEC, 3);
  if (saved < 0) {
    // No standard output at all: give the tool a sink so that writing is harmless.
    saved = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  }
  ::dup2(target_fd, 1);
  ::close(target_fd);
  out = ::fdopen(saved, "w");
  if (!out)
    throw std::runtime_error(std::string("cannot set up the output: ") + std::strerror(errno));
  // Lines nobody reads are not even formatted: the tracker writes up to eight
  // a frame (with a flush, a system call each) while a long silence lasts.
  // Descriptor 1 still goes to /dev/null for anything written past std::cout.
  if (target == Target::Null) {
    std::cout.setstate(std::ios::badbit);
    muted = true;
  }
}

ConsoleRedirect::~ConsoleRedirect() {
  if (muted) std::cout.clear();
  std::cout.flush();
  std::fflush(stdout);
  if (out) std::fclose(out);
}

}  // namespace vesk_beat
