// The plug-in class driven as a host drives it: block sizes, overlapping
// steps, reset, and the refusals in initialise.
#include "vamp/BeatTrackerPlugin.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>

#include "tracking/Settings.h"
#include "vamp/PluginOutputs.h"

using Vamp::Plugin;
using Vamp::RealTime;
using vesk_vamp::BeatTrackerPlugin;
namespace defaults = vesk_tracking::defaults;

namespace {

constexpr int kRate = 44100;

// Stereo clicks at 116 BPM, one buffer per channel as a host holds them.
std::vector<std::vector<float>> stereoClicks(double seconds) {
  std::vector<std::vector<float>> x(2,
                                    std::vector<float>(static_cast<std::size_t>(seconds * kRate)));
  std::uint32_t state = 3u;
  for (double t = 0.4; t < seconds - 0.05; t += 60.0 / 116.0) {
    const std::size_t at = static_cast<std::size_t>(t * kRate);
    for (std::size_t i = 0; i < 1300 && at + i < x[0].size(); ++i) {
      state = state * 1664525u + 1013904223u;
      const float v = static_cast<float>((state >> 8) / 16777216.0 - 0.5) *
                      static_cast<float>(std::exp(-static_cast<double>(i) / 260.0));
      x[0][at + i] = v;
      x[1][at + i] = 0.3f * v;
    }
  }
  return x;
}

using Features = std::map<int, Plugin::FeatureList>;

// Every feature of a run in blocks of `block` samples, `step` apart; the last
// block padded with zeros, as hosts do.
Features runAll(Plugin& plugin, const std::vector<std::vector<float>>& audio, std::size_t step,
                std::size_t block) {
  Features all;
  const auto keep = [&all](const Plugin::FeatureSet& features) {
    for (const auto& [output, list] : features)
      all[output].insert(all[output].end(), list.begin(), list.end());
  };
  std::vector<std::vector<float>> buffers(audio.size(), std::vector<float>(block));
  const std::size_t length = audio[0].size();
  for (std::size_t at = 0; at < length; at += step) {
    std::vector<const float*> pointers;
    for (std::size_t c = 0; c < audio.size(); ++c) {
      for (std::size_t i = 0; i < block; ++i)
        buffers[c][i] = at + i < length ? audio[c][at + i] : 0.0f;
      pointers.push_back(buffers[c].data());
    }
    keep(plugin.process(pointers.data(), RealTime::frame2RealTime(static_cast<long>(at), kRate)));
  }
  keep(plugin.getRemainingFeatures());
  return all;
}

std::vector<std::string> beats(const Features& r) {
  std::vector<std::string> out;
  if (r.count(vesk_vamp::kBeats))
    for (const Plugin::Feature& f : r.at(vesk_vamp::kBeats))
      out.push_back(f.timestamp.toString() + " " + f.label);
  return out;
}

// What initialise printed on std::cerr when it refused, or "accepted".
std::string initialiseMessage(BeatTrackerPlugin& plugin, std::size_t channels, std::size_t step,
                              std::size_t block) {
  std::ostringstream said;
  std::streambuf* real = std::cerr.rdbuf(said.rdbuf());
  const bool accepted = plugin.initialise(channels, step, block);
  std::cerr.rdbuf(real);
  return accepted ? "accepted" : said.str();
}

}  // namespace

TEST(BeatTrackerPlugin, BlockSizesStepsAndResetGiveTheSameFeatures) {
  const auto audio = stereoClicks(12.0);
  BeatTrackerPlugin plugin(kRate);
  ASSERT_TRUE(plugin.initialise(2, 1024, 1024));
  const Features whole = runAll(plugin, audio, 1024, 1024);
  const std::vector<std::string> expected = beats(whole);
  ASSERT_GT(expected.size(), 15u);
  EXPECT_NE(expected[5].find("bpm"), std::string::npos);

  // Every output comes with the values its descriptor promises.
  const Plugin::OutputList outputs = plugin.getOutputDescriptors();
  ASSERT_EQ(outputs.size(), 7u);
  for (std::size_t o = 0; o < outputs.size(); ++o) {
    ASSERT_TRUE(whole.count(static_cast<int>(o))) << outputs[o].identifier;
    for (const Plugin::Feature& f : whole.at(static_cast<int>(o)))
      ASSERT_EQ(f.values.size(), outputs[o].binCount) << outputs[o].identifier;
  }
  // A frame every 10 ms from the start, as long as the audio.
  const Plugin::FeatureList& confidence = whole.at(vesk_vamp::kConfidence);
  EXPECT_EQ(confidence[150].timestamp, RealTime::fromSeconds(1.5));
  EXPECT_NEAR(static_cast<double>(confidence.size()), 1200.0, 2.0);
  EXPECT_NEAR(whole.at(vesk_vamp::kTempo).back().values[0], 116.0, 3.0);

  plugin.reset();
  EXPECT_EQ(beats(runAll(plugin, audio, 1024, 1024)), expected) << "after reset";
  for (const auto& [step, block] : {std::pair<std::size_t, std::size_t>{333, 333},
                                    {7, 7},
                                    {1000, 4096},
                                    {44100 * 12, 44100 * 12}}) {
    BeatTrackerPlugin other(kRate);
    ASSERT_TRUE(other.initialise(2, step, block));
    EXPECT_EQ(beats(runAll(other, audio, step, block)), expected)
        << "step " << step << ", block " << block;
  }
}

