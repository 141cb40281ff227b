// SPDX-License-Identifier: GPL-3.0-or-later
// The panel as a screen reader reads it: the simulated edition in a real X session with the
// accessibility bus running, its tree read through AT-SPI by a11y_read.py (the system Python
// with pyatspi), driven by real keys.
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <fcntl.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "PanelSession.h"

extern char** environ;

namespace quarvel::x11 {
namespace {

// This process's environment added to `env`, except the names `env` sets itself.
void AddOwnEnvironment(std::vector<std::string>& env) {
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry(*e);
    const std::string name = entry.substr(0, entry.find('=') + 1);
    if (std::none_of(env.begin(), env.end(),
                     [&](const std::string& o) { return o.compare(0, name.size(), name) == 0; }))
      env.push_back(entry);
  }
}

// A private session bus (dbus-launch) with the accessibility bus launched on it, and the
// variables that point the program and the reader at it.
class AccessibilityBus {
 public:
  // Both daemons keep their files (dbus-launch's address file, the accessibility bus socket)
  // under the session's temporary HOME and runtime folder, never the real ones.
  explicit AccessibilityBus(const XSession& x) {
    const std::string runtime = x.Scratch() + "/runtime";
    mkdir(runtime.c_str(), 0700);
    const std::vector<std::string> own = {"HOME=" + x.Home(), "XDG_RUNTIME_DIR=" + runtime};
    std::vector<std::string> launch = {"env"};
    launch.insert(launch.end(), own.begin(), own.end());
    // The bus ends with the X server (and the accessibility bus with it), so a test that is
    // killed, whose server ends with it, leaves no bus behind either.
    launch.insert(launch.end(), {"dbus-launch", "--sh-syntax", "--exit-with-x11"});
    int status = -1;
    const std::string out = x.Run(launch, &status);
    std::smatch m;
    if (status != 0 || !std::regex_search(out, m, std::regex("DBUS_SESSION_BUS_ADDRESS='([^']+)'")))
      return;
    address_ = m[1];
    if (std::regex_search(out, m, std::regex("DBUS_SESSION_BUS_PID=([0-9]+)")))
      busPid_ = std::stoi(m[1]);
    // The reader runs through XSession::Run, which passes this process's environment on.
    setenv("DBUS_SESSION_BUS_ADDRESS", address_.c_str(), 1);

    std::vector<std::string> env = own;
    env.push_back("DISPLAY=" + x.Display());
    env.push_back("DBUS_SESSION_BUS_ADDRESS=" + address_);
    AddOwnEnvironment(env);
    std::vector<char*> envp;
    for (std::string& entry : env) envp.push_back(entry.data());
    envp.push_back(nullptr);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);  // its bus daemon joins the group
    posix_spawnattr_setpgroup(&attr, 0);
    std::string launcher = "/usr/libexec/at-spi-bus-launcher";
    std::string immediately = "--launch-immediately";
    char* argv[] = {launcher.data(), immediately.data(), nullptr};
    if (posix_spawn(&launcherPid_, launcher.c_str(), nullptr, &attr, argv, envp.data()) != 0)
      launcherPid_ = -1;
    posix_spawnattr_destroy(&attr);
  }
  ~AccessibilityBus() {
    if (launcherPid_ > 0) {
      kill(-launcherPid_, SIGTERM);
      waitpid(launcherPid_, nullptr, 0);
    }
    if (busPid_ > 0) kill(busPid_, SIGTERM);
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
  }
  AccessibilityBus(const AccessibilityBus&) = delete;
  AccessibilityBus& operator=(const AccessibilityBus&) = delete;

  bool Ready() const { return !address_.empty() && launcherPid_ > 0; }
  // What the program needs to show itself to screen readers.
  std::vector<std::string> ProgramEnv() const {
    return {"DBUS_SESSION_BUS_ADDRESS=" + address_, "QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1"};
  }

