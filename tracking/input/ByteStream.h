#ifndef VESK_TRACKING_BYTESTREAM_H
#define VESK_TRACKING_BYTESTREAM_H

#include <cstddef>
#include <functional>
#include <string>

namespace vesk_tracking {

// Bytes from a file descriptor (a pipe, a terminal or a file), with bytes
// put back after a look at how the stream begins.
class ByteStream {
 public:
  // With `owned`, the descriptor is closed with the stream.
  ByteStream(int fd, std::string name, bool owned = false)
      : fd(fd), streamName(std::move(name)), owned(owned) {}
  ~ByteStream();
  ByteStream(const ByteStream&) = delete;
  ByteStream& operator=(const ByteStream&) = delete;

  // Reads at least one byte unless the stream is at its end;
  // blocks until data arrives. Returns 0 only at the end. Throws AudioError.
  std::size_t readSome(void* out, std::size_t n);
  // Puts bytes back: the next reads return them first.
  void unread(const void* bytes, std::size_t n);
  const std::string& name() const { return streamName; }
  // With a hook, reads wait for data at most 50 ms at a time and call it
  // between the waits; it may throw to give up the read (a host's Ctrl-C).
  void setWaitHook(std::function<void()> hook) { waiting = std::move(hook); }

 private:
  void waitForData();

  int fd;
  std::string streamName;
  bool owned;
  std::string putBack;
  std::function<void()> waiting;
};

}  // namespace vesk_tracking

#endif
