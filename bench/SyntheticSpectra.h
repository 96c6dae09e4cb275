#ifndef VESK_BENCH_SYNTHETICSPECTRA_H
#define VESK_BENCH_SYNTHETICSPECTRA_H

#include <cmath>
#include <cstdint>
#include <vector>

namespace bench {

// Magnitude spectra of a music-like signal at the tool's defaults (16 kHz,
// 512-sample frames, hop 160): a kick every 50 frames (120 BPM), a snare
// between them, hats on the off-beats, a tone floor and a deterministic noise.
inline std::vector<std::vector<double>> SyntheticSpectra(int frames, std::size_t bins = 256) {
  std::vector<std::vector<double>> out(frames, std::vector<double>(bins));
  std::uint64_t state = 12345;
  for (int f = 0; f < frames; ++f) {
    const int phase = f % 50;
    const double kick = std::exp(-phase / 4.0);
    const double snare = phase >= 25 ? std::exp(-(phase - 25) / 3.0) : 0.0;
    const double hat = (phase % 25 >= 12 && phase % 25 < 14) ? 1.0 : 0.0;
    for (std::size_t i = 0; i < bins; ++i) {
      state = state * 6364136223846793005ULL + 1442695040888963407ULL;
      const double noise = static_cast<double>(state >> 11) / 9007199254740992.0;
      const double low = i < 12 ? 1.0 : 0.0;
      const double mid = i > 6 && i < 80 ? 1.0 : 0.0;
      const double high = i > 100 ? 1.0 : 0.0;
      const double tone = (i % 17 == 5) ? 0.3 : 0.0;
      out[f][i] = 4.0 * kick * low + 2.0 * snare * mid + 0.8 * hat * high + tone + 0.02 * noise;
    }
  }
  return out;
}

}  // namespace bench

#endif
