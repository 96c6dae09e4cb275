#include "apps/vesk-beat/run/BeatAnnouncer.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace vesk_beat {

using vesk_tracking::BeatEvent;

BeatAnnouncer::BeatAnnouncer(double aheadSeconds, const vesk_tracking::TimeBase& t)
    : ahead(aheadSeconds),
      time(t),
      tolerance(std::max<std::int64_t>(
          1, static_cast<std::int64_t>(std::floor(kToleranceSeconds / t.frameSeconds())))) {}

BeatAnnouncer::Step BeatAnnouncer::next(std::int64_t frame, const std::optional<BeatEvent>& due,
                                        const std::optional<BeatEvent>& predicted) {
  Step step;
  const auto near = [&](std::int64_t a, std::int64_t b) { return std::llabs(a - b) <= tolerance; };
  if (due && due->reliable && pending && near(due->frame, pending->frame)) {
    lastConfirmed = pending->frame;
    pending.reset();
  } else if (due) {
    step.due = due;
  }
  if (pending && (!predicted || !near(predicted->frame, pending->frame) ||
                  frame > pending->frame + tolerance)) {
    step.withdrawn = pending;
    pending.reset();
  }
  // Announced once the audio has reached `ahead` before the beat's time.
  if (!pending && predicted && predicted->frame > frame &&
      !(lastConfirmed >= 0 && near(predicted->frame, lastConfirmed)) &&
      predicted->time - time.frameEnd(frame) <= ahead) {
    pending = predicted;
    pending->predicted = true;
    pending->lead = predicted->time - time.frameEnd(frame);
    step.announced = pending;
  }
  return step;
}

}  // namespace vesk_beat
