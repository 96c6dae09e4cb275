// Runs the built vesk-beat on generated audio, the way a user would.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "conditioning/after_node/BeatPredictor.h"
#include "tests/app/LoopbackListener.h"
#include "tests/app/ScratchFolderTest.h"
#include "tests/app/TestAudio.h"
#include "tests/app/ToolRunner.h"
#include "tracking/Settings.h"
#include "tracking/process/WorkingDirectory.h"

using vesk_tracking::TemporaryDirectory;

namespace {

constexpr int kWav16 = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
constexpr int kFlac16 = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

struct Beat {
  double time, tempo, confidence;
};

std::vector<Beat> beatsFromJson(const std::string& out) {
  std::vector<Beat> beats;
  for (const std::string& line : lines(out)) {
    EXPECT_EQ(line.front(), '{');
    EXPECT_EQ(line.back(), '}');
    if (line.find("\"type\":\"beat\"") != std::string::npos)
      beats.push_back(
          {jsonNumber(line, "time"), jsonNumber(line, "tempo"), jsonNumber(line, "confidence")});
  }
  return beats;
}

std::vector<double> numbersPerLine(const std::string& text) {
  std::vector<double> v;
  for (const std::string& line : lines(text)) v.push_back(std::strtod(line.c_str(), nullptr));
  return v;
}

class EndToEnd : public ScratchFolderTest {
 protected:
  EndToEnd() : ScratchFolderTest("vesk-beat-e2e") {}
};

}  // namespace

TEST_F(EndToEnd, ClickTrackBeatsLieOnTheClicksOnceReliable) {
  std::vector<double> clicks = writeClickTrack(path("click.wav"), kWav16, 16000, 1, 120, 0.3, 20);
  ToolRun run = runTool({"--format", "json", "click.wav"}, dir.path());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  std::vector<Beat> beats = beatsFromJson(run.out);
  ASSERT_GE(beats.size(), 20u) << run.out;
  for (const Beat& b : beats) {
    EXPECT_LE(nearestDistance(b.time, clicks), 0.070) << "beat at " << b.time;
    EXPECT_NEAR(b.tempo, 120.0, 3.0);
    EXPECT_GE(b.confidence, 0.5);
  }
  std::string summary = lines(run.out).back();
  EXPECT_NE(summary.find("\"type\":\"summary\""), std::string::npos);
  EXPECT_NEAR(jsonNumber(summary, "duration"), 20.0, 0.02);
  EXPECT_EQ(jsonNumber(summary, "beats"), static_cast<double>(beats.size()));
  EXPECT_NEAR(jsonNumber(summary, "median_tempo"), 120.0, 3.0);
}

TEST_F(EndToEnd, StereoFlacAtAnotherRateIsResampledAndTracked) {
  std::vector<double> clicks = writeClickTrack(path("c.flac"), kFlac16, 44100, 2, 100, 0.5, 20);
  ToolRun run = runTool({"--format", "csv", "c.flac"}, dir.path());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  std::vector<std::string> rows = lines(run.out);
  ASSERT_GE(rows.size(), 16u) << run.out;
  EXPECT_EQ(rows[0], "file,time,tempo,confidence,frame,reliable");
  for (std::size_t i = 1; i < rows.size(); ++i) {
    std::vector<std::string> f;
    std::stringstream s(rows[i]);
    for (std::string cell; std::getline(s, cell, ',');) f.push_back(cell);
    ASSERT_EQ(f.size(), 6u) << rows[i];
    EXPECT_EQ(f[0], "c.flac");
    const double time = std::stod(f[1]);
    EXPECT_LE(nearestDistance(time, clicks), 0.070) << rows[i];
    EXPECT_NEAR(std::stod(f[2]), 100.0, 3.0);
    // frame * hop / rate, less the measured lag of a beat within its frame,
    // plus the lag of the onsets the predictor places its beats on
    EXPECT_NEAR(std::stod(f[4]) * 160 / 16000 +
                    vesk_tracking::defaults::BeatTimeOffsetSec(512, 160, 16000) +
                    vesk_conditioning::BeatPredictor::kOnsetLagSeconds,
                time, 1e-9);
    EXPECT_EQ(f[5], "1");
  }
  // The CSV summary goes to standard error.
  EXPECT_NE(run.err.find("c.flac: 20.00 s,"), std::string::npos) << run.err;
}

