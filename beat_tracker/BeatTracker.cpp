#include "beat_tracker/BeatTracker.h"

#include <cmath>
#include <iostream>
#include <sstream>
#include <stdexcept>

namespace beat_tracker {

namespace {

// Largest frame length accepted: keeps every size an int can hold (the
// spectrum history alone is 3000 rows of half this many doubles).
constexpr std::uint64_t kLongestFrame = std::uint64_t{1} << 24;

[[noreturn]] void reject(const std::string& what) {
  throw std::invalid_argument("beat_tracker::BeatTracker: " + what);
}

std::string text(double value) {
  std::ostringstream out;
  out << value;
  return out.str();
}

// Interval values arrive as doubles and are truncated to whole frames; only
// finite values inside the history length can be converted safely.
int wholeFrames(double value, const char* name) {
  if (!std::isfinite(value) || value < 0.0 || value >= BeatTracker::kHistoryLength)
    reject(std::string(name) + " is " + text(value) + ", expected a number of frames from 0 to " +
           std::to_string(BeatTracker::kHistoryLength - 1));
  return static_cast<int>(value);
}

void validate(const BeatTrackerInit& init, int min_interval, int max_interval) {
  if (!(init.sampling_rate > 0.0) || !std::isfinite(init.sampling_rate))
    reject("sampling_rate is " + text(init.sampling_rate) + ", expected a positive rate in Hz");
  if (init.fft_length < 2 || init.fft_length > kLongestFrame)
    reject("fft_length is " + std::to_string(init.fft_length) + ", expected 2 to " +
           std::to_string(kLongestFrame));
  if (init.advance < 1)
    reject("advance is " + std::to_string(init.advance) + ", expected at least 1");
  if (!BeatTracker::IntervalRangeFits(min_interval, max_interval))
    reject("interval range " + std::to_string(min_interval) + " to " +
           std::to_string(max_interval) +
           " frames does not fit: expected min_interval >= 6, window_length >= min_interval + 2 "
           "and every reach of the analysis inside the " +
           std::to_string(BeatTracker::kHistoryLength) +
           "-frame history (for example "
           "window_length <= " +
           std::to_string(BeatTracker::MaxSafeInterval()) + ")");
}

}  // namespace

BeatTracker::BeatTracker(BeatTrackerInit init) {
  const int requested_min = wholeFrames(init.min_interval, "min_interval");
  const int requested_window = wholeFrames(init.window_length, "window_length");
  validate(init, requested_min, requested_window);

  sampling_rate = init.sampling_rate;
  advance = init.advance;
  log_flag = init.log_flag;
  spectrum_size = init.fft_length / 2;
  overlap = static_cast<int>(init.fft_length / init.advance);
  file_prefix = init.log_path + "bt_";
  console = init.console ? init.console : &std::cout;

  // The range ends at the window length; the record's max_interval is not used.
  mel_band_num = 64;
  min_interval = requested_min;
  max_interval = requested_window;
  window_length = requested_window;
  *console << "DEBUG" << max_interval << min_interval << window_length << std::endl;

  onset_band_begin = 1;
  onset_band_end = 63;

  // Filter-bank points on the spectrum-bin axis, equally spaced in mel.
  const double bin_width = sampling_rate / (2.0 * static_cast<double>(spectrum_size));
  const double mel_top =
      2595.0 * std::log10(static_cast<double>(spectrum_size) * bin_width / 700.0 + 1.0);
  const double mel_step = mel_top / mel_band_num;
  mel_points.reserve(mel_band_num + 2);
  mel_points.push_back(0.0);
  for (int i = 1; i <= mel_band_num; ++i)
    mel_points.push_back((std::pow(10.0, i * mel_step / 2595.0) - 1.0) * 700.0 / bin_width);
  mel_points.push_back(static_cast<double>(spectrum_size));

  SetFreqBank();

  interval_buffer.fill(0.0);
  spectrum_buffer.fill(std::vector<double>(spectrum_size, 0.0));
  mel_buffer.fill(std::vector<double>(mel_band_num, 0.0));
  onset_buffer.fill(std::vector<double>(mel_band_num, 0.0));
  onset_sum_buffer.fill(0.0);
  interval_value_buffer.fill(std::vector<double>(max_interval, 0.0));
  beat_reliability_buffer.fill(0.0);
  beat_count_buffer.fill(0);
  music_reliability_buffer.fill(0.0);

  // The phase window holds one interval; reserved for the longest one stored so
  // that frames never allocate it.
  phase_scratch_.reserve(static_cast<std::size_t>(
      std::max(max_interval, LongestStoredInterval(min_interval, max_interval)) + 1));

  OpenDiagnosticFiles();

  t_current = overlap / 2 - 1;
  next_beat_time = 0;
  beat_result_spare = 0;
  now_interval = 0;
  music_reliability = 0.0;
  no_onset = false;
  *console << "beat_tracking initialize ended" << std::endl;
}

BeatTracker::~BeatTracker() = default;

void BeatTracker::SetFreqBank() {
  // Bins below 12 lie below octave 0 and never reach the chroma vector.
  constexpr double kOutsideOctaves = -1.0;
  bin_cents.reserve(bin_cents.size() + spectrum_size);
  bin_pitch_class.reserve(bin_pitch_class.size() + spectrum_size);
  bin_octave.reserve(bin_octave.size() + spectrum_size);
  for (std::uint64_t i = 0; i < spectrum_size; ++i) {
    // The bin index itself, not its frequency, is measured against C0.
    const double cents = 1200.0 * std::log2(static_cast<double>(i) / 16.351597831287414);
    bin_cents.push_back(cents);
    const double semitones = cents / 100.0 + 0.5;
    // Bin 0 gives minus infinity: no conversion, it is outside like bins 1 ... 11.
    const int k = semitones > -100.0 ? static_cast<int>(semitones) + 5 : -1;
    if (k >= 0) {
      bin_octave.push_back(k / 12);
      bin_pitch_class.push_back(k % 12);
    } else {
      bin_octave.push_back(kOutsideOctaves);
      bin_pitch_class.push_back(0.0);
    }
  }
}

double BeatTracker::FrameTime() const {
  return static_cast<double>(static_cast<std::uint64_t>(t_current) * advance) / sampling_rate;
}

}  // namespace beat_tracker
