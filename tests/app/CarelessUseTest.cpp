// vesk-beat used as a careless or hostile user would: odd file names, outputs
// that are devices, links, inputs or each other, closed or full standard
// output, signals while it waits. Nothing the user did not name as an output
// may change, and nothing may hang.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "apps/vesk-beat/run/DirectoryLock.h"
#include "tests/app/ScratchFolderTest.h"
#include "tests/app/TestAudio.h"
#include "tests/app/ToolRunner.h"
#include "tracking/process/WorkingDirectory.h"

namespace fs = std::filesystem;
using vesk_tracking::TemporaryDirectory;

namespace {

constexpr int kWav16 = SF_FORMAT_WAV | SF_FORMAT_PCM_16;

class CarelessUse : public ScratchFolderTest {
 protected:
  CarelessUse() : ScratchFolderTest("vesk-beat-careless") {}
  void clicks(const std::string& name, double seconds = 8) {
    writeClickTrack(path(name), kWav16, 16000, 1, 120, 0.3, seconds);
  }
  // Runs a shell command in the test folder; returns its exit status.
  int shell(const std::string& command) {
    const int status = std::system(("cd '" + dir.path() + "' && " + command).c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
};

// Starts the tool in the test folder without waiting for it; its standard
// error goes to `errFile`.
pid_t startTool(const std::string& cwd, const std::vector<std::string>& args,
                const std::string& errFile, const std::vector<std::string>& env = {}) {
  const pid_t pid = ::fork();
  if (pid != 0) return pid;
  if (::chdir(cwd.c_str()) != 0) ::_exit(127);
  for (const std::string& e : env) ::putenv(const_cast<char*>(e.c_str()));
  std::freopen("/dev/null", "w", stdout);
  std::freopen(errFile.c_str(), "w", stderr);
  const std::string tool = toolPath();
  std::vector<char*> argv{const_cast<char*>(tool.c_str())};
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  ::execv(tool.c_str(), argv.data());
  ::_exit(127);
}

// Waits up to 20 s for `ready()`. Signals are sent once the tool is where the
// test means it to be, not after a guessed delay: a loaded machine starts it late.
bool waitUntil(const std::function<bool()>& ready) {
  for (int i = 0; i < 2000; ++i) {
    if (ready()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

// Waits up to 20 s for `pid`; its exit code, or -1 when it had to be killed.
int finish(pid_t pid) {
  int status = 0;
  if (waitUntil([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }))
    return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
  return -1;
}

// Whether `pid` has its handler for `sig` installed.
bool catches(pid_t pid, int sig) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("SigCgt:", 0) == 0)
      return std::stoull(line.substr(7), nullptr, 16) >> (sig - 1) & 1;
  return false;
}

// Whether a thread of `pid` sleeps in a kernel function whose name holds `what`.
bool sleepsIn(pid_t pid, const std::string& what) {
  std::error_code ec;
  for (const auto& t : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", ec)) {
    std::ifstream wchan(t.path() / "wchan");
    std::string name;
    if (std::getline(wchan, name) && name.find(what) != std::string::npos) return true;
  }
  return false;
}

// A child process of `pid` (a batch's worker), or 0 while it has none.
pid_t childOf(pid_t pid) {
  const std::string id = std::to_string(pid);
  std::ifstream children("/proc/" + id + "/task/" + id + "/children");
  pid_t child = 0;
  return children >> child ? child : 0;
}

}  // namespace

TEST_F(CarelessUse, OutputsThatAreNotPlainNewFilesAreRefusedBeforeAnythingIsWritten) {
  clicks("song.wav");
  const std::string song = readFile(path("song.wav"));
  ::mkfifo(path("pipe").c_str(), 0644);

  auto refused = [&](const std::vector<std::string>& args, const std::string& message) {
    ToolRun run = runTool(args, dir.path());
    EXPECT_EQ(run.exitCode, 2) << run.err;
    EXPECT_EQ(run.err, "vesk-beat: " + message + "\n");
    EXPECT_EQ(run.out, "");
  };
  refused({"--beats", "/dev/null", "song.wav"},
          "--beats: '/dev/null' is a character device, not a regular file (outputs are written "
          "to a file beside it and renamed over it)");
  refused({"--plot", "pipe", "song.wav"},
          "--plot: 'pipe' is a FIFO, not a regular file (outputs are written to a file beside it "
          "and renamed over it)");
  refused({"--beats", "{}.wav", "song.wav"},
          "--beats: 'song.wav' is also the input 'song.wav'; an input is never overwritten");
  refused({"--node-output", "song.wav", "song.wav"},
          "--node-output: 'song.wav' is also the input 'song.wav'; an input is never overwritten");
  ASSERT_EQ(::link(path("song.wav").c_str(), path("hard.txt").c_str()), 0);
  refused({"--beats", "hard.txt", "song.wav"},
          "--beats: 'hard.txt' is also the input 'song.wav'; an input is never overwritten");
  refused({"--beats", "same.txt", "--plot", "same.txt", "song.wav"},
          "--plot: 'same.txt' is also the --beats file of 'song.wav'; every output needs a file "
          "of its own");
  refused({"--beats", "-", "song.wav"},
          "--beats: '-' is not a file here (standard output already carries the beats; write "
          "./- for a file named '-')");
  EXPECT_EQ(readFile(path("song.wav")), song);
  EXPECT_TRUE(fs::is_fifo(path("pipe")));

  // Nothing is opened for writing while an input or the plug-in may still fail.
  std::ofstream(path("node.txt")) << "keep";
  ToolRun missing = runTool({"--node-output", "node.txt", "missing.wav"}, dir.path());
  ToolRun noPlugin =
      runTool({"--node-output", "node.txt", "--plugin", "nothere.so", "song.wav"}, dir.path());
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_EQ(noPlugin.exitCode, 3);
  EXPECT_EQ(readFile(path("node.txt")), "keep");

  // A symlink is followed: the file it points to gets the beats, the link stays.
  fs::create_symlink("target.txt", path("link.txt"));
  ToolRun linked = runTool({"--beats", "link.txt", "song.wav"}, dir.path());
  EXPECT_EQ(linked.exitCode, 0) << linked.err;
  EXPECT_TRUE(fs::is_symlink(path("link.txt")));
  const std::string beats = readFile(path("target.txt"));
  EXPECT_GE(std::count(beats.begin(), beats.end(), '\n'), 10);
}

TEST_F(CarelessUse, NamesAreExpandedOnceAndTwoInputsNeverShareAnOutput) {
  clicks("{}.wav");
  fs::create_directories(path("a"));
  fs::create_directories(path("b"));
  clicks("a/song.wav");
  clicks("b/song.wav");

  // "{}" in the input's own name is not expanded again (this looped for ever).
  const pid_t pid = startTool(dir.path(), {"-q", "--beats", "{}.txt", "{}.wav"}, path("err.txt"));
  EXPECT_EQ(finish(pid), 0) << readFile(path("err.txt"));
  EXPECT_TRUE(fs::exists(path("{}.txt")));

  ToolRun clash = runTool({"--beats", "{}.txt", "a/song.wav", "b/song.wav"}, dir.path());
  EXPECT_EQ(clash.exitCode, 2);
  EXPECT_EQ(clash.err,
            "vesk-beat: --beats: 'song.txt' is also the --beats file of 'a/song.wav'; every "
            "output needs a file of its own\n");
  EXPECT_FALSE(fs::exists(path("song.txt")));

  // Log folders of inputs of one name are told apart; two runs never share one.
  ToolRun logged =
      runTool({"-q", "-j", "2", "--log-dir", "logs", "a/song.wav", "b/song.wav"}, dir.path());
  EXPECT_EQ(logged.exitCode, 0) << logged.err;
  EXPECT_TRUE(fs::exists(path("logs/song/bt_quendabt.dat")));
  EXPECT_TRUE(fs::exists(path("logs/song-2/bt_quendabt.dat")));
  // The tracker's own files in the log folder are not the user's to name.
  ToolRun logFile =
      runTool({"--log-dir", "logs", "--beats", "logs/bt_quendabt.dat", "a/song.wav"}, dir.path());
  EXPECT_EQ(logFile.exitCode, 2);
  EXPECT_NE(logFile.err.find("is a file the tracker writes there (bt_*.dat)"), std::string::npos)
      << logFile.err;
  vesk_beat::DirectoryLock otherRun(path("logs"));
  ToolRun shared = runTool({"--log-dir", "logs", "a/song.wav"}, dir.path());
  EXPECT_EQ(shared.exitCode, 1);
  EXPECT_EQ(shared.err,
            "vesk-beat: --log-dir: '" + path("logs") + "' is in use by another vesk-beat run\n");
}

TEST_F(CarelessUse, SignalsEndWaitsAndLeaveNoTemporaryFiles) {
  fs::create_directories(path("tmp"));
  const std::string tmpdir = "TMPDIR=" + path("tmp");
  // A FIFO with no writer: the tool waits in open() until Ctrl-C.
  ::mkfifo(path("in.fifo").c_str(), 0644);
  const pid_t waiting =
      startTool(dir.path(), {"--raw", "s16le:16000:1", "in.fifo"}, path("err.txt"), {tmpdir});
  EXPECT_TRUE(waitUntil([&] { return catches(waiting, SIGINT) && sleepsIn(waiting, "partner"); }));
  ::kill(waiting, SIGINT);
  EXPECT_EQ(finish(waiting), 130) << readFile(path("err.txt"));
  // Once data came, Ctrl-C ends the stream as its end would.
  shell("(head -c 64000 /dev/zero; sleep 5) > in.fifo &");
  const pid_t streaming =
      startTool(dir.path(), {"--raw", "s16le:16000:1", "in.fifo"}, path("err.txt"), {tmpdir});
  // (its reading thread waits on the pipe once the 64000 bytes are taken)
  EXPECT_TRUE(waitUntil([&] { return sleepsIn(streaming, "pipe_read"); }));
  ::kill(streaming, SIGINT);
  EXPECT_EQ(finish(streaming), 0) << readFile(path("err.txt"));

  // SIGHUP while a paced file runs: the private folder goes with the run.
  clicks("song.wav", 20);
  const pid_t hungUp = startTool(dir.path(), {"--realtime", "song.wav"}, path("err.txt"), {tmpdir});
  EXPECT_TRUE(waitUntil([&] { return catches(hungUp, SIGHUP) && !fs::is_empty(path("tmp")); }));
  ::kill(hungUp, SIGHUP);
  EXPECT_EQ(finish(hungUp), 130);
  EXPECT_TRUE(fs::is_empty(path("tmp")));

  // A batch stopped early stops its workers and names the inputs it never tracked.
  const pid_t batch = startTool(dir.path(), {"--realtime", "song.wav", "a.wav", "b.wav"},
                                path("err.txt"), {tmpdir});
  // (its results folder comes before its first worker, which takes song.wav)
  EXPECT_TRUE(waitUntil([&] { return catches(batch, SIGTERM) && childOf(batch) != 0; }));
  ::kill(batch, SIGTERM);
  EXPECT_EQ(finish(batch), 130);
  EXPECT_EQ(readFile(path("err.txt")),
            "vesk-beat: song.wav: interrupted; no output files written\n"
            "vesk-beat: interrupted; not tracked: a.wav, b.wav\n");
  EXPECT_TRUE(fs::is_empty(path("tmp")));
}

TEST_F(CarelessUse, StandardOutputThatFailsOrGoesAway) {
  clicks("song.wav");
  EXPECT_EQ(shell("'" + toolPath() + "' song.wav > /dev/full 2> err.txt"), 1);
  EXPECT_EQ(readFile(path("err.txt")), "vesk-beat: standard output: No space left on device\n");

  // An endless stream into `head`: once nobody reads the beats, the tool stops
  // reading, and the writer learns it long before its ten minutes are out.
  std::ofstream(path("gen.py")) << "import sys\n"
                                   "block = (b'\\x00\\x40' * 400 + b'\\x00\\x00' * 7600)\n"
                                   "sent = 0\n"
                                   "try:\n"
                                   "    for _ in range(1200):\n"
                                   "        sys.stdout.buffer.write(block); sent += 1\n"
                                   "except BrokenPipeError:\n"
                                   "    pass\n"
                                   "open('sent.txt', 'w').write(str(sent))\n";
  std::ofstream(path("run.sh")) << "python3 gen.py | '" << toolPath()
                                << "' --raw s16le:16000:1 - 2> err.txt | head -n 2 > /dev/null\n"
                                << "exit ${PIPESTATUS[1]}\n";
  EXPECT_EQ(shell("bash run.sh"), 0) << readFile(path("err.txt"));
  EXPECT_LT(std::stoi(readFile(path("sent.txt"))), 600);

  // Without a usable folder for temporary files: a clear error, no abort.
  for (const char* inputs : {"song.wav", "song.wav song.wav"}) {
    EXPECT_EQ(shell("TMPDIR=/nonexistent '" + toolPath() + "' " + inputs + " 2> err.txt"), 1);
    EXPECT_EQ(readFile(path("err.txt")),
              "vesk-beat: cannot create temporary files in '/nonexistent': not a writable "
              "directory (set TMPDIR to one)\n");
  }
}
