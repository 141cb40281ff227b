// SPDX-License-Identifier: GPL-3.0-or-later
// The tracking level and the input/attenuator lines.
#include <gtest/gtest.h>

#include "TestRig.h"
#include "receiver/TrackingLevel.h"

namespace quarvel {
namespace {

using testing::Bytes;
using testing::Rig;

TEST(TrackingTable, BreakpointsSlopesAndRounding) {
  struct Row {
    float khz;
    int level;
  };
  const Row rows[] = {
      {0, 0},       {3000, 0},    {3005, 0},    {3500, 0},    {3600, 3},    {3750, 8},
      {4000, 17},   {4500, 32},   {5125, 52},   {6060, 77},   {7000, 94},   {7005, 93},
      {12000, 209}, {13975, 254}, {13980, 255}, {14000, 255}, {30000, 255},
  };
  for (const auto& r : rows) EXPECT_EQ(receiver::ComputeTrackingLevel(r.khz), r.level) << r.khz;
}

TEST(TrackingTable, TiesGoToTheEvenNeighbour) {
  EXPECT_EQ(receiver::RoundHalfEven(8.5f), 8);
  EXPECT_EQ(receiver::RoundHalfEven(51.5f), 52);
  EXPECT_EQ(receiver::RoundHalfEven(32.5f), 32);
  EXPECT_EQ(receiver::RoundHalfEven(254.54f), 255);
  EXPECT_EQ(receiver::RoundHalfEven(0.49f), 0);
}

TEST(TrackingUpdate, BandButtonSetsTheLevelWhereTuningLeavesIt) {
  Rig rig;
  rig.Start();
  rig.controls.ScrollBar1.SetPosition(600);  // 3000 kHz: tuning leaves the level alone
  EXPECT_EQ(rig.controls.ScrollBar4.Position(), 77);
  ASSERT_EQ(rig.Bursts().size(), 1u);
  rig.Forget();
  rig.rx.Cmd10_40Click();  // the band button sets it whatever f is
  EXPECT_EQ(rig.controls.ScrollBar4.Position(), 0);
  EXPECT_EQ(rig.controls.Edit1.Text(), "0");
  const auto msgs = rig.Messages();
  ASSERT_EQ(msgs.size(), 2u);
  EXPECT_EQ(msgs[1], (std::vector<Bytes>{{0x90, 0x40, 0x00}}));
}

// A band button changes the tuned frequency by the band's factor; the level follows it as a
// tuning step would: set above 3000 kHz, left alone at or below.
TEST(TrackingUpdate, BandButtonsCarryTheLevelToTheNewFrequency) {
  using R = receiver::ReceiverControl;
  struct Case {
    void (R::*click)();
    const char* caption;
    int level;        // after the click, from position 1212 and the start-up level 77
    int levelBursts;  // level bursts the click sends
  };
  const Case cases[] = {
      {&R::CMD1_4Click, "0.13...0,8 MHz", 77, 0},  // 606 kHz
      {&R::CMD2_8Click, "0,4...1,6 MHz", 77, 0},   // 1212 kHz
      {&R::Cmd4_16Click, "0,8...3,2 MHz", 77, 0},  // 2424 kHz
      {&R::Cmd10_40Click, "2...10 MHz", 77, 0},    // 6060 kHz, the same level
      {&R::Cmd25_100Click, "4...20 MHz", 212, 1},  // 12120 kHz
      {&R::CmdhighClick, "10...30 MHz", 255, 1},   // clamped to 1200: 30000 kHz
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.caption);
    Rig rig;
    rig.Start();
    (rig.rx.*c.click)();
    EXPECT_EQ(rig.controls.ScrollBar4.Position(), c.level);
    EXPECT_EQ(rig.controls.Edit1.Text(), std::to_string(c.level));
    const auto msgs = rig.Messages();
    ASSERT_FALSE(msgs.empty());
    int levelBursts = 0;
    for (const auto& burst : msgs)
      if (burst.size() == 1 && burst[0][0] == 0x90) ++levelBursts;
    EXPECT_EQ(levelBursts, c.levelBursts);
    if (c.levelBursts > 0) {
      EXPECT_EQ(msgs.back(),
                (std::vector<Bytes>{{0x90, 0x40, static_cast<std::uint8_t>(c.level)}}));
    }
  }

