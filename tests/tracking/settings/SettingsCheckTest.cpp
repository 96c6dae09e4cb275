#include "tracking/settings/SettingsCheck.h"

#include <gtest/gtest.h>

#include <cmath>

#include "tracking/SettingError.h"
#include "tracking/settings/SettingsTable.h"

using namespace vesk_tracking;

namespace {

std::string refusal(const SettingValues& v, Spelling spelling) {
  try {
    checkSettingValues(v, spelling);
  } catch (const SettingError& e) {
    return e.what();
  }
  return "(accepted)";
}

}  // namespace

TEST(SettingsCheck, OneCheckSpeaksEachHostsNames) {
  SettingValues v;
  v.hop = 600;
  EXPECT_EQ(refusal(v, Spelling::Option),
            "--hop: 600 exceeds the frame length 512 (allowed: 1..512)");
  EXPECT_EQ(refusal(v, Spelling::Keyword),
            "hop: 600 exceeds the frame length 512 (allowed: 1..512)");
  v = SettingValues();
  v.minBpm = 1000;
  EXPECT_EQ(refusal(v, Spelling::Keyword),
            "min_bpm 1000 and max_bpm 200: the maximum must exceed the minimum by at least 2");
  v = SettingValues();
  v.threshold = 1.0000001;  // shown as given, not rounded to 1.000000
  EXPECT_EQ(refusal(v, Spelling::Keyword), "threshold: 1.0000001 is out of range (allowed: 0..1)");
  v.threshold = NAN;
  EXPECT_EQ(refusal(v, Spelling::Keyword), "threshold: nan is not a number (allowed: 0..1)");
  v = SettingValues();
  v.afterNode = "later";
  EXPECT_EQ(refusal(v, Spelling::Option),
            "--after-node: unknown stage 'later' (allowed: none, phase, predict, meter)");
  v = SettingValues();
  v.rate = 4000;
  v.maxBpm = 1000;  // an interval shorter than the 6 frames the node needs
  EXPECT_EQ(refusal(v, Spelling::Keyword).rfind("max_bpm: 1000 gives a beat interval of", 0), 0u);
  v = SettingValues();
  v.window = "Blackman-Harris";  // any case
  EXPECT_EQ(checkSettingValues(v, Spelling::Keyword).settings.window,
            WindowFunction::BlackmanHarris);
}

TEST(SettingsCheck, TheDefaultsOfEveryRowPassAndGiveTheDefaultTracker) {
  const TrackingSettings t = checkSettingValues(SettingValues(), Spelling::Keyword);
  EXPECT_EQ(t.settings.rate, defaults::kRate);
  EXPECT_EQ(t.settings.threshold, defaults::kThreshold);
  EXPECT_EQ(t.stage.afterNode, defaults::kAfterNode);
  ASSERT_TRUE(t.settings.frontEnd);
  EXPECT_EQ(t.settings.frontEnd->gateDb, defaults::kGateDb);
  for (const SettingRow& row : settingRows()) {
    EXPECT_EQ(settingRow(row.key), &row);
    EXPECT_NE(std::string(row.help), "") << row.key;
    EXPECT_EQ(row.names != nullptr, row.kind == SettingRow::Kind::Name) << row.key;
  }
  EXPECT_EQ(spelled("low_pass", Spelling::Option), "--low-pass");
  EXPECT_EQ(defaultText(*settingRow("threshold")), "0.4");
  EXPECT_EQ(defaultText(*settingRow("gate")), "-60");
}
