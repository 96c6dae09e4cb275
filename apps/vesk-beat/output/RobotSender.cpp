#include "apps/vesk-beat/output/RobotSender.h"

#include <cerrno>
#include <cstdlib>

#include <boost/asio/connect.hpp>
#include <boost/system/system_error.hpp>

#include "apps/vesk-beat/command_line/UsageError.h"
#include "beat_tracker/BeatTrackerData.h"

namespace vesk_beat {

void parseRobotAddress(const std::string& text, std::string& host, int& port) {
  std::size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0)
    throw UsageError("--robot: '" + text + "' is not HOST:PORT (e.g. 127.0.0.1:21007)");
  host = text.substr(0, colon);
  // An IPv6 address is written in brackets, so that its colons are not the port's.
  if (host.size() > 2 && host.front() == '[' && host.back() == ']')
    host = host.substr(1, host.size() - 2);
  else if (host.find_first_of("[]:") != std::string::npos)
    throw UsageError("--robot: '" + text +
                     "' is not HOST:PORT (write an IPv6 address in brackets, e.g. [::1]:21007)");
  std::string p = text.substr(colon + 1);
  char* end = nullptr;
  errno = 0;
  long v = std::strtol(p.c_str(), &end, 10);
  if (p.empty() || *end != '\0' || errno != 0 || v < 1 || v > 65535)
    throw UsageError("--robot: invalid port '" + p + "' in '" + text + "' (allowed: 1..65535)");
  port = static_cast<int>(v);
}

RobotSender::RobotSender(const std::string& text, std::ostream& echo)
    : socket(io), address(text), echo(echo) {
  std::string host;
  int port = 0;
  parseRobotAddress(text, host, port);
  try {
    boost::asio::ip::udp::resolver resolver(io);
    // IPv4 or IPv6, whichever the address or the name resolves to.
    auto endpoints = resolver.resolve(host, std::to_string(port));
    boost::asio::connect(socket, endpoints);
  } catch (const boost::system::system_error& e) {
    throw RobotError("--robot: cannot reach '" + text + "': " + e.what());
  }
}

namespace {
template <class F>
void sending(const std::string& address, F f) {
  try {
    f();
  } catch (const boost::system::system_error& e) {
    throw RobotError("robot " + address + ": " + e.what());
  }
}
}  // namespace

void RobotSender::start() {
  sending(address, [&] { beat_tracker::BeatTrackerData().sendmessage_start(socket); });
}

void RobotSender::beat(double timeSec, double intervalSec) {
  // The operation sends its second argument first: "a,TIME,INTERVAL".
  sending(address, [&] {
    beat_tracker::BeatTrackerData().sendmessage_ioi(socket, intervalSec, timeSec, echo);
  });
}

void RobotSender::end() {
  sending(address, [&] { beat_tracker::BeatTrackerData().sendmessage_end(socket); });
}

RobotSink::~RobotSink() {
  if (!open) return;
  try {
    robot.end();
  } catch (...) {  // the error that stopped tracking is the one to report
  }
}

void RobotSink::begin() {
  robot.start();
  open = true;
}

void RobotSink::beat(const vesk_tracking::BeatEvent& event) {
  if (event.reliable) robot.beat(event.time, event.interval);
}

void RobotSink::finish() {
  open = false;
  robot.end();
}

}  // namespace vesk_beat
