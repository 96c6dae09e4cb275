#ifndef VESK_BEAT_TRACKER_BEATTRACKERINIT_H
#define VESK_BEAT_TRACKER_BEATTRACKERINIT_H

#include <cstdint>
#include <iosfwd>
#include <string>

namespace beat_tracker {

// Configuration of one beat-tracking engine, passed by value to its
// constructor. The defaults only stand where the caller sets nothing; the
// node always supplies the rate, frame length, hop and interval range.
struct BeatTrackerInit {
  double sampling_rate = 44100.0;      // Hz
  std::uint64_t fft_length = 4096;     // frame length N, samples
  std::uint64_t advance = 512;         // hop between frames, samples
  std::uint64_t mel_band_num = 64;     // not read: the engine always uses 64 bands
  std::uint64_t onset_band_begin = 1;  // not read: the engine always uses 1
  std::uint64_t onset_band_end = 63;   // not read: the engine always uses 63
  double max_interval = 1.01;          // not read: the range ends at window_length
  double min_interval = 0.51;          // shortest beat interval, frames
  double window_length = 1.01;  // pattern-matching window and end of the interval range, frames
  bool log_flag = true;         // write the diagnostic data files
  std::string log_path;         // put in front of every diagnostic file name
  // Where the engine's console lines go; null: std::cout. Must outlive the engine.
  std::ostream* console = nullptr;
};

}  // namespace beat_tracker

#endif
