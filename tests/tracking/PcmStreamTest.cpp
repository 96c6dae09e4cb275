#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "tracking/input/PcmStreamReader.h"

using namespace vesk_tracking;
using namespace std::string_literals;

namespace {

void put16(std::string& s, std::uint16_t v) {
  s += static_cast<char>(v & 0xff);
  s += static_cast<char>(v >> 8);
}
void put32(std::string& s, std::uint32_t v) {
  put16(s, static_cast<std::uint16_t>(v & 0xffff));
  put16(s, static_cast<std::uint16_t>(v >> 16));
}

std::string wavHeader(int tag, int channels, int rate, int bits, std::uint32_t dataBytes,
                      bool extraChunk) {
  std::string h = "RIFF";
  put32(h, 0xFFFFFFFFu);
  h += "WAVE";
  if (extraChunk) {
    h += "LIST";
    put32(h, 3);  // odd size: a pad byte follows
    h += "abc";
    h += '\0';
  }
  h += "fmt ";
  put32(h, 16);
  put16(h, static_cast<std::uint16_t>(tag));
  put16(h, static_cast<std::uint16_t>(channels));
  put32(h, static_cast<std::uint32_t>(rate));
  put32(h, static_cast<std::uint32_t>(rate * channels * bits / 8));
  put16(h, static_cast<std::uint16_t>(channels * bits / 8));
  put16(h, static_cast<std::uint16_t>(bits));
  h += "data";
  put32(h, dataBytes);
  return h;
}

// A pipe holding `bytes` (small enough for the pipe buffer), write end closed.
int pipeWith(const std::string& bytes) {
  int fds[2];
  EXPECT_EQ(::pipe(fds), 0);
  EXPECT_EQ(::write(fds[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  ::close(fds[1]);
  return fds[0];
}

std::vector<float> readAll(AudioReader& r) {
  std::vector<float> all;
  std::vector<float> buffer(64 * r.channels());
  while (std::size_t n = r.read(buffer.data(), 64))
    all.insert(all.end(), buffer.begin(), buffer.begin() + n * r.channels());
  return all;
}

std::string audioErrorOf(const std::string& bytes, const RawFormat& raw = RawFormat()) {
  int fd = pipeWith(bytes);
  std::string message = "(no error)";
  try {
    auto r = openPcmStream(fd, "standard input", raw);
    readAll(*r);
  } catch (const AudioError& e) {
    message = e.what();
  }
  ::close(fd);
  return message;
}

}  // namespace

TEST(PcmStream, AWavStreamIsDetectedAndEndsWithItsDataChunk) {
  std::string bytes = wavHeader(1, 2, 22050, 16, 8, /*extraChunk=*/true);
  for (std::int16_t v : {16384, -16384, 32767, -32768}) put16(bytes, static_cast<std::uint16_t>(v));
  bytes += "JUNKJUNK";  // a chunk after the data is not audio
  int fd = pipeWith(bytes);
  auto reader = openPcmStream(fd, "standard input", RawFormat());
  EXPECT_EQ(reader->channels(), 2);
  EXPECT_EQ(reader->sampleRate(), 22050);
  EXPECT_EQ(reader->frameCount(), -1);
  std::vector<float> samples = readAll(*reader);
  ::close(fd);
  ASSERT_EQ(samples.size(), 4u);
  EXPECT_FLOAT_EQ(samples[0], 0.5f);
  EXPECT_FLOAT_EQ(samples[1], -0.5f);
  EXPECT_FLOAT_EQ(samples[2], 32767.0f / 32768.0f);
  EXPECT_FLOAT_EQ(samples[3], -1.0f);
}

TEST(PcmStream, AnUnknownDataSizeReadsToTheEndAndDropsAPartialFrame) {
  std::string bytes = wavHeader(3, 1, 16000, 32, 0xFFFFFFFFu, false);
  for (float v : {0.25f, -0.75f}) {
    std::uint32_t u;
    std::memcpy(&u, &v, 4);
    put32(bytes, u);
  }
  bytes += "ab";  // half a sample
  int fd = pipeWith(bytes);
  auto reader = openPcmStream(fd, "standard input", RawFormat());
  std::vector<float> samples = readAll(*reader);
  ::close(fd);
  EXPECT_EQ(samples, (std::vector<float>{0.25f, -0.75f}));
}

TEST(PcmStream, RawPcmKeepsTheBytesUsedToLookForAHeader) {
  std::string bytes;
  for (int v : {1000, 2000, 3000, 4000, 5000}) put16(bytes, static_cast<std::uint16_t>(v));
  RawFormat raw = parseRawFormat("s16le:8000:1");
  int fd = pipeWith(bytes);
  auto reader = openPcmStream(fd, "standard input", raw);
  EXPECT_EQ(reader->sampleRate(), 8000);
  std::vector<float> samples = readAll(*reader);
  ::close(fd);
  ASSERT_EQ(samples.size(), 5u);
  for (int i = 0; i < 5; ++i) EXPECT_FLOAT_EQ(samples[i], 1000.0f * (i + 1) / 32768.0f);
}

TEST(PcmStream, UnusableStreamsAreClearErrors) {
  EXPECT_EQ(audioErrorOf("hello, this is text"),
            "standard input: not a WAV stream; give the layout of raw PCM with --raw, e.g. --raw "
            "s16le:16000:1");
  EXPECT_NE(audioErrorOf(wavHeader(1, 1, 8000, 8, 4, false) + "abcd")
                .find("unsupported WAV sample format (format tag 1, 8 bits)"),
            std::string::npos);
  EXPECT_NE(audioErrorOf("RIFF\x10\0\0\0WAVEfmt "s).find("damaged WAV header"), std::string::npos);
  EXPECT_NE(audioErrorOf("RIFX0000WAVE").find("unsupported WAV variant (RIFX)"), std::string::npos);
}

TEST(PcmStream, SampleConversionsCoverTheFullScale) {
  const unsigned char s24[] = {0x00, 0x00, 0x80, 0xff, 0xff, 0x7f};
  float out[2];
  convertPcm(s24, 2, RawFormat::Sample::S24, out);
  EXPECT_FLOAT_EQ(out[0], -1.0f);
  EXPECT_NEAR(out[1], 1.0f, 1e-6);
  const unsigned char s32[] = {0x00, 0x00, 0x00, 0xc0};
  convertPcm(s32, 1, RawFormat::Sample::S32, out);
  EXPECT_FLOAT_EQ(out[0], -0.5f);
  // A NaN float sample would poison every later frame: it becomes 0.
  const unsigned char nan[] = {0x00, 0x00, 0xc0, 0x7f};
  convertPcm(nan, 1, RawFormat::Sample::F32, out);
  EXPECT_EQ(out[0], 0.0f);
}
