#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "apps/vesk-beat/command_line/Options.h"
#include "apps/vesk-beat/output/RobotSender.h"
#include "node/ParameterCheck.h"
#include "tracking/frames/WindowNames.h"

using namespace vesk_beat;
using namespace vesk_tracking;

namespace {

Options parse(std::vector<std::string> args) {
  std::vector<const char*> argv{"vesk-beat"};
  for (const std::string& a : args) argv.push_back(a.c_str());
  return parseOptions(static_cast<int>(argv.size()), argv.data());
}

// The message of the UsageError that parsing `args` raises.
std::string error(std::vector<std::string> args) {
  try {
    parse(std::move(args));
  } catch (const UsageError& e) {
    return e.what();
  }
  return "(no error)";
}

}  // namespace

TEST(Options, DefaultsAreValidAndMatchTheDefaultsHeader) {
  Options o = parse({"in.wav"});
  EXPECT_EQ(o.values.rate, defaults::kRate);
  EXPECT_EQ(o.values.frame, defaults::kFrame);
  EXPECT_EQ(o.values.hop, defaults::kHop);
  EXPECT_EQ(o.values.minBpm, defaults::kMinBpm);
  EXPECT_EQ(o.values.maxBpm, defaults::kMaxBpm);
  EXPECT_FLOAT_EQ(o.values.threshold, defaults::kThreshold);
  EXPECT_EQ(windowTypeNamed(o.values.window), windowTypeNamed(defaults::kWindow));
  EXPECT_EQ(o.format, OutputFormat::Text);
  EXPECT_EQ(o.nodeOutput, NodeOutput::None);
  ASSERT_EQ(o.inputs.size(), 1u);
  EXPECT_NO_THROW(validateParameters(o));
}

TEST(Options, EveryParameterIsSettableInBothSpellings) {
  Options o = parse({"--rate",        "22050",        "--frame=1024",    "--hop",
                     "256",           "--window",     "Blackman-Harris", "--min-bpm=50",
                     "--max-bpm",     "200",          "--threshold",     "0.75",
                     "--format=json", "-j3",          "--node-output",   "stderr",
                     "--realtime",    "-q",           "--all-beats",     "-",
                     "--raw",         "f32le:44100:2"});
  EXPECT_EQ(o.values.rate, 22050);
  EXPECT_EQ(o.values.frame, 1024);
  EXPECT_EQ(o.values.hop, 256);
  EXPECT_EQ(windowTypeNamed(o.values.window), WindowFunction::BlackmanHarris);
  EXPECT_EQ(o.values.minBpm, 50);
  EXPECT_EQ(o.values.maxBpm, 200);
  EXPECT_FLOAT_EQ(o.values.threshold, 0.75f);
  EXPECT_EQ(o.format, OutputFormat::Json);
  EXPECT_EQ(o.jobs, 3);
  EXPECT_EQ(o.nodeOutput, NodeOutput::Stderr);
  EXPECT_TRUE(o.realtime && o.quiet && o.values.allBeats);
  EXPECT_EQ(o.raw.sample, RawFormat::Sample::F32);
  EXPECT_EQ(o.raw.rate, 44100);
  EXPECT_EQ(o.raw.channels, 2);
  EXPECT_EQ(o.inputs, std::vector<std::string>{"-"});
  EXPECT_EQ(parse({"--node-output", "node.log", "a"}).nodeOutputPath, "node.log");
  EXPECT_EQ(parse({"--", "-odd-name.wav"}).inputs, std::vector<std::string>{"-odd-name.wav"});
}

