// An application of the C++ API: 20 s of clicks at 120 BPM, 44.1 kHz stereo,
// pushed in blocks of an odd size; prints the beats and checks their tempo.
#include <vesk/BeatTracker.h>

#include <cmath>
#include <cstdio>
#include <vector>

int main() {
  const int rate = 44100;
  std::vector<float> audio(2 * 20 * rate);
  for (std::size_t i = 0; i < audio.size() / 2; ++i) {
    const std::size_t sinceClick = i % (rate / 2);  // 120 BPM
    const float v = sinceClick < 400 ? 0.8f * std::sin(0.3f * sinceClick) : 0.0f;
    audio[2 * i] = audio[2 * i + 1] = v;
  }
  vesk::BeatTracker tracker(rate, 2, vesk::Settings().set("min_bpm", 60).set("gate", "off"));
  std::vector<vesk::Beat> beats;
  for (std::size_t at = 0; at < audio.size() / 2; at += 1001) {
    const std::size_t n = std::min<std::size_t>(1001, audio.size() / 2 - at);
    for (const vesk::Beat& b : tracker.process(&audio[2 * at], n)) beats.push_back(b);
  }
  for (const vesk::Beat& b : tracker.finish()) beats.push_back(b);
  for (const vesk::Beat& b : beats)
    std::printf("%.3f s %.1f bpm %.2f\n", b.time, b.tempo, b.confidence);
  return beats.size() > 20 && std::abs(beats.back().tempo - 120.0) < 3.0 ? 0 : 1;
}
