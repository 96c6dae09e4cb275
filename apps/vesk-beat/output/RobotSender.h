#ifndef VESK_BEAT_ROBOTSENDER_H
#define VESK_BEAT_ROBOTSENDER_H

#include <ostream>
#include <stdexcept>
#include <string>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/udp.hpp>

#include "apps/vesk-beat/output/BeatSink.h"

namespace vesk_beat {

class RobotError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Splits "HOST:PORT"; throws UsageError naming the bad part.
void parseRobotAddress(const std::string& text, std::string& host, int& port);

// The robot's UDP messages, sent with the plug-in's message operations over a
// socket connected to HOST:PORT: "s" at the start, "a,TIME,INTERVAL" per
// reliable beat (the beat's time and the beat interval, both in seconds) and
// "e" at the end.
class RobotSender {
 public:
  // Resolves the host (IPv4 or IPv6) and connects the socket. Each beat
  // message is echoed on `echo`, as the operation echoes it. Throws RobotError.
  RobotSender(const std::string& address, std::ostream& echo);
  void start();
  void beat(double timeSec, double intervalSec);
  void end();

 private:
  boost::asio::io_context io;
  boost::asio::ip::udp::socket socket;
  std::string address;
  std::ostream& echo;
};

// The robot follows the reliable beats: "s" when tracking begins, "e" when it
// ends, also when it ends on an error.
class RobotSink : public BeatSink {
 public:
  explicit RobotSink(RobotSender& robot) : robot(robot) {}
  ~RobotSink() override;
  void begin() override;
  void beat(const vesk_tracking::BeatEvent& event) override;
  void finish() override;

 private:
  RobotSender& robot;
  bool open = false;
};

}  // namespace vesk_beat

#endif