TEST_F(EndToEnd, EveryOutputFormatAndTheBeatsFileAgree) {
  writeClickTrack(path("a.wav"), kWav16, 16000, 1, 120, 0.3, 15);
  ToolRun json = runTool({"--format", "json", "--beats", "json.txt", "a.wav"}, dir.path());
  ToolRun csv = runTool({"--format=csv", "a.wav"}, dir.path());
  ToolRun text = runTool({"a.wav"}, dir.path());
  ASSERT_EQ(json.exitCode + csv.exitCode + text.exitCode, 0) << json.err << csv.err << text.err;

  std::vector<Beat> fromJson = beatsFromJson(json.out);
  std::vector<double> fromFile = numbersPerLine(readFile(path("json.txt")));
  std::vector<double> fromCsv, fromText;
  for (const std::string& row : lines(csv.out))
    if (row.rfind("a.wav,", 0) == 0) fromCsv.push_back(std::strtod(row.c_str() + 6, nullptr));
  for (const std::string& line : lines(text.out))
    if (line.rfind("beat at", 0) == 0) fromText.push_back(std::strtod(line.c_str() + 7, nullptr));
  ASSERT_FALSE(fromJson.empty());
  ASSERT_EQ(fromFile.size(), fromJson.size());
  ASSERT_EQ(fromCsv.size(), fromJson.size());
  ASSERT_EQ(fromText.size(), fromJson.size());
  for (std::size_t i = 0; i < fromJson.size(); ++i) {
    EXPECT_NEAR(fromFile[i], fromJson[i].time, 1e-6);
    EXPECT_NEAR(fromCsv[i], fromJson[i].time, 1e-6);
    EXPECT_NEAR(fromText[i], fromJson[i].time, 1e-6);
  }
  EXPECT_NE(lines(text.out).back().find("a.wav: 15.00 s, " + std::to_string(fromJson.size()) +
                                        " beats, median tempo 1"),
            std::string::npos)
      << text.out;
}

TEST_F(EndToEnd, StandardInputGivesTheSameBeatsAsTheFile) {
  writeClickTrack(path("s.wav"), kWav16, 16000, 1, 110, 0.2, 15);
  writeRawCopy(path("s.wav"), path("s.raw"));
  ToolRun file = runTool({"--beats", "file.txt", "s.wav"}, dir.path());
  ToolRun wav = runTool({"--beats", "wav.txt", "-"}, dir.path(), "cat s.wav |", "");
  ToolRun raw =
      runTool({"--raw", "s16le:16000:1", "--beats", "raw.txt", "-"}, dir.path(), "", "< s.raw");
  ASSERT_EQ(file.exitCode, 0) << file.err;
  ASSERT_EQ(wav.exitCode, 0) << wav.err;
  ASSERT_EQ(raw.exitCode, 0) << raw.err;
  const std::string expected = readFile(path("file.txt"));
  EXPECT_GE(lines(expected).size(), 15u);
  EXPECT_EQ(readFile(path("wav.txt")), expected);
  EXPECT_EQ(readFile(path("raw.txt")), expected);
  EXPECT_NE(raw.out.find("-: 15.00 s,"), std::string::npos) << raw.out;
}

