#include "apps/vesk-beat/output/ClickTrack.h"

#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "apps/vesk-beat/output/AtomicFile.h"
#include "common/OpenErrorText.h"
#include "tracking/input/SndfileReader.h"

namespace vesk_beat {

namespace {

// 25 ms of a 1.5 kHz tone, falling off fast: short and high enough to be
// heard over music without hiding it.
std::vector<float> clickSound(int rate) {
  std::vector<float> click(static_cast<std::size_t>(0.025 * rate));
  const double pi = std::acos(-1.0);
  for (std::size_t i = 0; i < click.size(); ++i) {
    const double t = static_cast<double>(i) / rate;
    click[i] = static_cast<float>(0.5 * std::sin(2 * pi * 1500.0 * t) * std::exp(-t / 0.006));
  }
  return click;
}

// A 16-bit WAV written to a temporary file beside `path`, renamed over it
// when complete.
class WavOutput {
 public:
  WavOutput(const std::string& path, int rate, int channels) : path(path) {
    temporary = path + ".tmp.XXXXXX";
    fd = ::mkstemp(temporary.data());
    if (fd < 0)
      throw OutputError("cannot write '" + path + "': " + vesk_common::OpenErrorText(errno));
    ::fchmod(fd, 0644);
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    file = sf_open_fd(fd, SFM_WRITE, &info, SF_FALSE);
    if (!file) fail(sf_strerror(nullptr));
    sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);  // a click on a peak clips, not wraps
  }
  ~WavOutput() {
    if (file) sf_close(file);
    if (fd >= 0) ::close(fd);
    if (!temporary.empty()) ::unlink(temporary.c_str());
  }
  void write(const float* samples, sf_count_t frames) {
    if (sf_writef_float(file, samples, frames) != frames) fail(sf_strerror(file));
  }
  void commit() {
    sf_write_sync(file);
    const int closed = sf_close(file);
    file = nullptr;
    if (closed != 0) fail(sf_error_number(closed));
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
      fd = -1;
      fail(std::strerror(errno));
    }
    fd = -1;
    if (::rename(temporary.c_str(), path.c_str()) != 0) fail(std::strerror(errno));
    temporary.clear();
  }

 private:
  [[noreturn]] void fail(const char* why) {
    throw OutputError("cannot write '" + path + "': " + (why ? why : "unknown error"));
  }

  std::string path, temporary;
  int fd = -1;
  SNDFILE* file = nullptr;
};

}  // namespace

void writeClickTrack(const std::string& path, const std::string& input, const std::string& name,
                     const std::vector<double>& beats) {
  vesk_tracking::SndfileReader reader(input, name);
  const int rate = reader.sampleRate();
  const std::size_t channels = static_cast<std::size_t>(reader.channels());
  const std::vector<float> click = clickSound(rate);
  WavOutput out(path, rate, reader.channels());
  std::vector<float> block(4096 * channels);
  std::int64_t at = 0;   // first frame of the block
  std::size_t next = 0;  // first beat whose click may still reach this block
  for (std::size_t n; (n = reader.read(block.data(), 4096)) > 0;
       at += static_cast<std::int64_t>(n)) {
    for (std::size_t b = next; b < beats.size(); ++b) {
      const std::int64_t start = std::llround(beats[b] * rate);
      if (start >= at + static_cast<std::int64_t>(n)) break;
      if (start + static_cast<std::int64_t>(click.size()) <= at) {
        next = b + 1;
        continue;
      }
      for (std::int64_t f = std::max(start, at);
           f < std::min(start + static_cast<std::int64_t>(click.size()),
                        at + static_cast<std::int64_t>(n));
           ++f)
        for (std::size_t c = 0; c < channels; ++c)
          block[static_cast<std::size_t>(f - at) * channels + c] +=
              click[static_cast<std::size_t>(f - start)];
    }
    out.write(block.data(), static_cast<sf_count_t>(n));
  }
  out.commit();
}

}  // namespace vesk_beat
