// Fuzzes the beat-tracking engine with hostile magnitude spectra: NaN,
// infinities, huge, negative and denormal values, silences, for thousands of
// frames. Configuration: 8 kHz, frames of 256 samples every 80 (128 bins, 100
// frames per second), 60 to 120 BPM (intervals 51 to 100 frames).
//
// Input layout: byte 0 sets the number of frames (150 to 3465), byte 1 the length of a
// segment in frames, byte 2 how far the pattern moves from frame to frame;
// the rest is the material. Each segment takes its values from one of four
// sources, chosen by the material itself: the bytes read as doubles, the bytes
// mapped to a table of special values, silence, or a steady click pattern.
//
// What must hold: no crash or sanitizer report, and every frame's result keeps
// its shape: the frame counter counts, the interval lies inside the range the
// selection can produce, and the reliability is a share between 0 and 1.

#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <limits>
#include <streambuf>
#include <string>
#include <vector>

#include "beat_tracker/BeatTracker.h"

namespace {

constexpr int kBins = 128;

class NullBuffer : public std::streambuf {
 protected:
  int overflow(int c) override { return c; }
};

double Special(std::uint8_t b) {
  static const double kTable[16] = {0.0,
                                    -0.0,
                                    std::numeric_limits<double>::quiet_NaN(),
                                    std::numeric_limits<double>::infinity(),
                                    -std::numeric_limits<double>::infinity(),
                                    std::numeric_limits<double>::max(),
                                    -std::numeric_limits<double>::max(),
                                    std::numeric_limits<double>::denorm_min(),
                                    std::numeric_limits<double>::min(),
                                    -1.0,
                                    1.0,
                                    1e300,
                                    1e-300,
                                    -1e300,
                                    0.5,
                                    100.0};
  // The high nibble scales ordinary values over many orders of magnitude.
  return kTable[b & 15] * std::pow(10.0, (b >> 4) - 8);
}

// A private directory for the engine's diagnostic files.
const std::string& LogPrefix() {
  static const std::string prefix = [] {
    char dir[] = "/tmp/vesk-fuzz-engine-XXXXXX";
    if (mkdtemp(dir) == nullptr) std::abort();
    return std::string(dir) + "/";
  }();
  return prefix;
}

beat_tracker::BeatTrackerInit SmallInit() {
  beat_tracker::BeatTrackerInit init;
  init.sampling_rate = 8000.0;
  init.fft_length = 256;
  init.advance = 80;
  init.min_interval = 51;  // ceil(6000 / 119): 120 BPM at 100 frames per second
  init.max_interval = 100;
  init.window_length = 100;  // 60 BPM
  init.log_flag = false;
  init.log_path = LogPrefix();  // the files are created even without logging
  return init;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The engine reports its phase estimations on standard output.
  static NullBuffer sink;
  std::cout.rdbuf(&sink);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  const int frames = 150 + data[0] * 13;  // 150 to 3465: past the 3000-frame histories
  const int segment = 1 + data[1];
  const int step = data[2];
  const std::uint8_t* material = data + 3;
  const std::size_t n = size - 3;
  std::vector<double> raw(n / 8);
  if (!raw.empty()) std::memcpy(raw.data(), material, raw.size() * 8);

  beat_tracker::BeatTracker engine(SmallInit());
  const int longest = beat_tracker::BeatTracker::LongestStoredInterval(51, 100);
  std::vector<double> spectrum(kBins);
  for (int t = 0; t < frames; ++t) {
    const std::size_t at = static_cast<std::size_t>(t) * step;
    const int source = material[(static_cast<std::size_t>(t) / segment) % n] >> 6;
    for (int i = 0; i < kBins; ++i) {
      const std::size_t k = at + static_cast<std::size_t>(i);
      switch (source) {
        case 0:
          spectrum[i] = raw.empty() ? Special(material[k % n]) : raw[k % raw.size()];
          break;
        case 1:
          spectrum[i] = Special(material[k % n]);
          break;
        case 2:
          spectrum[i] = 0.0;
          break;
        default:
          // A click every 50 frames on a quiet floor, so that real beats appear.
          spectrum[i] = (t % 50 == 0 ? 10.0 : 0.01) * (1.0 + (material[k % n] & 3));
          break;
      }
    }
    const beat_tracker::BeatTrackerData d = engine.analyze(spectrum);
    if (d.t_current != t + 1 || d.onset_vector.size() != 64 || d.chroma_vector.size() != 12 ||
        d.stpm_vector.size() != 49) {
      std::fprintf(stderr, "frame %d: malformed result\n", t);
      std::abort();
    }
    if (!(d.reliability >= 0.0 && d.reliability <= 1.0)) {
      std::fprintf(stderr, "frame %d: reliability %g is no share\n", t, d.reliability);
      std::abort();
    }
    if (!(d.now_interval >= 0.0 && d.now_interval <= longest)) {
      std::fprintf(stderr, "frame %d: interval %g outside 0 to %d\n", t, d.now_interval, longest);
      std::abort();
    }
  }
  return 0;
}
