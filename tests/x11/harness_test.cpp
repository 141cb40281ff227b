// SPDX-License-Identifier: GPL-3.0-or-later
// The harness itself on the simplest case: a band button clicked with the real mouse.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "PanelSession.h"

namespace quarvel::x11 {
namespace {

TEST(X11Panel, BandButtonClickedByMouseSendsTheBandsClockBurst) {
  PanelSession s;
  ASSERT_TRUE(s.Start());
  s.x.WaitQuiet(200, 2000);
  const std::size_t mark = s.x.LineCount();
  s.Click(kCMD1_4);
  ASSERT_TRUE(s.WaitForWrites(mark, 1));
  s.x.WaitQuiet(200, 2000);
  const auto bursts = s.Messages(mark);
  ASSERT_EQ(bursts.size(), 1u) << "one clock burst, the position stays in the band";
  ASSERT_EQ(bursts[0].size(), 3u);
  EXPECT_EQ(bursts[0][0][0], 0xD2);
  EXPECT_EQ(bursts[0][0][1], 0x40);
  EXPECT_EQ(bursts[0][1], (Bytes{0xD2, 0x0C, 100})) << "the band's output divider";
  EXPECT_EQ(bursts[0][2], (Bytes{0xD2, 0x13, 127})) << "the crystal trim at its start value";
  // Every call of the burst answered, in order.
  const auto& lines = s.x.Lines();
  ASSERT_GE(lines.size(), mark + 5);
  for (std::size_t i = mark; i < mark + 5; ++i)
    EXPECT_NE(lines[i].find("status=0"), std::string::npos);
  EXPECT_EQ(lines[mark].rfind("FT_Open ", 0), 0u);
  EXPECT_EQ(lines[mark + 4].rfind("FT_Close ", 0), 0u);
}

// A test that ends without its destructors (Ctrl+C in ctest, a crash, ctest's time limit)
// leaves no X server, window manager or program running, and so no display taken.
TEST(X11Harness, ATestKilledLeavesNoServerBehind) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  const pid_t test = fork();
  ASSERT_GE(test, 0);
  if (test == 0) {
    close(fds[0]);
    XSession session(XSessionOptions{.windowManager = true});
    // The display, then the session's folder, which the parent removes (this process dies
    // without its destructors).
    const std::string report = (session.Ready() ? session.Display() : std::string("-")) + " " +
                               std::filesystem::path(session.Home()).parent_path().string();
    if (write(fds[1], report.data(), report.size()) < 0) _exit(1);
    close(fds[1]);
    pause();
    _exit(0);
  }
  close(fds[1]);
  char buffer[4096] = {};
  const ssize_t n = read(fds[0], buffer, sizeof buffer - 1);
  close(fds[0]);
  kill(test, SIGKILL);
  waitpid(test, nullptr, 0);
  const std::string report(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
  const std::string display = report.substr(0, report.find(' '));
  if (const auto space = report.find(' '); space != std::string::npos) {
    const std::filesystem::path root = report.substr(space + 1);
    if (root.filename().string().rfind("quarvel-x11-", 0) == 0) {
      std::error_code ignored;
      std::filesystem::remove_all(root, ignored);
    }
  }
  ASSERT_EQ(display.rfind(':', 0), 0u) << "the session did not start: " << display;
  const std::filesystem::path lock = "/tmp/.X" + display.substr(1) + "-lock";
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::filesystem::exists(lock) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  if (std::filesystem::exists(lock)) {
    ADD_FAILURE() << "the X server of " << display << " still runs";
    // Not left to the next tests: the lock file holds the server's process id (its window
    // manager ends with it).
    std::ifstream in(lock);
    pid_t server = 0;
    if (in >> server && server > 0) kill(server, SIGTERM);
  }
}

// Two tests that pick the same display number at the same moment: the one whose server lost
// the number gives up or takes another; it never runs its program on the other's server.
TEST(X11Harness, TwoSessionsStartedOnOneNumberAtOnceNeverShareAServer) {
  namespace fs = std::filesystem;
  // A free number of 900-999, apart from the other tests' (or of the range they are given).
  int first = 900, count = 100;
  if (const char* given = getenv("QUARVEL_X11_DISPLAYS")) {
    int low = 0, high = 0;
    if (std::sscanf(given, "%d-%d", &low, &high) == 2 && low >= 0 && high >= low)
      first = low, count = high - low + 1;
  }
  int number = -1;
  for (int i = 0; i < count && number < 0; ++i) {
    const int n = first + (static_cast<int>(getpid()) + i) % count;
    if (!fs::exists("/tmp/.X" + std::to_string(n) + "-lock") &&
        !fs::exists("/tmp/.X11-unix/X" + std::to_string(n)))
      number = n;
  }
  ASSERT_GE(number, 0) << "no free display number";
  const std::string range = std::to_string(number) + "-" + std::to_string(number);
  for (int round = 0; round < 10; ++round) {
    int go[2], done[2], reports[2];
    ASSERT_EQ(pipe(go), 0);
    ASSERT_EQ(pipe(done), 0);
    ASSERT_EQ(pipe(reports), 0);
    pid_t children[2];
    for (pid_t& child : children) {
      child = fork();
      ASSERT_GE(child, 0);
      if (child != 0) continue;
      close(go[1]);
      close(done[1]);
      close(reports[0]);
      setenv("QUARVEL_X11_DISPLAYS", range.c_str(), 1);
      char byte = 0;
      if (read(go[0], &byte, 1) < 0) _exit(1);  // both start when the parent lets go
      {
        XSession session;
        // 'R': ready on its own server (the lock's holder is its child); 'F': ready on
        // another's; 'N': not ready.
        char verdict = 'N';
        if (session.Ready()) {
          std::ifstream lock("/tmp/.X" + session.Display().substr(1) + "-lock");
          pid_t holder = 0;
          std::ifstream stat;
          if (lock >> holder) stat.open("/proc/" + std::to_string(holder) + "/stat");
          std::string pid, name, state;
          pid_t parent = 0;
          verdict = stat >> pid >> name >> state >> parent && parent == getpid() ? 'R' : 'F';
        }
        if (write(reports[1], &verdict, 1) != 1) _exit(1);
        if (read(done[0], &byte, 1) < 0) _exit(1);  // keeps the server until both answered
      }
      _exit(0);
    }
    close(go[0]);
    close(done[0]);
    close(reports[1]);
    close(go[1]);
    std::string verdicts;
    char verdict = 0;
    while (verdicts.size() < 2 && read(reports[0], &verdict, 1) == 1) verdicts += verdict;
    close(reports[0]);
    close(done[1]);
    for (pid_t child : children) waitpid(child, nullptr, 0);
    std::sort(verdicts.begin(), verdicts.end());
    EXPECT_EQ(verdicts, "NR") << "round " << round;
  }
}

}  // namespace
}  // namespace quarvel::x11
