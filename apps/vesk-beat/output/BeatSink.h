#ifndef VESK_BEAT_BEATSINK_H
#define VESK_BEAT_BEATSINK_H

#include <cstdint>

#include "tracking/beats/BeatEvent.h"

namespace vesk_beat {

// Where the beats of one input go: standard output, the beats file, the plot,
// the robot. The session calls begin() before the first frame, frame() on
// every frame (only when wantsFrames()), beat() for every reported beat, and
// finish() once the input has ended without error; a sink that writes a file
// writes it there, so that a failed run leaves none. With --ahead the live
// sinks (standard output, the robot) get the beats as they are announced
// (BeatEvent::predicted) and withdrawn() for an announcement that did not
// hold; the files get the beats when due.
class BeatSink {
 public:
  virtual ~BeatSink() = default;
  virtual void begin() {}
  virtual bool wantsFrames() const { return false; }
  virtual void frame(std::int64_t /*frame*/, float /*onsetStrength*/, float /*confidence*/) {}
  virtual void beat(const vesk_tracking::BeatEvent& event) = 0;
  virtual void withdrawn(const vesk_tracking::BeatEvent& /*event*/) {}
  virtual void finish() {}
};

}  // namespace vesk_beat

#endif
