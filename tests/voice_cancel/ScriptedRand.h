#ifndef VESK_TESTS_VOICE_CANCEL_SCRIPTEDRAND_H
#define VESK_TESTS_VOICE_CANCEL_SCRIPTEDRAND_H

#include <initializer_list>

// The canceller draws its dither from rand(). This test executable defines
// rand() itself, so that a test can choose the draws: scripted values first,
// then a repeatable sequence, otherwise the system generator.
namespace scripted_rand {

// The next draws return these values, in order.
void script(std::initializer_list<int> values);
// After the script, draws follow a repeatable sequence from this start.
void repeatable(unsigned start);
// Back to the system generator; forgets any script.
void useSystem();
// Draws taken since the last call of any of the above.
long draws();

}  // namespace scripted_rand

#endif
