// SPDX-License-Identifier: GPL-3.0-or-later
// The harness itself on the simplest case: a band button clicked with the real mouse.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
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
    const std::string display = session.Ready() ? session.Display() : std::string("-");
    if (write(fds[1], display.data(), display.size()) < 0) _exit(1);
    close(fds[1]);
    pause();
    _exit(0);
  }
  close(fds[1]);
  char buffer[32] = {};
  const ssize_t n = read(fds[0], buffer, sizeof buffer - 1);
  close(fds[0]);
  kill(test, SIGKILL);
  waitpid(test, nullptr, 0);
  const std::string display(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
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

}  // namespace
}  // namespace quarvel::x11
