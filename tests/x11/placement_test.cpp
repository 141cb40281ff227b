// SPDX-License-Identifier: GPL-3.0-or-later
// Where the two windows open, with a window manager, on six screens: the bus monitor never
// covers the panel and never leaves the screen; the panel stays where it opens, unless the screen
// is too low to show its controls there.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <iostream>
#include <optional>
#include <thread>
#include <utility>

#include "PanelSession.h"

namespace quarvel::x11 {
namespace {

struct Screen {
  int width, height;
  double scale;
};

class X11Placement : public ::testing::TestWithParam<Screen> {};

TEST_P(X11Placement, MonitorBesideThePanelOnTheScreen) {
  const Screen screen = GetParam();
  PanelSession s({.width = screen.width,
                  .height = screen.height,
                  .windowManager = true,
                  .scale = screen.scale});
  ASSERT_TRUE(s.Start());
  const Rect panel = s.x.SettledFrameGeometry(s.panel);
  const Rect monitor = s.x.SettledFrameGeometry(s.monitor);
  const Rect whole{0, 0, screen.width, screen.height};
  std::cout << screen.width << "x" << screen.height << " scale " << screen.scale << ": panel "
            << ToString(panel) << ", monitor " << ToString(monitor) << "\n";
  RecordProperty("panel", ToString(panel));
  RecordProperty("monitor", ToString(monitor));
  EXPECT_FALSE(monitor.Intersects(panel)) << "the monitor covers the panel";
  EXPECT_TRUE(whole.Contains(monitor)) << "the monitor leaves the screen";
  // The panel keeps the place it opens at, left 202 and top 149 (layout pixels), give or
  // take the frame the window manager adds: it is not pushed aside for the monitor. On a
  // screen too low for it there, it is moved up just enough for its title bar and every
  // control to be on the screen (the empty band below the lowest control, 47 layout pixels,
  // may go past the edge).
  EXPECT_NEAR(panel.x, s.Px(202), 30);
  if (s.Px(149) + panel.height <= screen.height) {
    EXPECT_TRUE(whole.Contains(panel)) << "the panel leaves the screen";
    EXPECT_NEAR(panel.y, s.Px(149), 50);
  } else {
    EXPECT_GE(panel.y, 0) << "the title bar leaves the screen";
    EXPECT_LE(panel.y + panel.height - s.Px(47), screen.height) << "controls off the screen";
    EXPECT_GE(panel.y + panel.height, screen.height - s.Px(47)) << "moved more than needed";
  }
  // The monitor uses the room it has: at least a third of the screen's width and most of
  // its height beside or below the panel.
  EXPECT_GE(monitor.width * monitor.height, screen.width * screen.height / 8);
}

// A small primary screen beside a large one: the monitor, which the room the panel leaves on
// its screen would cut to a sliver, opens whole on the large screen, next to the panel.
TEST(X11PlacementTwoMonitors, MonitorOnTheOtherScreenWhereThePanelsScreenHasNoRoom) {
  const Rect small{0, 0, 800, 480}, large{800, 0, 1920, 1080};
  PanelSession s(
      {.width = 2720, .height = 1080, .windowManager = true, .monitors = {small, large}});
  ASSERT_TRUE(s.Start());
  const Rect panel = s.x.SettledFrameGeometry(s.panel);
  const Rect monitor = s.x.SettledFrameGeometry(s.monitor);
  std::cout << "panel " << ToString(panel) << ", monitor " << ToString(monitor) << "\n";
  // (Its empty band below the lowest control may go past the low screen's edge.)
  EXPECT_LE(panel.Right(), small.Right()) << "the panel left the primary screen";
  EXPECT_TRUE(large.Contains(monitor)) << "the monitor is not whole on the large screen";
  EXPECT_NEAR(monitor.x, large.x, 30) << "not at the large screen's edge facing the panel";
  EXPECT_GE(monitor.width, 900) << "cut";
  EXPECT_GE(monitor.height, 720) << "cut";
}

// The middle of a window's title bar, where a user takes hold of it.
std::pair<int, int> TitleBarMiddle(PanelSession& s, WindowId window) {
  const Rect frame = s.x.FrameGeometry(window);
  const Rect client = s.x.ClientGeometry(window);
  return {frame.x + frame.width / 2, frame.y + (client.y - frame.y) / 2};
}
std::pair<int, int> TitleBarMiddle(PanelSession& s) {
  return TitleBarMiddle(s, s.panel);
}

// A double click on a window's title bar (in its middle, or `at` px from its left end)
// maximises it, and another brings it back.
void DoubleClickTitleBar(PanelSession& s, WindowId window, std::optional<int> at = {}) {
  s.x.Activate(window);  // in front, where another window may have covered its title bar
  const auto [x, y] = TitleBarMiddle(s, window);
  s.x.MoveToScreen(at ? s.x.FrameGeometry(window).x + *at : x, y);
  s.x.Run({"xdotool", "click", "--repeat", "2", "--delay", "80", "1"});
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
}

// Drags the panel's title bar until its frame's top left corner is at (x, y), lets go, and
// returns the frame once the panel has been laid out for the monitor (250 ms after it came to
// it) and the window manager is done.
Rect DragPanelTo(PanelSession& s, int x, int y) {
  const Rect frame = s.x.FrameGeometry(s.panel);
  const auto [grabX, grabY] = TitleBarMiddle(s);
  s.x.MoveToScreen(grabX, grabY);
  s.x.ButtonDown();
  constexpr int kSteps = 24;
  for (int i = 1; i <= kSteps; ++i) {
    s.x.MoveToScreen(grabX + (x - frame.x) * i / kSteps, grabY + (y - frame.y) * i / kSteps);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  s.x.ButtonUp();
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  return s.x.SettledFrameGeometry(s.panel);
}

// Whether the client area's title bar (of titleHeight) and controls (the top 369 of 416 layout
// pixels) are shown by the monitors, which lie side by side.
bool ControlsShownBy(std::vector<Rect> monitors, const Rect& client, int titleHeight) {
  std::sort(monitors.begin(), monitors.end(),
            [](const Rect& a, const Rect& b) { return a.x < b.x; });
  const Rect shown{client.x, client.y - titleHeight, client.width,
                   titleHeight + client.height * 369 / 416};
  if (shown.x < monitors.front().x || shown.Right() > monitors.back().Right()) return false;
  for (const Rect& m : monitors) {
    const bool overlaps = shown.x < m.Right() && shown.Right() > m.x;
    if (overlaps && (shown.y < m.y || shown.Bottom() > m.Bottom())) return false;
  }
  return true;
}

// Half a second later the panel is still where it was: it does not flip between two scales.
void ExpectItStays(PanelSession& s, const Rect& frame) {
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_EQ(s.x.FrameGeometry(s.panel), frame) << "the panel did not stay put";
}

// A second monitor beside the primary one that shows the panel otherwise:
// - "SmallAt144dpi": the desktop's 144 dpi left to the program, the panel opens at 1.5 times the
//   layout, too large for an 800 x 480 monitor: there it must shrink;
// - "TwiceTheRatio", "...OnTheLeft": Qt's factor 2 for the second monitor
//   (QT_SCREEN_SCALE_FACTORS): there it must show at twice the size in pixels, not a quarter of
//   it at the old size.
struct SecondMonitor {
  const char* name;
  Rect primary, second;
  std::vector<std::string> env;
  double minScale, maxScale;  // of the panel's client area over the layout, there
};

void PrintTo(const SecondMonitor& monitor, std::ostream* out) {
  *out << monitor.name;
}

class X11DraggedToAnotherMonitor : public ::testing::TestWithParam<SecondMonitor> {};

// Dragged there by its title bar, the panel is laid out for that monitor: every control on it,
// the lowest row taking clicks where the user sees it. Dragged back, it is as it opened. Let go
// with its middle just across the seam, on the second monitor's side, it is laid out and stays.
TEST_P(X11DraggedToAnotherMonitor, ThePanelIsLaidOutForIt) {
  const SecondMonitor& row = GetParam();
  const Rect &primary = row.primary, &second = row.second;
  PanelSession s({.width = std::max(primary.Right(), second.Right()),
                  .height = 1080,
                  .windowManager = true,
                  .monitors = {primary, second}});
  ASSERT_TRUE(s.Start({}, row.env));
  const Rect opened = s.x.SettledFrameGeometry(s.panel);
  const Rect openedClient = s.x.ClientGeometry(s.panel);

  const Rect there = DragPanelTo(s, second.x + 10, second.y);
  const Rect client = s.x.ClientGeometry(s.panel);
  const double scale = client.width / 457.0;
  std::cout << "opened " << ToString(opened) << ", on the second monitor " << ToString(there)
            << " (scale " << scale << ")\n";
  EXPECT_GE(client.x, second.x) << "not dragged onto the second monitor";
  EXPECT_LE(client.Right(), second.Right()) << "wider than the monitor";
  EXPECT_LE(client.y + static_cast<int>(369 * scale), second.Bottom()) << "controls off it";
  EXPECT_GE(scale, row.minScale);
  EXPECT_LE(scale, row.maxScale);
  for (const auto& [spot, bits] :
       {std::pair{kMux7, 7 << 2}, std::pair{kDb20, (7 << 2) | (2 << 5)}}) {
    const std::size_t mark = s.x.LineCount();
    s.x.Click(s.panel, static_cast<int>(spot.x * scale), static_cast<int>(spot.y * scale));
    ASSERT_TRUE(s.WaitForWrites(mark, 1, 3000)) << "a click on the lowest row was lost";
    EXPECT_EQ(bus::DecodeBurst(s.Writes(mark).front()).selectionBits, bits);
  }

  const Rect back = DragPanelTo(s, opened.x, opened.y);
  std::cout << "back " << ToString(back) << "\n";
  EXPECT_EQ(s.x.ClientGeometry(s.panel).width, openedClient.width);
  EXPECT_EQ(s.x.ClientGeometry(s.panel).height, openedClient.height);

  const bool secondRight = second.x > primary.x;
  const int seam = secondRight ? second.x : second.Right();
  const Rect across = DragPanelTo(s, seam - back.width / 2 + (secondRight ? 40 : -40), opened.y);
  const Rect acrossClient = s.x.ClientGeometry(s.panel);
  std::cout << "across the seam " << ToString(across) << "\n";
  EXPECT_GE(acrossClient.width / 457.0, row.minScale) << "not laid out for the second monitor";
  EXPECT_LE(acrossClient.width / 457.0, row.maxScale) << "not laid out for the second monitor";
  EXPECT_TRUE(ControlsShownBy({primary, second}, acrossClient, acrossClient.y - across.y))
      << ToString(acrossClient) << ": title bar or controls off the monitors";
  ExpectItStays(s, across);
}

// The desktop's 144 dpi left to the program, a small monitor right of the primary one. Wherever
// the panel is let go, it ends laid out for the monitor its middle is on, its title bar and
// controls shown by the monitors, moved no more than that needs, and stays so:
// - its middle let go below the small monitor (nothing shows there): it shrinks and moves up onto
//   it, not sideways;
// - across the seam, its middle on the primary side: it grows, and moves whole onto the primary
//   monitor, as the small one is too low for it;
// - across the seam, its middle on the small side, its controls a little too low: it shrinks and
//   moves up, not sideways.
// Maximised there, and the small monitor unplugged, it comes back from maximised whole onto the
// primary monitor, laid out for it.
TEST(X11DraggedToASmallMonitor, LetGoAnywhereItEndsShownAndStays) {
  const Rect primary{0, 0, 1920, 1080}, small{1920, 0, 800, 480};
  PanelSession s(
      {.width = 2720, .height = 1080, .windowManager = true, .monitors = {primary, small}});
  ASSERT_TRUE(s.Start({}, {"QT_FONT_DPI=144", "QT_SCALE_FACTOR_ROUNDING_POLICY=RoundPreferFloor"}));
  const Rect opened = s.x.ClientGeometry(s.panel);
  const struct {
    const char* where;
    int frameX, frameY;  // where the frame is let go
    bool small;          // laid out for the small monitor
    bool keepsX;         // moved up or down only
  } releases[] = {
      {"its middle below the small monitor", small.x + 20, small.Bottom() - 120, true, true},
      {"across the seam, its middle on the primary side", small.x - 400, 0, false, false},
      {"across the seam, its middle on the small side", small.x - 120, 30, true, true},
  };
  for (const auto& release : releases) {
    SCOPED_TRACE(release.where);
    const Rect settled = DragPanelTo(s, release.frameX, release.frameY);
    const Rect now = s.x.ClientGeometry(s.panel);
    std::cout << release.where << ": " << ToString(settled) << "\n";
    if (release.small) {
      EXPECT_LT(now.width, opened.width) << "not laid out for the small monitor";
    } else {
      EXPECT_EQ(now.width, opened.width) << "not laid out for the primary monitor";
    }
    if (release.keepsX) {
      EXPECT_NEAR(settled.x, release.frameX, 2) << "moved sideways";
    }
    EXPECT_TRUE(ControlsShownBy({primary, small}, now, now.y - settled.y))
        << ToString(now) << ": title bar or controls off the monitors";
    ExpectItStays(s, settled);
  }

  DoubleClickTitleBar(s, s.panel);
  const Rect maximised = s.x.SettledFrameGeometry(s.panel);
  EXPECT_EQ(maximised.width, small.width) << "not maximised: " << ToString(maximised);
  s.x.Run({"xrandr", "--delmonitor", "M1"});
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  s.x.SettledFrameGeometry(s.panel);
  DoubleClickTitleBar(s, s.panel);
  const Rect back = s.x.SettledFrameGeometry(s.panel);
  const Rect client = s.x.ClientGeometry(s.panel);
  std::cout << "maximised, the small monitor unplugged, back: " << ToString(back) << "\n";
  EXPECT_EQ(client.width, opened.width) << "not laid out for the primary monitor again";
  EXPECT_TRUE(primary.Contains(back)) << "not whole on the primary monitor";
}

// The panel, at a size the user gave it, maximised on a second monitor, and the monitor
// unplugged: back from maximised, it is whole on the monitor left, at its size, and takes a
// click. The bus monitor, left by the user with its title bar's middle off the screen and then
// maximised, comes back where the user left it.
TEST(X11UnpluggedWhileHeld, ThePanelComesBackWholeAtItsSizeTheMonitorWhereTheUserLeftIt) {
  const Rect primary{0, 0, 1920, 1080}, second{1920, 0, 1920, 1080};
  PanelSession s(
      {.width = 3840, .height = 1080, .windowManager = true, .monitors = {primary, second}});
  ASSERT_TRUE(s.Start());
  const Rect opened = s.x.ClientGeometry(s.panel);
  s.x.Run({"xdotool", "windowsize", std::to_string(s.panel), std::to_string(opened.width + 60),
           std::to_string(opened.height + 40)});
  s.x.Run({"xdotool", "windowmove", std::to_string(s.panel), "3000", "500"});
  s.x.Run({"xdotool", "windowmove", std::to_string(s.monitor), "-700", "100"});
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  const Rect panelBefore = s.x.ClientGeometry(s.panel);
  ASSERT_TRUE(second.Contains(panelBefore))
      << "not on the second monitor: " << ToString(panelBefore);
  const Rect monitorBefore = s.x.SettledFrameGeometry(s.monitor);
  ASSERT_LT(monitorBefore.x + monitorBefore.width / 2, 0) << ToString(monitorBefore);
  DoubleClickTitleBar(s, s.panel);
  const int shownPart = monitorBefore.width - 120;  // of its title bar, left of its buttons
  DoubleClickTitleBar(s, s.monitor, shownPart);
  EXPECT_EQ(s.x.SettledFrameGeometry(s.panel).width, second.width) << "not maximised";
  EXPECT_EQ(s.x.SettledFrameGeometry(s.monitor).width, primary.width) << "not maximised";
  s.x.Run({"xrandr", "--delmonitor", "M1"});
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  s.x.SettledFrameGeometry(s.panel);
  DoubleClickTitleBar(s, s.panel);
  DoubleClickTitleBar(s, s.monitor, shownPart);
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  const Rect panel = s.x.SettledFrameGeometry(s.panel),
             monitor = s.x.SettledFrameGeometry(s.monitor);
  std::cout << "the panel back at " << ToString(panel) << ", the monitor at " << ToString(monitor)
            << "\n";
  EXPECT_TRUE(primary.Contains(panel)) << "the panel not whole on the monitor left";
  EXPECT_EQ(s.x.ClientGeometry(s.panel).width, panelBefore.width) << "its size lost";
  EXPECT_EQ(s.x.ClientGeometry(s.panel).height, panelBefore.height) << "its size lost";
  EXPECT_EQ(monitor, monitorBefore) << "the monitor not where the user left it";
  const std::size_t mark = s.x.LineCount();
  s.x.Click(s.panel, kMux7.x, kMux7.y);
  ASSERT_TRUE(s.WaitForWrites(mark, 1, 3000)) << "the click was lost";
  EXPECT_EQ(bus::DecodeBurst(s.Writes(mark).front()).selectionBits, 7 << 2);
}

// Without a window manager the program's own moves are the only ones: moved in small steps
// across the seam, the panel ends laid out for the monitor it stopped on, its controls shown,
// and stays.
TEST(X11DraggedToASmallMonitor, MovedInStepsWithoutAWindowManagerItSettles) {
  const Rect primary{0, 0, 1920, 1080}, small{1920, 0, 800, 480};
  PanelSession s({.width = 2720, .height = 1080, .monitors = {primary, small}});
  ASSERT_TRUE(s.Start({}, {"QT_FONT_DPI=144", "QT_SCALE_FACTOR_ROUNDING_POLICY=RoundPreferFloor"}));
  for (int x = 1540; x <= 1640; x += 8) {
    s.x.Run({"xdotool", "windowmove", std::to_string(s.panel), std::to_string(x), "0"});
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  const Rect settled = s.x.SettledFrameGeometry(s.panel);
  ExpectItStays(s, settled);
  const Rect client = s.x.ClientGeometry(s.panel);
  std::cout << "stopped at " << ToString(client) << "\n";
  EXPECT_TRUE(ControlsShownBy({primary, small}, client, 0))
      << ToString(client) << ": controls off the monitors";
  EXPECT_EQ(client.y, 0) << "moved down, as if for a title bar it does not have";
}

INSTANTIATE_TEST_SUITE_P(
    Monitors, X11DraggedToAnotherMonitor,
    ::testing::Values(SecondMonitor{"SmallAt144dpi",
                                    {0, 0, 1920, 1080},
                                    {1920, 0, 800, 480},
                                    {"QT_FONT_DPI=144",
                                     "QT_SCALE_FACTOR_ROUNDING_POLICY=RoundPreferFloor"},
                                    1.0,
                                    1.3},
                      SecondMonitor{"TwiceTheRatio",
                                    {0, 0, 1920, 1080},
                                    {1920, 0, 1920, 1080},
                                    {"QT_SCREEN_SCALE_FACTORS=M0=1;M1=2"},
                                    1.99,
                                    2.01},
                      SecondMonitor{"TwiceTheRatioOnTheLeft",
                                    {1920, 0, 1920, 1080},
                                    {0, 0, 1920, 1080},
                                    {"QT_SCREEN_SCALE_FACTORS=M0=1;M1=2"},
                                    1.99,
                                    2.01}),
    [](const ::testing::TestParamInfo<SecondMonitor>& info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(Screens, X11Placement,
                         ::testing::Values(Screen{800, 480, 1}, Screen{1024, 768, 1},
                                           Screen{1280, 800, 1}, Screen{1366, 768, 1},
                                           Screen{1920, 1080, 1}, Screen{1920, 1200, 2}),
                         [](const ::testing::TestParamInfo<Screen>& info) {
                           return std::to_string(info.param.width) + "x" +
                                  std::to_string(info.param.height) + "_scale" +
                                  std::to_string(static_cast<int>(info.param.scale));
                         });

}  // namespace
}  // namespace quarvel::x11
