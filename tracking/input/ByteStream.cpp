#include "tracking/input/ByteStream.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "tracking/input/AudioReader.h"
#include "tracking/process/Interrupt.h"

namespace vesk_tracking {

ByteStream::~ByteStream() {
  if (owned) ::close(fd);
}

std::size_t ByteStream::readSome(void* out, std::size_t n) {
  if (n == 0) return 0;
  if (!putBack.empty()) {
    std::size_t k = n < putBack.size() ? n : putBack.size();
    std::memcpy(out, putBack.data(), k);
    putBack.erase(0, k);
    return k;
  }
  for (;;) {
    if (waiting) waitForData();
    ssize_t got = ::read(fd, out, n);
    if (got >= 0) return static_cast<std::size_t>(got);
    if (errno == EINTR && interrupted()) return 0;  // the user ended the stream
    if (errno == EAGAIN && waiting) continue;       // a descriptor that does not block
    if (errno != EINTR) throw AudioError("cannot read " + streamName + ": " + std::strerror(errno));
  }
}

void ByteStream::waitForData() {
  pollfd p{fd, POLLIN, 0};
  for (;;) {
    waiting();
    const int ready = ::poll(&p, 1, 50);
    if (ready > 0) return;  // data, the end or an error: read() tells which
    if (ready < 0 && errno != EINTR)
      throw AudioError("cannot read " + streamName + ": " + std::strerror(errno));
  }
}

void ByteStream::unread(const void* bytes, std::size_t n) {
  putBack.insert(0, static_cast<const char*>(bytes), n);
}

}  // namespace vesk_tracking