TEST_F(EndToEnd, RobotMessagesArriveInOrderStartBeatsEnd) {
  writeClickTrack(path("r.wav"), kWav16, 16000, 1, 120, 0.3, 12);
  LoopbackListener robot;
  const int port = robot.port();

  ToolRun run = runTool({"--robot", "127.0.0.1:" + std::to_string(port), "--format", "json",
                         "--beats", "r.txt", "r.wav"},
                        dir.path());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  // The datagrams wait in the socket's buffer.
  const std::vector<std::string> messages = robot.received();

  std::vector<double> beats = numbersPerLine(readFile(path("r.txt")));
  ASSERT_FALSE(beats.empty());
  ASSERT_EQ(messages.size(), beats.size() + 2);
  EXPECT_EQ(messages.front(), "s");
  EXPECT_EQ(messages.back(), "e");
  for (std::size_t i = 0; i < beats.size(); ++i) {
    const std::string& m = messages[i + 1];
    ASSERT_EQ(m.rfind("a,", 0), 0u) << m;
    // "a,TIME,INTERVAL": the beat's time, then the beat interval, in seconds.
    char* end = nullptr;
    const double time = std::strtod(m.c_str() + 2, &end);
    ASSERT_EQ(*end, ',') << m;
    const double interval = std::strtod(end + 1, nullptr);
    EXPECT_NEAR(time, beats[i], 1e-6);
    EXPECT_NEAR(interval, 0.5, 0.02);
    EXPECT_NEAR(std::round(interval * 100), interval * 100, 1e-9);  // whole frames of 10 ms
  }
  // The plug-in's echo of each message stays off the machine-readable output.
  for (const std::string& line : lines(run.out)) EXPECT_EQ(line.rfind("{\"type\":", 0), 0u) << line;
}

TEST_F(EndToEnd, ErrorsAreClearAndLeaveNoOutputFiles) {
  writeClickTrack(path("ok.wav"), kWav16, 16000, 1, 120, 0.3, 3);
  std::ofstream(path("text.wav")) << "this is not audio\n";
  std::filesystem::create_directory(path("folder"));

  ToolRun missing = runTool({"--beats", "b.txt", "missing.wav"}, dir.path());
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_EQ(missing.err, "vesk-beat: cannot open 'missing.wav': No such file or directory\n");

  ToolRun unsupported = runTool({"--beats", "b.txt", "text.wav"}, dir.path());
  EXPECT_EQ(unsupported.exitCode, 1);
  EXPECT_NE(unsupported.err.find("cannot read 'text.wav': unsupported or damaged audio file"),
            std::string::npos)
      << unsupported.err;

  ToolRun folder = runTool({"folder"}, dir.path());
  EXPECT_EQ(folder.exitCode, 1);
  EXPECT_EQ(folder.err, "vesk-beat: cannot open 'folder': it is a directory\n");

  ToolRun badOption = runTool({"--min-bpm", "abc", "ok.wav"}, dir.path());
  EXPECT_EQ(badOption.exitCode, 2);
  EXPECT_EQ(badOption.err,
            "vesk-beat: --min-bpm: 'abc' is not an integer (allowed: 10..1000)\n"
            "Try 'vesk-beat --help' for more information.\n");

  ToolRun badPlugin = runTool({"--plugin", "nothere.so", "ok.wav"}, dir.path());
  EXPECT_EQ(badPlugin.exitCode, 3);
  EXPECT_EQ(badPlugin.err, "vesk-beat: cannot load the plug-in 'nothere.so': no such file\n");

  ToolRun notAPlugin = runTool({"--plugin", "ok.wav", "ok.wav"}, dir.path());
  EXPECT_EQ(notAPlugin.exitCode, 3);
  EXPECT_NE(notAPlugin.err.find("cannot load the plug-in 'ok.wav': "), std::string::npos);

  ToolRun noDir = runTool({"--plot", "nowhere/p.svg", "ok.wav"}, dir.path());
  EXPECT_EQ(noDir.exitCode, 2);
  EXPECT_EQ(noDir.err, "vesk-beat: --plot: the directory 'nowhere' does not exist\n");

  ToolRun notWav = runTool({"-"}, dir.path(), "echo hello |", "");
  EXPECT_EQ(notWav.exitCode, 1);
  EXPECT_NE(notWav.err.find("standard input: not a WAV stream; give the layout"),
            std::string::npos);

  for (const ToolRun* r : {&missing, &unsupported, &folder, &badOption, &badPlugin, &noDir})
    EXPECT_EQ(r->out, "");
  // Nothing but the inputs is left behind: no outputs, no temporary files, no node logs.
  std::vector<std::string> left;
  for (const auto& e : std::filesystem::directory_iterator(dir.path()))
    left.push_back(e.path().filename().string());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"folder", "ok.wav", "text.wav"}));
}

