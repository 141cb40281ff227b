// SPDX-License-Identifier: GPL-3.0-or-later
// The panel's one window: the fixed layout of every control, its start values, and the wiring
// of each control's event to its receiver operation. No tuning logic lives here.
#pragma once

#include <QKeyEvent>
#include <QPointer>
#include <QScrollBar>
#include <QTimer>
#include <QWidget>

#include <array>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "port/ErrorReporter.h"
#include "receiver/Controls.h"
#include "receiver/ReceiverControl.h"
#include "ui/AfterFirstPaint.h"
#include "ui/QtPlatform.h"
#include "ui/ScreenReader.h"

class QLabel;
class QPushButton;
class QScreen;
class QWindow;

namespace quarvel::ui {

class WindowSleeper;
struct ControlRow;  // one control of the layout (SDRquarvel.cpp)
struct PanelScales;

// When the window's last event operation ran, on the clock of the input events' time stamps:
// from the stamp of the input that started it to that stamp plus the time it took.
struct BusySpan {
  quint64 from = 0;
  quint64 until = 0;
  // Whether an input stamped so came in while the operation ran. One carrying the starting
  // input's own stamp cannot be told from it, and is not.
  bool Holds(quint64 stamp) const { return stamp > from && stamp < until; }
};

// Tells a held key's repeats from fresh presses. Qt flags a repeat only where the press was
// already waiting behind its release when the release was read; X sends every repeat as a
// release and a press with one time stamp, which tells it either way.
class HeldKey {
 public:
  bool Repeats(const QKeyEvent& press) const {
    return press.isAutoRepeat() ||
           (press.key() == releasedKey_ && press.timestamp() == releasedAt_ && releasedAt_ != 0);
  }
  void Released(const QKeyEvent& release) {
    releasedKey_ = release.key();
    releasedAt_ = release.timestamp();
  }

 private:
  int releasedKey_ = 0;
  quint64 releasedAt_ = 0;
};

// A horizontal scroll bar with the keyboard of a classic scroll bar: Left, Up and Page Up
// move towards the minimum, Right, Down and Page Down towards the maximum, Home and End to
// the ends. Takes focus by Tab and by click, and shows focus reached by the keyboard.
class PanelScrollBar : public QScrollBar {
 public:
  // Held keys skip the repeats that came in during the window's operation `busy`.
  PanelScrollBar(QWidget* parent, const BusySpan& busy);

  // Lets go of a held arrow, trough or thumb as if the mouse button had been released.
  void ReleaseMouse();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void timerEvent(QTimerEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  const BusySpan& busy_;
  HeldKey held_;
};

class TForm1 : public QWidget {
  Q_OBJECT

 public:
  // Connects the change operations, runs FormCreate and builds the layout, showing the
  // values the controls hold; errors from FormCreate are reported and the window is still
  // usable. The window is not shown. Error boxes of the event dispatch carry
  // applicationTitle. The controls are the window's own; tests and tools find them by the
  // layout's object names ("Freq", "ScrollBar1", "RAMbin", ...). Given the pauses the
  // receiver logic sleeps in (startPauses), the controls are built during FormCreate's first
  // pause, the one before its clock burst goes out; otherwise after FormCreate. The window is
  // the same either way.
  TForm1(receiver::ReceiverControl& rx, receiver::PanelControls& controls,
         port::ErrorReporter& reporter, std::string applicationTitle,
         WindowSleeper* startPauses = nullptr, QWidget* parent = nullptr);
  ~TForm1() override;

  // Runs one event operation; an error escaping it is shown in a modal box captioned with
  // the application title, and the window goes on. Operations never overlap: one asked for
  // while another runs (a click taken by an error box's own event loop, say) runs after it,
  // in order.
  // Once the window has been asked to close, no operation starts any more.
  void Dispatch(const std::function<void()>& operation);

  const std::string& ApplicationTitle() const { return title_; }
  // Whether the window was asked to close (it closes once no operation runs).
  bool CloseAsked() const { return closeAsked_; }

 protected:
  void changeEvent(QEvent* event) override;
  bool event(QEvent* event) override;
  // Notes the time stamp of every key press, click and wheel turn the application delivers,
  // and holds back the rest of a key that pressed a button until it is let go.
  bool eventFilter(QObject* watched, QEvent* event) override;
  // A close asked for while an operation runs waits for it (an upload sends all its pages),
  // and for those already waiting to run after it (an upload among them opens no dialog and
  // sends nothing); nothing asked for later runs.
  void closeEvent(QCloseEvent* event) override;

 private:
  void UseButtonFaceBackground();
  void BuildControls();
  // Places, sizes and sets the text of every control for the scales.
  void LayOut(const PanelScales& scales);
  // Watches the screen the shown window is on, and lays the window out again for it.
  void WatchScreen();
  void FitScreen();
  void ToLayoutSize();
  // Whether the window has the layout's size at its scale, not one the user or the window
  // manager (maximised, full screen) gave it.
  bool AtLayoutSize() const;
  QWidget* MakeControl(const ControlRow& row);
  QLabel* MakeLabel(const ControlRow& row);
  QPushButton* MakeButton(const ControlRow& row);
  QScrollBar* MakeScrollBar(const ControlRow& row);
  void NameForScreenReaders();
  void DescribeFrequency();
  void ReadDecimalSeparator();

  receiver::ReceiverControl& rx_;
  receiver::PanelControls& controls_;
  port::ErrorReporter& reporter_;
  std::string title_;
  double layoutScale_ = 1.0;       // screen pixels per layout pixel, for the window's screen
  double textScale_ = 1.0;         // of the fonts' point sizes, below 1 where the screen is small
  std::vector<QWidget*> laidOut_;  // the controls, in the layout's order
  // The window whose screen is followed, and that screen's changes of area and DPI.
  QPointer<QWindow> screenWatched_;
  QPointer<QScreen> screen_;
  std::array<QMetaObject::Connection, 2> screenChanges_{};
  QTimer fitScreen_;  // lays the window out for its screen once that has stayed the same
  // The layout scale at which the window was maximised at the layout's size (0: another size),
  // and that of a window back from maximised, for FitScreen.
  double maximisedFrom_ = 0;
  double restoredFrom_ = 0;
  bool built_ = false;  // the controls are there
  bool busy_ = false;   // an event operation runs
  std::deque<std::function<void()>> pending_;
  quint64 inputStamp_ = 0;     // of the last input delivered
  BusySpan busySpan_;          // the last operation (and those that waited for it)
  int buttonKey_ = 0;          // the key that pressed a button, held back until let go
  quint64 buttonKeyLast_ = 0;  // the time stamp of its last event
  HeldKey buttonKeyHeld_;
  bool closeAsked_ = false;  // the window was asked to close: it closes once not busy
  // A close the window manager asks for counts from when it is read, before the input read with
  // it (a click held back during an upload) is delivered and could open the upload's dialog.
  CloseRequestWatch closeRequests_{*this, [this] { closeAsked_ = true; }};
  std::vector<PanelScrollBar*> bars_;  // the four scroll bars, in creation order
  // The frequency label, and the tuning and offset bars it describes to screen readers.
  QLabel* frequency_ = nullptr;
  std::array<QWidget*, 2> describedBars_{};
  // The program's icon, looked up once the window is on the screen, never delaying it.
  AfterFirstPaint iconAfterPaint_;
  // The tuning bar, read by screen readers as the frequency, and what tells them the
  // frequency after a band button.
  QScrollBar* tuningBar_ = nullptr;
  Announcer announcer_;
};

}  // namespace quarvel::ui
