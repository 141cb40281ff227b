// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated edition on a Wayland desktop (a headless weston of its own), where the
// compositor, not the program, places the windows. Judged by what the program asks of the
// compositor, from its protocol log (WAYLAND_DEBUG): which window is mapped last, and so in
// front, and the size each window asks for.
#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <thread>

namespace quarvel::x11 {
namespace {

namespace fs = std::filesystem;

// A headless weston on a socket of its own in a private runtime folder.
class Compositor {
 public:
  Compositor() {
    char tmpl[] = "/tmp/quarvel-wayland-XXXXXX";
    if (mkdtemp(tmpl) == nullptr) return;
    root_ = tmpl;
    fs::create_directories(root_ + "/home");
    const std::string log = root_ + "/weston.log";
    pid_ = fork();
    if (pid_ == 0) {
      setenv("XDG_RUNTIME_DIR", root_.c_str(), 1);
      freopen(log.c_str(), "w", stdout);
      freopen(log.c_str(), "a", stderr);
      execlp("weston", "weston", "--backend=headless-backend.so", "--socket=quarvel",
             "--width=1280", "--height=800", "--idle-time=0", static_cast<char*>(nullptr));
      _exit(127);
    }
    for (int i = 0; i < 100 && !fs::exists(root_ + "/quarvel"); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ~Compositor() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
    std::error_code ec;
    if (!root_.empty()) fs::remove_all(root_, ec);
  }
  bool Ready() const { return pid_ > 0 && fs::exists(root_ + "/quarvel"); }

  // Runs the program on this compositor until it ends; returns its exit status and puts its
  // protocol log in *log.
  int Run(const std::string& program, std::string* log) const {
    const std::string logFile = root_ + "/protocol.log";
    const std::string command =
        "cd '" + root_ + "' && env HOME='" + root_ + "/home' XDG_RUNTIME_DIR='" + root_ +
        "' WAYLAND_DISPLAY=quarvel QT_QPA_PLATFORM=wayland WAYLAND_DEBUG=client "
        "QUARVEL_EXIT_WHEN_SHOWN=2 timeout 60 '" +
        program + "' >/dev/null 2>'" + logFile + "'";
    const int status = std::system(command.c_str());
    std::ifstream in(logFile);
    log->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return status;
  }

 private:
  std::string root_;
  pid_t pid_ = -1;
};

struct Toplevel {
  std::size_t mappedAt = 0;   // offset in the log of its first buffer; 0: never mapped
  int width = 0, height = 0;  // the window geometry it last asked for before that
};

// The program's top-level windows by title, read from the client's protocol log.
std::map<std::string, Toplevel> ToplevelsOf(const std::string& log) {
  const std::regex xdgSurface(R"(get_xdg_surface\(new id xdg_surface@(\d+), wl_surface@(\d+)\))");
  const std::regex toplevel(R"(xdg_surface@(\d+)\.get_toplevel\(new id xdg_toplevel@(\d+)\))");
  const std::regex title(R"re(-> xdg_toplevel@(\d+)\.set_title\("([^"]*)"\))re");
  const std::regex geometry(R"(-> xdg_surface@(\d+)\.set_window_geometry\(0, 0, (\d+), (\d+)\))");
  const std::regex attach(R"(-> wl_surface@(\d+)\.attach\(wl_buffer@)");
  std::map<std::string, std::string> surfaceOfXdg, xdgOfToplevel;
  std::map<std::string, std::string> titleOfXdg, titleOfSurface;
  std::map<std::string, Toplevel> windows;
  std::size_t offset = 0;
  std::istringstream lines(log);
  for (std::string line; std::getline(lines, line); offset += line.size() + 1) {
    std::smatch m;
    if (std::regex_search(line, m, xdgSurface)) {
      surfaceOfXdg[m[1]] = m[2];
    } else if (std::regex_search(line, m, toplevel)) {
      xdgOfToplevel[m[2]] = m[1];
    } else if (std::regex_search(line, m, title)) {
      const std::string xdg = xdgOfToplevel[m[1]];
      titleOfXdg[xdg] = m[2];
      titleOfSurface[surfaceOfXdg[xdg]] = m[2];
    } else if (std::regex_search(line, m, geometry) && titleOfXdg.count(m[1]) != 0) {
      Toplevel& w = windows[titleOfXdg[m[1]]];
      if (w.mappedAt == 0) w.width = std::stoi(m[2]), w.height = std::stoi(m[3]);
    } else if (std::regex_search(line, m, attach) && titleOfSurface.count(m[1]) != 0) {
      Toplevel& w = windows[titleOfSurface[m[1]]];
      if (w.mappedAt == 0) w.mappedAt = offset + 1;
    }
  }
  return windows;
}

// The compositor may put the bus monitor over the panel: the panel is mapped after it, so it
// is the one in front, and the monitor asks for its full size (960 × 720 and the window's
// frame) rather than the room beside a panel position that the program cannot know there.
TEST(WaylandSession, PanelInFrontOfAMonitorOfFullSize) {
  const Compositor weston;
  ASSERT_TRUE(weston.Ready()) << "weston did not start";
  std::string log;
  ASSERT_EQ(weston.Run(QUARVEL_SIM_EXE, &log), 0) << log.substr(0, 2000);
  const std::map<std::string, Toplevel> windows = ToplevelsOf(log);
  ASSERT_EQ(windows.count("Quarvel SDR Tuning"), 1u);
  ASSERT_EQ(windows.count("Bus monitor"), 1u);
  const Toplevel& panel = windows.at("Quarvel SDR Tuning");
  const Toplevel& monitor = windows.at("Bus monitor");
  ASSERT_NE(panel.mappedAt, 0u) << "the panel was not shown";
  ASSERT_NE(monitor.mappedAt, 0u) << "the monitor was not shown";
  EXPECT_GT(panel.mappedAt, monitor.mappedAt) << "the monitor is in front of the panel";
  EXPECT_GE(monitor.width, 960);
  EXPECT_GE(monitor.height, 720);
}

}  // namespace
}  // namespace quarvel::x11
