#include "tracking/input/WavStreamHeader.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "tracking/input/AudioReader.h"

namespace vesk_tracking {

namespace {

std::uint32_t le32(const unsigned char* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint16_t le16(const unsigned char* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

void need(bool ok, ByteStream& in, const char* what) {
  if (!ok) throw AudioError(in.name() + ": damaged WAV header (" + what + ")");
}

// Skips n bytes of a chunk we do not use.
void skip(ByteStream& in, std::uint64_t n) {
  unsigned char buffer[4096];
  while (n > 0) {
    std::size_t step = n < sizeof buffer ? static_cast<std::size_t>(n) : sizeof buffer;
    need(in.readExact(buffer, step), in, "stream ended inside a chunk");
    n -= step;
  }
}

}  // namespace

RawFormat readWavStreamHeader(ByteStream& in) {
  unsigned char head[8];
  need(in.readExact(head, 8), in, "stream ended inside the RIFF header");
  need(std::memcmp(head + 4, "WAVE", 4) == 0, in, "not a WAVE file");
  bool haveFormat = false;
  RawFormat f;
  for (;;) {
    unsigned char chunk[8];
    need(in.readExact(chunk, 8), in, "no data chunk");
    const std::uint32_t size = le32(chunk + 4);
    if (std::memcmp(chunk, "fmt ", 4) == 0) {
      need(size >= 16 && size < 1024, in, "bad fmt chunk size");
      std::vector<unsigned char> fmt(size + (size & 1));
      need(in.readExact(fmt.data(), fmt.size()), in, "short fmt chunk");
      std::uint16_t tag = le16(&fmt[0]);
      const int channels = le16(&fmt[2]);
      const std::uint32_t rate = le32(&fmt[4]);
      const int bits = le16(&fmt[14]);
      if (tag == 0xFFFE && size >= 26) tag = le16(&fmt[24]);  // extensible: the sub-format
      if (tag == 1 && bits == 16)
        f.sample = RawFormat::Sample::S16;
      else if (tag == 1 && bits == 24)
        f.sample = RawFormat::Sample::S24;
      else if (tag == 1 && bits == 32)
        f.sample = RawFormat::Sample::S32;
      else if (tag == 3 && bits == 32)
        f.sample = RawFormat::Sample::F32;
      else
        throw AudioError(in.name() + ": unsupported WAV sample format (format tag " +
                         std::to_string(tag) + ", " + std::to_string(bits) +
                         " bits); use 16, 24 or 32-bit integer or 32-bit float PCM");
      if (channels < 1 || channels > 32 || rate < 1000 || rate > 768000)
        throw AudioError(in.name() + ": unsupported WAV layout (" + std::to_string(channels) +
                         " channels at " + std::to_string(rate) + " Hz)");
      f.channels = channels;
      f.rate = static_cast<int>(rate);
      f.given = true;
      haveFormat = true;
    } else if (std::memcmp(chunk, "data", 4) == 0) {
      need(haveFormat, in, "data before fmt");
      if (size != 0 && size != 0xFFFFFFFFu) in.setLimit(size);
      return f;
    } else {
      skip(in, static_cast<std::uint64_t>(size) + (size & 1));
    }
  }
}

}  // namespace vesk_tracking
