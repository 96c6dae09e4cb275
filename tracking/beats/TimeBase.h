#ifndef VESK_TRACKING_TIMEBASE_H
#define VESK_TRACKING_TIMEBASE_H

#include <algorithm>
#include <cstdint>

#include "tracking/Settings.h"

namespace vesk_tracking {

// Frames, samples and seconds at one processing rate and hop.
class TimeBase {
 public:
  explicit TimeBase(const Settings& s)
      : rate(s.rate), hop(s.hop), offset(defaults::BeatTimeOffsetSec(s.frame, s.hop, s.rate)) {}

  double frameSeconds() const { return static_cast<double>(hop) / rate; }
  // The reported time of a beat the node signals on `frame`.
  double beatTime(std::int64_t frame) const {
    return std::max(0.0, static_cast<double>(frame) * hop / rate + offset);
  }
  // Seconds of input up to the end of `frame`: its newest sample.
  double frameEnd(std::int64_t frame) const { return static_cast<double>(frame + 1) * hop / rate; }
  // A span of `frames` frames (a beat interval) in seconds.
  double span(std::int64_t frames) const { return static_cast<double>(frames) * hop / rate; }
  // `samples` at the processing rate, in seconds.
  double seconds(std::int64_t samples) const { return static_cast<double>(samples) / rate; }

 private:
  int rate;
  int hop;
  double offset;
};

}  // namespace vesk_tracking

#endif
