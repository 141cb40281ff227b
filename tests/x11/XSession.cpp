// SPDX-License-Identifier: GPL-3.0-or-later
#include "XSession.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace quarvel::x11 {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kServerStartMs = 10000;
constexpr int kStopGraceMs = 3000;

void SleepMs(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

int MsSince(Clock::time_point start) {
  return static_cast<int>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

// The current environment with the given "NAME=value" entries put over it.
std::vector<std::string> MergedEnv(const std::vector<std::string>& over,
                                   const std::vector<std::string>& drop = {}) {
  auto nameOf = [](const std::string& entry) { return entry.substr(0, entry.find('=')); };
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry(*e);
    const std::string name = nameOf(entry);
    const bool replaced = std::any_of(over.begin(), over.end(),
                                      [&](const std::string& o) { return nameOf(o) == name; });
    if (!replaced && std::find(drop.begin(), drop.end(), name) == drop.end()) env.push_back(entry);
  }
  // Of several entries for one name in `over`, the last one counts: a launch's extra entries
  // replace the session's own (the C library reads only the first of duplicates).
  for (auto it = over.begin(); it != over.end(); ++it) {
    const std::string name = nameOf(*it);
    if (std::none_of(it + 1, over.end(), [&](const std::string& o) { return nameOf(o) == name; }))
      env.push_back(*it);
  }
  return env;
}

std::vector<char*> CStrings(std::vector<std::string>& strings) {
  std::vector<char*> out;
  for (std::string& s : strings) out.push_back(s.data());
  out.push_back(nullptr);
  return out;
}

// Starts argv with env in dir; stdout goes to *outFd (a pipe, read end returned; holding
// pipeBytes when not 0) when outFd is given, else to /dev/null, and stderr to errorFile when
// named, else to /dev/null. The child gets its own process group (a test's signals are not its
// own), and ends with the test: a test interrupted (Ctrl+C), killed or timed out leaves no X
// server, window manager or program behind.
pid_t Spawn(std::vector<std::string> argv, std::vector<std::string> env, const std::string& dir,
            int* outFd, const std::string& errorFile = {}, int pipeBytes = 0) {
  int pipeFds[2] = {-1, -1};
  if (outFd != nullptr && pipe2(pipeFds, O_CLOEXEC) != 0) return -1;
  if (outFd != nullptr && pipeBytes > 0 && fcntl(pipeFds[0], F_SETPIPE_SZ, pipeBytes) < 0) {
    close(pipeFds[0]);
    close(pipeFds[1]);
    return -1;
  }
  std::vector<char*> cargv = CStrings(argv);
  std::vector<char*> cenv = CStrings(env);
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid == 0) {
    setpgid(0, 0);
    if (prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || getppid() != parent) _exit(125);
    const int null = open("/dev/null", O_RDWR);
    dup2(null, STDIN_FILENO);
    dup2(outFd != nullptr ? pipeFds[1] : null, STDOUT_FILENO);
    const int error = errorFile.empty()
                          ? null
                          : open(errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    dup2(error >= 0 ? error : null, STDERR_FILENO);
    if (!dir.empty() && chdir(dir.c_str()) != 0) _exit(126);
    execvpe(cargv[0], cargv.data(), cenv.data());
    _exit(127);
  }
  if (outFd != nullptr) {
    close(pipeFds[1]);
    if (pid < 0) {
      close(pipeFds[0]);
      return -1;
    }
    *outFd = pipeFds[0];
  }
  return pid;
}

// Ends a child started by Spawn: SIGTERM, then SIGKILL after the grace time.
void Stop(pid_t pid) {
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  const auto start = Clock::now();
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (MsSince(start) > kStopGraceMs) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return;
    }
    SleepMs(10);
  }
}

std::string MakeTempDir() {
  std::string tmpl = (fs::temp_directory_path() / "quarvel-x11-XXXXXX").string();
  if (mkdtemp(tmpl.data()) == nullptr) return {};
  return tmpl;
}