 private:
  std::string address_;
  int busPid_ = -1;
  pid_t launcherPid_ = -1;
};

// A screen reader's event listener (the reader's "listen"), running from construction to
// destruction on the accessibility bus of the session (an AccessibilityBus made before it): while
// it listens, the program sends its events over the bus as it would to a screen reader. What it
// heard is in its log.
// How many times the text occurs in the listener's output.
std::size_t Occurrences(const std::string& heard, const std::string& text) {
  std::size_t count = 0;
  for (std::size_t at = heard.find(text); at != std::string::npos; at = heard.find(text, at + 1))
    ++count;
  return count;
}

class EventListener {
 public:
  explicit EventListener(const XSession& x) : log_(x.Scratch() + "/events.log") {
    std::vector<std::string> env = {"DISPLAY=" + x.Display(), "HOME=" + x.Home(),
                                    "XDG_RUNTIME_DIR=" + x.Scratch() + "/runtime"};
    AddOwnEnvironment(env);
    std::vector<char*> envp;
    for (std::string& entry : env) envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::string python = "/usr/bin/python3", reader = QUARVEL_A11Y_READER, listen = "listen";
    char* argv[] = {python.data(), reader.data(), listen.data(), nullptr};
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 1, log_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (posix_spawn(&pid_, python.c_str(), &files, nullptr, argv, envp.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&files);
  }
  ~EventListener() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  EventListener(const EventListener&) = delete;
  EventListener& operator=(const EventListener&) = delete;

  // Waits until it has registered for the events; false after timeoutMs.
  bool WaitRegistered(int timeoutMs) const {
    for (int waited = 0; pid_ > 0 && waited < timeoutMs; waited += 50) {
      if (Heard().rfind("listening\n", 0) == 0) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }
  // Everything it printed: "listening", then one line per event.
  std::string Heard() const {
    std::ifstream in(log_);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
  }
  // The events of focus and activation it heard, one per line.
  std::string HeardFocus() const {
    std::istringstream all(Heard());
    std::string out;
    for (std::string line; std::getline(all, line);)
      if (line.find("focus") != std::string::npos || line.find("activ") != std::string::npos)
        out += line + "\n";
    return out;
  }

 private:
  std::string log_;
  pid_t pid_ = -1;
};

// Runs the reader; the parsed JSON, or a null value with a test failure.
QJsonValue Read(const XSession& x, const std::vector<std::string>& args) {
  std::vector<std::string> argv = {"/usr/bin/python3", QUARVEL_A11Y_READER};
  argv.insert(argv.end(), args.begin(), args.end());
  int status = -1;
  const std::string out = x.Run(argv, &status);
  QJsonParseError error{};
  const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(out), &error);
  if (status != 0 || error.error != QJsonParseError::NoError) {
    ADD_FAILURE() << "reader " << args[0] << " failed (status " << status << "): " << out;
    return {};
  }
  return doc.isArray() ? QJsonValue(doc.array()) : QJsonValue(doc.object());
}

QJsonObject Tree(const XSession& x, const std::string& title) {
  return Read(x, {"tree", std::to_string(x.Pid()), title}).toObject();
}

std::string Str(const QJsonObject& node, const char* key) {
  return node[QLatin1String(key)].toString().toStdString();
}
std::vector<QJsonObject> Children(const QJsonObject& node) {
  std::vector<QJsonObject> out;
  for (const QJsonValue& child : node[QLatin1String("children")].toArray())
    out.push_back(child.toObject());
  return out;
}
std::set<std::string> Targets(const QJsonObject& node, const char* relation) {
  std::set<std::string> out;
  for (const QJsonValue& t : node[QLatin1String("relations")][QLatin1String(relation)].toArray())
    out.insert(t.toString().toStdString());
  return out;
}
double Num(const QJsonObject& node, const char* key) {
  return node[QLatin1String(key)].toDouble(-1);
}
bool HasState(const QJsonObject& node, const char* state) {
  return node[QLatin1String("states")].toArray().contains(QLatin1String(state));
}
void Collect(const QJsonObject& node, std::vector<QJsonObject>& all) {
  all.push_back(node);
  for (const QJsonObject& child : Children(node)) Collect(child, all);
}

// The top-level window of the application with this name; empty when there is none.
QJsonObject Window(const QJsonObject& app, const std::string& name) {
  for (const QJsonObject& window : Children(app))
    if (Str(window, "name") == name) return window;
  return {};
}

// The panel's controls (everything but its labels) by accessible name; a name twice is a
// failure.
std::map<std::string, QJsonObject> ByName(const QJsonObject& window) {
  std::map<std::string, QJsonObject> out;
  for (const QJsonObject& child : Children(window)) {
    if (Str(child, "role") == "label") continue;
    const std::string name = Str(child, "name");
    EXPECT_TRUE(out.emplace(name, child).second) << "two controls read as \"" << name << "\"";
  }
  return out;
}

// Every control of the panel in its tab order, as a screen reader names it, with its role.
const std::vector<std::pair<std::string, std::string>> kControls = {
    {"Upload EEPROM", "push button"},
    {"Tuning", "scroll bar"},
    {"Upload RAM", "push button"},
    {"Band 0.13 to 0.8 MHz", "push button"},
    {"Band 0.4 to 1.6 MHz", "push button"},
    {"Band 0.8 to 3.2 MHz", "push button"},
    {"Band 2 to 10 MHz", "push button"},
    {"Band 4 to 20 MHz", "push button"},
    {"Offset", "scroll bar"},
    {"Band 10 to 30 MHz", "push button"},
    {"Input 1", "push button"},
    {"Input 2", "push button"},
    {"Input 3", "push button"},
    {"Attenuator -10 dB", "push button"},
    {"Attenuator -20 dB", "push button"},
    {"Attenuator 0 dB", "push button"},
    {"Input 4", "push button"},
    {"Crystal trim", "scroll bar"},
    {"Input 5", "push button"},
    {"Input 6", "push button"},
    {"Input 7", "push button"},
    {"Input 8", "push button"},
    {"Tracking level", "scroll bar"},
    {"Level", "text"},
};

// The texts of the window's labels.
std::set<std::string> Labels(const QJsonObject& window) {
  std::set<std::string> out;
  for (const QJsonObject& child : Children(window))
    if (Str(child, "role") == "label") out.insert(Str(child, "name"));
  return out;
}

// Room for the panel and the bus monitor side by side: without a window manager the monitor
// would otherwise cover part of the panel, and a covered control cannot show its focus.
XSessionOptions WideScreen() {
  XSessionOptions options;
  options.width = 1600;
  options.height = 900;
  return options;
}

// Starts the simulated edition visible to screen readers; false with a failure otherwise.
bool StartReadable(PanelSession& s, const AccessibilityBus& bus) {
  if (!bus.Ready()) {
    ADD_FAILURE() << "no accessibility bus (dbus-launch, at-spi-bus-launcher)";
    return false;
  }
  return s.Start({}, bus.ProgramEnv());
}

// What a screen reader hears of while the keys are pressed: value changes and notifications.
std::vector<QJsonObject> Heard(const XSession& x, const std::vector<std::string>& keys) {
  std::vector<std::string> args = {"events", std::to_string(x.Pid()), kPanelTitle};
  args.insert(args.end(), keys.begin(), keys.end());
  std::vector<QJsonObject> out;
  for (const QJsonValue& event : Read(x, args).toArray()) out.push_back(event.toObject());
  return out;
}
std::vector<QJsonObject> From(const std::vector<QJsonObject>& heard, const std::string& role,
                              const std::string& name = "") {
  std::vector<QJsonObject> out;
  for (const QJsonObject& event : heard)
    if (Str(event, "role") == role && (name.empty() || Str(event, "name") == name))
      out.push_back(event);
  return out;
}

TEST(X11ScreenReader, EveryControlIsNamedAndTheFrequencyIsReadAfterATuningStep) {
  PanelSession s(WideScreen());
  AccessibilityBus bus(s.x);
  ASSERT_TRUE(StartReadable(s, bus));
  s.x.WaitQuiet(200, 3000);

  const QJsonObject app = Tree(s.x, kPanelTitle);
  const QJsonObject panel = Window(app, kPanelTitle);
  ASSERT_FALSE(panel.isEmpty()) << "the panel is not on the accessibility bus";
  std::map<std::string, QJsonObject> controls = ByName(panel);
  for (const auto& [name, role] : kControls) {
    ASSERT_TRUE(controls.count(name)) << "no control reads as \"" << name << "\"";
    EXPECT_EQ(Str(controls[name], "role"), role) << name;
    EXPECT_TRUE(HasState(controls[name], "focusable")) << name;
  }
  const std::set<std::string> labels = Labels(panel);
  for (const char* text : {"6075 kHz", "2 MHz", "10 MHz", "15", "1 kHz", "9 kHz", "2 kHz", "5 kHz",
                           "10 kHz", "25 kHz", "Offset", "Xtal"})
    EXPECT_TRUE(labels.count(text)) << "no label reads \"" << text << "\"";
  ASSERT_TRUE(controls.count("Upload progress"));
  EXPECT_EQ(Str(controls["Upload progress"], "role"), "progress bar");
  // Nothing is without a name but the layout's empty label, which shows nothing.
  for (const QJsonObject& child : Children(panel)) {
    if (HasState(child, "focusable") || Str(child, "role") != "label") {
      EXPECT_FALSE(Str(child, "name").empty()) << "unnamed " << Str(child, "role");
    }
  }
  // The labels beside the bars are read with them; the frequency is the bars' description.
  EXPECT_EQ(Targets(controls["Tuning"], "labelled by"),
            (std::set<std::string>{"6075 kHz", "2 MHz", "10 MHz"}));
  EXPECT_EQ(Targets(controls["Offset"], "labelled by"), (std::set<std::string>{"Offset", "15"}));
  EXPECT_EQ(Targets(controls["Crystal trim"], "labelled by"), (std::set<std::string>{"Xtal"}));
  EXPECT_EQ(Targets(controls["Band 0.4 to 1.6 MHz"], "labelled by"),
            (std::set<std::string>{"9 kHz"}));
  EXPECT_EQ(Str(controls["Tuning"], "description"), "6075 kHz");
  EXPECT_EQ(Str(controls["Offset"], "description"), "6075 kHz");
  // The tuning bar's value is the frequency shown, in kHz, between the band's ends (with the
  // offset, as shown), one step 5 kHz in "2...10 MHz"; the other bars' values are positions.
  EXPECT_EQ(Num(controls["Tuning"], "value"), 6075.0);
  EXPECT_EQ(Num(controls["Tuning"], "minimum"), 2015.0);
  EXPECT_EQ(Num(controls["Tuning"], "maximum"), 10015.0);
  EXPECT_EQ(Num(controls["Tuning"], "step"), 5.0);
  EXPECT_EQ(Num(controls["Offset"], "value"), 15.0);
  EXPECT_EQ(Str(controls["Level"], "text"), "77");

  // The bus monitor's lists are named too.
  const QJsonObject monitor = Window(app, kMonitorTitle);
  ASSERT_FALSE(monitor.isEmpty());
  std::vector<QJsonObject> all;
  Collect(monitor, all);
  std::set<std::string> tables;
  for (const QJsonObject& node : all) {
    if (Str(node, "role") != "table") continue;
    EXPECT_FALSE(Str(node, "name").empty()) << "an unnamed table in the bus monitor";
    tables.insert(Str(node, "name"));
  }
  EXPECT_TRUE(tables.count("Messages"));

  // One step up on the tuning bar, by the keyboard: Tab from "Upload EEPROM", then Right.
  s.x.Activate(s.panel);
  std::size_t mark = s.x.LineCount();
  s.x.Key({"Tab"});
  // What a screen reader speaks after the step is the value it is told of: the frequency.
  const std::vector<QJsonObject> tuned = From(Heard(s.x, {"Right"}), "scroll bar", "Tuning");
  ASSERT_FALSE(tuned.empty()) << "no value change of the tuning bar";
  for (const QJsonObject& event : tuned) EXPECT_EQ(Num(event, "value"), 6080.0);
  ASSERT_TRUE(s.WaitForWrites(mark, 1));
  s.x.WaitQuiet(200, 3000);
  const QJsonObject stepped = Window(Tree(s.x, kPanelTitle), kPanelTitle);
  controls = ByName(stepped);
  EXPECT_TRUE(HasState(controls["Tuning"], "focused"));
  EXPECT_EQ(Num(controls["Tuning"], "value"), 6080.0);
  EXPECT_EQ(Str(controls["Tuning"], "description"), "6080 kHz");
  EXPECT_TRUE(Labels(stepped).count("6080 kHz")) << "the frequency label";

  // The offset moves the shown frequency as well (and sends nothing): seven Tabs on, one step
  // down, read until the panel has taken the key.
  s.x.Key({"Tab"}, 7);
  s.x.Key({"Left"});
  for (int attempt = 0; attempt < 20; ++attempt) {
    controls = ByName(Window(Tree(s.x, kPanelTitle), kPanelTitle));
    if (controls["Offset"]["value"].toDouble() != 15.0) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_TRUE(HasState(controls["Offset"], "focused"));
  EXPECT_EQ(controls["Offset"]["value"].toDouble(), 14.0);
  EXPECT_EQ(Str(controls["Offset"], "description"), "6079 kHz");
  EXPECT_EQ(Str(controls["Tuning"], "description"), "6079 kHz");
  EXPECT_EQ(Num(controls["Tuning"], "value"), 6079.0);

  // A band button changes the frequency elsewhere: the screen reader is told it in a
  // notification, while the button keeps its focus and its name. Five Tabs back to
  // "Band 0.13 to 0.8 MHz", then Space: 1213 steps of 0.5 kHz and the offset, 14.
  s.x.Key({"shift+Tab"}, 5);
  mark = s.x.LineCount();
  const std::vector<QJsonObject> told = From(Heard(s.x, {"space"}), "notification");
  ASSERT_TRUE(s.WaitForWrites(mark, 1));
  s.x.WaitQuiet(200, 3000);
  const QJsonObject banded = Window(Tree(s.x, kPanelTitle), kPanelTitle);
  controls = ByName(banded);
  EXPECT_TRUE(HasState(controls["Band 0.13 to 0.8 MHz"], "focused"));
  ASSERT_EQ(told.size(), 1u);
  const std::string frequency = Str(told[0], "name");
  EXPECT_TRUE(frequency == "620.5 kHz" || frequency == "620,5 kHz") << frequency;
  EXPECT_TRUE(Labels(banded).count(frequency)) << "the notice is not what the label shows";
  EXPECT_EQ(Num(controls["Tuning"], "value"), 620.5);
  EXPECT_EQ(Num(controls["Tuning"], "minimum"), 144.0);
  EXPECT_EQ(Num(controls["Tuning"], "maximum"), 814.0);
  EXPECT_EQ(Num(controls["Tuning"], "step"), 0.5);
}

TEST(X11ScreenReader, TabReachesEveryControlInOrderWithItsFocusShown) {
  PanelSession s(WideScreen());
  AccessibilityBus bus(s.x);
  ASSERT_TRUE(StartReadable(s, bus));
  s.x.WaitQuiet(200, 3000);
  s.x.Activate(s.panel);
  // Round the window once and on to the second control, from "Upload EEPROM" which has focus.
  const int presses = static_cast<int>(kControls.size()) + 1;
  const QJsonArray steps =
      Read(s.x, {"walk", std::to_string(s.x.Pid()), kPanelTitle, std::to_string(presses)})
          .toArray();
  ASSERT_EQ(steps.size(), presses);
  for (int i = 0; i < presses; ++i) {
    const QJsonObject step = steps[i].toObject();
    const auto& [name, role] = kControls[static_cast<std::size_t>(i + 1) % kControls.size()];
    EXPECT_EQ(Str(step, "name"), name) << "Tab " << i + 1;
    EXPECT_EQ(Str(step, "role"), role) << name;
    EXPECT_TRUE(step["showing"].toBool()) << name;
    EXPECT_TRUE(step["focusVisible"].toBool()) << name << " looks the same with focus";
  }
}

TEST(X11ScreenReader, ErrorBoxesAreReadAsAlertsWithTheirText) {
  XSession x(WideScreen());
  ASSERT_TRUE(x.Ready());
  AccessibilityBus bus(x);
  ASSERT_TRUE(bus.Ready());
  ASSERT_TRUE(x.Launch(QUARVEL_SIM_EXE, {"--no-device"}, bus.ProgramEnv()));
  // The start-up burst's boxes come before the panel shows; read the first two.
  std::size_t from = 0;
  for (int box = 0; box < 2; ++box) {
    const auto line = x.WaitForLineStarting("MessageBox ", from, kWindowMs);
    ASSERT_TRUE(line.has_value());
    std::smatch m;
    const std::string shown = x.Lines()[*line];
    ASSERT_TRUE(
        std::regex_match(shown, m, std::regex("MessageBox caption=\"(.*)\" text=\"(.*)\"")));
    const std::string caption = m[1], text = m[2];
    const QJsonObject alert = Window(Tree(x, caption), caption);
    ASSERT_FALSE(alert.isEmpty()) << "no box \"" << caption << "\" on the accessibility bus";
    EXPECT_EQ(Str(alert, "role"), "alert");
    std::vector<QJsonObject> all;
    Collect(alert, all);
    bool textRead = false, okButton = false;
    for (const QJsonObject& node : all) {
      textRead |= Str(node, "role") == "label" && Str(node, "name") == text;
      okButton |= Str(node, "role") == "push button" && Str(node, "name") == "OK" &&
                  HasState(node, "focused");
    }
    EXPECT_TRUE(textRead) << "the alert does not read \"" << text << "\"";
    EXPECT_TRUE(okButton) << "OK is not focused";
    from = *line + 1;
    const WindowId window = x.WaitForWindow(caption, kWindowMs);
    ASSERT_NE(window, 0u);
    x.Activate(window);
    x.Key({"Return"});
    ASSERT_TRUE(x.WaitForWindowGone(window, kWindowMs) || x.LineCount() > from);
  }
}

// Polls the accessible tree until the panel's window satisfies `holds`; false after timeoutMs.
bool PanelComesTo(const XSession& x, const std::function<bool(const QJsonObject&)>& holds,
                  int timeoutMs) {
  const auto start = std::chrono::steady_clock::now();
  for (;;) {
    if (holds(Window(Tree(x, kPanelTitle), kPanelTitle))) return true;
    if (std::chrono::steady_clock::now() - start > std::chrono::milliseconds(timeoutMs))
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

bool Focused(const QJsonObject& panel, const std::string& control) {
  for (const QJsonObject& child : Children(panel))
    if (Str(child, "name") == control) return HasState(child, "focused");
  return false;
}

// The program's windows as a screen reader lists them: role and name.
std::vector<std::string> WindowsRead(const XSession& x) {
  std::vector<std::string> out;
  for (const QJsonObject& window : Children(Tree(x, kPanelTitle)))
    out.push_back(Str(window, "role") + " \"" + Str(window, "name") + "\"");
  return out;
}

// A screen reader listening, images chosen by keyboard alone in the file dialog (name typed,
// Return) under a window manager: after each upload the panel is the active window again with
// the keyboard on "Upload RAM", Tab reads the next control as focused, and the reader finds
// the windows it found at the start, no file dialog among them. The name box's
// completer list, still open when the dialog went, once left the panel with the keyboard but
// not active (no focus shown or read) about every other time: hence several uploads.
TEST(X11ScreenReader, ThePanelIsActiveAgainAfterEachUploadChosenByKeyboard) {
  XSessionOptions options = WideScreen();
  options.windowManager = true;
  PanelSession s(options);
  AccessibilityBus bus(s.x);
  ASSERT_TRUE(bus.Ready());
  EventListener listener(s.x);
  ASSERT_TRUE(listener.WaitRegistered(kWindowMs)) << listener.Heard();
  ASSERT_TRUE(StartReadable(s, bus));
  s.x.WaitQuiet(200, 3000);
  Bytes image(256);
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 7 + 3);
  const std::string file = s.x.Scratch() + "/image.bin";
  WriteFile(file, image);

  const std::vector<std::string> windowsAtStart = WindowsRead(s.x);
  ASSERT_EQ(windowsAtStart.size(), 2u);
  s.x.Activate(s.panel);
  s.x.Key({"Tab"}, 2);  // from "Upload EEPROM" over "Tuning"
  constexpr int kUploads = 3;
  for (int upload = 1; upload <= kUploads; ++upload) {
    SCOPED_TRACE("upload " + std::to_string(upload));
    const std::size_t mark = s.x.LineCount();
    s.x.Key({"space"});
    const WindowId dialog = s.x.WaitForOtherWindow({s.panel, s.monitor}, kWindowMs);
    ASSERT_NE(dialog, 0u) << "no file dialog";
    // Typed once the dialog has the keyboard and has listed its folder, and Return after a
    // pause, as a person does: the completer lists what matches meanwhile.
    for (int waited = 0; waited < kWindowMs; waited += 50) {
      if (std::stoul("0" + s.x.Run({"xdotool", "getwindowfocus"})) == dialog) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    s.x.Key({"ctrl+a"});
    s.x.Type(file);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    s.x.Key({"Return"});
    ASSERT_TRUE(s.x.WaitForLines(IsPage, mark, 16, kUploadMs));
    EXPECT_EQ(UploadedImage(s, mark, 0xD2), image);

    ASSERT_TRUE(PanelComesTo(
        s.x,
        [](const QJsonObject& panel) {
          return HasState(panel, "active") && Focused(panel, "Upload RAM");
        },
        3000))
        << "the panel is not active with \"Upload RAM\" focused; focus events heard:\n"
        << listener.HeardFocus();
    // The pages being out is told once, as a notification: nothing else says so.
    const std::string told =
        "object:state-changed:showing notification[Upload RAM: 16 pages sent] 1";
    std::size_t heard = 0;
    for (int waited = 0; waited < 3000 && heard < static_cast<std::size_t>(upload); waited += 50) {
      heard = Occurrences(listener.Heard(), told);
      if (heard < static_cast<std::size_t>(upload))
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_EQ(heard, static_cast<std::size_t>(upload)) << listener.Heard();
    s.x.Key({"Tab"});
    EXPECT_TRUE(PanelComesTo(
        s.x, [](const QJsonObject& panel) { return Focused(panel, "Band 0.13 to 0.8 MHz"); }, 3000))
        << "Tab is not read";
    EXPECT_EQ(WindowsRead(s.x), windowsAtStart);
    s.x.Key({"shift+Tab"});  // back to "Upload RAM" for the next upload
  }
}

}  // namespace
}  // namespace quarvel::x11
