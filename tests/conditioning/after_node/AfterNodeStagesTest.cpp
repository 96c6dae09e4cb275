#include <gtest/gtest.h>

#include "conditioning/after_node/AfterNodeStage.h"

using namespace vesk_conditioning;

namespace {
StageFormat format() {
  StageFormat f;
  f.bins = 257;
  f.frameRate = 100.0;
  f.frameSeconds = 0.01;
  f.minBpm = 80;
  f.maxBpm = 200;
  f.binHz = 31.25;
  f.threshold = 0.4f;
  return f;
}
}  // namespace

TEST(AfterNodeStages, EveryNameChoosesItsStageAndUnknownNamesNone) {
  for (const std::string& name : afterNodeNames()) {
    const std::optional<AfterNode> stage = afterNodeNamed(name);
    ASSERT_TRUE(stage) << name;
    EXPECT_EQ(afterNodeName(*stage), name);
    EXPECT_TRUE(makeAfterNodeStage(*stage, format()));
  }
  EXPECT_FALSE(afterNodeNamed("Predict"));
  EXPECT_EQ(afterNodeList(), "none, phase, predict, meter");
}

TEST(AfterNodeStages, NoneReportsTheNodesReliableBeatsWithItsOwnTempo) {
  auto stage = makeAfterNodeStage(AfterNode::None, format());
  EXPECT_FALSE(stage->needs().onsets || stage->needs().spectrum);
  FrameRecord r;
  r.beat = true;
  r.tempo = 0.0f;  // below the threshold
  r.intervalFrames = 50;
  EXPECT_FALSE(stage->process(r).due);
  r.tempo = 120.0f;
  const AfterNodeStage::Beat beat = stage->process(r);
  EXPECT_TRUE(beat.due);
  EXPECT_EQ(beat.intervalFrames, 50);
  EXPECT_EQ(beat.tempo, 120.0);
  EXPECT_EQ(stage->latencySeconds(), 0.0);
}

TEST(AfterNodeStages, PredictWeighsOnsetsAndReportsItsLag) {
  auto stage = makeAfterNodeStage(AfterNode::Predict, format());
  EXPECT_TRUE(stage->needs().onsets);
  EXPECT_GT(stage->latencySeconds(), 0.0);
  const OnsetEnergy::Value silent;
  FrameRecord r;
  r.onset = &silent;
  for (r.frame = 0; r.frame < 300; ++r.frame) EXPECT_FALSE(stage->process(r).due);
}