bool HasWindowManager(const XSession& session) {
  int status = 1;
  const std::string out = session.Run({"xprop", "-root", "_NET_SUPPORTING_WM_CHECK"}, &status);
  return status == 0 && out.find("window id") != std::string::npos;
}

}  // namespace

bool Rect::Intersects(const Rect& o) const {
  return x < o.Right() && o.x < Right() && y < o.Bottom() && o.y < Bottom();
}

bool Rect::Contains(const Rect& o) const {
  return o.x >= x && o.y >= y && o.Right() <= Right() && o.Bottom() <= Bottom();
}

std::string ToString(const Rect& r) {
  return std::to_string(r.width) + "x" + std::to_string(r.height) + "+" + std::to_string(r.x) +
         "+" + std::to_string(r.y);
}

XSession::XSession(XSessionOptions options) : options_(options) {
  root_ = MakeTempDir();
  if (root_.empty()) return;
  home_ = root_ + "/home";
  work_ = root_ + "/work";
  scratch_ = root_ + "/scratch";
  runtime_ = root_ + "/runtime";
  wmHome_ = root_ + "/wm";
  for (const std::string& dir : {home_ + "/.config", home_ + "/.local/share", home_ + "/.cache",
                                 home_ + "/.local/state", work_, scratch_, runtime_, wmHome_})
    fs::create_directories(dir);
  fs::permissions(runtime_, fs::perms::owner_all, fs::perm_options::replace);
  ready_ =
      StartServer() && SplitIntoMonitors() && (!options_.windowManager || StartWindowManager());
}

XSession::~XSession() {
  if (pid_ > 0 && !exitCode_) {
    kill(pid_, SIGTERM);
    if (!WaitForExit(kStopGraceMs)) {
      kill(pid_, SIGKILL);
      WaitForExit(kStopGraceMs);
    }
  }
  if (out_ >= 0) close(out_);
  Stop(wm_);
  Stop(server_);
  if (!root_.empty()) {
    std::error_code ec;
    fs::remove_all(root_, ec);
  }
}

void XSession::EndServer() {
  Stop(wm_);
  wm_ = -1;
  Stop(server_);
  server_ = -1;
}

std::vector<std::string> XSession::BaseEnv() const {
  return {"DISPLAY=" + display_,
          "HOME=" + home_,
          "XDG_CONFIG_HOME=" + home_ + "/.config",
          "XDG_DATA_HOME=" + home_ + "/.local/share",
          "XDG_CACHE_HOME=" + home_ + "/.cache",
          "XDG_STATE_HOME=" + home_ + "/.local/state",
          "XDG_RUNTIME_DIR=" + runtime_};
}

bool XSession::StartServer() {
  // Display numbers apart from the usual ones, spread by process so that parallel tests and
  // other users of the machine rarely meet; a number taken meanwhile is skipped.
  // QUARVEL_X11_DISPLAYS=FIRST-LAST keeps them to that range (a machine shared by several
  // test runs, each given its own numbers).
  int first = 200, count = 700;
  if (const char* range = getenv("QUARVEL_X11_DISPLAYS")) {
    int low = 0, high = 0;
    if (std::sscanf(range, "%d-%d", &low, &high) == 2 && low >= 0 && high >= low)
      first = low, count = high - low + 1;
  }
  int n = first + static_cast<int>(getpid() % std::min(count, 500));
  // Seven apart, or one where that would come back to the same numbers (a range of 7 or 14).
  const int stride = count % 7 == 0 ? 1 : 7;
  for (int attempt = 0; attempt < 20; ++attempt, n = first + (n - first + stride) % count) {
    const std::string lock = "/tmp/.X" + std::to_string(n) + "-lock";
    const std::string socket = "/tmp/.X11-unix/X" + std::to_string(n);
    if (fs::exists(lock) || fs::exists(socket)) continue;
    display_ = ":" + std::to_string(n);
    const std::string screen =
        std::to_string(options_.width) + "x" + std::to_string(options_.height) + "x24";
    server_ = Spawn({"Xvfb", display_, "-screen", "0", screen, "-nolisten", "tcp", "-noreset"},
                    MergedEnv({}), root_, nullptr);
    if (server_ < 0) return false;
    const auto start = Clock::now();
    while (MsSince(start) < kServerStartMs) {
      int status = 0;
      if (waitpid(server_, &status, WNOHANG) == server_) {  // lost the number to another
        server_ = -1;
        break;
      }
      int answered = 1;
      Run({"xdpyinfo"}, &answered);
      // The server that answers must be ours: another one that took the number first answers
      // too, while ours is still on its way to giving up.
      if (answered == 0) {
        std::ifstream in(lock);
        pid_t holder = 0;
        if (in >> holder && holder == server_ && waitpid(server_, &status, WNOHANG) == 0)
          return true;
        Stop(server_);
        server_ = -1;
        break;
      }
      SleepMs(20);
    }
    Stop(server_);
    server_ = -1;
  }
  display_.clear();
  return false;
}

