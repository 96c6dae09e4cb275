#include <gtest/gtest.h>

#include <sndfile.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "tracking/input/SndfileReader.h"

namespace {

// Writes `samples` (interleaved shorts) as a WAV of the given subtype.
std::string WriteWav(const std::vector<short>& samples, int channels, int subtype) {
  char path[] = "/tmp/vesk-sndfile-XXXXXX";
  const int fd = ::mkstemp(path);
  EXPECT_GE(fd, 0);
  ::close(fd);
  SF_INFO info{};
  info.channels = channels;
  info.samplerate = 16000;
  info.format = SF_FORMAT_WAV | subtype;
  SNDFILE* f = sf_open(path, SFM_WRITE, &info);
  EXPECT_NE(f, nullptr);
  sf_writef_short(f, samples.data(), static_cast<sf_count_t>(samples.size() / channels));
  sf_close(f);
  return path;
}

// Every sample as libsndfile's own float conversion gives it.
std::vector<float> LibraryFloats(const std::string& path) {
  SF_INFO info{};
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
  sf_command(f, SFC_SET_NORM_FLOAT, nullptr, SF_TRUE);
  std::vector<float> all(static_cast<std::size_t>(info.frames * info.channels));
  sf_readf_float(f, all.data(), info.frames);
  sf_close(f);
  return all;
}

}  // namespace

TEST(SndfileReader, SixteenBitSamplesAreLibsndfilesFloatsBitForBitAndMarkedBounded) {
  std::vector<short> samples;
  for (int i = 0; i < 7001; ++i) samples.push_back(static_cast<short>(i * 7919 % 65536 - 32768));
  samples.insert(samples.end(), {-32768, 32767, 0, -1, 1, -32767});
  for (int subtype : {SF_FORMAT_PCM_16, SF_FORMAT_PCM_24}) {
    const std::string path = WriteWav(samples, 2, subtype);
    const std::vector<float> expected = LibraryFloats(path);
    vesk_tracking::SndfileReader reader(path);
    EXPECT_EQ(reader.boundedSamples(), subtype == SF_FORMAT_PCM_16);
    std::vector<float> got;
    std::vector<float> chunk(2 * 1000);
    while (std::size_t n = reader.read(chunk.data(), 1000))
      got.insert(got.end(), chunk.begin(), chunk.begin() + 2 * n);
    ASSERT_EQ(got.size(), expected.size());
    EXPECT_EQ(std::memcmp(got.data(), expected.data(), got.size() * sizeof(float)), 0)
        << "subtype " << subtype;
    ::unlink(path.c_str());
  }
}
