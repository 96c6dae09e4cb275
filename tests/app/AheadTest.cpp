// Beats announced before they fall due (--ahead), on generated click tracks.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/app/LoopbackListener.h"
#include "tests/app/ScratchFolderTest.h"
#include "tests/app/TestAudio.h"
#include "tests/app/ToolRunner.h"
#include "tracking/process/WorkingDirectory.h"

using vesk_tracking::TemporaryDirectory;

namespace {

class Ahead : public ScratchFolderTest {
 protected:
  Ahead() : ScratchFolderTest("vesk-beat-ahead") {}
};

constexpr int kWav16 = SF_FORMAT_WAV | SF_FORMAT_PCM_16;

// One JSON line of the tool's output, with the fields these tests read.
struct Line {
  std::string type;
  double time = 0.0, lead = 0.0;
  long frame = 0;
  bool predicted = false;
};

std::vector<Line> parse(const std::string& out) {
  std::vector<Line> parsed;
  std::istringstream in(out);
  for (std::string text; std::getline(in, text);) {
    Line l;
    const std::size_t type = text.find("\"type\":\"");
    if (type == std::string::npos) continue;
    l.type = text.substr(type + 8, text.find('"', type + 8) - type - 8);
    l.time = jsonNumber(text, "time");
    l.frame = static_cast<long>(jsonNumber(text, "frame"));
    l.predicted = text.find("\"predicted\":true") != std::string::npos;
    if (l.predicted) l.lead = jsonNumber(text, "lead");
    parsed.push_back(l);
  }
  return parsed;
}

}  // namespace

TEST_F(Ahead, BeatsAreAnnouncedOnTheClicksTheLeadAheadAndTheFilesKeepTheDueBeats) {
  const std::vector<double> clicks = writeClickTrack(path("c.wav"), kWav16, 16000, 1, 120, 0.3, 20);
  LoopbackListener robot;

  const ToolRun ahead = runTool({"--ahead", "100", "--format", "json", "--beats", "ahead.txt",
                                 "--robot", "127.0.0.1:" + std::to_string(robot.port()), "c.wav"},
                                dir.path());
  const ToolRun due = runTool({"--format", "json", "--beats", "due.txt", "c.wav"}, dir.path());
  ASSERT_EQ(ahead.exitCode, 0) << ahead.err;
  ASSERT_EQ(due.exitCode, 0) << due.err;

  std::set<long> dueFrames;
  for (const Line& l : parse(due.out))
    if (l.type == "beat") dueFrames.insert(l.frame);
  std::vector<double> reported;  // every beat line, announced or not, in order
  int announced = 0;
  for (const Line& l : parse(ahead.out)) {
    EXPECT_NE(l.type, "withdrawn") << "at " << l.time;
    if (l.type != "beat") continue;
    reported.push_back(l.time);
    if (!l.predicted) continue;
    ++announced;
    EXPECT_LE(nearestDistance(l.time, clicks), 0.02) << "announced beat at " << l.time;
    // Once the audio reaches 100 ms before its time: within a frame (10 ms) under 100 ms.
    EXPECT_LE(l.lead, 0.100) << "announced beat at " << l.time;
    EXPECT_GT(l.lead, 0.090) << "announced beat at " << l.time;
    EXPECT_EQ(dueFrames.count(l.frame), 1u) << "announced beat at " << l.time << " never due";
  }
  EXPECT_GE(announced, 30);
  // The files hold the beats when due, as without --ahead.
  EXPECT_EQ(readFile(path("ahead.txt")), readFile(path("due.txt")));

  // The robot hears of each beat when it is reported: announced or due.
  const std::vector<std::string> messages = robot.received();
  ASSERT_EQ(messages.size(), reported.size() + 2);
  EXPECT_EQ(messages.front(), "s");
  EXPECT_EQ(messages.back(), "e");
  for (std::size_t i = 0; i < reported.size(); ++i)
    EXPECT_NEAR(std::strtod(messages[i + 1].c_str() + 2, nullptr), reported[i], 0.0005)
        << messages[i + 1];
}

TEST_F(Ahead, AnAnnouncedBeatThatDoesNotComeIsWithdrawn) {
  // 150 bpm, then 100 bpm from 15 s: the beat expected 0.4 s after the last
  // click falls in the silence before the next one.
  std::vector<double> clicks;
  for (double t = 0.3; t < 15.0; t += 0.4) clicks.push_back(t);
  for (double t = clicks.back() + 0.6; t < 24.9; t += 0.6) clicks.push_back(t);
  writeClicksAt(path("step.wav"), kWav16, 16000, 1, clicks, 25);
  const ToolRun run = runTool({"--ahead", "100", "--format", "json", "step.wav"}, dir.path());
  ASSERT_EQ(run.exitCode, 0) << run.err;

  std::set<long> announced;
  const Line* firstWithdrawn = nullptr;
  const std::vector<Line> lines = parse(run.out);
  for (const Line& l : lines) {
    if (l.type == "beat" && l.predicted) announced.insert(l.frame);
    if (l.type != "withdrawn") continue;
    EXPECT_EQ(announced.count(l.frame), 1u) << "withdrawn at " << l.time << " never announced";
    if (!firstWithdrawn) firstWithdrawn = &l;
  }
  ASSERT_NE(firstWithdrawn, nullptr) << run.out;
  EXPECT_GT(firstWithdrawn->time, 15.0);
  EXPECT_GT(nearestDistance(firstWithdrawn->time, clicks), 0.035);
}
