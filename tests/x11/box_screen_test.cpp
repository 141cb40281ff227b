// SPDX-License-Identifier: GPL-3.0-or-later
// Error boxes on a desk of two monitors: each opens centred on the monitor the user works on,
// wherever the pointer rests; the boxes of the start-up on the monitor the panel then opens on.
#include <gtest/gtest.h>

#include <chrono>
#include <iostream>
#include <string>
#include <thread>
#include <tuple>

#include "PanelSession.h"

namespace quarvel::x11 {
namespace {

constexpr Rect kLeft{0, 0, 1280, 800};
constexpr Rect kRight{1280, 0, 1920, 1080};
constexpr int kCentreSlackPx = 40;  // the frame a window manager adds is not known beforehand

// Every error box that opens, the first within firstMs and each next within a second of the
// last one closing, is on the monitor, whole, and centred on it; each is closed with Return.
// Returns how many opened.
std::size_t ExpectBoxesCentredOn(PanelSession& s, const Rect& monitor, int firstMs) {
  std::size_t count = 0;
  for (WindowId box; (box = s.x.WaitForWindow("Fehler", count == 0 ? firstMs : 1000)) != 0;) {
    ++count;
    const Rect frame = s.x.SettledFrameGeometry(box);
    std::cout << "box " << ToString(frame) << " for monitor " << ToString(monitor) << "\n";
    EXPECT_TRUE(monitor.Contains(frame))
        << "box " << ToString(frame) << " not on monitor " << ToString(monitor);
    EXPECT_NEAR(frame.x + frame.width / 2, monitor.x + monitor.width / 2, kCentreSlackPx);
    EXPECT_NEAR(frame.y + frame.height / 2, monitor.y + monitor.height / 2, kCentreSlackPx);
    s.x.Activate(box);
    s.x.Key({"Return"});
    if (!s.x.WaitForWindowGone(box, 3000)) {
      ADD_FAILURE() << "the box did not close";
      break;
    }
  }
  return count;
}

// Started with the pointer on the right monitor, with the board absent or with every write
// failing: the start-up boxes, shown before the panel, open on the monitor the panel then
// opens on (the left one). Then, with every write failing, a failing burst by key with the
// pointer on the right monitor opens its box on the panel's monitor; once the panel is moved
// to the right monitor and the pointer rests on the left one, on the right monitor; and there
// too when the wheel turns over the panel while the bus monitor, on the left, is the active
// window.
TEST(X11BoxScreen, ErrorBoxesOpenOnTheMonitorInUse) {
  struct Failure {
    std::vector<std::string> args;
    bool byKey;  // go on to bursts by key
  };
  for (const Failure& failure :
       {Failure{{"--no-device"}, false}, Failure{{"--status", "FT_Write=4"}, true}}) {
    SCOPED_TRACE(failure.args.front());
    PanelSession s(
        {.width = 3200, .height = 1080, .windowManager = true, .monitors = {kLeft, kRight}});
    ASSERT_TRUE(s.x.Ready());
    s.x.MoveToScreen(2000, 500);
    ASSERT_TRUE(s.x.Launch(s.program, failure.args));

    ASSERT_NE(s.x.WaitForWindow("Fehler", kWindowMs), 0u) << "no box at start-up";
    EXPECT_EQ(s.x.WaitForWindow(kPanelTitle, 0), 0u) << "the panel showed before the box";
    const std::size_t startupBoxes = ExpectBoxesCentredOn(s, kLeft, 0);
    EXPECT_EQ(BoxLines(s.x.Lines()).size(), startupBoxes);
    s.panel = s.x.WaitForWindow(kPanelTitle, kWindowMs);
    s.monitor = s.x.WaitForWindow(kMonitorTitle, kWindowMs);
    ASSERT_NE(s.panel, 0u);
    ASSERT_NE(s.monitor, 0u);
    EXPECT_TRUE(kLeft.Contains(s.x.SettledFrameGeometry(s.panel))) << "the panel opened elsewhere";
    if (!failure.byKey) continue;

    struct Row {
      const char* what;
      int panelX, panelY;  // where the panel is moved to; negative: where it is
      int pointerX, pointerY;
      std::vector<std::string> keys;  // the tuning bar has the keyboard after the first Tab
      Rect expected;
      bool wheelWithTheMonitorActive = false;  // instead of the keys
    };
    for (const Row& row :
         {Row{"panel left, pointer right", -1, -1, 2000, 500, {"Tab", "Right"}, kLeft},
          Row{"panel right, pointer left", 1280 + 600, 300, 600, 400, {"Right"}, kRight},
          Row{"wheel over the panel, the monitor active on the left",
              -1,
              -1,
              0,
              0,
              {},
              kRight,
              true}}) {
      SCOPED_TRACE(row.what);
      if (row.panelX >= 0) {
        s.x.Run({"xdotool", "windowmove", "--sync", std::to_string(s.panel),
                 std::to_string(row.panelX), std::to_string(row.panelY)});
        ASSERT_TRUE(row.expected.Contains(s.x.SettledFrameGeometry(s.panel))) << "panel not moved";
      }
      const std::size_t mark = s.x.LineCount();
      if (row.wheelWithTheMonitorActive) {
        s.x.Run({"xdotool", "windowsize", "--sync", std::to_string(s.monitor), "600", "500"});
        s.x.Run({"xdotool", "windowmove", "--sync", std::to_string(s.monitor), "100", "50"});
        ASSERT_TRUE(kLeft.Contains(s.x.SettledFrameGeometry(s.monitor))) << "monitor not moved";
        s.x.Activate(s.monitor);
        s.x.Click(s.panel, kScrollBar4.x, kScrollBar4.y, 5);
      } else {
        s.x.Activate(s.panel);
        s.x.MoveToScreen(row.pointerX, row.pointerY);
        s.x.Key(row.keys);
      }
      ASSERT_TRUE(s.x.WaitForLineStarting("MessageBox caption=\"Fehler\"", mark, 5000))
          << "no failing burst";
      const std::size_t boxes = ExpectBoxesCentredOn(s, row.expected, kWindowMs);
      EXPECT_EQ(boxes, BoxLines(s.x.Lines(), mark).size());
      s.x.WaitQuiet(300, 3000);
    }
  }
}

// A monitor unplugged while the panel, the bus monitor and an error box are on it: each comes
// back whole onto the monitor that is left, where the window manager alone would leave them
// mostly off it (the panel's title bar out of reach, the box holding every window unseen), and
// the box still answers Return; the boxes after it open centred there.
TEST(X11BoxScreen, WindowsOnAnUnpluggedMonitorComeBackWhole) {
  PanelSession s(
      {.width = 3200, .height = 1080, .windowManager = true, .monitors = {kLeft, kRight}});
  ASSERT_TRUE(s.x.Ready());
  ASSERT_TRUE(s.x.Launch(s.program, {"--status", "FT_Write=4"}));
  ExpectBoxesCentredOn(s, kLeft, kWindowMs);
  s.panel = s.x.WaitForWindow(kPanelTitle, kWindowMs);
  s.monitor = s.x.WaitForWindow(kMonitorTitle, kWindowMs);
  ASSERT_NE(s.panel, 0u);
  ASSERT_NE(s.monitor, 0u);
  for (const auto& [window, x, y] :
       {std::tuple{s.panel, 1280 + 1300, 600}, std::tuple{s.monitor, 1280 + 200, 100}}) {
    s.x.Run({"xdotool", "windowmove", "--sync", std::to_string(window), std::to_string(x),
             std::to_string(y)});
    ASSERT_TRUE(kRight.Contains(s.x.SettledFrameGeometry(window))) << "not moved to the right";
  }
  const std::size_t mark = s.x.LineCount();
  s.x.Activate(s.panel);
  s.x.Key({"Tab", "Right"});
  ASSERT_TRUE(s.x.WaitForLineStarting("MessageBox caption=\"Fehler\"", mark, 5000));
  const WindowId box = s.x.WaitForWindow("Fehler", kWindowMs);
  ASSERT_NE(box, 0u);
  ASSERT_TRUE(kRight.Contains(s.x.SettledFrameGeometry(box))) << "the box opened elsewhere";

  s.x.Run({"xrandr", "--delmonitor", "M1"});
  for (const auto& [what, window] :
       {std::pair{"panel", s.panel}, std::pair{"bus monitor", s.monitor}, std::pair{"box", box}}) {
    Rect frame = s.x.FrameGeometry(window);
    for (int waited = 0; !kLeft.Contains(frame) && waited < 5000; waited += 50) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      frame = s.x.FrameGeometry(window);
    }
    std::cout << what << " " << ToString(frame) << "\n";
    EXPECT_TRUE(kLeft.Contains(frame)) << what << " " << ToString(frame) << " not on what is left";
  }
  s.x.Activate(box);
  s.x.Key({"Return"});
  EXPECT_TRUE(s.x.WaitForWindowGone(box, 3000)) << "the box did not close";
  ExpectBoxesCentredOn(s, kLeft, 1000);
}

// Under a window manager, an error box minimised on its own (its title bar's button, a task bar)
// does not leave the panel on screen taking no click while the box is out of sight. The boxes
// come from a wheel turned over the panel while another window has the keyboard:
// - the bus monitor: minimised while it has the keyboard, the box comes straight back with it,
//   and its OK gives the keyboard back to the monitor;
// - another program: minimised while that program has the keyboard, the box stays down until
//   the user comes back to the panel (a key meant for the other program must not press OK
//   unseen), then comes back with the keyboard.
// After each, the next click on the panel goes through.
TEST(X11BoxScreen, AMinimisedBoxComesBackWhenTheUserIsInTheProgram) {
  PanelSession s({.windowManager = true});
  ASSERT_TRUE(s.x.Ready());
  ASSERT_TRUE(s.x.Launch(s.program, {"--status", "FT_Write=4"}));
  for (WindowId box; (box = s.x.WaitForWindow("Fehler", kWindowMs)) != 0;) {  // start-up boxes
    s.x.Activate(box);
    s.x.Key({"Return"});
    ASSERT_TRUE(s.x.WaitForWindowGone(box, 3000));
    if (s.x.WaitForWindow(kPanelTitle, 0) != 0 && s.x.WaitForWindow("Fehler", 1000) == 0) break;
  }
  s.panel = s.x.WaitForWindow(kPanelTitle, kWindowMs);
  s.monitor = s.x.WaitForWindow(kMonitorTitle, kWindowMs);
  ASSERT_NE(s.panel, 0u);
  ASSERT_NE(s.monitor, 0u);
  const std::string other =
      s.x.Run({"sh", "-c", "xmessage -geometry +900+700 other >/dev/null 2>&1 & echo $!"});
  // Not the program's window: looked for among all windows.
  const WindowId otherWindow =
      std::stoul("0" + s.x.Run({"timeout", "10", "xdotool", "search", "--sync", "--onlyvisible",
                                "--name", "^xmessage$"}));
  ASSERT_NE(otherWindow, 0u) << "no other program's window";
  const auto active = [&s] { return std::stoul("0" + s.x.Run({"xdotool", "getactivewindow"})); };
  const auto becomesActive = [&active](WindowId window) {
    for (int waited = 0; waited < 3000; waited += 50) {
      if (active() == window) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  };
  s.x.WaitQuiet(300, 3000);

  const struct {
    const char* name;
    bool otherInUse;    // else the bus monitor
    bool leftTheBox;    // the user went back to the other program before the box was minimised
    bool backToTheBox;  // and then back to the box
  } rows[] = {
      {"the bus monitor in use", false, false, false},
      {"another program in use, the box minimised from itself", true, true, true},
      {"another program in use when the box is minimised", true, true, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    s.x.Activate(row.otherInUse ? otherWindow : s.monitor);
    s.x.Click(s.panel, kScrollBar4.x, kScrollBar4.y, 5);
    const WindowId box = s.x.WaitForWindow("Fehler", kWindowMs);
    ASSERT_NE(box, 0u) << "no box for the failing write";
    if (row.leftTheBox) {
      s.x.Activate(otherWindow);
      // Some time there: a window manager takes the keyboard from a box it minimises just
      // before it says so, which the box tells from a user's leaving by the time between.
      std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    }
    if (row.backToTheBox) s.x.Activate(box);
    s.x.Run({"xdotool", "windowminimize", "--sync", std::to_string(box)});
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const bool waits = row.leftTheBox && !row.backToTheBox;
    if (waits) {
      EXPECT_EQ(s.x.WaitForWindow("Fehler", 0), 0u) << "the box came back over the other program";
      EXPECT_EQ(active(), otherWindow) << "the box took the keyboard from the other program";
      s.x.Activate(s.panel);  // back to the panel
    }
    ASSERT_EQ(s.x.WaitForWindow("Fehler", waits ? 3000 : 0), box) << "the box stayed minimised";
    ASSERT_TRUE(becomesActive(box)) << "the box came back without the keyboard";
    s.x.Key({"Return"});
    ASSERT_TRUE(s.x.WaitForWindowGone(box, 3000));
    if (!row.otherInUse) {
      EXPECT_TRUE(becomesActive(s.monitor)) << "the keyboard did not go back";
    }
  }
  s.x.Run({"kill", other.substr(0, other.find('\n'))});

  s.x.WaitQuiet(300, 3000);
  const std::size_t mark = s.x.LineCount();
  s.x.Click(s.panel, kMux3.x, kMux3.y);
  EXPECT_TRUE(s.x.WaitForLineStarting("FT_Write count=317 data=0F0F", mark, 5000))
      << "the click after the boxes sent no burst for input 4";
}

}  // namespace
}  // namespace quarvel::x11