TEST(BeatTrackerPlugin, TimesStartAtTheFirstBlocksTimestamp) {
  const auto audio = stereoClicks(8.0);
  BeatTrackerPlugin plugin(kRate);
  ASSERT_TRUE(plugin.initialise(2, 1024, 1024));
  const Features fromZero = runAll(plugin, audio, 1024, 1024);
  plugin.reset();
  // The same audio handed over as if it started 10 s into a file.
  Features later;
  std::vector<const float*> pointers(2);
  for (std::size_t at = 0; at + 1024 <= audio[0].size(); at += 1024) {
    for (int c = 0; c < 2; ++c) pointers[c] = &audio[c][at];
    const Plugin::FeatureSet f = plugin.process(
        pointers.data(), RealTime::frame2RealTime(static_cast<long>(at), kRate) + RealTime(10, 0));
    if (f.count(vesk_vamp::kBeats)) later[0].push_back(f.at(vesk_vamp::kBeats).front());
  }
  ASSERT_FALSE(later[0].empty());
  EXPECT_EQ(later[0][0].timestamp, fromZero.at(vesk_vamp::kBeats)[0].timestamp + RealTime(10, 0));
}

TEST(BeatTrackerPlugin, InitialiseRefusesWhatTheTrackerCannotUseAndSaysWhy) {
  BeatTrackerPlugin plugin(kRate);
  EXPECT_EQ(initialiseMessage(plugin, 0, 1024, 1024),
            "vesk-music:beattracker: channel count 0: expected 1..64\n");
  EXPECT_NE(initialiseMessage(plugin, 65, 1024, 1024).find("channel count 65"), std::string::npos);
  EXPECT_NE(initialiseMessage(plugin, 1, 2048, 1024).find("step size 2048: expected 1..1024"),
            std::string::npos);
  const std::pair<const char*, float> bad[] = {
      {"min_bpm", 5.0f},     {"max_bpm", 81.0f}, {"threshold", NAN}, {"front_end", 4.0f},
      {"after_node", -1.0f}, {"hop", 600.0f},    {"rate", 1e30f},    {"frame", 512.5f}};
  for (const auto& [id, value] : bad) {
    BeatTrackerPlugin refused(kRate);
    refused.setParameter(id, value);
    const std::string said = initialiseMessage(refused, 1, 1024, 1024);
    EXPECT_NE(said.find(id), std::string::npos) << id << " " << value << ": " << said;
    // Refused, the plug-in computes nothing.
    const float silence[1024] = {};
    const float* channel[] = {silence};
    EXPECT_TRUE(refused.process(channel, RealTime()).empty());
  }
  // 4000 Hz, hop 160: 25 frames/s, so 1000 BPM is a beat every 1.5 frames.
  BeatTrackerPlugin tooFast(kRate);
  tooFast.setParameter("rate", 4000.0f);
  tooFast.setParameter("max_bpm", 1000.0f);
  EXPECT_NE(initialiseMessage(tooFast, 1, 1024, 1024).find("max_bpm: 1000 gives a beat interval"),
            std::string::npos);
  EXPECT_NE(initialiseMessage(*std::make_unique<BeatTrackerPlugin>(44100.5f), 1, 1024, 1024)
                .find("input sample rate 44100.5"),
            std::string::npos);
  EXPECT_NE(initialiseMessage(*std::make_unique<BeatTrackerPlugin>(1.0f), 1, 1024, 1024)
                .find("cannot resample from 1 Hz to 16000 Hz"),
            std::string::npos);

  // Every value of the lists is one the tracker takes, and the defaults are the tool's.
  for (const Plugin::ParameterDescriptor& d : BeatTrackerPlugin(16000).getParameterDescriptors())
    if (d.isQuantized && !d.valueNames.empty()) {
      ASSERT_LT(d.defaultValue, static_cast<float>(d.valueNames.size())) << d.identifier;
      EXPECT_EQ(d.valueNames[static_cast<std::size_t>(d.defaultValue)],
                d.identifier == "front_end"
                    ? std::string(defaults::kFrontEnd)
                    : vesk_conditioning::afterNodeName(defaults::kAfterNode));
    }
  for (float frontEnd = 0; frontEnd < 4; ++frontEnd) {
    BeatTrackerPlugin accepted(16000);
    accepted.setParameter("front_end", frontEnd);
    accepted.setParameter("after_node", frontEnd < 3 ? frontEnd : 2.0f);
    EXPECT_EQ(initialiseMessage(accepted, 1, 160, 160), "accepted") << frontEnd;
    EXPECT_EQ(accepted.getParameter("front_end"), frontEnd);
  }
}

