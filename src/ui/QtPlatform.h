// SPDX-License-Identifier: GPL-3.0-or-later
// The panel's toolkit services: error boxes, the image file dialog, the locale's decimal
// separator and the panel font; and the process's set-up around the toolkit (standard
// streams, session bus, settings, signals to end).
#pragma once

#include <QAbstractNativeEventFilter>
#include <QFileDialog>
#include <QFont>
#include <QLocale>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <csignal>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "port/ErrorReporter.h"
#include "receiver/ReceiverControl.h"

namespace quarvel::ui {

// A modal message box with the error icon and one OK button (default and escape button),
// centred on the screen the user works on (WorkScreen, with the attached window as the panel).
class QtErrorReporter : public port::ErrorReporter {
 public:
  // The panel, once it is built; until then, and after it is gone, boxes open on the home screen
  // when no window is active.
  void Attach(QWidget* window) { window_ = window; }
  void ShowError(const std::string& caption, const std::string& text) override;
  // The program was asked to end: the box that is open closes as if OK was pressed, and no
  // box opens for the rest of the program's life (ShowError returns at once). The operation
  // that reports goes on to its end without waiting for anyone. Nothing else changes.
  void EndBoxes();

 private:
  QPointer<QWidget> window_;
  bool ended_ = false;
  std::vector<QPointer<QMessageBox>> open_;  // the boxes now in ShowError, innermost last
};

// Asks for an image file with a file dialog (OpenDialog1), modal to the window: the name box
// preset, every file listed, starting in the working directory. The dialog is built at the
// first request and its widgets kept, hidden, as the window's child (its own window goes
// after each request): under X every file dialog built and destroyed leaves some 20 kB of the
// toolkit's memory behind, without limit over a long session. Each request starts it afresh
// (folder, filter, name, lists at the top) and returns with no popup of it left open; what the
// user chose about its looks (size, view, columns) lasts while the program runs, and it reads
// and writes no state on disk (see NoSettingsOnDisk). Until a window is attached, and after it
// is gone, every request is answered as cancelled.
class FileDialogChooser : public receiver::ImageChooser {
 public:
  // `closing` tells whether the window was asked to close: an upload held back until then
  // (a click delivered after a signal to end) is answered as Cancel, and no dialog opens to
  // wait for a person.
  void Attach(QWidget* window, std::function<bool()> closing = {});
  std::optional<std::string> ChooseImageFile(const std::string& presetName) override;

 private:
  QPointer<QWidget> window_;
  std::function<bool()> closing_;
  QPointer<QFileDialog> dialog_;
  QStringList everyFile_;  // the dialog's own filter list when built
  // The size the dialog opens at where the screen holds it: its own, until the user gives it
  // one. A smaller screen only bounds it for that opening.
  QSize wanted_;
};

// The toolkit's own settings (the widget file dialog's history, last folder and layout, saved
// under the organisation "QtProject") are neither read nor written: every settings store of
// the process points where no file can exist. Done once; the panel keeps no settings.
void NoSettingsOnDisk();

// Opens /dev/null on whichever of standard input, output and error the program was started
// without (`QuarvelSDR-sim >&-`). Otherwise the next file or socket opened would take that
// number, the display connection say, and the trace or a note meant for standard output would
// be written into it. Call first thing in main. Returns which of them it opened: bit 0 for
// standard input, bit 1 for output, bit 2 for error.
int StandardStreamsOpen();

// Keeps the toolkit from starting a session bus of its own. In a session without one (plain X
// over ssh, say) libdbus would launch a bus daemon and note it under ~/.dbus; the panel writes
// nothing there, so it then connects to no bus at all. A session bus that exists is used as
// before (the accessibility bus is also found through the X server). Call before the
// application object is created.
void NoSessionBusLaunched();

// Loads the font configuration (every configuration file and font cache of the system) on a
// thread of its own, so that this part of the first text's cost is paid while the application
// object connects to the display. Start it before the application object, and Wait() once that
// exists and before any widget is made: the toolkit then finds the configuration loaded.
// Loading it twice at once would be safe but would waste the work. Where the application
// object will change the environment while it starts (a launch from a desktop), the
// configuration is loaded at once instead.
class FontConfigurationLoader {
 public:
  FontConfigurationLoader();
  ~FontConfigurationLoader();
  FontConfigurationLoader(const FontConfigurationLoader&) = delete;
  FontConfigurationLoader& operator=(const FontConfigurationLoader&) = delete;

