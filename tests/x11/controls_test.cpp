// SPDX-License-Identifier: GPL-3.0-or-later
// Every control of the panel used with the real mouse and keyboard, judged by what the board
// receives: each button's bursts with the selection lines they carry, and each part of a
// scroll bar (arrows, trough, thumb, wheel, keys) moving the position it sends.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "PanelSession.h"
#include "receiver/BandPlan.h"
#include "receiver/ClockRegisters.h"
#include "receiver/TrackingLevel.h"

namespace quarvel::x11 {
namespace {

using receiver::kBands;
using Burst = std::vector<Bytes>;

constexpr int kStartPosition = 1212;
constexpr std::uint8_t kStartTrim = 127;
constexpr int kQuietMs = 100;  // no further line for this long: the action's bursts are all out

// The clock burst for tuning position n: registers 0x40-0x42, the band's divider, the trim.
Burst ClockBurst(int n, std::int32_t divider, bool highBand) {
  const receiver::ClockRegisters r = receiver::ComputeClockRegisters(n, highBand);
  return {{0xD2, 0x40, r.r40, r.r41, r.r42},
          {0xD2, 0x0C, static_cast<std::uint8_t>(divider)},
          {0xD2, 0x13, kStartTrim}};
}

Burst LevelBurst(int level) {
  return {{0x90, 0x40, static_cast<std::uint8_t>(level)}};
}

// The level the tracking table gives for position n of a band.
int TrackedLevel(int n, const receiver::Band& band) {
  return receiver::ComputeTrackingLevel(static_cast<float>(n * band.freqFactor / 4));
}

// What one action sent: the raw line states of each write and their decoded messages.
struct Sent {
  std::vector<Bytes> writes;
  std::vector<Burst> bursts;
};

// Runs the action and collects the bursts it causes: waits for the bursts expected, then until
// the trace has been quiet for a while (so that a burst too many is seen too).
Sent BurstsOf(PanelSession& s, const std::function<void()>& action, std::size_t expected) {
  const std::size_t mark = s.x.LineCount();
  action();
  EXPECT_TRUE(s.WaitForWrites(mark, expected)) << "too few bursts came";
  s.x.WaitQuiet(kQuietMs, 3000);
  return {s.Writes(mark), s.Messages(mark)};
}

std::string Hex(const Bytes& bytes) {
  static const char* const digits = "0123456789ABCDEF";
  std::string out;
  for (std::uint8_t b : bytes) {
    if (!out.empty()) out += ' ';
    out += digits[b >> 4];
    out += digits[b & 0xF];
  }
  return out;
}

std::string Describe(const std::vector<Burst>& bursts) {
  std::string out;
  for (const Burst& burst : bursts) {
    out += "\n  burst:";
    for (const Bytes& m : burst) out += " [" + Hex(m) + "]";
  }
  return out.empty() ? " none" : out;
}

// ---------------------------------------------------------------------------------------------
// Buttons

struct ButtonStep {
  const char* button;
  Spot spot;
  std::vector<Burst> bursts;  // what the board receives, in order
  std::uint8_t selection;     // bits 2-6 of every line state of those bursts
};

// One run through all seventeen buttons. The bands go round from the start band so that the
// last two show the re-tuning when a band's range moves the position and the high band's
// register base coming and going; then every input and attenuator, each keeping the other's
// lines.
std::vector<ButtonStep> ButtonSteps() {
  using receiver::kBand10_40, receiver::kBand1_4, receiver::kBand2_8, receiver::kBand25_100,
      receiver::kBand4_16, receiver::kBandHigh;
  const receiver::Band& high = kBands[kBandHigh];
  const int clamped = high.max;  // 1212 lies above the high band's maximum
  auto tuned = [&](int divider) { return ClockBurst(clamped, divider, false); };
  const std::int32_t d = kBands[kBand10_40].divider;  // the band the run ends in
  return {
      {"CMD1_4", kCMD1_4, {ClockBurst(kStartPosition, kBands[kBand1_4].divider, false)}, 0},
      {"CMD2_8", kCMD2_8, {ClockBurst(kStartPosition, kBands[kBand2_8].divider, false)}, 0},
      {"Cmd4_16", kCmd4_16, {ClockBurst(kStartPosition, kBands[kBand4_16].divider, false)}, 0},
      // The band's frequency is above 3000 kHz: its tracking level follows.
      {"Cmd25_100",
       kCmd25_100,
       {ClockBurst(kStartPosition, kBands[kBand25_100].divider, false),
        LevelBurst(TrackedLevel(kStartPosition, kBands[kBand25_100]))},
       0},
      // The burst at the old position, the re-tune to the new maximum (both with the high
      // band's register 0x42 base), and the tracking level of the new position.
      {"Cmdhigh",
       kCmdhigh,
       {ClockBurst(kStartPosition, high.divider, true), ClockBurst(clamped, high.divider, true),
        LevelBurst(TrackedLevel(clamped, high))},
       0},
      // Leaving the high band: the normal base at once, then the band's tracking level.
      {"Cmd10_40",
       kCmd10_40,
       {ClockBurst(clamped, d, false), LevelBurst(TrackedLevel(clamped, kBands[kBand10_40]))},
       0},
      {"Mux1", kMux1, {tuned(d)}, 1 << 2},
      {"Mux2", kMux2, {tuned(d)}, 2 << 2},
      {"Mux3", kMux3, {tuned(d)}, 3 << 2},
      {"Mux4", kMux4, {tuned(d)}, 4 << 2},
      {"Mux5", kMux5, {tuned(d)}, 5 << 2},
      {"Mux6", kMux6, {tuned(d)}, 6 << 2},
      {"Mux7", kMux7, {tuned(d)}, 7 << 2},
      {"db10", kDb10, {tuned(d)}, (7 << 2) | (1 << 5)},
      {"db20", kDb20, {tuned(d)}, (7 << 2) | (2 << 5)},
      {"Mux0", kMux0, {tuned(d)}, 2 << 5},
      {"Mux3 again", kMux3, {tuned(d)}, (3 << 2) | (2 << 5)},
      {"db0", kDb0, {tuned(d)}, 3 << 2},
  };
}

TEST(X11Controls, EveryButtonClickedByMouseSendsItsBursts) {
  PanelSession s;
  ASSERT_TRUE(s.Start());
  s.x.WaitQuiet(kQuietMs, 3000);  // the start-up burst is out

  for (const ButtonStep& step : ButtonSteps()) {
    SCOPED_TRACE(step.button);
    const Sent sent = BurstsOf(
        s, [&] { s.Click(step.spot); }, step.bursts.size());
    EXPECT_EQ(sent.bursts, step.bursts)
        << "sent:" << Describe(sent.bursts) << "\nexpected:" << Describe(step.bursts);
    // The input and attenuator lines hold still in every state, bit 7 low.
    for (const Bytes& states : sent.writes) {
      std::size_t wrong = 0;
      for (std::uint8_t state : states)
        if ((state & 0x7C) != step.selection || (state & 0x80) != 0) ++wrong;
      EXPECT_EQ(wrong, 0u) << "states with other selection bits than 0x" << std::hex
                           << int{step.selection};
    }
  }

  // The upload buttons open the file dialog; Escape closes it and nothing is sent.
  for (const auto& [button, spot] :
       {std::pair{"FlashBin", kFlashBin}, std::pair{"RAMbin", kRAMbin}}) {
    SCOPED_TRACE(button);
    const std::size_t mark = s.x.LineCount();
    s.Click(spot);
    const WindowId dialog = s.x.WaitForOtherWindow({s.panel, s.monitor}, kWindowMs);
    ASSERT_NE(dialog, 0u) << "no dialog opened";
    s.x.Activate(dialog);
    s.x.Key({"Escape"});
    EXPECT_TRUE(s.x.WaitForWindowGone(dialog, 3000)) << "Escape did not close the dialog";
    s.x.WaitQuiet(kQuietMs * 2, 3000);
    EXPECT_TRUE(s.Writes(mark).empty()) << "a cancelled upload sent something";
  }
}

// A key held on a focused button presses it once, however the X server sends the key's
// repeats (as a release and a press each, which Qt mostly does not flag as repeats), and the
// arrow keys take the focus on to another button without sending anything.
TEST(X11Controls, AHeldKeyPressesAButtonOnce) {
  PanelSession s;
  ASSERT_TRUE(s.Start());
  s.x.Run({"xset", "r", "rate", "300", "30"});
  s.x.WaitQuiet(kQuietMs, 3000);
  BurstsOf(
      s, [&] { s.Click(kMux1); }, 1);  // "In2" has the focus
  s.x.Activate(s.panel);
  for (const char* key : {"Return", "space"}) {
    SCOPED_TRACE(key);
    const Sent sent = BurstsOf(
        s,
        [&] {
          s.x.Run({"xdotool", "keydown", key});
          std::this_thread::sleep_for(std::chrono::milliseconds(1200));
          s.x.Run({"xdotool", "keyup", key});
        },
        1);
    EXPECT_EQ(sent.writes.size(), 1u) << "a held key pressed the button again";
  }
  const std::size_t mark = s.x.LineCount();
  s.x.Key(
      {"Right", "Right", "Left", "Down", "shift+Right", "shift+Right", "ctrl+Left", "ctrl+Left"});
  s.x.WaitQuiet(kQuietMs, 3000);
  EXPECT_TRUE(s.Writes(mark).empty()) << "an arrow key on a button changed the board";
}

// ---------------------------------------------------------------------------------------------
// Scroll bars

// Fusion's arrow buttons are 14 pixels wide at each end of a bar, inside them the trough.
constexpr int kArrowPx = 14;

// The tuning position n whose registers the clock burst carries (the normal base).
std::optional<int> TuningPositionOf(const Burst& burst) {
  if (burst.size() != 3 || burst[0].size() != 5 || burst[0][0] != 0xD2 || burst[0][1] != 0x40)
    return std::nullopt;
  for (int n = 0; n <= 4096; ++n) {
    const receiver::ClockRegisters r = receiver::ComputeClockRegisters(n, false);
    if (r.r40 == burst[0][2] && r.r41 == burst[0][3] && r.r42 == burst[0][4]) return n;
  }
  return std::nullopt;
}

std::optional<int> LevelOf(const Burst& burst) {
  if (burst.size() != 1 || burst[0].size() != 3 || burst[0][0] != 0x90 || burst[0][1] != 0x40)
    return std::nullopt;
  return burst[0][2];
}

struct BarCase {
  const char* name;
  BarPlace bar;
  std::optional<Spot> band;  // clicked first, to give the bar its range and page step
  int start, min, max, pageStep;
  int wheelStep;  // one notch: three lines, at most a page
  std::function<std::optional<int>(const Burst&)> positionOf;
  std::function<Burst(int)> burstAt;  // the whole burst for a position
};

void PrintTo(const BarCase& c, std::ostream* os) {
  *os << c.name;
}

class X11ScrollBar : public ::testing::TestWithParam<BarCase> {};

// Arrows, trough, keys and wheel each send exactly one burst carrying the new position; a drag
// of the thumb sends one per position it passes, rising, and lets go where the pointer is.
TEST_P(X11ScrollBar, EachPartMovesThePositionTheBoardReceives) {
  const BarCase& c = GetParam();
  PanelSession s;
  ASSERT_TRUE(s.Start());
  s.x.WaitQuiet(kQuietMs, 3000);
  if (c.band) {
    const auto clickBand = [&] { s.Click(*c.band); };
    const Sent setup = BurstsOf(s, clickBand, 1);
    ASSERT_EQ(setup.bursts.size(), 1u) << "the band's burst" << Describe(setup.bursts);
  }
  s.x.Activate(s.panel);

  const int right = c.bar.width - 1;
  // One notch of the wheel over the middle of the bar: buttons 4 and 5 away from the user and
  // towards, 6 and 7 sideways (a tilted wheel, a swipe) to the left and to the right.
  const auto wheel = [&](int button) {
    return [&, button] {
      s.x.Click(s.panel, s.Px(c.bar.At(c.bar.width / 2).x), s.Px(c.bar.At(0).y), button);
    };
  };
  const struct {
    const char* part;
    std::function<void()> act;
    int position;
  } steps[] = {
      {"left arrow", [&] { s.Click(c.bar.At(kArrowPx / 2)); }, c.start - 1},
      {"right arrow", [&] { s.Click(c.bar.At(right - kArrowPx / 2)); }, c.start},
      {"trough right of the thumb", [&] { s.Click(c.bar.At(right - kArrowPx - 4)); },
       c.start + c.pageStep},
      {"trough left of the thumb", [&] { s.Click(c.bar.At(kArrowPx + 4)); }, c.start},
      // The click on the bar has given it the keyboard.
      {"Right", [&] { s.x.Key({"Right"}); }, c.start + 1},
      {"Left", [&] { s.x.Key({"Left"}); }, c.start},
      {"Page Down", [&] { s.x.Key({"Next"}); }, c.start + c.pageStep},
      {"Page Up", [&] { s.x.Key({"Prior"}); }, c.start},
      {"End", [&] { s.x.Key({"End"}); }, c.max},
      {"Home", [&] { s.x.Key({"Home"}); }, c.min},
      {"wheel away", wheel(4), c.min + c.wheelStep},
      {"wheel back", wheel(5), c.min},
      {"wheel right", wheel(7), c.min + c.wheelStep},
      {"wheel left", wheel(6), c.min},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.part);
    const Sent sent = BurstsOf(s, step.act, 1);
    ASSERT_EQ(sent.bursts.size(), 1u) << "one burst per step; sent:" << Describe(sent.bursts);
    EXPECT_EQ(c.positionOf(sent.bursts[0]), step.position) << Describe(sent.bursts);
    EXPECT_EQ(sent.bursts[0], c.burstAt(step.position)) << Describe(sent.bursts);
  }