TEST(Options, BadValuesNameTheValueAndTheAllowedRange) {
  EXPECT_EQ(error({"--hop", "0", "a"}), "--hop: 0 is out of range (allowed: 1..16384)");
  EXPECT_EQ(error({"--rate", "fast", "a"}),
            "--rate: 'fast' is not an integer (allowed: 4000..192000)");
  EXPECT_EQ(error({"--threshold", "1.5", "a"}), "--threshold: 1.5 is out of range (allowed: 0..1)");
  EXPECT_EQ(error({"--threshold", "nan", "a"}),
            "--threshold: 'nan' is not a number (allowed: 0..1)");
  EXPECT_NE(error({"--window", "triangle", "a"})
                .find("unknown window 'triangle' (allowed: rectangular, hann"),
            std::string::npos);
  EXPECT_EQ(error({"--format", "xml", "a"}),
            "--format: unknown format 'xml' (allowed: text, csv, json)");
  EXPECT_EQ(error({"--bogus", "a"}), "unknown option '--bogus'");
  EXPECT_EQ(error({"--front-end", "x", "a"}),
            "--front-end: unknown front end 'x' (allowed: none, log, log-bass, whiten)");
  EXPECT_EQ(error({"--gate", "5", "a"}), "--gate: 5 is out of range (allowed: -200..0)");
  EXPECT_EQ(error({"--after-node", "x", "a"}),
            "--after-node: unknown stage 'x' (allowed: none, phase, predict, meter)");
  EXPECT_EQ(error({"a", "--rate"}), "--rate: missing value");
  EXPECT_EQ(error({"--quiet=yes", "a"}), "--quiet: takes no value");
  EXPECT_EQ(error({}), "no input: give one or more audio files, or - for standard input");
  EXPECT_EQ(error({"-", "-"}), "standard input (-) given more than once");
  EXPECT_EQ(error({"--raw", "s16le:16000:1", "a.wav"}),
            "--raw describes standard input or a FIFO, but no input is one");
  EXPECT_NE(error({"--raw", "u8:16000:1", "-"}).find("unknown sample type 'u8'"),
            std::string::npos);
  EXPECT_NE(error({"--raw", "s16le:16000", "-"}).find("invalid format"), std::string::npos);
  EXPECT_NE(error({"--raw", "s16le:16000:0", "-"}).find("invalid channel count"),
            std::string::npos);
}

TEST(Options, ParameterCombinationsTheTrackerCannotUseAreRejected) {
  EXPECT_EQ(error({"--hop", "600", "a"}),
            "--hop: 600 exceeds the frame length 512 (allowed: 1..512)");
  EXPECT_NE(error({"--min-bpm", "120", "--max-bpm", "121", "a"}).find("must exceed the minimum by"),
            std::string::npos);
  // 400 frames/s with a shortest interval of 121 frames: the comb reaches three
  // intervals back, so the longest may be 1000 frames (3 x 999 < 3000): 24 bpm
  // (1000 frames) fits, 23 bpm (1044 frames) does not.
  EXPECT_NO_THROW(parse({"--hop", "40", "--min-bpm", "24", "a"}));
  EXPECT_EQ(error({"--hop", "40", "--min-bpm", "23", "a"}),
            "--min-bpm: 23 gives a beat interval of 1044 frames at --rate 16000 and --hop 40 (400 "
            "frames/s), longer than the tracker's histories allow (allowed: 24 or more, or raise "
            "--hop)");
  // Beats are announced ahead only by a stage that predicts them.
  EXPECT_EQ(error({"--ahead", "100", "--after-node", "phase", "a"}),
            "--ahead: the stage after the node 'phase' does not predict its beats (allowed with: "
            "predict, meter)");
  EXPECT_EQ(parse({"--ahead", "100", "--after-node", "predict", "a"}).aheadMs, 100);
  // At the default hop every tempo range the options allow fits.
  EXPECT_NO_THROW(parse({"--min-bpm", "10", "a"}));
  // Shortest interval: 16000/512*60 = 1875 frames/min; at 400 bpm that is 5 frames.
  EXPECT_EQ(error({"--hop", "512", "--max-bpm", "400", "a"}),
            "--max-bpm: 400 gives a beat interval of 5 frames at --rate 16000 and --hop 512 "
            "(31.25 frames/s), fewer than the 6 the tracker needs (allowed: up to 375, or lower "
            "--hop)");
}

