// SPDX-License-Identifier: GPL-3.0-or-later
// The band plan and tuning: what the user sees and what the clock generator receives.
#include <gtest/gtest.h>

#include "TestRig.h"
#include "receiver/BandPlan.h"

namespace quarvel {
namespace {

using testing::Bytes;
using testing::Rig;

// The registers of a clock burst: [D2 40 r40 r41 r42], [D2 0C div], [D2 13 trim].
struct ClockBurst {
  std::int32_t n;
  std::uint8_t r42Base;
  std::uint8_t divider;
  std::uint8_t trim;
};

ClockBurst ReadClockBurst(const std::vector<Bytes>& messages) {
  EXPECT_EQ(messages.size(), 3u);
  if (messages.size() != 3) return {};
  const Bytes& r = messages[0];
  return {2 * ((r[2] & 3) * 256 + r[3] + 4) + (r[4] >> 7), static_cast<std::uint8_t>(r[4] & 0x7F),
          messages[1][2], messages[2][2]};
}

TEST(StartUp, ShowsTheBandAndSendsOneClockBurstThenTheLevel) {
  Rig rig;
  rig.Start(false);
  EXPECT_EQ(rig.controls.Freq.Text(), "6075 kHz");
  EXPECT_EQ(rig.controls.LabelFmin.Text(), "2 MHz");
  EXPECT_EQ(rig.controls.LabelFmax.Text(), "10 MHz");
  EXPECT_EQ(rig.controls.Offset.Text(), "15");
  EXPECT_EQ(rig.controls.ScrollBar1.Min(), 400);
  EXPECT_EQ(rig.controls.ScrollBar1.Max(), 2000);
  EXPECT_EQ(rig.controls.ScrollBar1.PageStep(), 1);
  const auto msgs = rig.Messages();
  ASSERT_EQ(msgs.size(), 2u);
  EXPECT_EQ(msgs[0], (std::vector<Bytes>{
                         {0xD2, 0x40, 0xD2, 0x5A, 0x30}, {0xD2, 0x0C, 0x0A}, {0xD2, 0x13, 0x7F}}));
  EXPECT_EQ(msgs[1], (std::vector<Bytes>{{0x90, 0x40, 0x4D}}));
  EXPECT_EQ(rig.Bursts()[1].size(), 89u);
  EXPECT_EQ(rig.controls.Edit1.Text(), "77");
}

struct BandCase {
  void (receiver::ReceiverControl::*click)();
  receiver::BandIndex band;
  const char* freqText;  // from position 1212, offset 15
};

TEST(BandButtons, EachBandSetsItsRangeLabelsDividerAndFrequency) {
  using R = receiver::ReceiverControl;
  const BandCase cases[] = {
      {&R::CMD1_4Click, receiver::kBand1_4, "621 kHz"},
      {&R::CMD2_8Click, receiver::kBand2_8, "1227 kHz"},
      {&R::Cmd4_16Click, receiver::kBand4_16, "2439 kHz"},
      {&R::Cmd10_40Click, receiver::kBand10_40, "6075 kHz"},
      {&R::Cmd25_100Click, receiver::kBand25_100, "12135 kHz"},
      {&R::CmdhighClick, receiver::kBandHigh, "30015 kHz"},  // clamped to 1200
  };
  for (const auto& c : cases) {
    const auto& band = receiver::kBands[c.band];
    SCOPED_TRACE(std::string(band.caption));
    Rig rig;
    rig.Start();
    (rig.rx.*c.click)();
    EXPECT_EQ(rig.controls.LabelFmin.Text(), band.labelMin);
    EXPECT_EQ(rig.controls.LabelFmax.Text(), band.labelMax);
    EXPECT_EQ(rig.controls.ScrollBar1.Min(), band.min);
    EXPECT_EQ(rig.controls.ScrollBar1.Max(), band.max);
    EXPECT_EQ(rig.controls.ScrollBar1.PageStep(), band.pageStep);
    EXPECT_EQ(rig.controls.Freq.Text(), c.freqText);  // the offset is included
    const auto msgs = rig.Messages();
    ASSERT_GE(msgs.size(), 1u);
    const ClockBurst first = ReadClockBurst(msgs[0]);
    EXPECT_EQ(first.n, 1212);
    EXPECT_EQ(first.divider, band.divider);
    EXPECT_EQ(first.r42Base, band.highBand ? 0x17 : 0x30);
    EXPECT_EQ(first.trim, 0x7F);
  }
}

TEST(BandButtons, ExactLabelTextsAndTheHighBandEnds) {
  const char* expected[][2] = {{"0.13 MHz", "0,8 MHz"}, {"0.4 MHz", "1,6 MHz"},
                               {"0,8 MHz", "3,2 MHz"},  {"2 MHz", "10 MHz"},
                               {"4 MHz", "20 MHz"},     {"10 MHz", "30 MHz"}};
  for (std::size_t i = 0; i < receiver::kBands.size(); ++i) {
    EXPECT_EQ(receiver::kBands[i].labelMin, expected[i][0]);
    EXPECT_EQ(receiver::kBands[i].labelMax, expected[i][1]);
  }
}

TEST(BandButtons, PositionInsideTheNewRangeSendsOneBurst) {
  Rig rig;
  rig.Start();
  rig.rx.CMD1_4Click();
  EXPECT_EQ(rig.Bursts().size(), 1u);
  EXPECT_EQ(rig.controls.Freq.Text(), "621 kHz");
}

TEST(BandButtons, RangeThatMovesThePositionRetunesWithASecondBurst) {
  Rig rig;
  rig.Start();
  rig.controls.ScrollBar1.SetPosition(2000);
  rig.Forget();
  rig.rx.CMD2_8Click();
  const auto msgs = rig.Messages();
  // Clock burst for 2000, clock burst for 1600; the band is below the tracking threshold.
  ASSERT_EQ(msgs.size(), 2u);
  EXPECT_EQ(ReadClockBurst(msgs[0]).n, 2000);
  EXPECT_EQ(ReadClockBurst(msgs[0]).divider, 50);
  EXPECT_EQ(ReadClockBurst(msgs[1]).n, 1600);
  EXPECT_EQ(ReadClockBurst(msgs[1]).divider, 50);
  EXPECT_EQ(rig.controls.Freq.Text(), "1615 kHz");
  EXPECT_EQ(rig.rx.TuningPosition(), 1600);
}

TEST(BandButtons, MinimumRaisesALowPosition) {
  Rig rig;
  rig.Start();
  rig.rx.CMD1_4Click();
  rig.controls.ScrollBar1.SetPosition(300);
  rig.Forget();
  rig.rx.CMD2_8Click();
  const auto msgs = rig.Messages();
  ASSERT_EQ(msgs.size(), 2u);
  EXPECT_EQ(ReadClockBurst(msgs[0]).n, 300);
  EXPECT_EQ(ReadClockBurst(msgs[1]).n, 400);
  EXPECT_EQ(rig.controls.Freq.Text(), "415 kHz");
}

TEST(BandButtons, EnteringAndLeavingTheHighBandSendsTheRightBaseEveryTime) {
  Rig rig;
  rig.Start();
  rig.controls.ScrollBar1.SetPosition(1500);  // outside the high band's 400 ... 1200
  rig.Forget();
  rig.rx.CmdhighClick();
  auto msgs = rig.Messages();
  // Clock burst at 1500, the clamp to 1200 retunes, and 30 MHz raises the level to 255.
  ASSERT_EQ(msgs.size(), 3u);
  EXPECT_EQ(ReadClockBurst(msgs[0]).r42Base, 0x17);
  EXPECT_EQ(ReadClockBurst(msgs[1]).r42Base, 0x17);
  EXPECT_EQ(ReadClockBurst(msgs[1]).n, 1200);
  EXPECT_EQ(msgs[2], (std::vector<Bytes>{{0x90, 0x40, 0xFF}}));
  EXPECT_EQ(ReadClockBurst(msgs[1]).divider, 4);

  rig.Forget();
  rig.rx.Cmd25_100Click();
  msgs = rig.Messages();
  ASSERT_GE(msgs.size(), 1u);
  EXPECT_EQ(ReadClockBurst(msgs[0]).r42Base, 0x30);
  EXPECT_EQ(ReadClockBurst(msgs[0]).divider, 5);
}

TEST(Tuning, EveryPositionChangeRetunesAndShowsTheOffsetFrequency) {
  Rig rig;
  rig.Start();
  rig.rx.CMD1_4Click();
  rig.Forget();
  rig.controls.ScrollBar1.SetPosition(261);
  EXPECT_EQ(rig.controls.Freq.Text(), "145.5 kHz");
  rig.rx.SetDecimalSeparator(',');
  rig.controls.ScrollBar2.SetPosition(14);
  EXPECT_EQ(rig.controls.Freq.Text(), "144,5 kHz");
  EXPECT_EQ(rig.controls.Offset.Text(), "14");
  const auto msgs = rig.Messages();
  ASSERT_EQ(msgs.size(), 1u);  // the offset sent nothing
  EXPECT_EQ(ReadClockBurst(msgs[0]).n, 261);
  EXPECT_EQ(msgs[0][0][4], 0xB0);
}

TEST(Tuning, NegativeOffsetAndCrystalTrim) {
  Rig rig;
  rig.Start();
  rig.controls.ScrollBar2.SetPosition(-20);
  EXPECT_EQ(rig.controls.Offset.Text(), "-20");
  EXPECT_EQ(rig.controls.Freq.Text(), "6040 kHz");
  EXPECT_TRUE(rig.Bursts().empty());
  rig.controls.ScrollBar3.SetPosition(200);
  const auto msgs = rig.Messages();
  ASSERT_EQ(msgs.size(), 1u);
  EXPECT_EQ(msgs[0][2], (Bytes{0xD2, 0x13, 200}));
  EXPECT_EQ(ReadClockBurst(msgs[0]).n, 1212);
}

TEST(ScrollBarRule, ClampsNotifiesOnceAndRefusesAnInvertedRange) {
  Rig rig;
  rig.Start();
  rig.rx.CMD1_4Click();
  rig.controls.ScrollBar1.SetPosition(300);
  rig.Forget();
  rig.controls.ScrollBar1.SetMin(400);
  EXPECT_EQ(rig.controls.ScrollBar1.Position(), 400);
  EXPECT_EQ(rig.Bursts().size(), 1u);
  rig.controls.ScrollBar1.SetMin(400);
  rig.controls.ScrollBar1.SetPosition(400);
  EXPECT_EQ(rig.Bursts().size(), 1u);  // the same value again runs nothing

  EXPECT_THROW(
      {
        try {
          rig.controls.ScrollBar1.SetMax(100);
        } catch (const receiver::ScrollBarRangeError& e) {
          EXPECT_STREQ(e.what(), "Eigenschaft Scrollbar außerhalb des zulässigen Bereichs");
          throw;
        }
      },
      receiver::ScrollBarRangeError);
  EXPECT_EQ(rig.controls.ScrollBar1.Max(), 1600);
  EXPECT_EQ(rig.controls.ScrollBar1.Position(), 400);
  EXPECT_EQ(rig.Bursts().size(), 1u);
}

}  // namespace
}  // namespace quarvel
