#ifndef VESK_TESTS_TRACKING_DRUMGROOVE_H
#define VESK_TESTS_TRACKING_DRUMGROOVE_H

#include <string>
#include <vector>

namespace vesk_tests {

// A drum groove at 16 kHz, mono: a kick (a falling sine), a snare (noise and
// a tone) and a closed hat (high noise), each a line of sixteenths over a bar
// where 'x' is a hit.
struct DrumLines {
  std::string kick, snare, hat;
};
std::vector<float> drumGroove(double bpm, const DrumLines& lines, double seconds);

}  // namespace vesk_tests

#endif
