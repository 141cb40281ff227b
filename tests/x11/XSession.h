// SPDX-License-Identifier: GPL-3.0-or-later
// A real X session for tests: a private Xvfb server (and, where a case needs one, the openbox
// window manager), one program started in it with a temporary HOME and XDG folders, real input
// through xdotool, and what can be judged from outside: the program's standard output read
// line by line, its windows and their geometry, screenshots and its resident memory.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quarvel::x11 {

using WindowId = unsigned long;

struct Rect {
  int x = 0, y = 0, width = 0, height = 0;
  int Right() const { return x + width; }  // one past the last column
  int Bottom() const { return y + height; }
  bool Intersects(const Rect& other) const;
  bool Contains(const Rect& other) const;
  bool operator==(const Rect&) const = default;
};
std::string ToString(const Rect& rect);  // "463x639+562+168"

struct XSessionOptions {
  int width = 1024;  // screen size, pixels
  int height = 768;
  bool windowManager = false;  // start openbox and wait until it manages the screen
  double scale = 1.0;          // QT_SCALE_FACTOR of the launched program (1: not set)
  // The screen split into monitors (RandR monitors "M0", "M1", ... at 96 dpi, set up before the
  // window manager starts), as a desk of several displays shows to programs; empty: one.
  std::vector<Rect> monitors = {};
};

class XSession {
 public:
  // Starts Xvfb on a free display number (retrying on a lost race with another server) and
  // waits until it answers; then openbox when asked. Ready() tells whether all of it worked.
  explicit XSession(XSessionOptions options = {});
  // Stops the program if it still runs (SIGTERM, then SIGKILL), then openbox and the server,
  // and removes the temporary folders.
  ~XSession();
  XSession(const XSession&) = delete;
  XSession& operator=(const XSession&) = delete;

  bool Ready() const { return ready_; }
  const std::string& Display() const { return display_; }  // ":N"
  const XSessionOptions& Options() const { return options_; }
  // The program's HOME; XDG_CONFIG_HOME, XDG_DATA_HOME, XDG_CACHE_HOME and XDG_STATE_HOME are
  // its .config, .local/share, .cache and .local/state, created empty.
  const std::string& Home() const { return home_; }
  // The program's working directory, empty at the start.
  const std::string& WorkDir() const { return work_; }
  // A scratch folder of the test, outside HOME and the working directory.
  const std::string& Scratch() const { return scratch_; }

  // Ends the X server (and the window manager) as a logout or a dropped remote link would,
  // leaving the program running.
  void EndServer();

  // Runs a tool on this display and returns its standard output; *status gets its exit code.
  std::string Run(const std::vector<std::string>& argv, int* status = nullptr) const;

  // --- The program -------------------------------------------------------------------------
  // Starts it in WorkDir() with the temporary HOME and XDG folders, on the xcb platform;
  // extraEnv holds further "NAME=value" entries, which replace the session's own of the same
  // name. One program per session.
  bool Launch(const std::string& exe, const std::vector<std::string>& args = {},
              const std::vector<std::string>& extraEnv = {});
  // Before Launch: the program's standard output becomes a pipe of pipeBytes (rounded up to a
  // page) that is not read until the program has ended, as by a script that reads it
  // afterwards: Lines() and the waits for lines see nothing before.
  void HoldOutput(int pipeBytes);
  // Before Launch: the program's standard error goes to this file (else nowhere).
  void SetErrorFile(const std::string& path);
  pid_t Pid() const { return pid_; }
  // Every complete line printed so far (reads what is waiting, does not block).
  const std::vector<std::string>& Lines();
  std::size_t LineCount() { return Lines().size(); }
  // The index of the first line at or after `from` that satisfies match, waiting up to
  // timeoutMs for it to be printed; nothing when it does not come.
  std::optional<std::size_t> WaitForLine(const std::function<bool(const std::string&)>& match,
                                         std::size_t from, int timeoutMs);
  std::optional<std::size_t> WaitForLineStarting(const std::string& prefix, std::size_t from,
                                                 int timeoutMs);
  // Waits until `count` lines at or after `from` satisfy match; false on timeout.
  bool WaitForLines(const std::function<bool(const std::string&)>& match, std::size_t from,
                    std::size_t count, int timeoutMs);
  // Waits until nothing new is printed for quietMs (at most timeoutMs in all).
  void WaitQuiet(int quietMs, int timeoutMs);
  bool Running();
  // The exit code once the program has ended (128 + signal when a signal ended it); nothing
  // when it still runs after timeoutMs.
  std::optional<int> WaitForExit(int timeoutMs);
  // VmRSS of the program, kB; 0 when it cannot be read.
  long ResidentKb() const;

