#include <charconv>
#include <iostream>
#include <string>

#include <boost/asio/buffer.hpp>

#include "beat_tracker/BeatTrackerData.h"

namespace beat_tracker {

namespace {

// 17 significant digits as "%.*g" writes them in the POSIX locale, whatever
// locale the process runs in.
std::string numberText(double value) {
  char text[64];
  auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 17);
  return std::string(text, result.ptr);
}

void sendDatagram(boost::asio::ip::udp::socket& socket, const std::string& payload) {
  socket.send(boost::asio::buffer(payload.data(), payload.size()));
}

}  // namespace

void BeatTrackerData::sendmessage_start(boost::asio::ip::udp::socket& socket) const {
  sendDatagram(socket, "s");
}

void BeatTrackerData::sendmessage_end(boost::asio::ip::udp::socket& socket) const {
  sendDatagram(socket, "e");
}

void BeatTrackerData::sendmessage_ioi(boost::asio::ip::udp::socket& socket, double first,
                                      double second) const {
  sendmessage_ioi(socket, first, second, std::cout);
}

void BeatTrackerData::sendmessage_ioi(boost::asio::ip::udp::socket& socket, double first,
                                      double second, std::ostream& echo) const {
  const std::string message = "a," + numberText(second) + "," + numberText(first);
  // The length is formatted here too, so that a locale imbued into the stream
  // cannot group its digits.
  echo << message + " " + std::to_string(message.size()) + "\n" << std::flush;
  sendDatagram(socket, message);
}

}  // namespace beat_tracker
