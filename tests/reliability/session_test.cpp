// SPDX-License-Identifier: GPL-3.0-or-later
// A long scripted session on the panel's logic: every band with its whole tuning range, every
// input and attenuator, every level, the crystal trim and both uploads. Every burst the board
// receives is read back as the board would read it, following on from the previous burst's
// last line state, and compared with what the window shows at that moment.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>

#include "Wire.h"
#include "receiver/BandPlan.h"

namespace quarvel::reliability {
namespace {

using receiver::ReceiverControl;

class SessionAudit {
 public:
  explicit SessionAudit(testing::Rig& rig) : rig_(rig) {
    writes_ = rig.driver.OnBoardWrite(
        [this](const std::uint8_t* data, std::uint32_t n) { Check(Bytes(data, data + n)); });
  }

  // What the script has chosen, for the checks of the next bursts.
  std::string phase = "start-up";
  int input = 0;
  int attenuator = 0;
  bool highBand = false;
  std::uint8_t uploadAddress = 0;
  Bytes uploadImage;

  std::map<std::size_t, int> bursts;  // by state count
  std::vector<std::string> problems;

 private:
  void Problem(const std::string& what) {
    if (problems.size() < 20)
      problems.push_back(phase + ", burst " + std::to_string(count_) + ": " + what);
  }

  static double ShownKhz(std::string text) {
    text = text.substr(0, text.find(" kHz"));
    std::replace(text.begin(), text.end(), ',', '.');
    return std::stod(text);
  }

  void Check(const Bytes& states) {
    ++count_;
    ++bursts[states.size()];
    const auto decoded = bus::DecodeBurst(states, lastState_);
    lastState_ = states.empty() ? lastState_ : states.back();
    for (const auto& f : decoded.faults)
      Problem(bus::ViolationText(f.kind) + " at state " + std::to_string(f.state));
    const int selection = 4 * input + 32 * attenuator;
    if (std::any_of(states.begin(), states.end(), [&](auto s) { return (s & 0xFC) != selection; }))
      Problem("a state without input/attenuator bits " + std::to_string(selection));

    const Messages m = MessagesOf(decoded);
    const auto& c = rig_.controls;
    switch (states.size()) {
      case 317: {
        if (!HasClockBurstShape(m)) return Problem("clock burst of the wrong shape");
        if (TuningPositionOnWire(m[0]) != c.ScrollBar1.Position())
          Problem("tuning position " + std::to_string(TuningPositionOnWire(m[0])) +
                  " sent, the scroll bar is at " + std::to_string(c.ScrollBar1.Position()));
        if ((m[0][4] & 0x7F) != (highBand ? 0x17 : 0x30)) Problem("register 0x42 base");
        if (m[2][2] != c.ScrollBar3.Position()) Problem("crystal trim");
        const double onWire = TunedKhzOnWire(m) + c.ScrollBar2.Position();
        if (std::abs(onWire - ShownKhz(c.Freq.Text())) > 1e-9)
          Problem("tuned to " + std::to_string(onWire) + " kHz with the offset, the window shows " +
                  c.Freq.Text());
        break;
      }
      case 89: {
        const Bytes expected = {0x90, 0x40, static_cast<std::uint8_t>(c.ScrollBar4.Position())};
        if (m != Messages{expected}) Problem("level burst of the wrong content");
        if (c.Edit1.Text() != std::to_string(c.ScrollBar4.Position()))
          Problem("Edit1 shows " + c.Edit1.Text());
        break;
      }
      case 494: {
        if (m.size() != 1 || m[0].size() != 18 || m[0][0] != uploadAddress || m[0][1] % 16 != 0)
          return Problem("page burst of the wrong shape");
        if (m[0] != PageMessage(uploadAddress, uploadImage, m[0][1] / 16))
          Problem("page " + std::to_string(m[0][1] / 16) + " content");
        break;
      }
      default:
        Problem(std::to_string(states.size()) + " line states");
    }
  }

