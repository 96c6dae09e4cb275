// vesk-beat on a sound card, without one: an ALSA PCM of a private
// configuration that reads a file, and a JACK server with the dummy backend
// fed by a client of this test. Beats must land on the clicks; Ctrl-C ends
// the capture like the end of a stream; a server that goes away is an error.
#include <gtest/gtest.h>
#include <jack/jack.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "tests/app/ToolRunner.h"
#include "tests/support/JackDummyServer.h"
#include "tracking/process/WorkingDirectory.h"

namespace {

using Clock = std::chrono::steady_clock;

// vesk-beat started with `args` and `env` added, its standard output and
// error read line by line.
class LiveTool {
 public:
  LiveTool(const std::vector<std::string>& args, const std::vector<std::string>& env) {
    int out[2], err[2];
    if (::pipe(out) != 0 || ::pipe(err) != 0) return;
    pid = ::fork();
    if (pid == 0) {
      ::dup2(out[1], 1);
      ::dup2(err[1], 2);
      for (const std::string& e : env) ::putenv(const_cast<char*>(e.c_str()));
      std::vector<char*> argv{const_cast<char*>(toolPath().c_str())};
      std::string program = toolPath();
      argv[0] = program.data();
      for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    outFd = out[0];
    errFd = err[0];
  }
  ~LiveTool() {
    if (pid > 0) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
    }
  }
  // Reads standard output until `done` holds for what was read, or `limit` passes.
  bool readUntil(const std::function<bool(const std::string&)>& done, std::chrono::seconds limit) {
    const auto end = Clock::now() + limit;
    while (Clock::now() < end) {
      if (done(out)) return true;
      pollfd p{outFd, POLLIN, 0};
      if (::poll(&p, 1, 100) > 0) {
        char buffer[4096];
        const ssize_t n = ::read(outFd, buffer, sizeof buffer);
        if (n <= 0) return done(out);
        out.append(buffer, static_cast<std::size_t>(n));
      }
    }
    return done(out);
  }
  // Waits for the end (at most `limit`); the exit code, or -1 still running.
  int finish(std::chrono::seconds limit) {
    const auto end = Clock::now() + limit;
    int status = 0;
    while (Clock::now() < end) {
      char buffer[4096];
      pollfd p[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
      if (::poll(p, 2, 50) > 0) {
        for (int i = 0; i < 2; ++i)
          if (p[i].revents) {
            const ssize_t n = ::read(p[i].fd, buffer, sizeof buffer);
            if (n > 0) (i ? err : out).append(buffer, static_cast<std::size_t>(n));
          }
      }
      if (::waitpid(pid, &status, WNOHANG) == pid) {
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
    }
    return -1;
  }
  void signal(int s) { ::kill(pid, s); }
  const std::string& output() const { return out; }
  const std::string& errors() const { return err; }

 private:
  pid_t pid = -1;
  int outFd = -1, errFd = -1;
  std::string out, err;
};

// The "time" of every beat line of --format json.
std::vector<double> beatTimes(const std::string& json) {
  std::vector<double> times;
  for (std::size_t at = json.find("\"type\":\"beat\""); at != std::string::npos;
       at = json.find("\"type\":\"beat\"", at + 1)) {
    const std::size_t t = json.find("\"time\":", at);
    if (t != std::string::npos) times.push_back(std::atof(json.c_str() + t + 7));
  }
  return times;
}

// Share of the clicks in [from, to] s (every `period` s from `first`) that a
// beat lies within 70 ms of, and share of those beats that lie on a click.
std::pair<double, double> recallAndPrecision(const std::vector<double>& beats, double first,
                                             double period, double from, double to) {
  int clicks = 0, found = 0, inside = 0, onClick = 0;
  for (double c = first; c <= to; c += period) {
    if (c < from) continue;
    ++clicks;
    for (double b : beats)
      if (std::fabs(b - c) <= 0.07) {
        ++found;
        break;
      }
  }
  for (double b : beats) {
    if (b < from || b > to) continue;
    ++inside;
    const double k = std::round((b - first) / period);
    if (std::fabs(b - (first + k * period)) <= 0.07) ++onClick;
  }
  return {clicks ? double(found) / clicks : 0.0, inside ? double(onClick) / inside : 0.0};
}

}  // namespace

TEST(LiveInput, AlsaDeviceBeatsLandOnTheClicksAndCtrlCEndsTheCapture) {
  vesk_tracking::TemporaryDirectory dir("vesk-live-alsa");
  // 16 s of stereo float clicks at 48 kHz, 120 BPM from 0.25 s.
  const int rate = 48000;
  std::vector<float> x(static_cast<std::size_t>(16 * rate) * 2, 0.0f);
  for (double t = 0.25; t < 15.9; t += 0.5)
    for (std::size_t i = 0; i < 400; ++i) {
      const std::size_t at = static_cast<std::size_t>(t * rate) + i;
      const float v = 0.6f * std::exp(-static_cast<float>(i) / 80.0f) * ((i % 7) < 3 ? 1 : -1);
      x[at * 2] = v;
      x[at * 2 + 1] = v;
    }
  std::ofstream(dir.path() + "/in.raw", std::ios::binary)
      .write(reinterpret_cast<const char*>(x.data()), x.size() * sizeof(float));
  std::ofstream(dir.path() + "/asound.conf")
      << "pcm.clicks { type file slave.pcm { type null } file \"/dev/null\" infile \"" << dir.path()
      << "/in.raw\" format \"raw\" }\n";
  LiveTool tool(
      {"--device", "clicks", "--device-rate", "48000", "--channels", "2", "--format", "json"},
      {"ALSA_CONFIG_PATH=" + dir.path() + "/asound.conf"});
  // The file plays as fast as it is read; silence follows it.
  EXPECT_TRUE(tool.readUntil(
      [](const std::string& out) {
        const std::vector<double> b = beatTimes(out);
        return !b.empty() && b.back() > 14.5;
      },
      std::chrono::seconds(60)));
  tool.signal(SIGINT);
  EXPECT_EQ(tool.finish(std::chrono::seconds(5)), 0) << tool.errors();
  EXPECT_NE(tool.output().find("\"type\":\"summary\",\"file\":\"alsa:clicks\""), std::string::npos);
  const auto [recall, precision] = recallAndPrecision(beatTimes(tool.output()), 0.25, 0.5, 5, 15);
  EXPECT_GE(recall, 0.95);
  EXPECT_GE(precision, 0.95);
}

TEST(LiveInput, JackBeatsLandOnTheClicksAndAServerThatGoesIsAnError) {
  if (!JackDummyServer::available()) GTEST_SKIP() << "jackd is missing (jackd2)";
  // A click every half second (120 BPM), the first at 0.25 s of the server's time.
  JackDummyServer server("vesk-test-live", [](long sample) {
    const long k = (sample + 12000) % 24000;
    return k < 400 ? 0.6f * std::exp(-k / 80.0f) * ((k % 7) < 3 ? 1 : -1) : 0.0f;
  });
  ASSERT_TRUE(server.started()) << "the JACK server did not start";
  const std::string name = server.name();

  LiveTool tool({"--jack", "--connect", "feeder:out", "--channels", "1", "--format", "json"},
                {"JACK_DEFAULT_SERVER=" + name, "JACK_NO_AUDIO_RESERVATION=1"});
  EXPECT_TRUE(tool.readUntil([](const std::string& out) { return beatTimes(out).size() >= 14; },
                             std::chrono::seconds(30)));
  // The tool's times start with its own first sample: the clicks' phase is
  // that of the first beat, the period half a second.
  const std::vector<double> beats = beatTimes(tool.output());
  ASSERT_GE(beats.size(), 14u);
  const double phase = std::fmod(beats.back(), 0.5);
  const auto [recall, precision] = recallAndPrecision(beats, phase, 0.5, 4.0, beats.back());
  EXPECT_GE(recall, 0.95);
  EXPECT_GE(precision, 0.95);

  server.stop();
  EXPECT_EQ(tool.finish(std::chrono::seconds(5)), 1);
  EXPECT_NE(tool.errors().find("JACK: the server went away"), std::string::npos) << tool.errors();
}
