#include "tracking/input/PcmStreamReader.h"

#include <cstdint>
#include <cstring>

#include "tracking/input/SndfileReader.h"

namespace vesk_tracking {

void convertPcm(const unsigned char* in, std::size_t n, RawFormat::Sample format, float* out) {
  switch (format) {
    case RawFormat::Sample::S16:
      for (std::size_t i = 0; i < n; ++i, in += 2)
        out[i] = static_cast<std::int16_t>(in[0] | (in[1] << 8)) / 32768.0f;
      break;
    case RawFormat::Sample::S24:
      for (std::size_t i = 0; i < n; ++i, in += 3) {
        std::int32_t v = static_cast<std::int32_t>(static_cast<std::uint32_t>(in[0]) << 8 |
                                                   static_cast<std::uint32_t>(in[1]) << 16 |
                                                   static_cast<std::uint32_t>(in[2]) << 24);
        out[i] = static_cast<float>(v / 2147483648.0);
      }
      break;
    case RawFormat::Sample::S32:
      for (std::size_t i = 0; i < n; ++i, in += 4) {
        std::uint32_t u =
            in[0] | in[1] << 8 | in[2] << 16 | static_cast<std::uint32_t>(in[3]) << 24;
        out[i] = static_cast<float>(static_cast<std::int32_t>(u) / 2147483648.0);
      }
      break;
    case RawFormat::Sample::F32:
      for (std::size_t i = 0; i < n; ++i, in += 4) {
        std::uint32_t u =
            in[0] | in[1] << 8 | in[2] << 16 | static_cast<std::uint32_t>(in[3]) << 24;
        float v;
        std::memcpy(&v, &u, sizeof v);
        // Not-a-number or infinite samples would poison every later frame.
        out[i] = v == v && v <= 3.0e38f && v >= -3.0e38f ? v : 0.0f;
      }
      break;
  }
}

PcmStreamReader::PcmStreamReader(std::unique_ptr<ByteStream> stream, RawFormat layout)
    : in(std::move(stream)), format(layout) {}

std::size_t PcmStreamReader::read(float* out, std::size_t frames) {
  const std::size_t frameBytes = static_cast<std::size_t>(format.bytesPerFrame());
  if (frames == 0) return 0;
  bytes.resize(frames * frameBytes);
  // Wait until at least one whole frame is there, then take what has come.
  std::size_t have = carried;
  while (have < frameBytes) {
    std::size_t got = in->readSome(bytes.data() + have, bytes.size() - have);
    if (got == 0) return 0;  // a trailing partial frame is dropped
    have += got;
  }
  const std::size_t whole = have / frameBytes;
  convertPcm(bytes.data(), whole * format.channels, format.sample, out);
  carried = have - whole * frameBytes;
  std::memmove(bytes.data(), bytes.data() + whole * frameBytes, carried);
  return whole;
}

namespace {

// How the containers libsndfile reads begin, and what messages call them.
struct Magic {
  const char* bytes;
  const char* format;
};
constexpr Magic kMagics[] = {
    {"RIFF", "WAV"}, {"RIFX", "WAV"},    {"RF64", "RF64"}, {"FORM", "AIFF"},
    {".snd", "AU"},  {"dns.", "AU"},     {"fLaC", "FLAC"}, {"OggS", "Ogg"},
    {"caff", "CAF"}, {"riff", "Wave64"}, {"NIST", "NIST"},
};

}  // namespace

std::unique_ptr<AudioReader> openPcmStream(int fd, const std::string& name, const RawFormat& raw,
                                           bool ownsFd, std::function<void()> waitHook) {
  auto in = std::make_unique<ByteStream>(fd, name, ownsFd);
  if (waitHook) in->setWaitHook(std::move(waitHook));
  // The first four bytes tell a header from raw samples; they are put back.
  unsigned char magic[4];
  std::size_t got = 0;
  while (got < 4) {
    std::size_t n = in->readSome(magic + got, 4 - got);
    if (n == 0) break;
    got += n;
  }
  in->unread(magic, got);
  for (const Magic& m : kMagics)
    if (got == 4 && std::memcmp(magic, m.bytes, 4) == 0)
      return std::make_unique<SndfileReader>(
          std::make_unique<SndfileStream>(std::move(in), m.format));
  if (!raw.given)
    throw AudioError(name +
                     ": not a WAV stream; give the layout of raw PCM with --raw, e.g. "
                     "--raw s16le:16000:1");
  return std::make_unique<PcmStreamReader>(std::move(in), raw);
}

}  // namespace vesk_tracking
