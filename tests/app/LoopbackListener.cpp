#include "tests/app/LoopbackListener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

LoopbackListener::LoopbackListener() : fd(::socket(AF_INET, SOCK_DGRAM, 0)) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    const std::string why = std::strerror(errno);
    if (fd >= 0) ::close(fd);
    throw std::runtime_error("no UDP socket on 127.0.0.1: " + why);
  }
  boundPort = ntohs(address.sin_port);
  timeval timeout{0, 200000};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
}

LoopbackListener::~LoopbackListener() {
  ::close(fd);
}

std::vector<std::string> LoopbackListener::received() {
  std::vector<std::string> messages;
  char buffer[256];
  for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;)
    messages.emplace_back(buffer, static_cast<std::size_t>(n));
  return messages;
}