  void Wait();

 private:
  std::thread thread_;
};

// Asked to end by a signal (SIGTERM from `kill` or a shutdown, SIGINT from Ctrl+C in its
// terminal, SIGHUP when that terminal goes away), the program closes the window as the user
// would: an upload under way sends its remaining pages first, so no image is left half old,
// half new. The error boxes (boxes, when given) end first: the open one closes as with OK and
// no other opens, so the operation runs to its end and the program ends without anyone
// pressing OK, as a logout or a shutdown needs. A second Ctrl+C (SIGINT) ends the program at
// once; SIGTERM and SIGHUP are taken as often as they come. A signal the program was started with
// ignored (`nohup`, a job in the background) stays ignored. One at a time; the signals' earlier
// handling comes back when it is destroyed.
class CloseOnTerminationSignals : public QObject {
 public:
  explicit CloseOnTerminationSignals(QWidget& window, QtErrorReporter* boxes = nullptr);
  ~CloseOnTerminationSignals() override;
  CloseOnTerminationSignals(const CloseOnTerminationSignals&) = delete;
  CloseOnTerminationSignals& operator=(const CloseOnTerminationSignals&) = delete;

 private:
  QPointer<QWidget> window_;
  QtErrorReporter* boxes_;  // or null
  int pipe_[2] = {-1, -1};  // the handler writes a byte, the event loop reads it
  std::array<struct sigaction, 3> previous_{};
};

// Tells the moment the window manager asks for a window to close (WM_DELETE_WINDOW, on X), as
// the toolkit reads the request from the display, while nothing is modal: the toolkit delivers
// the close only after the input read with it, and drops it where that input opened a modal
// dialog meanwhile. Nothing on other platforms.
class CloseRequestWatch : public QAbstractNativeEventFilter {
 public:
  CloseRequestWatch(const QWidget& window, std::function<void()> requested);
  ~CloseRequestWatch() override;
  CloseRequestWatch(const CloseRequestWatch&) = delete;
  CloseRequestWatch& operator=(const CloseRequestWatch&) = delete;
  bool nativeEventFilter(const QByteArray& type, void* message, qintptr* result) override;

 private:
  const QWidget& window_;
  std::function<void()> requested_;
  bool watching_ = false;
  // The two atoms, asked for by name at the start; the answers are read at the first client
  // message, by when they have come.
  std::uint32_t protocols_ = 0, deleteWindow_ = 0;
  std::array<unsigned, 2> asked_{};
};

// The pauses of a panel with a window: SleepMs blocks; IdleMs lets the windows repaint but
// reads nothing from the display (what the user does meanwhile is handled afterwards), and
// lasts at least the time asked for.
class WindowSleeper : public receiver::Sleeper {
 public:
  void SleepMs(int ms) override;
  void IdleMs(int ms) override;
  // Work for the next SleepMs to do instead of idling: that pause then lasts the rest of its
  // time after the work, or as long as the work if that takes longer. Done once; nullptr
  // takes back work not done yet.
  void DuringNextSleep(std::function<void()> work);

 private:
  std::function<void()> work_;
};

// The first character of the locale's decimal separator; "." when the locale gives none or
// one that is not a single byte.
char DecimalSeparatorOf(const QLocale& locale);

// The program's icon from where the package installs it, for every window of the program
// (the window list, the task bar); nothing where it is not installed.
void UseInstalledWindowIcon();

// "MS Sans Serif" at the given size where installed, else the platform's sans-serif.
QFont PanelFont(double pointSize);

}  // namespace quarvel::ui
