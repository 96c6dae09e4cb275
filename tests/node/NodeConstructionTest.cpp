#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <fstream>

#include "NodeHarness.h"
#include "node/ParameterCheck.h"

namespace {

using node_test::CoutCapture;
using node_test::ErrorOf;
using node_test::InTempDir;
using node_test::Parameters;

class NodeConstruction : public ::testing::Test {
 protected:
  InTempDir dir;
};

TEST_F(NodeConstruction, DeclaresPortsInOrderAndEmptiesTheBeatLog) {
  { std::ofstream("bt_quendabt.dat") << "old run\n"; }
  CoutCapture out;
  BeatTracker node("beat", Parameters(0.5f, 160, 16000, 120, 60, false, false));
  EXPECT_EQ(out.str(), "BeatTracker::BeatTracker\n");
  EXPECT_EQ(node.translateInput("AUDIO"), 0);
  EXPECT_EQ(node.translateInput("FFTAUDIO"), 1);
  const char* outputs[] = {"BEAT_DETECTED", "TEMPO",       "CONFIDENCE",
                           "ONSET_VECTOR",  "STPM_VECTOR", "CHROMA_VECTOR"};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(node.translateOutput(outputs[i]), i) << outputs[i];
  std::ifstream log("bt_quendabt.dat");
  ASSERT_TRUE(log.good());
  EXPECT_EQ(log.peek(), std::char_traits<char>::eof());
}

TEST_F(NodeConstruction, ABeatLogThatCannotBeCreatedIsReportedOnceAndIgnored) {
  ASSERT_EQ(mkdir("bt_quendabt.dat", 0755), 0);  // a directory cannot be opened as the log
  std::ostringstream errors;
  std::streambuf* old = std::cerr.rdbuf(errors.rdbuf());
  {
    CoutCapture out;
    node_test::Network net(Parameters(0.0f, 160, 16000, 120, 60, false, false),
                           node_test::ConstantAudio(1, 512, 0.0f),
                           node_test::ConstantSpectrum(257, {1.0f, 0.0f}));
    net.scalar("TEMPO", 300);
  }
  std::cerr.rdbuf(old);
  EXPECT_EQ(errors.str(),
            "BeatTracker: cannot create the beat log bt_quendabt.dat in the working directory (Is "
            "a directory); reliable beats are not logged\n");
}

TEST_F(NodeConstruction, ParameterOfTheWrongTypeIsACastError) {
  struct Case {
    const char* name;
    RL::Object* value;
    const char* target;
  };
  const Case cases[] = {
      {"RELIABILITY-THRESHOLD", new RL::GenericType<int>(1), "into float"},
      {"ADVANCE", new RL::NetCType<float>(160.0f), "into int"},
      {"SAMPLING_RATE", new RL::Bool(true), "into int"},
      {"MAX_BPM", new RL::GenericType<double>(120.0), "into int"},
      {"MIN_BPM", new RL::NetCType<float>(60.0f), "into int"},
      {"VECTOR_FLAG", new RL::GenericType<int>(1), "into bool"},
      {"LOG_FLAG", new RL::NetCType<float>(0.0f), "into bool"},
  };
  for (const Case& c : cases) {
    RL::ParameterSet params = Parameters(0.5f, 160, 16000, 120, 60, false, false);
    params.add(c.name, RL::ObjectRef(c.value));
    CoutCapture out;
    const std::string error = ErrorOf([&] { BeatTracker node("beat", params); });
    EXPECT_NE(error.find("Cast error: Trying to cast ObjectRef ("), std::string::npos) << c.name;
    EXPECT_NE(error.find(c.target), std::string::npos) << c.name << ": " << error;
  }
  RL::ParameterSet empty = Parameters(0.5f, 160, 16000, 120, 60, false, false);
  empty.add("ADVANCE", RL::ObjectRef());
  CoutCapture out;
  EXPECT_THROW(BeatTracker("beat", empty), std::bad_typeid);
}

TEST_F(NodeConstruction, MissingParameterIsNamed) {
  RL::ParameterSet params;
  params.add("RELIABILITY-THRESHOLD", RL::ObjectRef(new RL::NetCType<float>(0.5f)));
  CoutCapture out;
  EXPECT_NE(ErrorOf([&] { BeatTracker node("beat", params); }).find("Missing parameter: ADVANCE"),
            std::string::npos);
}

TEST_F(NodeConstruction, InitializeGivesEveryOutputTheLargestExtentsPlusOne) {
  CoutCapture out;
  BeatTracker node("beat", Parameters(0.5f, 160, 16000, 120, 60, false, false));
  node.request(1, 3, 0);
  node.request(4, 0, 7);
  node_test::FrameSource<float> audio("audio", node_test::ConstantAudio(1, 512, 0.0f));
  node_test::FrameSource<std::complex<float>> spectrum("spectrum",
                                                       node_test::ConstantSpectrum(257, {}));
  node.connectToNode("AUDIO", &audio, "OUTPUT");
  node.connectToNode("FFTAUDIO", &spectrum, "OUTPUT");
  node.initialize();
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(node.outputInfo(i).lookAhead, 4) << i;
    EXPECT_EQ(node.outputInfo(i).lookBack, 8) << i;
  }
}

