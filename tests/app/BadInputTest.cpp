// Bad inputs to vesk-beat that the other tests leave out, run through the built
// program the way a user meets them: every one ends in a clear message and
// the documented exit status, or is tracked as what it is, never in a crash.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sndfile.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "tests/app/ScratchFolderTest.h"
#include "tests/app/TestAudio.h"
#include "tests/app/ToolRunner.h"
#include "tracking/beats/BeatEvent.h"
#include "tracking/input/SndfileReader.h"
#include "tracking/process/WorkingDirectory.h"

using vesk_tracking::TemporaryDirectory;

namespace {

constexpr int kWav16 = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
constexpr int kWavFloat = SF_FORMAT_WAV | SF_FORMAT_FLOAT;

class BadInput : public ScratchFolderTest {
 protected:
  BadInput() : ScratchFolderTest("vesk-beat-bad") {}
  void writeBytes(const std::string& name, const std::string& bytes) {
    std::ofstream(path(name), std::ios::binary) << bytes;
  }
  std::string bytesOf(const std::string& name) {
    std::ifstream in(path(name), std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }
};

// Reliable beats in CSV output (a header line, then one line per beat).
int csvBeats(const std::string& out) {
  int n = 0;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);)
    if (line.rfind("file,", 0) != 0 && !line.empty() && line.back() == '1') ++n;
  return n;
}

// Replaces samples of a float file: NaN, infinities and absurdly large values.
void poisonFloatFile(const std::string& file) {
  SF_INFO info{};
  SNDFILE* f = sf_open(file.c_str(), SFM_RDWR, &info);
  ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
  std::vector<float> x(static_cast<std::size_t>(info.frames));
  sf_readf_float(f, x.data(), info.frames);
  const float bad[] = {std::numeric_limits<float>::quiet_NaN(),
                       std::numeric_limits<float>::infinity(),
                       -std::numeric_limits<float>::infinity(), 3.0e38f, -1.0e30f};
  // All kinds in the first 0.2 s, then a not-a-number sample every second.
  for (std::size_t i = 0; i < x.size(); ++i)
    if (i < 3200 || i % 16000 == 7) x[i] = i < 3200 ? bad[i % 5] : bad[0];
  sf_seek(f, 0, SEEK_SET);
  sf_writef_float(f, x.data(), info.frames);
  sf_close(f);
}

// A UDP port on the loopback address that nothing listens on: bound, then
// released.
int closedLoopbackPort() {
  int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof a;
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length) != 0)
    return -1;
  ::close(fd);
  return ntohs(a.sin_port);
}

}  // namespace

TEST_F(BadInput, EmptyCutAndSampleLessFiles) {
  writeBytes("empty.wav", "");
  writeClickTrack(path("ok.wav"), kWav16, 16000, 1, 120, 0.3, 2);
  writeBytes("cut.wav", bytesOf("ok.wav").substr(0, 30));
  writeClickTrack(path("nothing.wav"), kWav16, 16000, 1, 120, 0.3, 0);

  ToolRun empty = runTool({"empty.wav"}, dir.path());
  EXPECT_EQ(empty.exitCode, 1);
  EXPECT_EQ(empty.err,
            "vesk-beat: cannot read 'empty.wav': unsupported or damaged audio file (Format not "
            "recognised.)\n");

  ToolRun cut = runTool({"cut.wav"}, dir.path());
  EXPECT_EQ(cut.exitCode, 1);
  EXPECT_EQ(
      cut.err.rfind("vesk-beat: cannot read 'cut.wav': unsupported or damaged audio file (", 0), 0u)
      << cut.err;

  // A well-formed file without samples is a recording of no time: no beats.
  ToolRun nothing = runTool({"nothing.wav"}, dir.path());
  EXPECT_EQ(nothing.exitCode, 0);
  EXPECT_EQ(nothing.out,
            "nothing.wav: 0.00 s, 0 beats, median tempo 0.0 bpm, mean confidence 0.00\n");
  for (const ToolRun* r : {&empty, &cut}) EXPECT_EQ(r->out, "");

  // Samples cut short (the header promises 2 s, half of the data is there):
  // tracked as far as they go, and reported.
  const std::string whole = bytesOf("ok.wav");
  writeBytes("short.wav", whole.substr(0, whole.size() / 2));
  ToolRun shortRun = runTool({"--format", "json", "short.wav"}, dir.path());
  EXPECT_EQ(shortRun.exitCode, 0);
  const std::string warning =
      "cut short: its header promises 2.00 s of audio, the file holds 1.00 s";
  EXPECT_EQ(shortRun.err, "vesk-beat: short.wav: warning: " + warning + "\n");
  EXPECT_NE(shortRun.out.find("\"duration\":0.999,"), std::string::npos) << shortRun.out;
  EXPECT_NE(shortRun.out.find(",\"warning\":\"" + warning + "\"}\n"), std::string::npos);

  // A file cut short while it is read.
  vesk_tracking::SndfileReader reader(path("ok.wav"));
  std::filesystem::resize_file(path("ok.wav"), whole.size() / 2);
  std::vector<float> samples(4096);
  while (reader.read(samples.data(), samples.size()) > 0) {
  }
  EXPECT_EQ(reader.shortfall(),
            "cut short while read: the file ended after 1.00 s of the 2.00 s it held when opened");
}

