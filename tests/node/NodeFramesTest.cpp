#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <boost/thread/thread.hpp>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "ClickTrack.h"
#include "NodeHarness.h"
#include "beat_tracker/BeatTracker.h"
#include "tests/support/ConcurrentRuns.h"
#include "voice_cancel/VoiceCancel.h"

namespace {

using node_test::ClickTrack;
using node_test::ConstantAudio;
using node_test::ConstantSpectrum;
using node_test::CoutCapture;
using node_test::ErrorOf;
using node_test::InTempDir;
using node_test::Network;
using node_test::Parameters;

class NodeFrames : public ::testing::Test {
 protected:
  InTempDir dir;
  CoutCapture console;
};

TEST_F(NodeFrames, StartUpDerivesTheEngineAndSizesTheBuffers) {
  Network net(Parameters(0.5f, 160, 16000, 120, 60, false, false), ConstantAudio(2, 512, 0.25f),
              ConstantSpectrum(257, {1.0f, 0.0f}));
  net.scalar("CONFIDENCE", 0);
  const beat_tracker::BeatTracker* engine = net.node->engine();
  ASSERT_NE(engine, nullptr);
  EXPECT_EQ(engine->max_interval, 100);
  EXPECT_EQ(engine->min_interval, 51);
  EXPECT_EQ(engine->window_length, 100);
  EXPECT_EQ(net.node->timeSignal().size(), 512u);
  EXPECT_EQ(net.node->magnitudeSpectrum().size(), 256u);
  EXPECT_EQ(net.node->complexSpectrum().size(), 257u);
  ASSERT_TRUE(net.node->canceller());
  EXPECT_NE(net.node->beatNotice(), nullptr);
  EXPECT_EQ(net.node->robotUdpPort(), 21007);
  // Frame 0 fills the whole signal buffer with half the channel sum.
  for (double v : net.node->timeSignal()) ASSERT_DOUBLE_EQ(v, 0.25);
  for (double v : net.node->magnitudeSpectrum()) ASSERT_DOUBLE_EQ(v, 1.0);

  const std::string text = console.str();
  const auto a = text.find("BeatTracker::count0Initialize\n");
  const auto b = text.find("ROBOT  IP : " + net.node->robotHost() + ":21007\n");
  const auto c = text.find("BeatTracker::realTimeBeatTrackerInitialize\n");
  const auto d = text.find("DEBUG10051100\n");
  ASSERT_NE(a, std::string::npos);
  ASSERT_NE(b, std::string::npos);
  ASSERT_NE(c, std::string::npos);
  ASSERT_NE(d, std::string::npos);
  EXPECT_LT(a, b);
  EXPECT_LT(b, c);
  EXPECT_LT(c, d);
}

TEST_F(NodeFrames, OddFrameLengthAndSecondWorkedExample) {
  Network odd(Parameters(0.5f, 160, 16000, 120, 60, false, false), ConstantAudio(1, 511, 0.0f),
              ConstantSpectrum(256, {0.0f, 0.0f}));
  odd.scalar("TEMPO", 0);
  EXPECT_EQ(odd.node->timeSignal().size(), 511u);
  EXPECT_EQ(odd.node->magnitudeSpectrum().size(), 255u);
  EXPECT_EQ(odd.node->complexSpectrum().size(), 256u);

  Network net(Parameters(0.5f, 512, 44100, 180, 60, false, false), ConstantAudio(1, 1024, 0.0f),
              ConstantSpectrum(513, {0.0f, 0.0f}));
  net.scalar("TEMPO", 0);
  EXPECT_EQ(net.node->engine()->max_interval, 87);
  EXPECT_EQ(net.node->engine()->min_interval, 29);
}

TEST_F(NodeFrames, FramesAreComputedOnceInOrderWhicheverOutputAsks) {
  Network net(Parameters(0.5f, 160, 16000, 120, 60, false, false), ConstantAudio(1, 512, 0.0f),
              ConstantSpectrum(257, {0.0f, 0.0f}));
  net.scalar("TEMPO", 5);
  const double t5 = net.node->lastResult().t_current;
  net.scalar("CONFIDENCE", 5);
  net.beat(4);
  EXPECT_EQ(net.node->lastResult().t_current, t5);
  EXPECT_EQ(net.node->lastComputedFrame(), 5);
  for (int f = 0; f <= 5; ++f) {
    EXPECT_EQ(net.audio.pulls[f], 1) << f;
    EXPECT_EQ(net.spectrum.pulls[f], 1) << f;
  }
  // Six analyses: the engine counter moved by six from its start.
  EXPECT_EQ(t5, net.node->engine()->t_current);
  EXPECT_EQ(net.node->engine()->t_current, (512 / 160) / 2 - 1 + 6);
}

TEST_F(NodeFrames, SilenceGivesNoBeatZeroTempoAndTheEngineReliability) {
  Network net(Parameters(0.5f, 160, 16000, 120, 60, false, false), ConstantAudio(1, 512, 0.0f),
              ConstantSpectrum(257, {0.0f, 0.0f}));
  for (int f = 0; f < 50; ++f) {
    EXPECT_FALSE(net.beat(f));
    EXPECT_EQ(net.scalar("TEMPO", f), 0.0f);
    EXPECT_EQ(net.scalar("CONFIDENCE", f), static_cast<float>(net.node->lastResult().reliability));
  }
}

TEST_F(NodeFrames, VectorOutputsOnlyWithTheVectorFlag) {
  Network without(Parameters(0.5f, 160, 16000, 120, 60, false, false), ConstantAudio(1, 512, 0.0f),
                  ConstantSpectrum(257, {0.0f, 0.0f}));
  const std::string error = ErrorOf([&] { without.node->getOutputNamed("ONSET_VECTOR", 0); });
  EXPECT_NE(error.find("trying to read not initialized element"), std::string::npos) << error;
  EXPECT_NE(error.find("Exception caught in BufferedNode::getOutput"), std::string::npos);

  Network with(Parameters(0.5f, 160, 16000, 120, 60, true, false), ConstantAudio(1, 512, 0.0f),
               ConstantSpectrum(257, {2.0f, 0.0f}));
  auto onset =
      RL::Conversion::convertTo<RL::Vector<float>>(with.node->getOutputNamed("ONSET_VECTOR", 1));
  auto stpm =
      RL::Conversion::convertTo<RL::Vector<float>>(with.node->getOutputNamed("STPM_VECTOR", 1));
  auto chroma =
      RL::Conversion::convertTo<RL::Vector<float>>(with.node->getOutputNamed("CHROMA_VECTOR", 1));
  EXPECT_EQ(onset->size(), 64u);
  EXPECT_EQ(stpm->size(), 49u);  // intervals 51 .. 99
  EXPECT_EQ(chroma->size(), 12u);
  const auto& result = with.node->lastResult();
  for (std::size_t i = 0; i < 12; ++i)
    EXPECT_EQ((*chroma)[i], static_cast<float>(result.chroma_vector[i]));
  for (std::size_t i = 0; i < 64; ++i)
    EXPECT_EQ((*onset)[i], static_cast<float>(result.onset_vector[i]));
}

// A click track at 100 beats per minute (60 frames): the reliable beats carry
// a tempo of 100, each is printed, logged and published.
TEST_F(NodeFrames, ClickTrackGivesReliableBeatsAtItsTempo) {
  auto clicks = std::make_shared<ClickTrack>(16000, 100.0, 512, 160, 20.0);
  Network net(
      Parameters(0.5f, 160, 16000, 120, 60, false, false),
      [clicks](int f) { return clicks->audio(f, 2); },
      [clicks](int f) { return clicks->spectrum(f); });
  int reliable = 0;
  for (int f = 0; f < clicks->frames(); ++f) {
    float tempo = net.scalar("TEMPO", f);
    if (tempo > 0.0f) {
      ++reliable;
      EXPECT_TRUE(net.beat(f));
      EXPECT_GE(net.scalar("CONFIDENCE", f), 0.5f);
    }
    if (f > 1500 && tempo > 0.0f) {
      EXPECT_NEAR(tempo, 100.0f, 0.01f);
    }
  }
  EXPECT_GT(reliable, 10);
  const std::string text = console.str();
  std::size_t printed = 0;
  for (auto at = text.find("Beat detected at time: "); at != std::string::npos;
       at = text.find("Beat detected at time: ", at + 1))
    ++printed;
  EXPECT_EQ(printed, static_cast<std::size_t>(reliable));
  std::ifstream log("bt_quendabt.dat");
  int lines = 0;
  double tempo;
  int frame;
  double reliability;
  while (log >> tempo >> frame >> reliability) ++lines;
  EXPECT_EQ(lines, reliable);
  SharedBeatState* notice = net.node->beatNotice();
  EXPECT_DOUBLE_EQ(notice->beatIntervalSec, 0.6);
  EXPECT_GE(notice->beatReliability, 0.5);
}

TEST_F(NodeFrames, AWaiterOnTheBeatNoticeIsWokenByAReliableBeat) {
  auto clicks = std::make_shared<ClickTrack>(16000, 100.0, 512, 160, 10.0);
  // Threshold 0: the first beat that falls due is reliable.
  Network net(
      Parameters(0.0f, 160, 16000, 120, 60, false, false),
      [clicks](int f) { return clicks->audio(f); },
      [clicks](int f) { return clicks->spectrum(f); });
  net.scalar("TEMPO", 0);
  SharedBeatState* notice = net.node->beatNotice();
  double seen = 0.0;
  bool woken = false;
  boost::thread waiter([&] {
    boost::mutex::scoped_lock lock(notice->mutex);
    while (notice->beatIntervalSec == 0.0) notice->beatCondition.wait(lock);
    seen = notice->beatIntervalSec;
    woken = true;
  });
  for (int f = 1; f < clicks->frames() && net.scalar("TEMPO", f) == 0.0f; ++f) {
  }
  waiter.join();
  EXPECT_TRUE(woken);
  EXPECT_GT(seen, 0.0);
}

// As a plug-in host may: nodes built and run in threads at once, sharing the
// framework's pools and boolean objects. Each gets the outputs of a node run
// alone. Run under ThreadSanitizer too.
TEST_F(NodeFrames, NodesInSeveralThreadsMatchEachAlone) {
  constexpr int kThreads = 3;
  // Planning a transform is not thread-safe in FFTW: the tracks plan theirs here.
  std::vector<std::unique_ptr<ClickTrack>> clicks;
  for (int i = 0; i < kThreads; ++i)
    clicks.push_back(std::make_unique<ClickTrack>(16000, 80.0 + 20.0 * i, 512, 160, 6.0));
  auto run = [&](int i) {
    ClickTrack& track = *clicks[i];
    Network net(
        Parameters(0.5f, 160, 16000, 120, 60, true, false),
        [&track](int f) { return track.audio(f); }, [&track](int f) { return track.spectrum(f); });
    std::vector<float> outputs;
    for (int f = 0; f < track.frames(); ++f) {
      outputs.push_back(net.scalar("TEMPO", f));
      outputs.push_back(net.scalar("CONFIDENCE", f));
      outputs.push_back(net.beat(f));
      auto stpm =
          RL::Conversion::convertTo<RL::Vector<float>>(net.node->getOutputNamed("STPM_VECTOR", f));
      outputs.insert(outputs.end(), stpm->begin(), stpm->end());
    }
    return outputs;
  };
  const auto [together, alone] = RunTogetherAndAlone(kThreads, run);
  for (int i = 0; i < kThreads; ++i) EXPECT_EQ(together[i], alone[i]) << "thread " << i;
  // The tracks differ, so shared state would have shown.
  EXPECT_NE(alone[0], alone[1]);
}

// A framework error in the middle of a request: the frames before it count as
// computed and are never analysed again.
TEST_F(NodeFrames, FailedRequestDoesNotAnalyseAFrameTwice) {
  bool failOnce = true;
  Network net(Parameters(0.5f, 160, 16000, 120, 60, false, false), ConstantAudio(1, 512, 0.0f),
              [&](int f) -> RL::Matrix<std::complex<float>>* {
                if (f == 3 && failOnce) {
                  failOnce = false;
                  return nullptr;
                }
                return new RL::Matrix<std::complex<float>>(1, 257);
              });
  const std::string error = ErrorOf([&] { net.scalar("TEMPO", 5); });
  EXPECT_NE(error.find("source has no frame 3"), std::string::npos) << error;
  EXPECT_EQ(net.node->lastComputedFrame(), 2);
  const int start = (512 / 160) / 2 - 1;
  EXPECT_EQ(net.node->engine()->t_current, start + 3);
  net.scalar("TEMPO", 5);
  EXPECT_EQ(net.node->engine()->t_current, start + 6);
}

TEST_F(NodeFrames, FramesOfTheWrongSizeAreRefusedBeforeTheEngineSeesThem) {
  struct Case {
    int badFrame;
    std::size_t audioRows, audioCols, spectrumRows, spectrumCols;
    const char* expected;
  };
  const Case cases[] = {
      {4, 1, 511, 1, 257,
       "input AUDIO has 511 columns, 512 expected (the width of frame 0) at frame 4"},
      {4, 1, 513, 1, 257, "input AUDIO has 513 columns, 512 expected"},
      {4, 0, 512, 1, 257, "input AUDIO has no rows"},
      {4, 1, 512, 1, 258,
       "input FFTAUDIO has 1 rows of 258 columns, at least one row of exactly 257"},
      {4, 1, 512, 1, 256, "input FFTAUDIO has 1 rows of 256 columns"},
      {4, 1, 512, 0, 0, "input FFTAUDIO has 0 rows of 0 columns"},
      {0, 1, 1, 1, 1, "input AUDIO has 1 columns, at least 2 expected at frame 0"},
      {0, 1, 100, 1, 51, "input AUDIO has 100 columns, fewer than ADVANCE = 160"},
      {0, 1, 65538, 1, 32770, "input AUDIO has 65538 columns, at most 65536 expected"},
  };
  for (const Case& c : cases) {
    Network net(
        Parameters(0.5f, 160, 16000, 120, 60, false, false),
        [&](int f) {
          return f == c.badFrame ? new RL::Matrix<float>(c.audioRows, c.audioCols)
                                 : new RL::Matrix<float>(1, 512);
        },
        [&](int f) {
          return f == c.badFrame
                     ? new RL::Matrix<std::complex<float>>(c.spectrumRows, c.spectrumCols)
                     : new RL::Matrix<std::complex<float>>(1, 257);
        });
    const std::string error = ErrorOf([&] { net.scalar("TEMPO", 6); });
    EXPECT_NE(error.find(c.expected), std::string::npos) << error;
    const int start = (512 / 160) / 2 - 1;
    if (c.badFrame == 0) {
      // No width, no engine: the next request is refused the same way.
      EXPECT_EQ(net.node->lastComputedFrame(), -1);
      EXPECT_EQ(net.node->engine(), nullptr);
      EXPECT_NE(ErrorOf([&] { net.scalar("TEMPO", 6); }).find(c.expected), std::string::npos);
      continue;
    }
    // The request stops at the bad frame, which the engine heard as silence.
    EXPECT_EQ(net.node->lastComputedFrame(), c.badFrame);
    EXPECT_EQ(net.node->engine()->t_current, start + c.badFrame + 1);
    EXPECT_FALSE(net.beat(c.badFrame));
    EXPECT_EQ(net.scalar("TEMPO", 6), 0.0f);
    EXPECT_EQ(net.node->engine()->t_current, start + 7);
    EXPECT_EQ(net.audio.pulls[c.badFrame], 1);
  }
}

// One frame of the wrong width, or not a matrix at all, in a click track: one
// error, and the beats go on as in the clean run.
TEST_F(NodeFrames, ARefusedFrameIsReportedOnceAndTheBeatsGoOn) {
  auto clicks = std::make_shared<ClickTrack>(16000, 100.0, 512, 160, 20.0);
  constexpr int kBad = 700;
  auto run = [&](std::function<RL::Object*(int)> badAudio, std::vector<std::string>& errors) {
    Network net(
        Parameters(0.5f, 160, 16000, 120, 60, true, false),
        [&](int f) { return f == kBad && badAudio ? badAudio(f) : clicks->audio(f); },
        [clicks](int f) { return clicks->spectrum(f); });
    std::vector<int> beats;
    for (int f = 0; f < clicks->frames(); ++f) {
      try {
        if (net.scalar("TEMPO", f) > 0.0f) beats.push_back(f);
      } catch (RL::BaseException* e) {
        std::unique_ptr<RL::BaseException> owned(e);
        errors.push_back(e->message());
        // The refused frame's outputs are there for the next reader.
        EXPECT_FALSE(net.beat(f));
        EXPECT_EQ(net.scalar("TEMPO", f), 0.0f);
        EXPECT_TRUE(net.node->getOutputNamed("CHROMA_VECTOR", f));
      }
    }
    return beats;
  };
  std::vector<std::string> errors;
  const std::vector<int> clean = run(nullptr, errors);
  ASSERT_TRUE(errors.empty());
  ASSERT_GT(clean.size(), 10u);
  ASSERT_LT(clean.front(), kBad);

  const std::pair<std::function<RL::Object*(int)>, std::string> faults[] = {
      {[](int) { return new RL::Matrix<float>(1, 256); },
       "input AUDIO has 256 columns, 512 expected (the width of frame 0) at frame 700"},
      {[](int) { return new RL::NetCType<float>(1.0f); },
       "Cannot convert RL::NetCType<float> into RL::Matrix<float>"},
  };
  for (const auto& fault : faults) {
    errors.clear();
    const std::vector<int> beats = run(fault.first, errors);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find(fault.second), std::string::npos) << errors[0];
    EXPECT_LE(std::abs(static_cast<int>(beats.size()) - static_cast<int>(clean.size())), 1);
    auto after = [](const std::vector<int>& b) {
      return std::vector<int>(std::upper_bound(b.begin(), b.end(), kBad + 300), b.end());
    };
    EXPECT_EQ(after(beats), after(clean));
  }
}