bool XSession::SplitIntoMonitors() {
  for (std::size_t i = 0; i < options_.monitors.size(); ++i) {
    const Rect& m = options_.monitors[i];
    auto mm = [](int px) { return std::to_string((px * 254 + 480) / 960); };  // at 96 dpi
    const std::string geometry = std::to_string(m.width) + "/" + mm(m.width) + "x" +
                                 std::to_string(m.height) + "/" + mm(m.height) + "+" +
                                 std::to_string(m.x) + "+" + std::to_string(m.y);
    // The first monitor takes the server's one output ("screen"), the others none.
    int status = 1;
    Run({"xrandr", "--setmonitor", "M" + std::to_string(i), geometry, i == 0 ? "screen" : "none"},
        &status);
    if (status != 0) return false;
  }
  return true;
}

bool XSession::StartWindowManager() {
  // openbox gets a home of its own, so that what it writes is not the program's. It is ready
  // once it has run its start-up command: it names itself the window manager on the root
  // window earlier, before it reads its configuration and takes the windows there are, and a
  // window mapped in between may never be managed (never shown).
  const std::string ready = wmHome_ + "/ready";
  wm_ = Spawn(
      {"openbox", "--sm-disable", "--startup", "touch '" + ready + "'"},
      MergedEnv({"DISPLAY=" + display_, "HOME=" + wmHome_,
                 "XDG_CONFIG_HOME=" + wmHome_ + "/.config", "XDG_CACHE_HOME=" + wmHome_ + "/.cache",
                 "XDG_DATA_HOME=" + wmHome_ + "/.local/share"}),
      wmHome_, nullptr);
  if (wm_ < 0) return false;
  const auto start = Clock::now();
  while (MsSince(start) < kServerStartMs) {
    if (fs::exists(ready) && HasWindowManager(*this)) return true;
    SleepMs(20);
  }
  return false;
}

