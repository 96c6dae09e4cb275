#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "tracking/input/PcmStreamReader.h"
#include "tracking/input/SndfileReader.h"

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

// A pipe whose writer thread writes `bytes` (any size) and closes it.
struct PipeWriter {
  explicit PipeWriter(std::string bytes) {
    int fds[2];
    EXPECT_EQ(::pipe(fds), 0);
    readEnd = fds[0];
    writer = std::thread([fd = fds[1], all = std::move(bytes)] {
      for (std::size_t done = 0; done < all.size();) {
        const ssize_t n = ::write(fd, all.data() + done, all.size() - done);
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
      }
      ::close(fd);
    });
  }
  ~PipeWriter() {
    ::close(readEnd);
    writer.join();
  }
  int readEnd;
  std::thread writer;
};

// One second of a tone at 8 kHz written by libsndfile in `format`.
std::string soundFile(int format, int channels) {
  char path[] = "/tmp/vesk-stream-XXXXXX";
  const int fd = ::mkstemp(path);
  EXPECT_GE(fd, 0);
  ::close(fd);
  SF_INFO info{};
  info.samplerate = 8000;
  info.channels = channels;
  info.format = format;
  SNDFILE* f = sf_open(path, SFM_WRITE, &info);
  EXPECT_NE(f, nullptr) << sf_strerror(nullptr);
  std::vector<float> tone(8000 * channels);
  for (std::size_t i = 0; i < tone.size(); ++i) tone[i] = 0.6f * std::sin(0.05f * i);
  sf_writef_float(f, tone.data(), 8000);
  sf_close(f);
  return path;
}

std::string bytesOf(const std::string& path) {
  std::string all;
  char chunk[4096];
  FILE* f = std::fopen(path.c_str(), "rb");
  while (std::size_t n = std::fread(chunk, 1, sizeof chunk, f)) all.append(chunk, n);
  std::fclose(f);
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
  EXPECT_EQ(audioErrorOf("RIFF\x10\0\0\0WAVEfmt "s)
                .rfind("standard input: unsupported or damaged WAV stream (", 0),
            0u);
  EXPECT_EQ(audioErrorOf("fLaC").rfind("standard input: unsupported or damaged FLAC stream (", 0),
            0u);
}

TEST(PcmStream, ContainersAndSampleFormatsOnAPipeReadAsTheSameFileByName) {
  const int formats[][2] = {
      {SF_FORMAT_WAV | SF_FORMAT_ULAW, 1},    {SF_FORMAT_WAV | SF_FORMAT_DOUBLE, 2},
      {SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 1},  {SF_FORMAT_RF64 | SF_FORMAT_PCM_16, 2},
      {SF_FORMAT_AIFF | SF_FORMAT_PCM_24, 1}, {SF_FORMAT_AU | SF_FORMAT_ALAW, 1},
      {SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 1}};
  for (const auto& f : formats) {
    const std::string path = soundFile(f[0], f[1]);
    SndfileReader byName(path);
    std::vector<float> expected = readAll(byName);
    PipeWriter pipe(bytesOf(path));
    auto stream = openPcmStream(pipe.readEnd, "standard input", RawFormat());
    EXPECT_EQ(stream->sampleRate(), 8000);
    EXPECT_EQ(stream->channels(), f[1]);
    std::vector<float> got = readAll(*stream);
    ASSERT_EQ(got.size(), 8000u * f[1]) << std::hex << f[0];
    EXPECT_EQ(std::memcmp(got.data(), expected.data(), got.size() * sizeof(float)), 0)
        << std::hex << f[0];
    EXPECT_EQ(stream->shortfall(), "");
    ::unlink(path.c_str());
  }
}

TEST(PcmStream, ASlowWritersFramesArriveBeforeItCloses) {
  // With and without a data size: a known size must not make the reader
  // wait for the chunk's end.
  for (std::uint32_t dataBytes : {0xFFFFFFFFu, 16000u * 2 * 10}) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    std::atomic<bool> stop{false}, closed{false};
    std::thread writer([&, fd = fds[1]] {
      std::string bytes = wavHeader(1, 1, 16000, 16, dataBytes, false);
      const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
      while (!stop && std::chrono::steady_clock::now() < until) {
        bytes.append(320, '\x10');  // one 10 ms hop
        if (::write(fd, bytes.data(), bytes.size()) < 0) break;
        bytes.clear();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
      closed = true;
      ::close(fd);
    });
    auto reader = openPcmStream(fds[0], "standard input", RawFormat());
    std::vector<float> buffer(4096);
    const std::size_t got = reader->read(buffer.data(), 4096);
    EXPECT_FALSE(closed) << "the first frames came only when the writer closed";
    EXPECT_GT(got, 0u);
    EXPECT_LT(got, 4096u);
    stop = true;
    writer.join();
    ::close(fds[0]);
  }
}

TEST(PcmStream, AStreamEndingBeforeItsHeadersSizeWarns) {
  std::string bytes = wavHeader(1, 1, 16000, 16, 16000 * 2, false);
  bytes.append(8000 * 2, '\0');
  int fd = pipeWith(bytes);
  auto reader = openPcmStream(fd, "standard input", RawFormat());
  EXPECT_EQ(readAll(*reader).size(), 8000u);
  EXPECT_EQ(reader->shortfall(),
            "cut short: its header promises 1.00 s of audio, the stream held 0.50 s");
  ::close(fd);
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
