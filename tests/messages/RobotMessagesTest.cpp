#include <gtest/gtest.h>
#include <poll.h>

#include <clocale>
#include <cmath>
#include <iostream>
#include <limits>
#include <locale>
#include <string>

#include <boost/asio/error.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/udp.hpp>
#include <boost/system/system_error.hpp>

#include "beat_tracker/BeatTrackerData.h"

namespace {

using boost::asio::ip::udp;

// A receiver bound to an ephemeral port on 127.0.0.1 and a sender connected to it.
class RobotMessagesTest : public ::testing::Test {
 protected:
  RobotMessagesTest()
      : receiver(io, udp::endpoint(boost::asio::ip::make_address_v4("127.0.0.1"), 0)), sender(io) {
    sender.open(udp::v4());
    sender.connect(receiver.local_endpoint());
  }

  // The next datagram, or "<none>" when none arrives within two seconds.
  std::string receive() {
    pollfd ready{receiver.native_handle(), POLLIN, 0};
    if (poll(&ready, 1, 2000) != 1) return "<none>";
    char data[512];
    const std::size_t length = receiver.receive(boost::asio::buffer(data));
    return std::string(data, length);
  }

  bool nothingWaiting() {
    pollfd ready{receiver.native_handle(), POLLIN, 0};
    return poll(&ready, 1, 100) == 0;
  }

  // Sends the beat-timing message and returns "<datagram>|<console output>".
  std::string ioi(double first, double second) {
    testing::internal::CaptureStdout();
    data.sendmessage_ioi(sender, first, second);
    const std::string console = testing::internal::GetCapturedStdout();
    return receive() + "|" + console;
  }

  boost::asio::io_context io;
  udp::socket receiver;
  udp::socket sender;
  beat_tracker::BeatTrackerData data;
};

TEST_F(RobotMessagesTest, StartAndEndAreOneSilentByte) {
  testing::internal::CaptureStdout();
  data.sendmessage_start(sender);
  data.sendmessage_end(sender);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(receive(), "s");
  EXPECT_EQ(receive(), "e");
  EXPECT_TRUE(nothingWaiting());
}

TEST_F(RobotMessagesTest, BeatTimingPutsTheSecondArgumentFirstAndEchoesItsLength) {
  EXPECT_EQ(ioi(0.5, 12.25), "a,12.25,0.5|a,12.25,0.5 11\n");
  EXPECT_EQ(ioi(1.0, 2.0), "a,2,1|a,2,1 5\n");
  EXPECT_TRUE(nothingWaiting());
}

struct NumberText {
  double value;
  const char* text;
};

const NumberText kNumbers[] = {
    {0.5, "0.5"},
    {120.0, "120"},
    {0.1, "0.10000000000000001"},
    {2.0 / 3.0, "0.66666666666666663"},
    {0.00001, "1.0000000000000001e-05"},
    {0.0001, "0.0001"},
    {-0.0, "-0"},
    {0.0, "0"},
    {-2.5, "-2.5"},
    {1e16, "10000000000000000"},
    {1.2345678901234568e17, "1.2345678901234568e+17"},
    {std::numeric_limits<double>::infinity(), "inf"},
    {-std::numeric_limits<double>::infinity(), "-inf"},
    {std::numeric_limits<double>::quiet_NaN(), "nan"},
    {std::copysign(std::numeric_limits<double>::quiet_NaN(), -1.0), "-nan"},
};

TEST_F(RobotMessagesTest, NumbersAreWrittenWithSeventeenSignificantDigits) {
  for (const NumberText& number : kNumbers) {
    const std::string message = std::string("a,") + number.text + ",1";
    EXPECT_EQ(ioi(1.0, number.value),
              message + "|" + message + " " + std::to_string(message.size()) + "\n");
    const std::string swapped = std::string("a,0.5,") + number.text;
    EXPECT_EQ(ioi(number.value, 0.5),
              swapped + "|" + swapped + " " + std::to_string(swapped.size()) + "\n");
  }
}

// A stream locale with a decimal comma and a separator between every two digits.
struct CommaPunct : std::numpunct<char> {
  char do_decimal_point() const override { return ','; }
  char do_thousands_sep() const override { return '.'; }
  std::string do_grouping() const override { return "\1"; }
};

TEST_F(RobotMessagesTest, TextIgnoresTheStreamLocale) {
  const std::locale comma(std::locale::classic(), new CommaPunct);
  const std::locale old_global = std::locale::global(comma);
  const std::locale old_cout = std::cout.imbue(comma);
  const std::string message = ioi(0.25, 1234567.5);
  std::cout.imbue(old_cout);
  std::locale::global(old_global);
  EXPECT_EQ(message, "a,1234567.5,0.25|a,1234567.5,0.25 16\n");
}

TEST_F(RobotMessagesTest, TextIgnoresTheProcessLocale) {
  const char* set = std::setlocale(LC_ALL, "de_DE.UTF-8");
  if (set == nullptr) set = std::setlocale(LC_ALL, "fr_FR.UTF-8");
  if (set == nullptr) {
    std::setlocale(LC_ALL, "C");
    GTEST_SKIP() << "no locale with a decimal comma is installed";
  }
  const std::string decimal_point = std::localeconv()->decimal_point;
  const std::string with_comma = ioi(0.25, 1234567.5);
  const std::string nan_text = ioi(0.1, -std::numeric_limits<double>::quiet_NaN());
  std::setlocale(LC_ALL, "C");
  EXPECT_EQ(decimal_point, ",");
  EXPECT_EQ(with_comma, "a,1234567.5,0.25|a,1234567.5,0.25 16\n");
  EXPECT_EQ(nan_text, "a,-nan,0.10000000000000001|a,-nan,0.10000000000000001 26\n");
}

void expectSendError(const boost::system::system_error& error) {
  EXPECT_EQ(error.code(), boost::asio::error::bad_descriptor);
  EXPECT_EQ(std::string(error.what()).rfind("send: ", 0), 0u) << error.what();
}

TEST_F(RobotMessagesTest, SendingOnAClosedSocketRaisesTheSendError) {
  udp::socket never_opened(io);
  try {
    data.sendmessage_start(never_opened);
    ADD_FAILURE() << "no error on a socket that was never opened";
  } catch (const boost::system::system_error& error) {
    expectSendError(error);
  }
  sender.close();
  try {
    data.sendmessage_end(sender);
    ADD_FAILURE() << "no error on a closed socket";
  } catch (const boost::system::system_error& error) {
    expectSendError(error);
  }
  // The beat-timing message has already been echoed when the send fails.
  testing::internal::CaptureStdout();
  try {
    data.sendmessage_ioi(sender, 1.0, 2.0);
    ADD_FAILURE() << "no error on a closed socket";
  } catch (const boost::system::system_error& error) {
    expectSendError(error);
  }
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "a,2,1 5\n");
  EXPECT_TRUE(nothingWaiting());
}

}  // namespace