// The tool and the node judge the tempo range by one rule: across rates, hops
// and tempo ranges the tool allows, both refuse the same value and quote the
// same bound, or both accept.
TEST(Options, TempoRangeVerdictsAgreeWithTheNode) {
  struct Said {
    std::string fault;  // "fastest", "few", "slowest", or empty when accepted
    long bound = 0;
  };
  auto numberAfter = [](const std::string& text, const std::string& marker) {
    const std::size_t at = text.find(marker);
    return at == std::string::npos ? 0L : std::stol(text.substr(at + marker.size()));
  };
  auto node = [&](const std::string& m) -> Said {
    if (m.empty()) return {};
    if (m.rfind("parameter MAX_BPM", 0) == 0)
      return {"fastest", numberAfter(m, "must be between 2 and ")};
    if (m.find("too few candidate") != std::string::npos) return {"few"};
    if (m.find("histories") != std::string::npos)
      return {"slowest", numberAfter(m, "must be at least ")};
    return {m};
  };
  auto tool = [&](const Options& o) -> Said {
    try {
      validateParameters(o);
      return {};
    } catch (const UsageError& e) {
      const std::string m = e.what();
      if (m.rfind("--max-bpm: ", 0) == 0) return {"fastest", numberAfter(m, "allowed: up to ")};
      if (m.find("too few candidate") != std::string::npos) return {"few"};
      if (m.find("histories") != std::string::npos) return {"slowest", numberAfter(m, "allowed: ")};
      return {m};
    }
  };
  std::map<std::string, int> seen;
  Options o;
  o.values.frame = defaults::kMaxFrame;
  for (int rate : {4000, 8000, 11025, 16000, 22050, 44100, 48000, 96000, 192000})
    for (int hop : {1, 2, 5, 16, 40, 100, 160, 441, 512, 1000, 2048, 4096, 10000, 16384})
      for (int minBpm = 10; minBpm < 999; minBpm += 1 + minBpm / 3)
        for (int maxBpm = minBpm + 2; maxBpm <= 1000; maxBpm += 1 + maxBpm / 3) {
          o.values.rate = rate;
          o.values.hop = hop;
          o.values.minBpm = minBpm;
          o.values.maxBpm = maxBpm;
          const Said byTool = tool(o);
          const Said byNode = node(CheckNodeParameters(rate, hop, minBpm, maxBpm));
          ASSERT_EQ(byTool.fault, byNode.fault)
              << rate << " Hz, hop " << hop << ", " << minBpm << ".." << maxBpm << " bpm";
          ASSERT_EQ(byTool.bound, byNode.bound)
              << rate << " Hz, hop " << hop << ", " << minBpm << ".." << maxBpm << " bpm";
          ++seen[byNode.fault + (byNode.bound > 0 ? " with a bound" : "")];
        }
  // Every verdict occurs on the grid, a bound or none for both refused tempos.
  EXPECT_EQ(seen.size(), 6u);
}

TEST(Options, SeveralInputsNeedPerInputOutputNames) {
  EXPECT_NE(error({"--beats", "out.txt", "a.wav", "b.wav"}).find("need '{}'"), std::string::npos);
  EXPECT_NO_THROW(parse({"--beats", "{}.beats", "--plot", "plots/{}.svg", "a.wav", "b.wav"}));
}

TEST(Options, HelpDocumentsEveryOptionAndTheDefaults) {
  const std::string help = usageText();
  for (const char* option :
       {"--rate", "--frame", "--hop", "--window", "--min-bpm", "--max-bpm", "--threshold", "--raw",
        "--realtime", "--format", "--beats", "--plot", "--log-dir", "--node-output", "--robot",
        "--quiet", "--jobs", "--plugin", "--all-beats"})
    EXPECT_NE(help.find(option), std::string::npos) << option;
  EXPECT_NE(help.find("(default " + std::to_string(defaults::kRate) + ")"), std::string::npos);
  EXPECT_NE(help.find("(default " + std::to_string(defaults::kHop) + ")"), std::string::npos);
  EXPECT_TRUE(parse({"--help"}).help);
}

TEST(Options, RobotAddressesTakeIpv6InBrackets) {
  std::string host;
  int port = 0;
  vesk_beat::parseRobotAddress("[::1]:21007", host, port);
  EXPECT_EQ(host, "::1");
  EXPECT_EQ(port, 21007);
  EXPECT_THROW(vesk_beat::parseRobotAddress("::1:21007", host, port), vesk_beat::UsageError);
}

TEST(WindowNames, EveryNameMapsToItsTypeAndUnknownNamesToMinusOne) {
  EXPECT_EQ(windowTypeNamed("rectangular"), WindowFunction::Rectangular);
  EXPECT_EQ(windowTypeNamed("HANN"), WindowFunction::Hann);
  EXPECT_EQ(windowTypeNamed("blackman-doubled"), WindowFunction::BlackmanDoubled);
  EXPECT_EQ(windowTypeNamed("hanning"), std::nullopt);
  EXPECT_EQ(windowTypeNamed(""), std::nullopt);
}

// The plain spectrum must take no detour: the node then sees exactly what it
// saw before there was a front end.
TEST(Options, ThePlainSpectrumHasNoFrontEndAndEveryStageTurnsOneOn) {
  auto settings = [](std::vector<const char*> args) {
    args.insert(args.begin(), "vesk-beat");
    args.push_back("a.wav");
    return parseOptions(static_cast<int>(args.size()), args.data()).settings();
  };
  EXPECT_FALSE(settings({"--front-end", "none", "--gate", "off"}).frontEnd);
  EXPECT_TRUE(settings({"--front-end", "none"}).frontEnd);  // the gate alone
  EXPECT_EQ(
      settings({"--front-end", "none", "--gate", "off", "--low-pass", "300"}).frontEnd->lowPassHz,
      300.0);
}
