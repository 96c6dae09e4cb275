#include "tracking/input/RawFormat.h"

#include <cerrno>
#include <cstdlib>

#include "tracking/SettingError.h"

namespace vesk_tracking {

int RawFormat::bytesPerSample() const {
  switch (sample) {
    case Sample::S16:
      return 2;
    case Sample::S24:
      return 3;
    case Sample::S32:
    case Sample::F32:
      return 4;
  }
  return 2;
}

namespace {

bool parsePositive(const std::string& text, int max, int& out) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
  errno = 0;
  long v = std::strtol(text.c_str(), nullptr, 10);
  if (errno != 0 || v < 1 || v > max) return false;
  out = static_cast<int>(v);
  return true;
}

}  // namespace

RawFormat parseRawFormat(const std::string& text) {
  const std::string expected =
      "expected SAMPLE:RATE:CHANNELS with SAMPLE s16le, s24le, s32le or "
      "f32le, RATE 1000..768000 and CHANNELS 1..32 (e.g. s16le:16000:1)";
  std::size_t a = text.find(':');
  std::size_t b = a == std::string::npos ? a : text.find(':', a + 1);
  if (b == std::string::npos || text.find(':', b + 1) != std::string::npos)
    throw SettingError("--raw: invalid format '" + text + "': " + expected);
  RawFormat f;
  std::string sample = text.substr(0, a);
  if (sample == "s16le")
    f.sample = RawFormat::Sample::S16;
  else if (sample == "s24le")
    f.sample = RawFormat::Sample::S24;
  else if (sample == "s32le")
    f.sample = RawFormat::Sample::S32;
  else if (sample == "f32le")
    f.sample = RawFormat::Sample::F32;
  else
    throw SettingError("--raw: unknown sample type '" + sample + "' in '" + text +
                       "': " + expected);
  if (!parsePositive(text.substr(a + 1, b - a - 1), 768000, f.rate) || f.rate < 1000)
    throw SettingError("--raw: invalid rate in '" + text + "': " + expected);
  if (!parsePositive(text.substr(b + 1), 32, f.channels))
    throw SettingError("--raw: invalid channel count in '" + text + "': " + expected);
  f.given = true;
  return f;
}

}  // namespace vesk_tracking