std::string XSession::Run(const std::vector<std::string>& argv, int* status) const {
  int fd = -1;
  const pid_t pid = Spawn(argv, MergedEnv({"DISPLAY=" + display_}), root_, &fd);
  if (pid < 0) {
    if (status) *status = -1;
    return {};
  }
  std::string out;
  char buf[65536];
  for (;;) {
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n > 0) {
      out.append(buf, static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    break;
  }
  close(fd);
  int st = 0;
  waitpid(pid, &st, 0);
  if (status) *status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
  return out;
}

bool XSession::Launch(const std::string& exe, const std::vector<std::string>& args,
                      const std::vector<std::string>& extraEnv) {
  if (!ready_ || pid_ > 0) return false;
  std::vector<std::string> env = BaseEnv();
  env.push_back("QT_QPA_PLATFORM=xcb");
  if (options_.scale != 1.0) {
    std::ostringstream scale;
    scale << options_.scale;
    env.push_back("QT_SCALE_FACTOR=" + scale.str());
  }
  env.insert(env.end(), extraEnv.begin(), extraEnv.end());
  std::vector<std::string> argv = {exe};
  argv.insert(argv.end(), args.begin(), args.end());
  // No session bus unless the test brings one: the program must not start one of its own
  // (that would leave a note under ~/.dbus).
  pid_ = Spawn(
      argv,
      MergedEnv(env, {"QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS", "QT_ENABLE_HIGHDPI_SCALING",
                      "SESSION_MANAGER", "DBUS_SESSION_BUS_ADDRESS"}),
      work_, &out_, errorFile_, heldPipeBytes_);
  if (pid_ > 0) fcntl(out_, F_SETFL, O_NONBLOCK);
  return pid_ > 0;
}

void XSession::HoldOutput(int pipeBytes) {
  heldPipeBytes_ = pipeBytes;
}

void XSession::SetErrorFile(const std::string& path) {
  errorFile_ = path;
}

void XSession::ReadOutput(int waitMs) {
  if (out_ < 0 || (heldPipeBytes_ > 0 && !exitCode_)) {
    if (waitMs > 0) SleepMs(waitMs);
    return;
  }
  pollfd p{out_, POLLIN, 0};
  if (poll(&p, 1, waitMs) <= 0) return;
  char buf[65536];
  for (;;) {
    const ssize_t n = read(out_, buf, sizeof buf);
    if (n > 0) {
      partial_.append(buf, static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n == 0) {  // the program closed its output
      close(out_);
      out_ = -1;
    }
    break;
  }
  std::size_t start = 0;
  for (std::size_t nl; (nl = partial_.find('\n', start)) != std::string::npos; start = nl + 1)
    lines_.push_back(partial_.substr(start, nl - start));
  partial_.erase(0, start);
}

const std::vector<std::string>& XSession::Lines() {
  ReadOutput(0);
  return lines_;
}

std::optional<std::size_t> XSession::WaitForLine(
    const std::function<bool(const std::string&)>& match, std::size_t from, int timeoutMs) {
  const auto start = Clock::now();
  for (;;) {
    ReadOutput(0);
    for (std::size_t i = from; i < lines_.size(); ++i)
      if (match(lines_[i])) return i;
    from = std::max(from, lines_.size());
    const int left = timeoutMs - MsSince(start);
    if (left <= 0) return std::nullopt;
    ReadOutput(std::min(left, 50));
    if (out_ < 0) {  // nothing more will come
      for (std::size_t i = from; i < lines_.size(); ++i)
        if (match(lines_[i])) return i;
      return std::nullopt;
    }
  }
}

std::optional<std::size_t> XSession::WaitForLineStarting(const std::string& prefix,
                                                         std::size_t from, int timeoutMs) {
  return WaitForLine([&](const std::string& l) { return l.rfind(prefix, 0) == 0; }, from,
                     timeoutMs);
}

bool XSession::WaitForLines(const std::function<bool(const std::string&)>& match, std::size_t from,
                            std::size_t count, int timeoutMs) {
  const auto start = Clock::now();
  std::size_t seen = 0;
  std::size_t next = from;
  for (;;) {
    ReadOutput(0);
    for (; next < lines_.size(); ++next)
      if (match(lines_[next])) ++seen;
    if (seen >= count) return true;
    const int left = timeoutMs - MsSince(start);
    if (left <= 0 || (out_ < 0 && next == lines_.size())) return false;
    ReadOutput(std::min(left, 50));
  }
}

void XSession::WaitQuiet(int quietMs, int timeoutMs) {
  const auto start = Clock::now();
  auto lastChange = Clock::now();
  std::size_t count = Lines().size();
  while (MsSince(start) < timeoutMs && MsSince(lastChange) < quietMs) {
    ReadOutput(10);
    if (lines_.size() != count) {
      count = lines_.size();
      lastChange = Clock::now();
    }
  }
}

bool XSession::Running() {
  return pid_ > 0 && !WaitForExit(0);
}

std::optional<int> XSession::WaitForExit(int timeoutMs) {
  if (exitCode_) return exitCode_;
  if (pid_ <= 0) return std::nullopt;
  const auto start = Clock::now();
  for (;;) {
    int status = 0;
    const pid_t done = waitpid(pid_, &status, WNOHANG);
    if (done == pid_) {
      exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      ReadOutput(0);
      while (out_ >= 0) ReadOutput(50);  // the rest of what it printed
      return exitCode_;
    }
    if (MsSince(start) >= timeoutMs) return std::nullopt;
    ReadOutput(10);
  }
}

long XSession::ResidentKb() const {
  std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  return 0;
}

std::vector<WindowId> XSession::Windows(bool onlyVisible) const {
  std::vector<std::string> argv = {"xdotool", "search"};
  if (onlyVisible) argv.push_back("--onlyvisible");
  argv.insert(argv.end(), {"--pid", std::to_string(pid_)});
  std::istringstream out(Run(argv));
  std::vector<WindowId> windows;
  for (WindowId id; out >> id;) windows.push_back(id);
  return windows;
}

std::string XSession::WindowName(WindowId window) const {
  std::string name = Run({"xdotool", "getwindowname", std::to_string(window)});
  while (!name.empty() && name.back() == '\n') name.pop_back();
  return name;
}

WindowId XSession::WaitForWindow(const std::string& title, int timeoutMs) const {
  const auto start = Clock::now();
  do {
    for (WindowId w : Windows())
      if (WindowName(w) == title) return w;
    SleepMs(20);
  } while (MsSince(start) < timeoutMs);
  return 0;
}

WindowId XSession::WaitForOtherWindow(const std::vector<WindowId>& known, int timeoutMs) const {
  const auto start = Clock::now();
  do {
    for (WindowId w : Windows())
      if (std::find(known.begin(), known.end(), w) == known.end()) return w;
    SleepMs(20);
  } while (MsSince(start) < timeoutMs);
  return 0;
}

bool XSession::WaitForWindowGone(WindowId window, int timeoutMs) const {
  const auto start = Clock::now();
  do {
    const auto windows = Windows();
    if (std::find(windows.begin(), windows.end(), window) == windows.end()) return true;
    SleepMs(20);
  } while (MsSince(start) < timeoutMs);
  return false;
}

Rect XSession::ClientGeometry(WindowId window) const {
  // xwininfo's absolute corner: xdotool's getwindowgeometry adds the window manager's frame
  // offset a second time to a reparented window's place.
  std::istringstream out(Run({"xwininfo", "-id", std::to_string(window)}));
  Rect r;
  for (std::string line; std::getline(out, line);) {
    const auto colon = line.find(':');
    if (colon == std::string::npos) continue;
    const auto start = line.find_first_not_of(' ');
    const std::string key = line.substr(start, colon - start);
    const int value = std::atoi(line.c_str() + colon + 1);
    if (key == "Absolute upper-left X") r.x = value;
    if (key == "Absolute upper-left Y") r.y = value;
    if (key == "Width") r.width = value;
    if (key == "Height") r.height = value;
  }
  return r;
}

Rect XSession::FrameGeometry(WindowId window) const {
  Rect r = ClientGeometry(window);
  const std::string out = Run({"xprop", "-id", std::to_string(window), "_NET_FRAME_EXTENTS"});
  int left = 0, right = 0, top = 0, bottom = 0;
  const auto eq = out.find('=');
  if (eq != std::string::npos &&
      std::sscanf(out.c_str() + eq + 1, " %d, %d, %d, %d", &left, &right, &top, &bottom) == 4) {
    r.x -= left;
    r.y -= top;
    r.width += left + right;
    r.height += top + bottom;
  }
  return r;
}

Rect XSession::SettledFrameGeometry(WindowId window) const {
  Rect last = FrameGeometry(window);
  for (int i = 0; i < 20; ++i) {
    SleepMs(100);
    const Rect now = FrameGeometry(window);
    if (now == last) return now;
    last = now;
  }
  return last;
}

void XSession::Activate(WindowId window) const {
  Run({"xdotool", options_.windowManager ? "windowactivate" : "windowfocus", "--sync",
       std::to_string(window)});
}

void XSession::MoveTo(WindowId window, int x, int y) const {
  Run({"xdotool", "mousemove", "--window", std::to_string(window), std::to_string(x),
       std::to_string(y)});
}

void XSession::MoveToScreen(int x, int y) const {
  Run({"xdotool", "mousemove", std::to_string(x), std::to_string(y)});
}

void XSession::Click(WindowId window, int x, int y, int button, int count) const {
  Run({"xdotool", "mousemove", "--window", std::to_string(window), std::to_string(x),
       std::to_string(y), "click", "--repeat", std::to_string(count), "--delay", "60",
       std::to_string(button)});
}

void XSession::ButtonDown(int button) const {
  Run({"xdotool", "mousedown", std::to_string(button)});
}

void XSession::ButtonUp(int button) const {
  Run({"xdotool", "mouseup", std::to_string(button)});
}

void XSession::Key(const std::vector<std::string>& keys, int repeat, int delayMs) const {
  std::vector<std::string> argv = {
      "xdotool", "key", "--delay", std::to_string(delayMs), "--repeat", std::to_string(repeat)};
  argv.insert(argv.end(), keys.begin(), keys.end());
  Run(argv);
}

void XSession::Type(const std::string& text) const {
  Run({"xdotool", "type", "--delay", "12", text});
}

bool XSession::Screenshot(const std::string& path, const std::optional<Rect>& area) const {
  std::vector<std::string> argv = {"import", "-window", "root"};
  if (area) argv.insert(argv.end(), {"-crop", ToString(*area), "+repage"});
  argv.push_back(path);
  int status = 1;
  Run(argv, &status);
  return status == 0;
}

std::vector<std::uint8_t> XSession::Pixels(const Rect& area) const {
  int status = 1;
  const std::string out =
      Run({"import", "-window", "root", "-crop", ToString(area), "+repage", "-depth", "8", "rgb:-"},
          &status);
  const auto size =
      static_cast<std::size_t>(area.width) * static_cast<std::size_t>(area.height) * 3;
  if (status != 0 || out.size() != size) return {};
  return std::vector<std::uint8_t>(out.begin(), out.end());
}

std::optional<std::vector<std::uint8_t>> WrittenBytes(const std::string& line) {
  if (!IsWrite(line)) return std::nullopt;
  const auto start = line.find(" data=");
  if (start == std::string::npos) return std::nullopt;
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = start + 6; i + 1 < line.size() && line[i] != ' '; i += 2)
    bytes.push_back(static_cast<std::uint8_t>(std::stoi(line.substr(i, 2), nullptr, 16)));
  return bytes;
}

bool IsWrite(const std::string& line) {
  return line.rfind("FT_Write ", 0) == 0;
}

std::vector<std::string> BoxLines(const std::vector<std::string>& lines, std::size_t from) {
  std::vector<std::string> boxes;
  for (std::size_t i = from; i < lines.size(); ++i)
    if (lines[i].rfind("MessageBox ", 0) == 0) boxes.push_back(lines[i]);
  return boxes;
}

std::vector<std::string> TreeSnapshot(const std::string& dir) {
  std::vector<std::string> entries;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::end(it);
       it.increment(ec)) {
    const fs::path& p = it->path();
    std::string entry = fs::relative(p, dir).string();
    if (it->is_regular_file()) {
      struct stat st {};
      stat(p.c_str(), &st);
      entry += " size=" + std::to_string(st.st_size) +
               " mtime=" + std::to_string(st.st_mtim.tv_sec) + "." +
               std::to_string(st.st_mtim.tv_nsec);
    } else if (it->is_directory()) {
      entry += "/";
    }
    entries.push_back(entry);
  }
  std::sort(entries.begin(), entries.end());
  return entries;
}

}  // namespace quarvel::x11