  // From 10025 kHz in "10...30 MHz" (level 156) to "4...20 MHz" at the same position: 4010 kHz.
  Rig rig;
  rig.Start();
  rig.rx.CmdhighClick();
  rig.controls.ScrollBar1.SetPosition(401);
  ASSERT_EQ(rig.controls.ScrollBar4.Position(), 156);
  rig.Forget();
  rig.rx.Cmd25_100Click();
  EXPECT_EQ(rig.controls.Edit1.Text(), "17");
  const auto msgs = rig.Messages();
  ASSERT_EQ(msgs.size(), 2u);
  EXPECT_EQ(msgs[1], (std::vector<Bytes>{{0x90, 0x40, 17}}));
}

TEST(TrackingUpdate, HandSetLevelSurvivesLowTuningAndIsReplacedAboveIt) {
  Rig rig;
  rig.Start();
  rig.controls.ScrollBar1.SetPosition(500);  // 2500 kHz
  rig.Forget();
  rig.controls.ScrollBar4.SetPosition(200);  // by hand
  EXPECT_EQ(rig.controls.Edit1.Text(), "200");
  ASSERT_EQ(rig.Messages().size(), 1u);
  EXPECT_EQ(rig.Messages()[0], (std::vector<Bytes>{{0x90, 0x40, 200}}));
  rig.controls.ScrollBar1.SetPosition(600);  // 3000 kHz: still the hand-set level
  EXPECT_EQ(rig.controls.ScrollBar4.Position(), 200);
  rig.Forget();
  rig.controls.ScrollBar1.SetPosition(601);  // 3005 kHz: the table's 0 replaces it
  EXPECT_EQ(rig.controls.Edit1.Text(), "0");
  ASSERT_EQ(rig.Messages().size(), 2u);
  EXPECT_EQ(rig.Messages()[1], (std::vector<Bytes>{{0x90, 0x40, 0x00}}));
  rig.controls.ScrollBar4.SetPosition(200);  // by hand again
  rig.Forget();
  rig.controls.ScrollBar1.SetPosition(1000);  // 5000 kHz: the table's 48 replaces it
  EXPECT_EQ(rig.controls.ScrollBar4.Position(), 48);
  const auto msgs = rig.Messages();
  ASSERT_EQ(msgs.size(), 2u);
  EXPECT_EQ(msgs[1], (std::vector<Bytes>{{0x90, 0x40, 48}}));
}

TEST(TrackingUpdate, SameLevelTwiceSendsOneBurst) {
  Rig rig;
  rig.Start();
  rig.controls.ScrollBar4.SetPosition(10);
  rig.controls.ScrollBar4.SetPosition(10);
  EXPECT_EQ(rig.Bursts().size(), 1u);
  // Tuning by one step at 6060 kHz keeps the level at 77 after a hand-set 77: nothing sent.
  rig.controls.ScrollBar4.SetPosition(77);
  rig.Forget();
  rig.controls.ScrollBar1.SetPosition(1213);
  EXPECT_EQ(rig.Bursts().size(), 1u);
}

TEST(Selection, InputAndAttenuatorBitsReachEveryLaterState) {
  Rig rig;
  rig.Start();
  rig.rx.Mux7Click();
  rig.rx.db20Click();
  rig.controls.ScrollBar4.SetPosition(3);
  rig.controls.ScrollBar1.SetPosition(1500);
  const auto bursts = rig.Bursts();
  ASSERT_EQ(bursts.size(), 5u);  // In8, -20 dB, level, tuning clock + level
  for (std::size_t b = 1; b < bursts.size(); ++b) {
    for (auto s : bursts[b]) {
      EXPECT_EQ(s & 0x7C, 0x5C) << "burst " << b;
      EXPECT_EQ(s & 0x80, 0);
    }
  }
  EXPECT_EQ(bursts[0].front() & 0x7C, 0x1C);  // In8 alone before the attenuator
  EXPECT_EQ(bursts[0].size(), 317u);
}

TEST(Selection, SameInputTwiceSendsTwoIdenticalClockBursts) {
  Rig rig;
  rig.Start();
  rig.rx.Mux2Click();
  rig.rx.Mux2Click();
  const auto bursts = rig.Bursts();
  ASSERT_EQ(bursts.size(), 2u);
  EXPECT_EQ(bursts[0], bursts[1]);
  EXPECT_EQ(bursts[0][0] & 0x7C, 2 * 4);
}

TEST(Selection, AttenuatorStepsChangeOnlyTheirBitsAndNeverMakeCode3) {
  Rig rig;
  rig.Start();
  rig.rx.Mux5Click();
  rig.rx.db10Click();
  rig.rx.db0Click();
  rig.rx.db20Click();
  rig.rx.db10Click();
  const auto bursts = rig.Bursts();
  ASSERT_EQ(bursts.size(), 5u);
  const int expectedAtt[] = {0, 1, 0, 2, 1};
  for (std::size_t i = 0; i < bursts.size(); ++i) {
    EXPECT_EQ((bursts[i][0] >> 5) & 3, expectedAtt[i]);
    EXPECT_EQ((bursts[i][0] >> 2) & 7, 5);  // the input stays
    for (auto s : bursts[i]) EXPECT_NE((s >> 5) & 3, 3);
  }
}

TEST(Selection, BitsStayWhenABurstFailsAndTheNextOneCarriesThem) {
  Rig rig;
  rig.Start();
  rig.driver.SetPresent(false);
  rig.rx.Mux3Click();
  rig.rx.db10Click();
  EXPECT_EQ(rig.reporter.boxes.size(), 10u);
  rig.driver.SetPresent(true);
  rig.Forget();
  rig.controls.ScrollBar3.SetPosition(1);
  const auto bursts = rig.Bursts();
  ASSERT_EQ(bursts.size(), 2u) << "the trim's burst, then the level the board may have lost";
  for (const auto& burst : bursts)
    for (auto s : burst) EXPECT_EQ(s & 0x7C, 3 * 4 + 32);
  EXPECT_EQ(bursts[1].size(), 89u);
  EXPECT_TRUE(rig.reporter.boxes.empty());
}

}  // namespace
}  // namespace quarvel
