#include "tests/voice_cancel/ScriptedRand.h"

#include <dlfcn.h>

#include <cstdlib>
#include <deque>

namespace {

std::deque<int> scripted;
bool use_sequence = false;
unsigned sequence_state = 0;
long draw_count = 0;

int systemRand() {
  using RandFunction = int (*)();
  static auto real = reinterpret_cast<RandFunction>(dlsym(RTLD_NEXT, "rand"));
  return real();
}

}  // namespace

namespace scripted_rand {

void script(std::initializer_list<int> values) {
  scripted.assign(values.begin(), values.end());
  draw_count = 0;
}

void repeatable(unsigned start) {
  use_sequence = true;
  sequence_state = start;
  draw_count = 0;
}

void useSystem() {
  scripted.clear();
  use_sequence = false;
  draw_count = 0;
}

long draws() {
  return draw_count;
}

}  // namespace scripted_rand

extern "C" int rand(void) noexcept {
  ++draw_count;
  if (!scripted.empty()) {
    const int value = scripted.front();
    scripted.pop_front();
    return value;
  }
  if (use_sequence) {
    sequence_state = sequence_state * 1103515245u + 12345u;
    return static_cast<int>(sequence_state & 0x7fffffffu);
  }
  return systemRand();
}
