// SPDX-License-Identifier: GPL-3.0-or-later
// Whole sessions: what is left in the home folder, closing the windows, and memory over a long
// run of bursts.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>

#include "PanelSession.h"

namespace quarvel::x11 {
namespace {

Bytes Filled(std::uint8_t value) {
  return Bytes(256, value);
}

// A session under a home folder that holds another Qt program's file dialog state (its last
// folder elsewhere, holding a file of the same name): the dialog starts in the working
// directory all the same, and after uploads and a real close nothing in the home folder has
// changed or been added.
TEST(X11Session, NothingReadFromOrWrittenToTheHomeFolder) {
  PanelSession s({.windowManager = true});
  const std::string elsewhere = s.x.Scratch() + "/elsewhere";
  std::filesystem::create_directories(elsewhere);
  WriteFile(elsewhere + "/image.bin", Filled(0xEE));
  WriteFile(s.x.WorkDir() + "/image.bin", Filled(0x11));
  {
    std::ofstream conf(s.x.Home() + "/.config/QtProject.conf");
    conf << "[FileDialog]\nhistory=file://" << elsewhere << "\nlastVisited=file://" << elsewhere
         << "\nqtVersion=6.4.2\nviewMode=Detail\n";
  }
  const auto before = TreeSnapshot(s.x.Home());
  ASSERT_TRUE(s.Start());

  for (Spot button : {kRAMbin, kFlashBin}) {
    s.Click(button);
    const WindowId dialog = s.x.WaitForOtherWindow({s.panel, s.monitor}, kWindowMs);
    ASSERT_NE(dialog, 0u);
    s.x.Activate(dialog);
    const std::size_t mark = s.x.LineCount();
    s.x.Type("image.bin");  // relative: the dialog's own folder decides which file
    s.x.Key({"Return"});
    ASSERT_TRUE(s.x.WaitForLines(IsPage, mark, 16, kUploadMs));
    s.x.WaitQuiet(300, 2000);
    EXPECT_EQ(UploadedImage(s, mark, button.x == kRAMbin.x ? 0xD2 : 0xD0), Filled(0x11))
        << "the dialog did not start in the working directory";
  }
  s.ClosePanelByKey();
  const std::optional<int> code = s.x.WaitForExit(5000);
  ASSERT_TRUE(code.has_value()) << "the program did not end";
  EXPECT_EQ(*code, 0);
  EXPECT_EQ(TreeSnapshot(s.x.Home()), before);
}

// Started under a window manager, the keyboard is with the panel, not with the bus monitor
// that opens after it: Tab and Right, pressed at once, tune.
TEST(X11Session, StartsWithTheKeyboardInThePanel) {
  PanelSession s({.windowManager = true});
  ASSERT_TRUE(s.Start());
  s.x.WaitQuiet(300, 3000);
  const std::size_t mark = s.x.LineCount();
  s.x.Key({"Tab"});
  s.x.Key({"Right"});
  EXPECT_TRUE(s.WaitForWrites(mark, 1)) << "the keys went elsewhere";
}

// With the icon installed where the package puts it (in a data folder, here the user's own, or
// beside the program under a prefix of its own), both windows carry it for the window list and
// the task bar.
TEST(X11Session, WindowsCarryTheInstalledIcon) {
  for (const bool besideTheProgram : {false, true}) {
    SCOPED_TRACE(besideTheProgram ? "under /opt-like prefix" : "in the user's data folder");
    PanelSession s({.windowManager = true});
    const std::string prefix = s.x.WorkDir() + "/opt/quarvel";
    const std::string theme = besideTheProgram ? prefix + "/share/icons/hicolor"
                                               : s.x.Home() + "/.local/share/icons/hicolor";
    std::filesystem::create_directories(theme + "/64x64/apps");
    std::filesystem::copy_file(QUARVEL_ICON_PNG, theme + "/64x64/apps/quarvel-sdr.png");
    if (besideTheProgram) {
      std::filesystem::create_directories(prefix + "/bin");
      s.program = prefix + "/bin/QuarvelSDR-sim";
      std::filesystem::copy_file(QUARVEL_SIM_EXE, s.program);
    }
    ASSERT_TRUE(s.Start());
    s.x.WaitQuiet(300, 3000);
    for (WindowId window : {s.panel, s.monitor}) {
      const std::string icon = s.x.Run({"xprop", "-id", std::to_string(window), "_NET_WM_ICON"});
      EXPECT_NE(icon.find("Icon (64 x 64)"), std::string::npos) << s.x.WindowName(window) << icon;
    }
  }
}

// Closing the panel ends the program, the bus monitor open or not; closing only the monitor
// keeps the panel working.
TEST(X11Session, ClosingThePanelEndsTheProgramClosingTheMonitorDoesNot) {
  {
    PanelSession s({.windowManager = true});
    ASSERT_TRUE(s.Start());
    s.ClosePanelByKey();
    const std::optional<int> code = s.x.WaitForExit(5000);
    ASSERT_TRUE(code.has_value()) << "closing the panel left the program running; the active "
                                  << "window: " << s.ActiveWindow();
    EXPECT_EQ(*code, 0);
  }
  PanelSession s({.windowManager = true});
  ASSERT_TRUE(s.Start());
  s.CloseByKey(s.monitor);
  ASSERT_TRUE(s.x.WaitForWindowGone(s.monitor, 5000))
      << "the active window: " << s.ActiveWindow() << "the monitor: " << s.monitor
      << ", the panel: " << s.panel << ", the program running: " << s.x.Running();
  EXPECT_TRUE(s.x.Running());
  const std::size_t mark = s.x.LineCount();
  s.x.Activate(s.panel);
  s.Click(kMux2);
  EXPECT_TRUE(s.WaitForWrites(mark, 1)) << "the panel stopped working";
  s.monitor = 0;  // closed
  s.ClosePanelByKey();
  const std::optional<int> code = s.x.WaitForExit(5000);
  ASSERT_TRUE(code.has_value()) << "the active window: " << s.ActiveWindow();
  EXPECT_EQ(*code, 0);
}

// Started with standard output closed (`QuarvelSDR-sim >&-`, or by a launcher that leaves it
// so), the program still shows both windows and ends when the panel is closed: the display
// connection must not take the place of standard output, where the trace goes.
TEST(X11Session, StartsAndEndsWithStandardOutputClosed) {
  PanelSession s({.windowManager = true});
  ASSERT_TRUE(s.x.Ready());
  ASSERT_TRUE(s.x.Launch("/bin/sh", {"-c", "exec \"$0\" >&-", QUARVEL_SIM_EXE}));
  s.panel = s.x.WaitForWindow(kPanelTitle, kWindowMs);
  ASSERT_NE(s.panel, 0u) << "no panel";
  s.monitor = s.x.WaitForWindow(kMonitorTitle, kWindowMs);
  ASSERT_NE(s.monitor, 0u) << "no monitor";
  s.ClosePanelByKey();
  const std::optional<int> code = s.x.WaitForExit(5000);
  ASSERT_TRUE(code.has_value()) << "closing the panel left the program running; the active "
                                << "window: " << s.ActiveWindow();
  EXPECT_EQ(*code, 0);
}

// The start-up timing switch ends the program under a window manager too, once the panel
// (1) or the bus monitor as well (2) has painted; on a wide screen the monitor's list and
// tables cover its whole window.
TEST(X11Session, ExitWhenShownEndsTheProgramUnderAWindowManager) {
  for (const char* value : {"1", "2"}) {
    SCOPED_TRACE(value);
    PanelSession s({.width = 1600, .height = 900, .windowManager = true});
    ASSERT_TRUE(s.x.Ready());
    ASSERT_TRUE(s.x.Launch(QUARVEL_SIM_EXE, {}, {std::string("QUARVEL_EXIT_WHEN_SHOWN=") + value}));
    const std::optional<int> code = s.x.WaitForExit(5000);
    ASSERT_TRUE(code.has_value()) << "still running";
    EXPECT_EQ(*code, 0);
  }
}

// 10,000 level bursts by key through the window, after the monitor's list has filled up:
// resident memory grows by no more than 600 kB.
TEST(X11Session, ResidentMemoryStaysFlatOverTenThousandBursts) {
  constexpr long kLimitKb = 600;
  PanelSession s;
  ASSERT_TRUE(s.Start());
  s.x.Activate(s.panel);
  s.Click(kScrollBar4);  // focus on the level bar (one page step)
  s.x.WaitQuiet(200, 2000);
  // In rounds of 400 keys, each handled before the next: a flood of queued key events would
  // raise the heap's high-water mark by itself.
  auto burstsByKey = [&](int pairs) {
    constexpr int kRound = 200;
    for (int done = 0; done < pairs; done += kRound) {
      const std::size_t mark = s.x.LineCount();
      s.x.Key({"End", "Home"}, kRound, 0);
      if (!s.WaitForWrites(mark, 2 * kRound, 20000)) return false;
    }
    return true;
  };
  ASSERT_TRUE(burstsByKey(1500)) << "warm-up";  // the monitor keeps its newest 2,000 rows
  s.x.WaitQuiet(300, 3000);
  const long warm = s.x.ResidentKb();
  ASSERT_TRUE(burstsByKey(5000));
  s.x.WaitQuiet(300, 3000);
  const long after = s.x.ResidentKb();
  std::cout << "VmRSS after warm-up " << warm << " kB, after 10,000 more bursts " << after
            << " kB: " << (after - warm) << " kB\n";
  RecordProperty("rss_growth_kb", std::to_string(after - warm));
  EXPECT_LE(after - warm, kLimitKb);
}

}  // namespace
}  // namespace quarvel::x11
