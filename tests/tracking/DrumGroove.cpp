#include "tests/tracking/DrumGroove.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace vesk_tests {

namespace {
constexpr double kRate = 16000.0;
constexpr double kPi = 3.14159265358979323846;

struct Noise {
  std::uint32_t state = 12345u;
  double next() {
    state = state * 1664525u + 1013904223u;
    return (state >> 8) / 16777216.0 - 0.5;
  }
};

std::vector<float> kick() {
  std::vector<float> s(static_cast<std::size_t>(0.25 * kRate));
  double phase = 0.0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    const double t = i / kRate;
    phase += 2.0 * kPi * (50.0 + 70.0 * std::exp(-t / 0.03)) / kRate;
    s[i] = static_cast<float>(0.9 * std::sin(phase) * std::exp(-t / 0.09));
  }
  return s;
}

std::vector<float> snare(Noise& noise) {
  std::vector<float> s(static_cast<std::size_t>(0.2 * kRate));
  for (std::size_t i = 0; i < s.size(); ++i) {
    const double t = i / kRate;
    s[i] = static_cast<float>(0.7 * noise.next() * std::exp(-t / 0.05) +
                              0.4 * std::sin(2.0 * kPi * 190.0 * t) * std::exp(-t / 0.04));
  }
  return s;
}

std::vector<float> hat(Noise& noise) {
  // Noise differenced twice: its energy rises 12 dB an octave, a hat's hiss.
  std::vector<float> s(static_cast<std::size_t>(0.06 * kRate));
  double last = 0.0, before = 0.0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    const double n = noise.next();
    s[i] = static_cast<float>(0.3 * (n - 2.0 * last + before) * std::exp(-(i / kRate) / 0.015));
    before = last;
    last = n;
  }
  return s;
}
}  // namespace

std::vector<float> drumGroove(double bpm, const DrumLines& lines, double seconds) {
  Noise noise;
  const std::vector<float> sounds[3] = {kick(), snare(noise), hat(noise)};
  const std::string* steps[3] = {&lines.kick, &lines.snare, &lines.hat};
  std::vector<float> x(static_cast<std::size_t>(seconds * kRate), 0.0f);
  const double step = 60.0 / bpm / 4.0;
  for (int d = 0; d < 3; ++d) {
    if (steps[d]->empty()) continue;
    for (std::size_t i = 0; i * step < seconds; ++i) {
      if ((*steps[d])[i % steps[d]->size()] != 'x') continue;
      const std::size_t at = static_cast<std::size_t>(std::lround(i * step * kRate));
      for (std::size_t k = 0; k < sounds[d].size() && at + k < x.size(); ++k)
        x[at + k] += 0.5f * sounds[d][k];
    }
  }
  return x;
}

}  // namespace vesk_tests