  // The thumb at the minimum sits at the trough's left end: take it there and drag it right
  // in steps, waiting for each step's burst.
  constexpr int kDragSteps = 5, kStepPx = 40, kGrabPx = 6;
  const int grab = kArrowPx + kGrabPx;
  const std::size_t mark = s.x.LineCount();
  s.x.MoveTo(s.panel, s.Px(c.bar.At(grab).x), s.Px(c.bar.At(0).y));
  s.x.ButtonDown();
  for (int i = 1; i <= kDragSteps; ++i) {
    s.x.MoveTo(s.panel, s.Px(c.bar.At(grab + i * kStepPx).x), s.Px(c.bar.At(0).y));
    EXPECT_TRUE(s.WaitForWrites(mark, static_cast<std::size_t>(i))) << "drag step " << i;
  }
  s.x.WaitQuiet(kQuietMs, 3000);
  const std::size_t beforeRelease = s.Writes(mark).size();
  s.x.ButtonUp();
  s.x.WaitQuiet(kQuietMs, 3000);
  const std::vector<Burst> dragged = s.Messages(mark);
  EXPECT_EQ(dragged.size(), beforeRelease) << "letting go sends nothing more";
  ASSERT_GE(dragged.size(), static_cast<std::size_t>(kDragSteps)) << Describe(dragged);
  std::vector<int> positions;
  for (const Burst& burst : dragged) {
    const std::optional<int> n = c.positionOf(burst);
    ASSERT_TRUE(n.has_value()) << Describe(dragged);
    EXPECT_EQ(burst, c.burstAt(*n));
    positions.push_back(*n);
  }
  for (std::size_t i = 1; i < positions.size(); ++i)
    EXPECT_GT(positions[i], positions[i - 1]) << "the drag goes one way";
  // Where the pointer was let go: the thumb's travel is the trough less the thumb, whose
  // length depends on the style (a few pixels to a few tens); a step or two of rounding.
  const int dragPx = kDragSteps * kStepPx;
  const int troughPx = c.bar.width - 2 * kArrowPx;
  const int range = c.max - c.min;
  const int lowest = c.min + dragPx * range / (troughPx - 8) - 2;
  const int highest = c.min + dragPx * range / (troughPx - 40) + 2;
  EXPECT_GE(positions.back(), lowest);
  EXPECT_LE(positions.back(), highest);