TEST(BeatTrackerPlugin, PatternBinsAreNamedByTheTempoOfTheirInterval) {
  BeatTrackerPlugin plugin(16000);
  plugin.setParameter("hop", 200.0f);  // 80 frames/s
  const Plugin::OutputDescriptor pattern = plugin.getOutputDescriptors()[vesk_vamp::kPattern];
  EXPECT_EQ(pattern.identifier, "stpm");
  // 80 frames/s, 80..200 BPM: intervals of ceil(4800 / 199) = 25 to ceil(4800 / 80) = 60 frames.
  ASSERT_EQ(pattern.binCount, 35u);
  EXPECT_EQ(pattern.binNames.front(), "192.0 bpm");
  EXPECT_EQ(pattern.binNames.back(), "81.4 bpm");
  EXPECT_FLOAT_EQ(pattern.sampleRate, 80.0f);
}

TEST(BeatTrackerPlugin, HostThreadsKeepTheirDirectoryAndStandardOutputWhilePluginsRun) {
  // A host thread prints and opens relative paths while two other threads
  // start and run plug-in instances: every line arrives, the directory stays.
  std::ostringstream hostOut;
  std::streambuf* real = std::cout.rdbuf(hostOut.rdbuf());
  const std::string home = std::filesystem::current_path().string();
  std::atomic<bool> running{true};
  int printed = 0, moved = 0;
  std::thread host([&] {
    while (running.load()) {
      std::cout << "host line " << printed++ << '\n';
      if (std::filesystem::current_path().string() != home) ++moved;
    }
  });
  const auto audio = stereoClicks(3.0);
  auto runInstances = [&audio] {
    for (int i = 0; i < 3; ++i) {
      BeatTrackerPlugin plugin(kRate);
      if (plugin.initialise(2, 1024, 1024)) runAll(plugin, audio, 1024, 1024);
    }
  };
  std::thread a(runInstances), b(runInstances);
  a.join();
  b.join();
  running = false;
  host.join();
  std::cout.rdbuf(real);
  const std::string out = hostOut.str();
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), printed);
  EXPECT_EQ(out.find("BeatTracker"), std::string::npos);
  EXPECT_EQ(moved, 0);
}

TEST(BeatTrackerPlugin, TheRdfFileDescribesWhatThePluginReports) {
  std::ifstream in(VESK_VAMP_RDF);
  std::stringstream text;
  text << in.rdbuf();
  const std::string rdf = text.str();
  ASSERT_FALSE(rdf.empty()) << VESK_VAMP_RDF;
  // One block per parameter or output, from its subject to the next one.
  const auto block = [&rdf](const std::string& subject) {
    const std::size_t at = rdf.find("plugbase:beattracker_" + subject + " a ");
    if (at == std::string::npos) return std::string();
    return rdf.substr(at, rdf.find("\n.", at) - at);
  };
  // The quoted text or the number after `key` in a block.
  const auto value = [](const std::string& b, const std::string& key) {
    const std::size_t at = b.find(key + " ");
    if (at == std::string::npos) return std::string("(none)");
    const std::size_t start = b.find_first_not_of(' ', at + key.size());
    const std::size_t end = b.find_first_of(" ;\n", start + 1);
    return b.substr(start, end - start);
  };
  const auto number = [](float v) {
    std::ostringstream t;
    t << v;
    return t.str();
  };
  BeatTrackerPlugin plugin(kRate);
  std::vector<std::string> identifiers;
  for (const Plugin::ParameterDescriptor& p : plugin.getParameterDescriptors()) {
    const std::string b = block("param_" + p.identifier);
    EXPECT_EQ(value(b, "vamp:identifier"), "\"" + p.identifier + "\"");
    EXPECT_EQ(value(b, "vamp:min_value"), number(p.minValue)) << p.identifier;
    EXPECT_EQ(value(b, "vamp:max_value"), number(p.maxValue)) << p.identifier;
    EXPECT_EQ(value(b, "vamp:default_value"), number(p.defaultValue)) << p.identifier;
    identifiers.push_back(p.identifier);
  }
  for (const Plugin::OutputDescriptor& o : plugin.getOutputDescriptors()) {
    EXPECT_EQ(value(block("output_" + o.identifier), "vamp:identifier"),
              "\"" + o.identifier + "\"");
    identifiers.push_back(o.identifier);
  }
  EXPECT_NE(rdf.find("dc:rights             \"\"\"" + plugin.getCopyright() + "\"\"\""),
            std::string::npos)
      << plugin.getCopyright();
  // Vamp identifiers take letters, digits, '_' and '-': this library uses one style.
  for (const std::string& id : identifiers)
    EXPECT_EQ(id.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789_"), std::string::npos)
        << id;
}
