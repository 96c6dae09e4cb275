#ifndef VESK_TESTS_APP_LOOPBACKLISTENER_H
#define VESK_TESTS_APP_LOOPBACKLISTENER_H

#include <string>
#include <vector>

// A UDP socket on 127.0.0.1 at a port the system picks, where the tool's
// robot messages can be sent ("127.0.0.1:" + port()). Throws
// std::runtime_error when no socket can be had.
class LoopbackListener {
 public:
  LoopbackListener();
  ~LoopbackListener();
  LoopbackListener(const LoopbackListener&) = delete;
  LoopbackListener& operator=(const LoopbackListener&) = delete;

  int port() const { return boundPort; }
  // The datagrams waiting, in order, until none has come for 0.2 s.
  std::vector<std::string> received();

 private:
  int fd = -1;
  int boundPort = 0;
};

#endif