  // The right arrow held until it repeats, then the Menu key: the bar's menu takes the pointer.
  // The menu closed (Escape) and the button let go over the desktop, outside the program's
  // windows: the release never reaches the panel. Nothing is sent after the menu opened.
  const std::size_t held = s.x.LineCount();
  s.x.MoveTo(s.panel, s.Px(c.bar.At(right - kArrowPx / 2).x), s.Px(c.bar.At(0).y));
  s.x.ButtonDown();
  EXPECT_TRUE(s.WaitForWrites(held, 4)) << "the held arrow repeats";
  s.x.Key({"Menu"});
  s.x.WaitQuiet(kQuietMs, 1000);  // the step under way when the menu opened
  const std::size_t released = s.Writes(held).size();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  s.x.Key({"Escape"});
  s.x.MoveToScreen(5, s.x.Options().height - 5);
  s.x.ButtonUp();
  std::this_thread::sleep_for(std::chrono::milliseconds(800));
  EXPECT_EQ(s.Writes(held).size(), released) << "the bar went on stepping with no button down";
}

INSTANTIATE_TEST_SUITE_P(
    Bars, X11ScrollBar,
    ::testing::Values(
        // Tuning in "0,4...1,6 MHz": page step 9, and no tracking level below 3000 kHz.
        BarCase{"Tuning", kTuningBar, kCMD2_8, kStartPosition, kBands[receiver::kBand2_8].min,
                kBands[receiver::kBand2_8].max, kBands[receiver::kBand2_8].pageStep, 3,
                TuningPositionOf,
                [](int n) { return ClockBurst(n, kBands[receiver::kBand2_8].divider, false); }},
        // The level as start-up set it from the start frequency; page step 1.
        BarCase{"Level", kLevelBar, std::nullopt,
                TrackedLevel(kStartPosition, kBands[receiver::kBand10_40]), 0, 255, 1, 1, LevelOf,
                LevelBurst}),
    [](const ::testing::TestParamInfo<BarCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quarvel::x11