  testing::Rig& rig_;
  std::uint8_t lastState_ = 0;  // the lines start low
  port::Subscription writes_;
  int count_ = 0;
};

TEST(WellFormedSession, EveryBurstIsReadBackAsTheWindowShowsIt) {
  testing::Rig rig;
  SessionAudit audit(rig);
  rig.Start(false);
  auto& c = rig.controls;

  auto drag = [](receiver::ScrollBarControl& bar, std::int32_t to) {
    const std::int32_t dir = to > bar.Position() ? 1 : -1;
    while (bar.Position() != to) bar.SetPosition(bar.Position() + dir);
  };

  // Every band, entering and leaving the high band, each tuned across its whole range.
  struct BandStep {
    void (ReceiverControl::*click)();
    const receiver::Band& band;
    int offset;
  };
  const BandStep bands[] = {
      {&ReceiverControl::CMD1_4Click, receiver::kBands[receiver::kBand1_4], -20},
      {&ReceiverControl::CMD2_8Click, receiver::kBands[receiver::kBand2_8], -7},
      {&ReceiverControl::Cmd4_16Click, receiver::kBands[receiver::kBand4_16], 0},
      {&ReceiverControl::Cmd10_40Click, receiver::kBands[receiver::kBand10_40], 3},
      {&ReceiverControl::Cmd25_100Click, receiver::kBands[receiver::kBand25_100], 20},
      {&ReceiverControl::CmdhighClick, receiver::kBands[receiver::kBandHigh], -13},
      {&ReceiverControl::CMD1_4Click, receiver::kBands[receiver::kBand1_4], 15},
  };
  for (const auto& b : bands) {
    audit.phase = std::string(b.band.button);
    audit.highBand = b.band.highBand;
    (rig.rx.*b.click)();
    const auto before = rig.driver.Calls().size();
    c.ScrollBar2.SetPosition(b.offset);
    EXPECT_EQ(rig.driver.Calls().size(), before) << "an offset change sent something";
    drag(c.ScrollBar1, b.band.max);
    drag(c.ScrollBar1, b.band.min);
    drag(c.ScrollBar1, (b.band.min + b.band.max) / 2);
    rig.driver.ClearCalls();
  }

  // Every input with every attenuator step, each followed by a tuning step.
  audit.phase = "selection";
  void (ReceiverControl::*const inputs[])() = {
      &ReceiverControl::Mux0Click, &ReceiverControl::Mux1Click, &ReceiverControl::Mux2Click,
      &ReceiverControl::Mux3Click, &ReceiverControl::Mux4Click, &ReceiverControl::Mux5Click,
      &ReceiverControl::Mux6Click, &ReceiverControl::Mux7Click};
  void (ReceiverControl::*const attenuators[])() = {
      &ReceiverControl::db0Click, &ReceiverControl::db10Click, &ReceiverControl::db20Click};
  for (int a = 0; a < 3; ++a) {
    audit.attenuator = a;
    (rig.rx.*attenuators[a])();
    for (int i = 0; i < 8; ++i) {
      audit.input = i;
      (rig.rx.*inputs[i])();
      c.ScrollBar1.SetPosition(c.ScrollBar1.Position() + (i % 2 == 0 ? 1 : -1));
    }
  }

  // Every level by hand, up and down, and every crystal trim.
  audit.phase = "levels";
  drag(c.ScrollBar4, 0);
  drag(c.ScrollBar4, 255);
  drag(c.ScrollBar4, 0);
  audit.phase = "crystal trim";
  drag(c.ScrollBar3, 0);
  drag(c.ScrollBar3, 255);

  // Both uploads.
  audit.phase = "upload RAM";
  audit.uploadImage = PatternImage(1);
  audit.uploadAddress = 0xD2;
  const testing::TempDir dir;
  rig.chooser.next = dir.File("ram.bin", audit.uploadImage);
  rig.rx.RAMbinClick();
  audit.phase = "upload EEPROM";
  audit.uploadImage = PatternImage(200);
  audit.uploadAddress = 0xD0;
  rig.chooser.next = dir.File("eeprom.bin", audit.uploadImage);
  rig.rx.FlashBinClick();

  EXPECT_TRUE(audit.problems.empty()) << ::testing::PrintToString(audit.problems);
  EXPECT_TRUE(rig.reporter.boxes.empty());
  // Only the three shapes, each well represented.
  EXPECT_EQ(audit.bursts.size(), 3u);
  EXPECT_EQ(audit.bursts[494], 32);
  EXPECT_GT(audit.bursts[317], 15000);
  EXPECT_GT(audit.bursts[89], 1000);
}

}  // namespace
}  // namespace quarvel::reliability
