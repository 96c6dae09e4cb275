#ifndef VESK_NODE_REALTIMEBEATTRACKERINIT_H
#define VESK_NODE_REALTIMEBEATTRACKERINIT_H

#include <cstddef>
#include <string>

// The values the node gathers at its first frame to start its engine.
struct RealTimeBeatTrackerInit {
  int mode = 0;
  double sampling_rate = 0.0;
  std::size_t fft_length = 0;
  std::size_t advance = 0;
  std::size_t mel_band_num = 64;
  std::size_t onset_band_begin = 1;
  std::size_t onset_band_end = 63;
  double max_interval = 0.0;   // longest beat interval (slowest tempo), frames
  double min_interval = 0.0;   // shortest beat interval (fastest tempo), frames
  double window_length = 0.0;  // pattern-matching window, frames
  bool log_flag = false;
  bool skip_spectrum_update = false;
  std::string log_path;
};

#endif