TEST_F(EndToEnd, NodeFilesGoToTheLogDirectoryAndNodeLinesWhereAsked) {
  writeClickTrack(path("l.wav"), kWav16, 16000, 1, 120, 0.3, 10);
  ToolRun run = runTool({"--log-dir", "logs", "--node-output", "node.txt", "--format", "json",
                         "--after-node", "none", "--beats", "l.txt", "l.wav"},
                        dir.path());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  std::vector<double> beats = numbersPerLine(readFile(path("l.txt")));
  // One beat-log line per reliable beat of the node, and the engine's diagnostic files.
  EXPECT_EQ(lines(readFile(path("logs/bt_quendabt.dat"))).size(), beats.size());
  EXPECT_TRUE(std::filesystem::exists(path("logs/bt_melfilterbank.dat")));
  EXPECT_GT(std::filesystem::file_size(path("logs/bt_melfilterbank.dat")), 0u);
  const std::string node = readFile(path("node.txt"));
  EXPECT_NE(node.find("BeatTracker::BeatTracker"), std::string::npos);
  EXPECT_NE(node.find("Rely!!! : "), std::string::npos);
  for (const std::string& line : lines(run.out)) EXPECT_EQ(line.rfind("{\"type\":", 0), 0u) << line;
  EXPECT_FALSE(std::filesystem::exists(path("bt_quendabt.dat")));
}

TEST_F(EndToEnd, SeveralFilesRunInParallelWithResultsInInputOrder) {
  writeClickTrack(path("one.wav"), kWav16, 16000, 1, 120, 0.3, 10);
  writeClickTrack(path("two.wav"), kWav16, 22050, 1, 90, 0.4, 12);
  writeClickTrack(path("three.flac"), kFlac16, 48000, 2, 140, 0.1, 8);
  ToolRun single = runTool({"--beats", "alone.txt", "two.wav"}, dir.path());
  ToolRun run = runTool({"-j", "2", "--format", "json", "--beats", "{}.beats", "--plot", "{}.svg",
                         "one.wav", "two.wav", "missing.wav", "three.flac"},
                        dir.path());
  EXPECT_EQ(run.exitCode, 1);  // the missing file
  EXPECT_NE(run.err.find("cannot open 'missing.wav'"), std::string::npos) << run.err;
  std::vector<std::string> order;
  for (const std::string& line : lines(run.out))
    if (line.find("\"type\":\"summary\"") != std::string::npos) {
      const std::size_t start = line.find("\"file\":\"") + 8;
      order.push_back(line.substr(start, line.find('"', start) - start));
    }
  EXPECT_EQ(order, (std::vector<std::string>{"one.wav", "two.wav", "three.flac"}));
  for (const char* name : {"one", "two", "three"}) {
    EXPECT_FALSE(readFile(path(std::string(name) + ".beats")).empty()) << name;
    EXPECT_EQ(readFile(path(std::string(name) + ".svg")).rfind("<?xml", 0), 0u) << name;
  }
  EXPECT_FALSE(std::filesystem::exists(path("missing.beats")));
  // Each file gets a fresh engine: the result does not depend on the company.
  EXPECT_EQ(readFile(path("two.beats")), readFile(path("alone.txt")));
}

TEST_F(EndToEnd, PluginOptionLoadsTheGivenLibraryAndRefusesASecondCopy) {
  writeClickTrack(path("p.wav"), kWav16, 16000, 1, 120, 0.3, 4);
  ToolRun same = runTool({"--plugin", VESK_MUSIC_PLUGIN, "--format", "csv", "p.wav"}, dir.path());
  EXPECT_EQ(same.exitCode, 0) << same.err;
  EXPECT_EQ(lines(same.out).front(), "file,time,tempo,confidence,frame,reliable");
  // Another copy of the library would register nothing (the type exists
  // already), so the tool says so instead of silently using the first one.
  std::filesystem::copy_file(VESK_MUSIC_PLUGIN, path("copy.so"));
  ToolRun copy = runTool({"--plugin", "copy.so", "p.wav"}, dir.path());
  EXPECT_EQ(copy.exitCode, 3);
  EXPECT_NE(copy.err.find("the plug-in 'copy.so' was loaded, but \"BeatTracker\" is already "
                          "provided by"),
            std::string::npos)
      << copy.err;
  EXPECT_EQ(copy.out, "");
}

