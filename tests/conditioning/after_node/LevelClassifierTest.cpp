// The level classifier tells which of two beats is the stronger, where the
// beats at half the tempo fall, and takes played onsets near a beat as on it.
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

TEST(LevelClassifier, AnOnsetAFewFramesOffItsBeatStillCountsOnIt) {
  // Played drums at 120 BPM: the kick and the snare land 30 ms before or
  // after the beat (players are not together to the frame), the hats on the
  // off-beats exactly. The beats are right, not half a beat off.
  LevelClassifier level(150.0, 100.0);
  for (long f = 0; f < 3000; ++f) {
    const long beat = (f + 3) / 50, at = beat * 50, late = beat % 3 == 0 ? -3 : 3;
    LevelClassifier::Onsets o;
    if (f == at + late) {
      o.low = beat % 2 == 0 ? 1.0 : 0.2;
      o.mid = beat % 2 == 0 ? 0.2 : 1.0;
    }
    if (f == at + 25) o.high = 0.6;
    o.all = o.low + o.mid + o.high;
    level.push(o);
    if (f % 50 == 0) level.beat(f, 120.0);
  }
  ASSERT_GT(level.judged(), 40);
  EXPECT_GT(level.share(LevelClassifier::kRight), 0.6);
  EXPECT_LT(level.share(LevelClassifier::kOffBeat), 0.2);
}

TEST(LevelClassifier, BeatsOnTheSwungEighthOfAShuffleAreFoundAThirdOfABeatEarly) {
  // A shuffle at 120 BPM: hats on the beats and on the swung eighths (two
  // thirds of a beat on), snare on the backbeats, the kick on the swung
  // eighths and on the first beat. Beats placed on the swung eighths find
  // the beat four twelfths after them; placed on the beats, in place.
  for (long placed : {33L, 0L}) {
    LevelClassifier level(150.0, 100.0);
    for (long f = 0; f < 3000; ++f) {
      const long beat = f / 50, at = f % 50;
      LevelClassifier::Onsets o;
      if (at == 0) {
        o.high = 1.0;
        (beat % 2 == 1 ? o.mid : o.low) = 1.0;
      } else if (at == 33) {
        o.high = 0.5;
        o.low = 1.5;
      }
      o.all = o.low + o.mid + o.high;
      level.push(o);
      if (at == placed) level.beat(f, 120.0);
    }
    const vesk_conditioning::BeatPhase& phase = level.phase();
    ASSERT_GT(phase.judged(), 40);
    EXPECT_GT(phase.share(placed == 0 ? 0 : 4), 0.85) << "placed " << placed << " frames on";
  }
}