  // --- Windows -----------------------------------------------------------------------------
  // The program's windows (mapped ones only when onlyVisible).
  std::vector<WindowId> Windows(bool onlyVisible = true) const;
  // The program's visible window with exactly this title; 0 when none shows in timeoutMs.
  WindowId WaitForWindow(const std::string& title, int timeoutMs) const;
  // A visible window of the program that is none of `known`; 0 when none shows in timeoutMs.
  WindowId WaitForOtherWindow(const std::vector<WindowId>& known, int timeoutMs) const;
  // Waits until the window is no longer mapped.
  bool WaitForWindowGone(WindowId window, int timeoutMs) const;
  std::string WindowName(WindowId window) const;
  // The client area on the screen.
  Rect ClientGeometry(WindowId window) const;
  // The client area grown by the window manager's frame (_NET_FRAME_EXTENTS); the client
  // area when there is no window manager.
  Rect FrameGeometry(WindowId window) const;
  // The frame once the window manager has placed it: two equal readings 100 ms apart (the
  // last reading after two seconds).
  Rect SettledFrameGeometry(WindowId window) const;

  // --- Input -------------------------------------------------------------------------------
  // Gives the window the keyboard: windowactivate with a window manager, else windowfocus.
  void Activate(WindowId window) const;
  // Moves the pointer to client coordinates of the window and clicks `count` times.
  void Click(WindowId window, int x, int y, int button = 1, int count = 1) const;
  void MoveTo(WindowId window, int x, int y) const;
  // Moves the pointer to screen coordinates.
  void MoveToScreen(int x, int y) const;
  void ButtonDown(int button = 1) const;
  void ButtonUp(int button = 1) const;
  // Keys in xdotool's names ("Return", "alt+F4"), to the window that has the keyboard.
  void Key(const std::vector<std::string>& keys, int repeat = 1, int delayMs = 12) const;
  void Type(const std::string& text) const;

  // --- Pictures ----------------------------------------------------------------------------
  // A PNG of the screen (or of an area of it).
  bool Screenshot(const std::string& path, const std::optional<Rect>& area = {}) const;
  // The area's pixels, 3 bytes (RGB) each, row by row; empty on failure.
  std::vector<std::uint8_t> Pixels(const Rect& area) const;

 private:
  bool StartServer();
  bool SplitIntoMonitors();
  bool StartWindowManager();
  void ReadOutput(int waitMs);
  std::vector<std::string> BaseEnv() const;

  XSessionOptions options_;
  bool ready_ = false;
  std::string root_, home_, work_, scratch_, runtime_, wmHome_;
  std::string display_;
  pid_t server_ = -1;
  pid_t wm_ = -1;
  pid_t pid_ = -1;
  std::optional<int> exitCode_;
  int out_ = -1;
  int heldPipeBytes_ = 0;  // 0: output read as it comes
  std::string errorFile_;
  std::string partial_;
  std::vector<std::string> lines_;
};

// --- The simulated edition's trace --------------------------------------------------------
// The bytes of an "FT_Write count=N data=HEX status=S" line; nothing for other lines.
std::optional<std::vector<std::uint8_t>> WrittenBytes(const std::string& line);
bool IsWrite(const std::string& line);
// The "MessageBox caption=... text=..." lines at or after `from`.
std::vector<std::string> BoxLines(const std::vector<std::string>& lines, std::size_t from = 0);

// The file names under dir, with size and modification time, for a before/after comparison.
std::vector<std::string> TreeSnapshot(const std::string& dir);

}  // namespace quarvel::x11
