// Live capture without a sound card: ALSA through a PCM of a private
// configuration that reads a file.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <vector>

#include "tracking/devices/AlsaCapture.h"
#include "tracking/process/WorkingDirectory.h"

using namespace vesk_tracking;

namespace {

// Stereo floats: a click every half second, the right channel at half level.
std::vector<float> clicks(int rate, double seconds) {
  std::vector<float> x(static_cast<std::size_t>(rate * seconds) * 2, 0.0f);
  for (std::size_t at = rate / 10; at * 2 + 400 < x.size(); at += rate / 2)
    for (std::size_t i = 0; i < 200; ++i) {
      x[(at + i) * 2] = 0.5f;
      x[(at + i) * 2 + 1] = 0.25f;
    }
  return x;
}

}  // namespace

TEST(AlsaCapture, ReadsThePcmsFramesAndNamesADeviceThatIsNot) {
  TemporaryDirectory dir("vesk-alsa");
  const std::vector<float> x = clicks(48000, 1.0);
  std::ofstream(dir.path() + "/in.raw", std::ios::binary)
      .write(reinterpret_cast<const char*>(x.data()), x.size() * sizeof(float));
  std::ofstream(dir.path() + "/asound.conf")
      << "pcm.clicks { type file slave.pcm { type null } file \"/dev/null\" infile \"" << dir.path()
      << "/in.raw\" format \"raw\" }\n";
  ::setenv("ALSA_CONFIG_PATH", (dir.path() + "/asound.conf").c_str(), 1);

  AlsaCapture capture("clicks", 48000, 2);
  std::vector<float> got;
  std::vector<float> block(4096 * 2);
  while (got.size() < x.size()) {
    const std::size_t n = capture.read(block.data(), 4096);
    ASSERT_GT(n, 0u);
    got.insert(got.end(), block.begin(), block.begin() + n * 2);
  }
  got.resize(x.size());
  EXPECT_EQ(got, x);
  EXPECT_EQ(capture.overruns(), 0);

  try {
    AlsaCapture missing("no-such-device", 48000, 2);
    FAIL() << "a device that does not exist was opened";
  } catch (const AudioError& e) {
    EXPECT_NE(std::string(e.what()).find("cannot open the capture device 'no-such-device'"),
              std::string::npos)
        << e.what();
  }
}
