#ifndef VESK_BEAT_PROGRESSBAR_H
#define VESK_BEAT_PROGRESSBAR_H

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

namespace vesk_beat {

// A one-line progress bar on a terminal, redrawn at most ten times a second.
class ProgressBar {
 public:
  ProgressBar(std::FILE* terminal, std::string label, std::int64_t total);
  ~ProgressBar();
  void update(std::int64_t done);
  // Erases the bar until the next update, so that a line printed to the
  // same terminal is not mixed into it.
  void clear();
  // Erases the bar for good.
  void finish();

 private:
  void draw(std::int64_t done);

  std::FILE* out;
  std::string label;
  std::int64_t total;
  bool active = true;
  std::chrono::steady_clock::time_point last{};
};

}  // namespace vesk_beat

#endif