TEST_F(EndToEnd, OutputFileClickTrackAndReferenceBeatsOverThePlot) {
  const std::vector<double> clicks = writeClickTrack(path("c.wav"), kWav16, 22050, 2, 120, 0.3, 10);
  std::ofstream(path("ref.txt")) << "# known beats\n0.3 1\n0.8 2\n\n1.3\n";
  ToolRun toStdout = runTool({"--format", "json", "c.wav"}, dir.path());
  ToolRun toFile =
      runTool({"--format", "json", "-o", "events.json", "--clicks", "clicks.wav", "--beats",
               "b.txt", "--plot", "p.svg", "--reference", "ref.txt", "c.wav"},
              dir.path());
  ASSERT_EQ(toFile.exitCode, 0) << toFile.err;
  EXPECT_EQ(toFile.out, "");
  EXPECT_EQ(readFile(path("events.json")), toStdout.out);

  // The input, with a click starting on every reported beat and nothing else changed.
  std::vector<std::vector<float>> audio;
  for (const char* name : {"c.wav", "clicks.wav"}) {
    SF_INFO info{};
    SNDFILE* f = sf_open(path(name).c_str(), SFM_READ, &info);
    ASSERT_NE(f, nullptr) << name;
    EXPECT_EQ(info.samplerate, 22050);
    EXPECT_EQ(info.channels, 2);
    audio.emplace_back(static_cast<std::size_t>(info.frames * 2));
    sf_readf_float(f, audio.back().data(), info.frames);
    sf_close(f);
  }
  ASSERT_EQ(audio[0].size(), audio[1].size());
  const std::vector<double> beats = numbersPerLine(readFile(path("b.txt")));
  ASSERT_GT(beats.size(), 8u);
  std::vector<bool> inClick(audio[0].size() / 2, false);
  for (double t : beats)
    for (long i = std::lround(t * 22050); i < std::lround((t + 0.025) * 22050); ++i)
      if (i >= 0 && i < static_cast<long>(inClick.size()))
        inClick[static_cast<std::size_t>(i)] = true;
  double inside = 0.0, outside = 0.0;
  for (std::size_t i = 0; i < inClick.size(); ++i)
    (inClick[i] ? inside : outside) += std::fabs(audio[1][2 * i] - audio[0][2 * i]);
  EXPECT_GT(inside / static_cast<double>(beats.size()), 5.0);
  EXPECT_EQ(outside, 0.0);

  const std::string svg = readFile(path("p.svg"));
  for (const char* legend : {">reported beat<", ">reference beat<", ">tempo<", ">threshold<"})
    EXPECT_NE(svg.find(legend), std::string::npos) << legend;
  std::size_t referenceMarks = 0;
  for (std::size_t at = 0;
       (at = svg.find("stroke='#000' stroke-width='2'/>", at)) != std::string::npos; ++at)
    ++referenceMarks;
  EXPECT_EQ(referenceMarks, 3u + 1u);                     // three beats and the legend's sample
  EXPECT_NE(svg.find(">120</text>"), std::string::npos);  // a tempo tick every 10 bpm
  EXPECT_NE(svg.find(">110</text>"), std::string::npos);

  ToolRun streamClicks = runTool({"--clicks", "s.wav", "-"}, dir.path(), "cat c.wav |", "");
  EXPECT_EQ(streamClicks.exitCode, 2);
  EXPECT_EQ(streamClicks.err,
            "vesk-beat: --clicks: '-' is a stream, which cannot be read a second time: give a "
            "file\n");
  ToolRun badReference = runTool({"--plot", "q.svg", "--reference", "c.wav", "c.wav"}, dir.path());
  EXPECT_EQ(badReference.exitCode, 2);
  EXPECT_NE(badReference.err.find("--reference: '"), std::string::npos) << badReference.err;
  EXPECT_FALSE(std::filesystem::exists(path("q.svg")));
}
