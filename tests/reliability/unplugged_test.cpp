// SPDX-License-Identifier: GPL-3.0-or-later
// The board unplugged in the middle of the work: during an upload and during a tuning drag.
// Every remaining call is still attempted and reported; when the board comes back, the next
// burst goes through with the input and attenuator chosen meanwhile.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "Wire.h"

namespace quarvel::reliability {
namespace {

constexpr std::size_t kCallsPerBurst = kBurstCalls.size();

// The boxes of `bursts` bursts when the board disappears before driver call `unplugAt`
// (counted over all calls) and stays away: within the burst it leaves, the open handle's calls
// fail with an I/O error and its close still succeeds; every later burst shows the five boxes
// of an absent board.
std::vector<std::string> UnpluggedBoxes(std::size_t bursts, std::size_t unplugAt) {
  std::vector<std::string> boxes;
  for (std::size_t b = 0; b < bursts; ++b) {
    const std::size_t first = b * kCallsPerBurst;
    if (unplugAt <= first) {
      boxes.insert(boxes.end(), AbsentBoardBoxes().begin(), AbsentBoardBoxes().end());
    } else if (unplugAt < first + kCallsPerBurst) {
      for (std::size_t c = unplugAt - first; c < kCallsPerBurst - 1; ++c)
        boxes.push_back(BoxName(kBurstCalls[c]) + " - General IO error...");
    }
  }
  return boxes;
}

// A burst that reached the board, with what the window showed when it was sent.
struct Delivered {
  int step;
  Bytes states;
  std::string level;  // Edit1
};

// The board is back: every later burst reached it whole and well formed, with input "In8" and
// "-20 dB" (bits 2-6 = 0x5C) in every state, the tuning position of its step and the level the
// window shows.
void ExpectDeliveredAfterReturn(const std::vector<Delivered>& delivered, int fromStep,
                                const std::function<int(int)>& positionOfStep) {
  int clockBursts = 0;
  for (const auto& d : delivered) {
    if (d.step < fromStep) continue;
    SCOPED_TRACE("step " + std::to_string(d.step));
    for (auto s : d.states) ASSERT_EQ(s & 0xFC, 0x5C);
    const auto decoded = bus::DecodeBurst(d.states);
    EXPECT_TRUE(decoded.ok());
    const Messages m = MessagesOf(decoded);
    if (d.states.size() == 317) {
      ++clockBursts;
      ASSERT_EQ(m.size(), 3u);
      EXPECT_EQ(TuningPositionOnWire(m[0]), positionOfStep(d.step));
      EXPECT_EQ(m[1], (Bytes{0xD2, 0x0C, 0x0A}));
      EXPECT_EQ(m[2], (Bytes{0xD2, 0x13, 0x7F}));
    } else {
      ASSERT_EQ(d.states.size(), 89u);
      ASSERT_EQ(m.size(), 1u);
      EXPECT_EQ(m[0], (Bytes{0x90, 0x40, static_cast<std::uint8_t>(std::stoi(d.level))}));
    }
  }
  EXPECT_GT(clockBursts, 0);
}

struct UploadCase {
  const char* name;
  std::size_t unplugAtCall;  // page x 5 + call within the page
  friend void PrintTo(const UploadCase& c, std::ostream* os) { *os << c.name; }
};

class UnpluggedDuringUpload : public ::testing::TestWithParam<UploadCase> {};

TEST_P(UnpluggedDuringUpload, EveryPageIsAttemptedAndTheNextBurstCarriesTheSelection) {
  const UploadCase& tc = GetParam();
  testing::Rig rig;
  rig.Start();
  const Bytes image = PatternImage(5);
  const testing::TempDir dir;
  const std::string file = dir.File("image.bin", image);

  std::size_t calls = 0;
  const port::Subscription unplug = rig.driver.BeforeCall([&](DriverCall) {
    if (calls++ == tc.unplugAtCall) rig.driver.SetPresent(false);
  });
  int step = 0;
  std::vector<Delivered> delivered;
  const port::Subscription writes =
      rig.driver.OnBoardWrite([&](const std::uint8_t* data, std::uint32_t n) {
        delivered.push_back({step, Bytes(data, data + n), rig.controls.Edit1.Text()});
      });

  rig.chooser.next = file;
  rig.rx.RAMbinClick();
  // Still unplugged, the user picks the last input and the strongest attenuation.
  step = 1;
  rig.rx.Mux7Click();
  rig.rx.db20Click();

  constexpr std::size_t kBurstsAway = 16 + 2;
  EXPECT_EQ(rig.reporter.Texts(), UnpluggedBoxes(kBurstsAway, tc.unplugAtCall));
  EXPECT_EQ(rig.driver.Calls().size(), kBurstsAway * kCallsPerBurst);
  EXPECT_TRUE(FiveCallsPerBurst(rig.driver.Calls()));

  // The pages before the board went away arrived intact.
  const std::size_t pagesDelivered =
      tc.unplugAtCall / kCallsPerBurst + (tc.unplugAtCall % kCallsPerBurst == 4 ? 1 : 0);
  ASSERT_EQ(delivered.size(), pagesDelivered);
  for (std::size_t p = 0; p < pagesDelivered; ++p) {
    const auto decoded = bus::DecodeBurst(delivered[p].states);
    EXPECT_TRUE(decoded.ok());
    EXPECT_EQ(MessagesOf(decoded), (Messages{PageMessage(0xD2, image, static_cast<int>(p))}));
  }

  // Plugged in again: a tuning step goes out with the selection made while it was away.
  rig.driver.SetPresent(true);
  rig.reporter.Clear();
  step = 2;
  rig.controls.ScrollBar1.SetPosition(1300);
  EXPECT_TRUE(rig.reporter.boxes.empty());
  EXPECT_EQ(delivered.size(), pagesDelivered + 2);  // the clock burst and the new level
  EXPECT_EQ(rig.controls.Edit1.Text(), "85");
  ExpectDeliveredAfterReturn(delivered, 2, [](int) { return 1300; });
}

INSTANTIATE_TEST_SUITE_P(FromPageOrCall, UnpluggedDuringUpload,
                         ::testing::Values(UploadCase{"FirstPage", 0}, UploadCase{"Page5", 25},
                                           UploadCase{"LastPage", 75},
                                           UploadCase{"BitModeOfPage7", 36},
                                           UploadCase{"WriteOfPage9", 48},
                                           UploadCase{"CloseOfPage12", 64}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(UnpluggedDuringDrag, EveryStepIsReportedAndTheDragResumesWithTheSelection) {
  testing::Rig rig;
  rig.Start();

  constexpr int kStart = 1212, kSteps = 500, kSelectAt = 300, kReplugAt = 400;
  constexpr std::size_t kUnplugAtCall = 150 * kCallsPerBurst + 2;  // a baud-rate call
  std::size_t calls = 0;
  const port::Subscription unplug = rig.driver.BeforeCall([&](DriverCall) {
    if (calls++ == kUnplugAtCall) rig.driver.SetPresent(false);
  });
  int step = 0;
  std::vector<Delivered> delivered;
  const port::Subscription writes =
      rig.driver.OnBoardWrite([&](const std::uint8_t* data, std::uint32_t n) {
        delivered.push_back({step, Bytes(data, data + n), rig.controls.Edit1.Text()});
      });

  std::size_t burstsAway = 0;
  for (step = 1; step <= kSteps; ++step) {
    if (step == kSelectAt) {
      ASSERT_FALSE(rig.driver.Present()) << "the drag must have unplugged the board by now";
      rig.rx.Mux7Click();
      rig.rx.db20Click();
    }
    if (step == kReplugAt) {
      burstsAway = rig.driver.Calls().size() / kCallsPerBurst;
      rig.driver.SetPresent(true);
    }
    rig.controls.ScrollBar1.SetPosition(kStart + step);
  }

  // Up to the return every burst shows its boxes, every call attempted; after it, none.
  EXPECT_TRUE(FiveCallsPerBurst(rig.driver.Calls()));
  EXPECT_EQ(rig.reporter.Texts(), UnpluggedBoxes(burstsAway, kUnplugAtCall));
  const std::size_t burstsBack = rig.driver.Calls().size() / kCallsPerBurst - burstsAway;
  std::size_t deliveredBack = 0;
  for (const auto& d : delivered) deliveredBack += d.step >= kReplugAt ? 1 : 0;
  EXPECT_EQ(deliveredBack, burstsBack);

  ExpectDeliveredAfterReturn(delivered, kReplugAt, [](int s) { return kStart + s; });
  EXPECT_EQ(rig.controls.Freq.Text(), "8575 kHz");  // 1712 x 20 / 4 + 15
}

// The level is sent only when it changes, so one sent while the board was away would stay
// lost, and a board that went away may have lost its power and its level with it: once the
// board answers again, the operation's last burst is followed by the level the panel shows,
// once, and from then on the converter holds it.
TEST(UnpluggedLevel, TheLevelMissedWhileAwayFollowsTheFirstBurstBack) {
  const struct {
    const char* name;
    bool presentAtStart;
    std::function<void(testing::Rig&)> before, away, back;
    const char* level;
  } rows[] = {
      {"a band's new level, then a tuning step of the same level", true, [](testing::Rig&) {},
       [](testing::Rig& r) { r.rx.Cmd25_100Click(); },
       [](testing::Rig& r) { r.controls.ScrollBar1.SetPosition(1213); }, "212"},
      {"back to 2...10 MHz, then a band below 3000 kHz, where tracking does nothing", true,
       [](testing::Rig& r) { r.rx.Cmd25_100Click(); },
       [](testing::Rig& r) { r.rx.Cmd10_40Click(); }, [](testing::Rig& r) { r.rx.Cmd4_16Click(); },
       "77"},
      {"plugged in again with nothing sent meanwhile, then an input", true, [](testing::Rig&) {},
       [](testing::Rig&) {}, [](testing::Rig& r) { r.rx.Mux1Click(); }, "77"},
      {"started before the board was plugged in, then an input", false, [](testing::Rig&) {},
       [](testing::Rig&) {}, [](testing::Rig& r) { r.rx.Mux1Click(); }, "77"},
      {"only an input while away, then a tuning step of the same level", true, [](testing::Rig&) {},
       [](testing::Rig& r) { r.rx.Mux3Click(); },
       [](testing::Rig& r) { r.controls.ScrollBar1.SetPosition(1213); }, "77"},
      {"a tuning step's level lost, then 2...10 MHz below 3000 kHz: the new level only", true,
       [](testing::Rig& r) { r.controls.ScrollBar1.SetPosition(1600); },
       [](testing::Rig& r) {
         r.controls.ScrollBar1.SetPosition(1700);
         r.controls.ScrollBar1.SetPosition(500);
       },
       [](testing::Rig& r) { r.rx.Cmd10_40Click(); }, "0"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    testing::Rig rig;
    rig.driver.SetPresent(row.presentAtStart);
    rig.Start();
    row.before(rig);
    rig.driver.SetPresent(false);
    row.away(rig);
    rig.driver.SetPresent(true);
    rig.Forget();
    std::vector<Bytes> delivered;
    const port::Subscription writes = rig.driver.OnBoardWrite(
        [&](const std::uint8_t* data, std::uint32_t n) { delivered.emplace_back(data, data + n); });
    row.back(rig);

    EXPECT_EQ(rig.reporter.Texts(), std::vector<std::string>());
    EXPECT_EQ(rig.controls.Edit1.Text(), row.level);
    ASSERT_GE(delivered.size(), 2u);
    EXPECT_EQ(delivered.front().size(), 317u) << "the action's own burst first";
    EXPECT_EQ(std::count_if(delivered.begin(), delivered.end(),
                            [](const Bytes& b) { return b.size() == 89; }),
              1)
        << "one level burst";
    ASSERT_EQ(delivered.back().size(), 89u);
    EXPECT_EQ(MessagesOf(bus::DecodeBurst(delivered.back())),
              (Messages{{0x90, 0x40, static_cast<std::uint8_t>(std::stoi(row.level))}}));

    // Delivered once, it is not sent again.
    rig.Forget();
    rig.rx.Mux2Click();
    EXPECT_EQ(rig.driver.Writes().size(), 1u);
  }
}

}  // namespace
}  // namespace quarvel::reliability