TEST_F(NodeConstruction, DestroyingANodeThatNeverRanTouchesNoEngine) {
  CoutCapture out;
  {
    BeatTracker node("beat", Parameters(0.5f, 160, 16000, 120, 60, false, false));
    EXPECT_EQ(node.engine(), nullptr);
    EXPECT_EQ(node.beatNotice(), nullptr);
    EXPECT_FALSE(node.canceller());
  }
  EXPECT_EQ(out.str(), "BeatTracker::BeatTracker\nBeatTracker::~BeatTracker\n");
}

// Each rejected parameter set names the parameter, its value and what is allowed.
TEST_F(NodeConstruction, RejectsParametersTheStartUpCannotWorkWith) {
  struct Case {
    int advance, rate, maxBpm, minBpm;
    const char* expected;
  };
  const Case cases[] = {
      {0, 16000, 120, 60, "parameter ADVANCE = 0 is out of range"},
      {-160, 16000, 120, 60, "ADVANCE = -160"},
      {160, 0, 120, 60, "parameter SAMPLING_RATE = 0 is out of range"},
      {160, 16000, 120, 0, "parameter MIN_BPM = 0 is out of range"},
      {160, 16000, 1, 60,
       "parameter MAX_BPM = 1 is out of range: the fastest tempo must be at least 2"},
      // 6000 frames a minute: MAX_BPM 1201 gives ceil(6000 / 1200) = 5 frames.
      {160, 16000, 1201, 60, "MAX_BPM must be between 2 and 1200"},
      // 1200 would leave a single candidate beside MIN_BPM 1199: no MAX_BPM helps.
      {160, 16000, 1300, 1199, "MAX_BPM = 1300 is out of range"},
      {160, 16000, 1300, 1199, "no MAX_BPM works here"},
      {160, 16000, 100, 99, "leave too few candidate beat intervals"},
      {160, 16000, 120, 1, "MIN_BPM = 1 is out of range"},
      {1000, 1, 120, 60, "no MAX_BPM works here"},
  };
  for (const Case& c : cases) {
    CoutCapture out;
    const std::string error = ErrorOf([&] {
      BeatTracker node("beat",
                       Parameters(0.5f, c.advance, c.rate, c.maxBpm, c.minBpm, false, false));
    });
    EXPECT_NE(error.find(c.expected), std::string::npos) << error;
  }
  CoutCapture out;
  const std::string nan = ErrorOf([&] {
    BeatTracker node("beat", Parameters(std::nanf(""), 160, 16000, 120, 60, false, false));
  });
  EXPECT_NE(nan.find("parameter RELIABILITY-THRESHOLD = nan is not a number"), std::string::npos)
      << nan;
  EXPECT_NO_THROW(BeatTracker("beat", Parameters(-1.0f, 160, 16000, 120, 60, false, false)));
  EXPECT_NO_THROW(BeatTracker("beat", Parameters(0.5f, 160, 16000, 1200, 60, false, false)));
  EXPECT_NO_THROW(BeatTracker("beat", Parameters(0.5f, 160, 16000, 120, 98, false, false)));
}

// The longest interval must fit the engine's histories: the comb reaches three
// intervals back, so with a short minimum interval 1000 frames is the longest
// accepted (3 x 999 < 3000) and 1001 is refused, naming the slowest MIN_BPM.
TEST_F(NodeConstruction, LongestIntervalBoundIsExact) {
  // With ADVANCE 1 there are 60 x SAMPLING_RATE frames a minute, so MIN_BPM 60
  // makes the longest interval SAMPLING_RATE frames; MAX_BPM 6001 keeps the
  // shortest near 10 frames.
  CoutCapture out;
  EXPECT_EQ(
      ErrorOf([&] { BeatTracker node("beat", Parameters(0.5f, 1, 1000, 6001, 60, false, false)); }),
      "no error");
  const std::string error =
      ErrorOf([&] { BeatTracker node("beat", Parameters(0.5f, 1, 1001, 6001, 60, false, false)); });
  EXPECT_NE(error.find("MIN_BPM = 60 is out of range"), std::string::npos) << error;
  EXPECT_NE(error.find("MIN_BPM must be at least 61"), std::string::npos) << error;
  // A shortest interval so long that its corrections cannot fit either.
  const std::string slow = ErrorOf(
      [&] { BeatTracker node("beat", Parameters(0.5f, 60, 60000, 150, 100, false, false)); });
  EXPECT_NE(slow.find("too long for the tracker's histories"), std::string::npos) << slow;
}

TEST(ParameterCheck, WorkedStartUpValues) {
  IntervalRange a = DeriveIntervalRange(16000, 160, 60, 120);
  EXPECT_DOUBLE_EQ(a.frames_per_minute, 6000.0);
  EXPECT_EQ(a.max_interval, 100.0);
  EXPECT_EQ(a.window_length, 100.0);
  EXPECT_EQ(a.min_interval, 51.0);
  IntervalRange b = DeriveIntervalRange(44100, 512, 60, 180);
  EXPECT_DOUBLE_EQ(b.frames_per_minute, 5167.96875);
  EXPECT_EQ(b.max_interval, 87.0);
  EXPECT_EQ(b.min_interval, 29.0);
}

}  // namespace
