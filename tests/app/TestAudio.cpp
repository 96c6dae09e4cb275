#include "tests/app/TestAudio.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <stdexcept>

namespace {

std::vector<float> clicks(int rate, const std::vector<double>& times, double seconds) {
  std::vector<float> x(static_cast<std::size_t>(seconds * rate), 0.0f);
  std::uint32_t state = 12345u;  // a fixed noise sequence: the same file every run
  for (double t : times) {
    const std::size_t at = static_cast<std::size_t>(std::lround(t * rate));
    const std::size_t length = static_cast<std::size_t>(0.03 * rate);
    for (std::size_t i = 0; i < length && at + i < x.size(); ++i) {
      state = state * 1664525u + 1013904223u;
      const double noise = static_cast<double>(state >> 8) / (1u << 24) * 2.0 - 1.0;
      x[at + i] +=
          static_cast<float>(0.8 * noise * std::exp(-static_cast<double>(i) / (0.006 * rate)));
    }
  }
  return x;
}

}  // namespace

std::vector<double> writeClickTrack(const std::string& path, int format, int rate, int channels,
                                    double bpm, double first, double seconds) {
  std::vector<double> times;
  for (double t = first; t < seconds - 0.05; t += 60.0 / bpm) times.push_back(t);
  writeClicksAt(path, format, rate, channels, times, seconds);
  return times;
}

void writeClicksAt(const std::string& path, int format, int rate, int channels,
                   const std::vector<double>& times, double seconds) {
  std::vector<float> mono = clicks(rate, times, seconds);
  std::vector<float> frames;
  frames.reserve(mono.size() * channels);
  for (float v : mono)
    for (int c = 0; c < channels; ++c) frames.push_back(c == 0 ? v : 0.5f * v);
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = channels;
  info.format = format;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!f) throw std::runtime_error("cannot write " + path + ": " + sf_strerror(nullptr));
  sf_writef_float(f, frames.data(), static_cast<sf_count_t>(mono.size()));
  sf_close(f);
}

void writeRawCopy(const std::string& audioPath, const std::string& rawPath) {
  SF_INFO info{};
  SNDFILE* f = sf_open(audioPath.c_str(), SFM_READ, &info);
  if (!f) throw std::runtime_error("cannot read " + audioPath);
  std::vector<short> samples(static_cast<std::size_t>(info.frames * info.channels));
  sf_readf_short(f, samples.data(), info.frames);
  sf_close(f);
  std::ofstream out(rawPath, std::ios::binary);
  for (short v : samples) {
    const auto u = static_cast<std::uint16_t>(v);
    out.put(static_cast<char>(u & 0xff));
    out.put(static_cast<char>(u >> 8));
  }
}

double nearestDistance(double t, const std::vector<double>& times) {
  double best = 1e9;
  for (double c : times) best = std::min(best, std::fabs(t - c));
  return best;
}
