#ifndef VESK_BEAT_TRACKER_BEATTRACKERDATA_H
#define VESK_BEAT_TRACKER_BEATTRACKERDATA_H

#include <cstdint>
#include <iosfwd>
#include <vector>

#include <boost/asio/ip/udp.hpp>

namespace beat_tracker {

// The result of analysing one frame. A plain value record: zero when created,
// copied member by member.
struct BeatTrackerData {
  std::vector<double> onset_vector;   // one value per mel band
  std::vector<double> stpm_vector;    // pattern-matching score per candidate interval
  std::vector<double> chroma_vector;  // 12 pitch classes
  double now_interval = 0.0;          // current beat interval, frames
  std::int64_t spare = 0;             // always 0
  double t_current = 0.0;             // frame counter of the engine
  double next_beat_time = 0.0;        // beat-time anchor, frame index
  double beat_time = 0.0;             // latest predicted beat before t_current
  double next_beat_offset = 0.0;      // t_current - next_beat_time
  double beat_offset = 0.0;           // t_current - beat_time
  double reliability = 0.0;           // share of agreeing recent intervals

  // Robot notification messages. The socket must be open and connected to the
  // robot; each call sends one datagram and throws boost::system::system_error
  // ("send: ...") when the send fails. None of them reads the record.
  void sendmessage_start(boost::asio::ip::udp::socket& socket) const;
  void sendmessage_end(boost::asio::ip::udp::socket& socket) const;
  // Sends "a,<second>,<first>" and echoes "<message> <length>" on stdout.
  void sendmessage_ioi(boost::asio::ip::udp::socket& socket, double first, double second) const;
  // The same, echoed on `echo` (a host that keeps standard output for itself).
  void sendmessage_ioi(boost::asio::ip::udp::socket& socket, double first, double second,
                       std::ostream& echo) const;
};

}  // namespace beat_tracker

#endif