TEST_F(NodeFrames, RestartAtFrameZeroReplacesEngineAndNotice) {
  Network net(Parameters(0.5f, 160, 16000, 120, 60, false, false), ConstantAudio(1, 512, 0.0f),
              ConstantSpectrum(257, {0.0f, 0.0f}));
  net.scalar("TEMPO", 10);
  net.node->reset();
  net.audio.reset();
  net.spectrum.reset();
  net.scalar("TEMPO", 0);
  EXPECT_EQ(net.node->engine()->t_current, (512 / 160) / 2 - 1 + 1);
  // Only what frame 0 of the new run queued is left.
  ASSERT_LE(net.node->queuedBeats().size(), 1u);
  if (!net.node->queuedBeats().empty()) {
    EXPECT_LT(net.node->queuedBeats().front(), 200);
  }
}

TEST_F(NodeFrames, LogFlagWritesTheEngineFilesInTheWorkingDirectory) {
  Network net(Parameters(0.5f, 160, 16000, 120, 60, false, true), ConstantAudio(1, 512, 0.0f),
              ConstantSpectrum(257, {1.0f, 0.0f}));
  net.scalar("TEMPO", 2);
  std::ifstream mel("bt_melfilterbank.dat");
  std::string line;
  int lines = 0;
  while (std::getline(mel, line)) ++lines;
  EXPECT_EQ(lines, 3);
}

}  // namespace
