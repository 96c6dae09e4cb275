#ifndef VESK_TESTS_ENGINE_ENGINETESTSUPPORT_H
#define VESK_TESTS_ENGINE_ENGINETESTSUPPORT_H

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <limits>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "beat_tracker/BeatTracker.h"

namespace engine_test {

// A fresh directory under the system temporary directory, removed afterwards.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "engine-test-XXXXXX").string();
    path_ = mkdtemp(pattern.data());
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  std::string prefix() const { return path_ + "/"; }

 private:
  std::string path_;
};

// Captures everything written to std::cout while alive.
class CoutCapture {
 public:
  CoutCapture() : old_(std::cout.rdbuf(text_.rdbuf())) {}
  ~CoutCapture() { std::cout.rdbuf(old_); }
  std::string text() const { return text_.str(); }

 private:
  std::ostringstream text_;
  std::streambuf* old_;
};

// 16 kHz, frames of 512 samples every 160 (100 frames per second).
inline beat_tracker::BeatTrackerInit SmallInit(int min_interval, int max_interval,
                                               const std::string& log_path, bool log_flag) {
  beat_tracker::BeatTrackerInit init;
  init.sampling_rate = 16000.0;
  init.fft_length = 512;
  init.advance = 160;
  init.min_interval = min_interval;
  init.max_interval = max_interval;
  init.window_length = max_interval;
  init.log_flag = log_flag;
  init.log_path = log_path;
  return init;
}

// Builds an engine with the console lines of its construction swallowed.
inline std::unique_ptr<beat_tracker::BeatTracker> QuietEngine(
    const beat_tracker::BeatTrackerInit& init) {
  CoutCapture quiet;
  return std::make_unique<beat_tracker::BeatTracker>(init);
}

// The fixture of the tests of one engine's stages: a quiet engine of intervals
// kMinInterval ... kMaxInterval frames, its diagnostic files off.
template <int kMinInterval, int kMaxInterval>
class EngineTest : public ::testing::Test {
 protected:
  // Another engine like it, of other intervals, for a test that needs one.
  std::unique_ptr<beat_tracker::BeatTracker> Another(int min_interval, int max_interval) const {
    return QuietEngine(SmallInit(min_interval, max_interval, dir.prefix(), false));
  }

  TempDir dir;
  std::unique_ptr<beat_tracker::BeatTracker> engine = Another(kMinInterval, kMaxInterval);
};

// Magnitude spectra of a click train: a windowed impulse has a flat magnitude
// spectrum equal to the Hann window's value at the impulse, so frame f (window
// starting at sample f * hop) holds the sum of the window values of the clicks
// it covers, over a small fixed noise floor.
class ClickTrack {
 public:
  ClickTrack(double bpm, double first_click_seconds, std::uint64_t fft_length = 512,
             std::uint64_t hop = 160, double sampling_rate = 16000.0)
      : period_samples_(sampling_rate * 60.0 / bpm),
        first_sample_(first_click_seconds * sampling_rate),
        fft_length_(fft_length),
        hop_(hop) {}

  // Spectrum of frame f (bins 0 ... fft_length / 2 - 1).
  std::vector<double> Frame(std::uint64_t f, bool silent = false) const {
    const std::size_t bins = fft_length_ / 2;
    std::vector<double> spectrum(bins, 0.0);
    if (silent) return spectrum;
    const double start = static_cast<double>(f * hop_);
    double level = 0.0;
    const double first_index = std::ceil((start - first_sample_) / period_samples_);
    for (double c = std::max(0.0, first_index);; c += 1.0) {
      const double position = first_sample_ + c * period_samples_ - start;
      if (position >= static_cast<double>(fft_length_)) break;
      if (position >= 0.0)
        level += 0.5 - 0.5 * std::cos(2.0 * M_PI * position / static_cast<double>(fft_length_));
    }
    for (std::size_t i = 0; i < bins; ++i) {
      // Deterministic noise floor, different per bin and frame.
      const std::uint64_t mix = (f * 2654435761u + i * 40503u) % 1000u;
      spectrum[i] = level * (1.0 + 0.2 * std::sin(0.05 * i)) + 0.001 * (1.0 + mix / 1000.0);
    }
    return spectrum;
  }

  // The frame whose window is centred nearest to click c.
  double ClickFrame(int c) const {
    return (first_sample_ + c * period_samples_ - static_cast<double>(fft_length_) / 2) /
           static_cast<double>(hop_);
  }
  double PeriodFrames() const { return period_samples_ / static_cast<double>(hop_); }

 private:
  double period_samples_;
  double first_sample_;
  std::uint64_t fft_length_;
  std::uint64_t hop_;
};

inline std::vector<std::string> ReadLines(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

inline int CountFields(const std::string& line) {
  std::istringstream in(line);
  int fields = 0;
  for (std::string field; in >> field;) ++fields;
  return fields;
}

// Non-negative onset-like rows (bands 1 to 62 carry values, as in the engine):
// silent frames, ordinary values, subnormal ones and ones whose products
// underflow.
inline std::vector<double> RandomOnsetRow(std::mt19937_64& rng) {
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::vector<double> row(64, 0.0);
  const double kind = unit(rng);
  for (int k = 1; k < 63; ++k) {
    const double u = unit(rng);
    if (kind < 0.15) {
      row[k] = 0.0;  // a silent frame
    } else if (kind < 0.25) {
      row[k] = u * std::numeric_limits<double>::denorm_min() * 1e6;  // subnormal
    } else if (kind < 0.35) {
      row[k] = u * 1e-150;  // products underflow
    } else if (u < 0.3) {
      row[k] = 0.0;
    } else {
      row[k] = u * u * 50.0;
    }
  }
  return row;
}

// The same doubles, bit for bit.
inline bool SameBits(const std::vector<double>& a, const std::vector<double>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

// A fast stage against its reference: within 1e-9 relative or 1e-12 absolute,
// entry by entry.
inline ::testing::AssertionResult MatchesReference(const std::vector<double>& fast,
                                                   const std::vector<double>& reference) {
  if (fast.size() != reference.size())
    return ::testing::AssertionFailure() << "sizes " << fast.size() << " and " << reference.size();
  for (std::size_t j = 0; j < fast.size(); ++j) {
    const double diff = std::fabs(fast[j] - reference[j]);
    if (!(diff <= 1e-12 || diff <= 1e-9 * std::fabs(reference[j])))
      return ::testing::AssertionFailure() << "entry " << j << ": " << fast[j] << " against "
                                           << reference[j] << " (difference " << diff << ")";
  }
  return ::testing::AssertionSuccess();
}

}  // namespace engine_test

#endif
