#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "apps/vesk-beat/output/AtomicFile.h"
#include "apps/vesk-beat/output/BeatsFile.h"
#include "apps/vesk-beat/output/EventWriter.h"
#include "apps/vesk-beat/output/PlotWriter.h"
#include "tracking/process/WorkingDirectory.h"

using namespace vesk_beat;
using namespace vesk_tracking;

namespace {

BeatEvent beat(double time, double tempo, double confidence, bool reliable) {
  BeatEvent b;
  b.file = "a,\"b\".wav";
  b.frame = static_cast<std::int64_t>(time * 100);
  b.time = time;
  b.tempo = tempo;
  b.confidence = confidence;
  b.reliable = reliable;
  return b;
}

// What `format` writes for two beats and a summary.
std::string render(OutputFormat format, std::string* info = nullptr) {
  char* text = nullptr;
  std::size_t size = 0;
  std::FILE* out = open_memstream(&text, &size);
  char* infoText = nullptr;
  std::size_t infoSize = 0;
  std::FILE* infoOut = open_memstream(&infoText, &infoSize);
  auto writer = makeEventWriter(format, out, infoOut, false);
  writer->header();
  writer->beat(beat(1.5, 120, 0.75, true));
  writer->beat(beat(2.0, 0, 0.25, false));
  writer->summary(summarise("a,\"b\".wav", 3.0, {beat(1.5, 120, 0.75, true)}));
  std::fclose(out);
  std::fclose(infoOut);
  std::string result(text, size);
  if (info) *info = std::string(infoText, infoSize);
  std::free(text);
  std::free(infoText);
  return result;
}

std::string slurp(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace

TEST(EventWriter, CsvQuotesFileNamesAndPutsTheSummaryAside) {
  std::string info;
  EXPECT_EQ(render(OutputFormat::Csv, &info),
            "file,time,tempo,confidence,frame,reliable\n"
            "\"a,\"\"b\"\".wav\",1.500,120.00,0.7500,150,1\n"
            "\"a,\"\"b\"\".wav\",2.000,0.00,0.2500,200,0\n");
  EXPECT_EQ(info, "a,\"b\".wav: 3.00 s, 1 beats, median tempo 120.0 bpm, mean confidence 0.75\n");
}

TEST(EventWriter, JsonLinesEscapeStrings) {
  EXPECT_EQ(render(OutputFormat::Json),
            "{\"type\":\"beat\",\"file\":\"a,\\\"b\\\".wav\",\"time\":1.500,\"tempo\":120.00,"
            "\"confidence\":0.7500,\"frame\":150,\"reliable\":true}\n"
            "{\"type\":\"beat\",\"file\":\"a,\\\"b\\\".wav\",\"time\":2.000,\"tempo\":0.00,"
            "\"confidence\":0.2500,\"frame\":200,\"reliable\":false}\n"
            "{\"type\":\"summary\",\"file\":\"a,\\\"b\\\".wav\",\"duration\":3.000,\"beats\":1,"
            "\"median_tempo\":120.00,\"mean_confidence\":0.7500}\n");
  EXPECT_EQ(jsonString("tab\there\\\n"), "\"tab\\u0009here\\\\\\u000a\"");
  // File names are bytes: what is not UTF-8 becomes U+FFFD (one per stray
  // byte, or per bad sequence with its continuation bytes), well-formed
  // characters of every length stay.
  const std::string bad = "\xEF\xBF\xBD";
  EXPECT_EQ(jsonString("a\xff"
                       "b\xC3\xA9\xE2\x82\xAC\xF0\x9D\x84\x9E"),
            "\"a" + bad + "b\xC3\xA9\xE2\x82\xAC\xF0\x9D\x84\x9E\"");
  // An overlong pair, a surrogate, a cut sequence.
  EXPECT_EQ(jsonString("\xC0\xAF\xED\xA0\x80z\xE2\x82"), "\"" + bad + bad + "z" + bad + "\"");
}

TEST(EventWriter, TextIsOneLinePerBeatAndASummary) {
  EXPECT_EQ(render(OutputFormat::Text),
            "beat at     1.500 s  tempo  120.0 bpm  confidence 0.75\n"
            "beat at     2.000 s  (below threshold)  confidence 0.25\n"
            "a,\"b\".wav: 3.00 s, 1 beats, median tempo 120.0 bpm, mean confidence 0.75\n");
}

TEST(Summary, MedianAndMeanCountOnlyReliableBeats) {
  FileSummary s =
      summarise("x", 10.0,
                {beat(1, 100, 0.5, true), beat(2, 0, 0.1, false), beat(3, 120, 0.7, true),
                 beat(4, 110, 0.9, true), beat(5, 130, 0.9, true)});
  EXPECT_EQ(s.beats, 4);
  EXPECT_DOUBLE_EQ(s.medianTempo, 115.0);
  EXPECT_DOUBLE_EQ(s.meanConfidence, 0.75);
  FileSummary none = summarise("x", 1.0, {});
  EXPECT_EQ(none.beats, 0);
  EXPECT_EQ(none.medianTempo, 0.0);
}

TEST(OutputFiles, BeatsFileListsReliableBeatTimesAndAppearsOnlyWhole) {
  TemporaryDirectory dir("vesk-beat-test");
  const std::string path = dir.path() + "/beats.txt";
  writeBeatsFile(path,
                 {beat(0.5, 120, 1, true), beat(0.75, 0, 0.2, false), beat(1.0, 120, 1, true)});
  EXPECT_EQ(slurp(path), "0.500000\n1.000000\n");
  {
    AtomicFile unfinished(path);
    unfinished.write("half");
  }  // dropped without commit: the old file stays, no temporary file remains
  EXPECT_EQ(slurp(path), "0.500000\n1.000000\n");
  int entries = 0;
  for (auto& e : std::filesystem::directory_iterator(dir.path())) entries += !e.path().empty();
  EXPECT_EQ(entries, 1);
  EXPECT_THROW(writeBeatsFile(dir.path() + "/missing/beats.txt", {}), OutputError);
}

TEST(OutputFiles, PlotShowsEveryBeatAndTheThreshold) {
  PlotData d;
  d.title = "song <1> & more";
  d.frameSeconds = 0.01;
  d.onset.assign(3000, 1.0f);
  d.onset[1500] = 50.0f;
  d.confidence.assign(3000, 0.8f);
  d.threshold = 0.6;
  d.beats = {beat(5.0, 120, 0.8, true), beat(10.0, 121, 0.8, true), beat(12.0, 0, 0.3, false)};
  std::string svg = renderSvg(d);
  EXPECT_EQ(svg.rfind("<?xml", 0), 0u);
  EXPECT_NE(svg.find("song &lt;1&gt; &amp; more"), std::string::npos);
  auto count = [&](const std::string& what) {
    int n = 0;
    for (std::size_t at = 0; (at = svg.find(what, at)) != std::string::npos; ++at) ++n;
    return n;
  };
  // One marker per beat, the one below the threshold dotted, the tempo of the
  // reliable beats; each also once in the legend.
  EXPECT_EQ(count("stroke='#d62728'"), 3 + 2);
  EXPECT_EQ(count("stroke-dasharray='2,3'"), 1 + 1);
  EXPECT_EQ(count("<circle"), 2 + 1);
  EXPECT_EQ(count(">reference beat<"), 0);  // none given
  EXPECT_EQ(svg.substr(svg.size() - 7), "</svg>\n");
  EXPECT_EQ(svg.find("nan"), std::string::npos);
}
