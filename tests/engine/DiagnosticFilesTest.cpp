#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "EngineTestSupport.h"

using beat_tracker::BeatTracker;
using engine_test::ClickTrack;
using engine_test::CountFields;
using engine_test::ReadLines;
using engine_test::SmallInit;
using engine_test::TempDir;

namespace {

const char* kAllFiles[] = {"spec.dat",
                           "inc_spec.dat",
                           "melfilterbank.dat",
                           "chroma_vector.dat",
                           "inc_mel.dat",
                           "interval_value.dat",
                           "interval_long_value.dat",
                           "interval_contrast.dat",
                           "interval_long_contrast.dat",
                           "beats_reliability_mask.dat",
                           "beats_reliability.dat",
                           "beats_times.dat",
                           "flat_num.dat",
                           "music_reli.dat"};

}  // namespace

TEST(DiagnosticFiles, TenFilesGetOneLinePerFrameAndFourStayEmpty) {
  TempDir dir;
  const int frames = 320;
  {
    auto engine = engine_test::QuietEngine(SmallInit(51, 100, dir.prefix(), true));
    ClickTrack clicks(100.0, 0.3);
    engine_test::CoutCapture quiet;
    for (int f = 0; f < frames; ++f) engine->analyze(clicks.Frame(f));
  }
  const std::map<std::string, int> fields = {{"inc_spec.dat", 100},
                                             {"melfilterbank.dat", 64},
                                             {"chroma_vector.dat", 12},
                                             {"inc_mel.dat", 62},
                                             {"interval_long_value.dat", 49},
                                             {"interval_long_contrast.dat", 6},
                                             {"beats_reliability_mask.dat", 100},
                                             {"beats_reliability.dat", 1},
                                             {"flat_num.dat", 1},
                                             {"music_reli.dat", 3}};
  for (const char* name : kAllFiles) {
    const std::string path = dir.prefix() + "bt_" + name;
    ASSERT_TRUE(std::filesystem::exists(path)) << path;
    const auto lines = ReadLines(path);
    const auto expected = fields.find(name);
    if (expected == fields.end()) {
      EXPECT_TRUE(lines.empty()) << name;
      continue;
    }
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(frames)) << name;
    for (const auto& line : lines)
      ASSERT_EQ(CountFields(line), expected->second) << name << ": " << line;
  }
  // Rows of values end in a blank; the two composed lines do not.
  EXPECT_EQ(ReadLines(dir.prefix() + "bt_inc_mel.dat")[0].back(), ' ');
  EXPECT_NE(ReadLines(dir.prefix() + "bt_music_reli.dat")[0].back(), ' ');
}

TEST(DiagnosticFiles, FirstFrameLinesByteForByte) {
  TempDir dir;
  {
    auto engine = engine_test::QuietEngine(SmallInit(51, 100, dir.prefix(), true));
    engine->analyze(std::vector<double>(256, 0.0));
    engine->analyze(std::vector<double>(256, 0.0));
  }
  auto read = [&](const char* name) { return ReadLines(dir.prefix() + "bt_" + name); };
  // Frame 1 is at 1 * 160 / 16000 s: interval 46 (marker), first peak 51, no
  // second peak.
  EXPECT_EQ(read("interval_long_contrast.dat")[0], "0.01 46 51 0 0 0");
  EXPECT_EQ(read("music_reli.dat")[0], "0.01 0 46");
  EXPECT_EQ(read("music_reli.dat")[1], "0.02 0 46");
  EXPECT_EQ(read("flat_num.dat")[0], "0");
  EXPECT_EQ(read("flat_num.dat")[1], "1");
  EXPECT_EQ(read("beats_reliability.dat")[0], "0");
  std::string nan_row;
  for (int p = 0; p < 12; ++p) nan_row += "nan ";
  EXPECT_TRUE(read("chroma_vector.dat")[0] == nan_row || read("chroma_vector.dat")[0] == [] {
    std::string row;
    for (int p = 0; p < 12; ++p) row += "-nan ";
    return row;
  }()) << read("chroma_vector.dat")[0];
  std::string zeros;
  for (int k = 0; k < 49; ++k) zeros += "0 ";
  EXPECT_EQ(read("interval_long_value.dat")[0], zeros);
}

TEST(DiagnosticFiles, NothingIsWrittenWithLoggingOffAndFilesAreEmptied) {
  TempDir dir;
  {
    std::ofstream stale(dir.prefix() + "bt_flat_num.dat");
    stale << "old contents\n";
  }
  {
    auto engine = engine_test::QuietEngine(SmallInit(51, 100, dir.prefix(), false));
    ClickTrack clicks(100.0, 0.3);
    for (int f = 0; f < 50; ++f) engine->analyze(clicks.Frame(f));
  }
  for (const char* name : kAllFiles) {
    const std::string path = dir.prefix() + "bt_" + name;
    ASSERT_TRUE(std::filesystem::exists(path)) << path;
    EXPECT_EQ(std::filesystem::file_size(path), 0u) << name;
  }
}

TEST(DiagnosticFiles, PathWithoutSlashIsJoinedAsIs) {
  TempDir dir;
  const std::string prefix = dir.prefix() + "run1";
  auto engine = engine_test::QuietEngine(SmallInit(51, 100, prefix, false));
  EXPECT_TRUE(std::filesystem::exists(prefix + "bt_spec.dat"));
}

TEST(DiagnosticFiles, FilesThatCannotBeCreatedAreReportedOnceAndDropped) {
  TempDir dir;
  const std::string missing = dir.prefix() + "no/such/dir/";
  std::ostringstream errors;
  std::streambuf* old = std::cerr.rdbuf(errors.rdbuf());
  {
    auto engine = engine_test::QuietEngine(SmallInit(51, 100, missing, true));
    ClickTrack clicks(100.0, 0.3);
    engine_test::CoutCapture quiet;
    for (int f = 0; f < 20; ++f) engine->analyze(clicks.Frame(f));
  }
  std::cerr.rdbuf(old);
  EXPECT_EQ(errors.str(), "beat_tracker: cannot create 14 of 14 diagnostic files (" + missing +
                              "bt_spec.dat: No such file or directory); their lines are dropped\n");
}
