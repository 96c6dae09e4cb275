// The level classifier tells which of two beats is the stronger, where the
// beats at half the tempo fall.
#include <gtest/gtest.h>

#include "conditioning/after_node/LevelClassifier.h"

using vesk_conditioning::LevelClassifier;

TEST(LevelClassifier, TheStrongerBeatIsTheOneWithTheKickWhicheverComesLast) {
  // Beats every 40 frames (150 BPM at 100 frames per second): a kick on every
  // other one, a hat on all of them; the kick first or second.
  for (int kickFirst : {0, 1}) {
    LevelClassifier level(150.0, 100.0);
    long lastBeat = -1;
    for (long f = 0; f < 2000; ++f) {
      const long beat = f / 40;
      const bool onBeat = f % 40 == 0;
      LevelClassifier::Onsets o;
      if (onBeat) {
        o.high = 1.0;
        if (beat % 2 == kickFirst) o.low = o.mid = 1.0;
        o.all = o.low + o.high;
      }
      level.push(o);
      if (onBeat) level.beat(lastBeat = f, 150.0);
    }
    ASSERT_GT(level.judged(), 0);
    // The last beat judged is the one before the last placed (its onsets
    // were in by then); the kicks fall on beats of kickFirst's parity.
    const long stronger = level.strongerBeat();
    EXPECT_EQ((stronger / 40) % 2, kickFirst) << "kick first: " << kickFirst;
    EXPECT_GE(stronger, lastBeat - 80);
  }
}

TEST(LevelClassifier, AFewBeatsAfterARestartTellTheStrongerBeat) {
  // Four beats at a new level are enough, before any judgement: the level
  // may change again that soon, and the beats at half the tempo go on from
  // the kick. A restart keeps what they told.
  for (int kickFirst : {0, 1}) {
    LevelClassifier level(150.0, 100.0);
    for (long f = 0; f < 400; ++f) {
      LevelClassifier::Onsets o;
      o.all = o.high = 0.2;
      level.push(o);
    }
    long lastBeat = -1;
    for (long f = 400; f <= 400 + 3 * 40; ++f) {
      LevelClassifier::Onsets o;
      if (f % 40 == 0) o.all = o.low = ((f / 40) % 2 == kickFirst) ? 1.0 : 0.1;
      level.push(o);
      if (f % 40 == 0) level.beat(lastBeat = f, 150.0);
    }
    ASSERT_EQ(level.judged(), 0);
    const long stronger = level.strongerBeat();
    EXPECT_EQ((stronger / 40) % 2, kickFirst) << "kick first: " << kickFirst;
    EXPECT_GE(stronger, lastBeat - 40);
    level.restart();
    EXPECT_EQ(level.strongerBeat(), stronger);
  }
}
