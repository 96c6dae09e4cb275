#include "apps/vesk-beat/run/ProgressBar.h"

#include <algorithm>

namespace vesk_beat {

ProgressBar::ProgressBar(std::FILE* terminal, std::string name, std::int64_t count)
    : out(terminal), label(std::move(name)), total(std::max<std::int64_t>(count, 1)) {}

ProgressBar::~ProgressBar() {
  finish();
}

void ProgressBar::update(std::int64_t done) {
  auto now = std::chrono::steady_clock::now();
  if (now - last < std::chrono::milliseconds(100)) return;
  last = now;
  draw(done);
}

void ProgressBar::draw(std::int64_t done) {
  constexpr int kWidth = 30;
  const double share = std::clamp(static_cast<double>(done) / total, 0.0, 1.0);
  const int filled = static_cast<int>(share * kWidth);
  std::string bar(filled, '#');
  bar.append(kWidth - filled, '-');
  std::string name = label.size() > 40 ? "..." + label.substr(label.size() - 37) : label;
  std::fprintf(out, "\r%s [%s] %3d%%", name.c_str(), bar.c_str(), static_cast<int>(share * 100));
  std::fflush(out);
}

void ProgressBar::clear() {
  if (!active) return;
  std::fprintf(out, "\r\033[K");
  std::fflush(out);
  last = {};
}

void ProgressBar::finish() {
  if (!active) return;
  active = false;
  std::fprintf(out, "\r\033[K");
  std::fflush(out);
}

}  // namespace vesk_beat
