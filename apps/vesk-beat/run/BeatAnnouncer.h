#ifndef VESK_BEAT_BEATANNOUNCER_H
#define VESK_BEAT_BEATANNOUNCER_H

#include <cstdint>
#include <optional>

#include "tracking/beats/BeatEvent.h"
#include "tracking/beats/TimeBase.h"

namespace vesk_beat {

// Announces the beats a stage predicts a set time before they fall due
// (--ahead), and withdraws an announcement that does not hold. A beat is
// announced on the first frame whose end reaches `ahead` seconds before its
// predicted time (so up to a frame less ahead), or at once when it is
// predicted later than that. An announced beat that the stage reports within
// the tolerance is confirmed and not reported again; one whose prediction
// moves further, or that passes unreported, is withdrawn, and the new
// prediction is announced.
class BeatAnnouncer {
 public:
  // Half the usual ±70 ms window for a beat to count as found.
  static constexpr double kToleranceSeconds = 0.035;

  struct Step {
    std::optional<vesk_tracking::BeatEvent> withdrawn;  // an earlier announcement
    std::optional<vesk_tracking::BeatEvent> due;        // a beat due now, not announced
    std::optional<vesk_tracking::BeatEvent> announced;  // predicted, `lead` ahead
  };

  BeatAnnouncer(double aheadSeconds, const vesk_tracking::TimeBase& time);

  // One frame: the beat the stage reports on it, if any, and the beat it
  // expects next, if any.
  Step next(std::int64_t frame, const std::optional<vesk_tracking::BeatEvent>& due,
            const std::optional<vesk_tracking::BeatEvent>& predicted);

 private:
  double ahead;
  vesk_tracking::TimeBase time;
  std::int64_t tolerance;  // frames
  std::optional<vesk_tracking::BeatEvent> pending;
  std::int64_t lastConfirmed = -1;
};

}  // namespace vesk_beat

#endif
