#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "apps/vesk-beat/InputPipeline.h"
#include "tests/app/MemoryReader.h"

namespace {

// The same samples, but presented as a stream of unknown length, which the
// pipeline reads in the caller's thread.
class StreamReader : public MemoryReader {
 public:
  using MemoryReader::MemoryReader;
  std::int64_t frameCount() const override { return -1; }
};

// Fails after handing out `good` reads.
class FailingReader : public MemoryReader {
 public:
  FailingReader(std::vector<float> samples, int good)
      : MemoryReader(std::move(samples), 1, 16000, 100), left(good) {}
  std::size_t read(float* out, std::size_t frames) override {
    if (left-- == 0) throw vesk_beat::AudioError("disk went away");
    return MemoryReader::read(out, frames);
  }

 private:
  int left;
};

std::vector<float> Tone(std::size_t frames, int channels) {
  std::vector<float> x(frames * channels);
  for (std::size_t i = 0; i < x.size(); ++i) x[i] = static_cast<float>(std::sin(0.01 * i));
  return x;
}

std::vector<float> Drain(vesk_beat::InputPipeline& pipeline) {
  std::vector<float> all;
  while (pipeline.next(all)) {
  }
  return all;
}

TEST(InputPipeline, AFileReadAheadGivesTheSamplesAStreamGives) {
  for (int rate : {16000, 44100}) {
    const std::vector<float> input = Tone(100000, 2);
    vesk_beat::InputPipeline file(std::make_unique<MemoryReader>(input, 2, rate, 3000), 16000,
                                  true);
    vesk_beat::InputPipeline stream(std::make_unique<StreamReader>(input, 2, rate, 3000), 16000,
                                    true);
    vesk_beat::InputPipeline inCaller(std::make_unique<MemoryReader>(input, 2, rate, 3000), 16000,
                                      false);
    const std::vector<float> a = Drain(file);
    const std::vector<float> b = Drain(stream);
    EXPECT_EQ(a, b) << rate;
    EXPECT_EQ(a, Drain(inCaller)) << rate;
    if (rate == 16000) {
      EXPECT_EQ(a, input);  // no resampling: the samples themselves
    }
    std::vector<float> after;
    EXPECT_FALSE(file.next(after));
    EXPECT_TRUE(after.empty());
  }
}

TEST(InputPipeline, AReadErrorArrivesAfterTheSamplesReadBeforeIt) {
  vesk_beat::InputPipeline pipeline(std::make_unique<FailingReader>(Tone(10000, 1), 3), 16000,
                                    true);
  std::vector<float> got;
  try {
    while (pipeline.next(got)) {
    }
    FAIL() << "the error was lost";
  } catch (const vesk_beat::AudioError& e) {
    EXPECT_STREQ(e.what(), "disk went away");
  }
  EXPECT_EQ(got.size(), 300u);
}

TEST(InputPipeline, StopsItsThreadWhenLeftEarly) {
  // A long file abandoned after one chunk: the destructor must not wait for
  // the whole file to be read.
  auto pipeline = std::make_unique<vesk_beat::InputPipeline>(
      std::make_unique<MemoryReader>(Tone(2000000, 1), 1, 44100, 4096), 16000, true);
  std::vector<float> first;
  ASSERT_TRUE(pipeline->next(first));
  EXPECT_FALSE(first.empty());
  pipeline.reset();
}

}  // namespace
