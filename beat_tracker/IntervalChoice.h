#ifndef VESK_BEAT_TRACKER_INTERVALCHOICE_H
#define VESK_BEAT_TRACKER_INTERVALCHOICE_H

namespace beat_tracker {

// What the interval selection of one frame decided, in interval indices
// (index i stands for the interval min_interval + i frames).
struct IntervalChoice {
  double index = 0.0;        // J, the chosen interval index (may be -5 or beyond the range)
  double first_peak = 0.0;   // P1, after the hold-over against the previous choice
  double second_peak = 0.0;  // P2, 0 when no second peak was weighed
  int first_position = 0;    // L1, position of the strongest peak
  int second_position = 0;   // X: L2 when the second peak was weighed, else -min_interval
};

}  // namespace beat_tracker

#endif