TEST_F(BadInput, SampleRatesTheResamplerCannotBridge) {
  for (int rate : {1, 5000000}) {
    writeClickTrack(path("odd-rate.wav"), kWav16, rate, 1, 120, 0.0, 200.0 / rate);
    ToolRun run = runTool({"odd-rate.wav"}, dir.path());
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "vesk-beat: cannot resample from " + std::to_string(rate) +
                           " Hz to 16000 Hz: the input rate must lie within a factor of 256 of "
                           "the processing rate (--rate)\n");
    EXPECT_EQ(run.out, "");
  }
}

TEST_F(BadInput, NotANumberAndHugeFloatSamplesDoNotPoisonTheTrack) {
  writeClickTrack(path("clean.wav"), kWavFloat, 16000, 1, 120, 0.3, 12);
  writeClickTrack(path("poisoned.wav"), kWavFloat, 16000, 1, 120, 0.3, 12);
  poisonFloatFile(path("poisoned.wav"));

  ToolRun clean = runTool({"--format", "csv", "clean.wav"}, dir.path());
  ToolRun poisoned = runTool({"--format", "csv", "poisoned.wav"}, dir.path());
  ASSERT_EQ(clean.exitCode, 0) << clean.err;
  ASSERT_EQ(poisoned.exitCode, 0) << poisoned.err;
  EXPECT_EQ(poisoned.out.find("nan"), std::string::npos) << poisoned.out;
  EXPECT_EQ(poisoned.out.find("inf"), std::string::npos) << poisoned.out;
  // The bad samples count as silence or full scale: the clicks are still found.
  ASSERT_GE(csvBeats(clean.out), 10);
  EXPECT_GE(csvBeats(poisoned.out), csvBeats(clean.out) - 3) << poisoned.out;
}

// Infinite samples amid the music count as silence, as not-a-number ones do;
// as huge onsets they moved the beats around them.
TEST_F(BadInput, InfiniteSamplesInTheMiddleOfATrackChangeNoBeat) {
  writeClickTrack(path("clean.wav"), kWavFloat, 16000, 1, 120, 0.3, 12);
  writeClickTrack(path("inf.wav"), kWavFloat, 16000, 1, 120, 0.3, 12);
  SF_INFO info{};
  SNDFILE* f = sf_open(path("inf.wav").c_str(), SFM_RDWR, &info);
  ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
  std::vector<float> x(static_cast<std::size_t>(info.frames));
  sf_readf_float(f, x.data(), info.frames);
  // Between the clicks at 5.8 s and 6.3 s, where the track is silent.
  for (std::size_t at : {96000u, 97000u, 98000u})
    x[at] = at == 97000u ? -std::numeric_limits<float>::infinity()
                         : std::numeric_limits<float>::infinity();
  sf_seek(f, 0, SEEK_SET);
  sf_writef_float(f, x.data(), info.frames);
  sf_close(f);

  ToolRun clean = runTool({"--format", "csv", "clean.wav"}, dir.path());
  ToolRun inf = runTool({"--format", "csv", "inf.wav"}, dir.path());
  ASSERT_EQ(inf.exitCode, 0) << inf.err;
  ASSERT_GE(csvBeats(clean.out), 10);
  EXPECT_EQ(inf.out, std::regex_replace(clean.out, std::regex("clean\\.wav"), "inf.wav"));
}

TEST_F(BadInput, EmptyAndCutStreams) {
  writeClickTrack(path("ok.wav"), kWav16, 16000, 1, 120, 0.3, 1);
  const std::string wav = bytesOf("ok.wav");
  writeBytes("riff-only", "RIFF");
  writeBytes("header-only", wav.substr(0, 44));

  // Nothing at all: without --raw the layout is unknown.
  ToolRun guess = runTool({"-"}, dir.path());
  EXPECT_EQ(guess.exitCode, 1);
  EXPECT_EQ(guess.err,
            "vesk-beat: standard input: not a WAV stream; give the layout of raw PCM with --raw, "
            "e.g. --raw s16le:16000:1\n");

  // With a layout, an empty stream is a recording of no time.
  ToolRun raw = runTool({"--raw", "s16le:16000:1", "-"}, dir.path());
  EXPECT_EQ(raw.exitCode, 0) << raw.err;
  EXPECT_EQ(raw.out, "-: 0.00 s, 0 beats, median tempo 0.0 bpm, mean confidence 0.00\n");

  ToolRun riff = runTool({"-"}, dir.path(), "", "< riff-only");
  EXPECT_EQ(riff.exitCode, 1);
  EXPECT_EQ(riff.err,
            "vesk-beat: standard input: unsupported or damaged WAV stream (Format not "
            "recognised.)\n");

  ToolRun header = runTool({"-"}, dir.path(), "", "< header-only");
  EXPECT_EQ(header.exitCode, 0) << header.err;
  EXPECT_EQ(header.out, "-: 0.00 s, 0 beats, median tempo 0.0 bpm, mean confidence 0.00\n");

  // A partial last sample frame is dropped, not read past.
  writeBytes("odd", std::string(3201, '\x01'));
  ToolRun odd = runTool({"--raw", "s16le:16000:1", "-"}, dir.path(), "", "< odd");
  EXPECT_EQ(odd.exitCode, 0) << odd.err;
  EXPECT_EQ(odd.out, "-: 0.10 s, 0 beats, median tempo 0.0 bpm, mean confidence 0.00\n");
}

TEST_F(BadInput, RobotAddressesThatCannotBeUsed) {
  writeClickTrack(path("ok.wav"), kWav16, 16000, 1, 120, 0.3, 2);

  ToolRun noPort = runTool({"--robot", "localhost", "ok.wav"}, dir.path());
  EXPECT_EQ(noPort.exitCode, 2);
  EXPECT_EQ(noPort.err,
            "vesk-beat: --robot: 'localhost' is not HOST:PORT (e.g. 127.0.0.1:21007)\n"
            "Try 'vesk-beat --help' for more information.\n");

  ToolRun badPort = runTool({"--robot", "127.0.0.1:70000", "ok.wav"}, dir.path());
  EXPECT_EQ(badPort.exitCode, 2);
  EXPECT_EQ(
      badPort.err.rfind(
          "vesk-beat: --robot: invalid port '70000' in '127.0.0.1:70000' (allowed: 1..65535)", 0),
      0u)
      << badPort.err;

  // Nobody listens: the loopback answers the first datagram with "port
  // unreachable", and the next send fails with a message naming the robot.
  const int port = closedLoopbackPort();
  ASSERT_GT(port, 0);
  const std::string address = "127.0.0.1:" + std::to_string(port);
  ToolRun refused = runTool({"--robot", address, "ok.wav"}, dir.path());
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_EQ(refused.err, "vesk-beat: robot " + address + ": send: Connection refused\n");
}

TEST(SummaryCounter, CountsRepeatedTempiLikeTheWholeList) {
  // A long stream repeats a few tempi many times; the counter keeps one entry
  // per tempo and must give the median of the whole list.
  std::vector<vesk_tracking::BeatEvent> beats;
  vesk_tracking::SummaryCounter counter;
  for (int i = 0; i < 1001; ++i) {
    vesk_tracking::BeatEvent b;
    b.tempo = i % 3 == 0 ? 120.0 : i % 3 == 1 ? 100.0 : 150.0;
    b.confidence = 0.5;
    b.reliable = i % 7 != 0;
    if (!b.reliable) b.tempo = 0.0;
    beats.push_back(b);
    counter.add(b);
  }
  const vesk_tracking::FileSummary whole = vesk_tracking::summarise("x", 5.0, beats);
  const vesk_tracking::FileSummary counted = counter.result("x", 5.0);
  EXPECT_EQ(counted.beats, whole.beats);
  EXPECT_EQ(counted.beats, 1001 - 143);
  EXPECT_DOUBLE_EQ(counted.medianTempo, 120.0);
  EXPECT_DOUBLE_EQ(counted.medianTempo, whole.medianTempo);
  EXPECT_DOUBLE_EQ(counted.meanConfidence, 0.5);
}

// A reader that closes standard output early: the tool still tracks the whole
// file, writes its beats file and ends normally.
TEST_F(BadInput, ClosedStandardOutputStillWritesTheBeatsFile) {
  writeClickTrack(path("clicks.wav"), kWav16, 16000, 1, 120, 0.3, 20);
  // The pipeline runs from a script, so that bash reports the tool's own status.
  std::ofstream(path("run.sh")) << "cd '" << dir.path() << "' && '" << toolPath()
                                << "' --beats beats.txt clicks.wav < /dev/null 2> err.txt"
                                << " | head -c 1 > /dev/null\nexit ${PIPESTATUS[0]}\n";
  const int status = std::system(("bash '" + path("run.sh") + "'").c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << bytesOf("err.txt");
  std::istringstream beats(bytesOf("beats.txt"));
  int lines = 0;
  for (std::string line; std::getline(beats, line);) ++lines;
  EXPECT_GE(lines, 20) << bytesOf("err.txt");
}
