// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/SDRquarvel.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QElapsedTimer>
#include <QEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRect>
#include <QScreen>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QStyleOptionSlider>
#include <QWheelEvent>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <exception>
#include <utility>
#include <vector>

#include "ui/DispatchTexts.h"
#include "ui/MonitorPlacement.h"
#include "ui/QtPlatform.h"
#include "ui/ScreenReader.h"

namespace quarvel::ui {

namespace {

constexpr int kFontPt = 8;       // the layout's font height -11 px at 96 dpi
constexpr int kFreqFontPt = 14;  // Freq's font height -19 px at 96 dpi
constexpr int kScrollBarHeight = 17;
// Window states in which the window manager, not the layout, sizes the window.
constexpr Qt::WindowStates kManagedSize = Qt::WindowMaximized | Qt::WindowFullScreen;

}  // namespace

using RC = receiver::ReceiverControl;
using PC = receiver::PanelControls;

enum class Kind { Label, ShownText, Button, Bar, Progress, Edit };

// One control of the layout: where it sits, what it shows, what it does, and how a screen
// reader names it.
struct ControlRow {
  Kind kind;
  const char* name;
  QRect at;                           // labels showing a value size themselves to their text
  const char* caption = "";           // a label's text or a button's caption
  void (RC::*operation)() = nullptr;  // a button's click
  receiver::TextControl PC::*text = nullptr;      // the value a label or the edit shows
  receiver::ScrollBarControl PC::*bar = nullptr;  // the value a scroll bar shows and sets
  const char* accessibleName = nullptr;           // what a screen reader says, when set
  const char* buddy = nullptr;                    // the control a label labels
  int fontPt = kFontPt;
  // For screen readers, the frequency is a bar's value, or what a button's click is followed by.
  bool speaksFrequency = false;
  // A screen reader is told how an upload the button started ended.
  bool speaksUpload = false;
};

namespace {

constexpr ControlRow Label(const char* name, QRect at, const char* text,
                           const char* buddy = nullptr) {
  ControlRow row{Kind::Label, name, at};
  row.caption = text;
  row.buddy = buddy;
  return row;
}
// A label showing a value of the panel, sized to its text.
constexpr ControlRow Shown(const char* name, QPoint at, receiver::TextControl PC::*text,
                           const char* buddy, int fontPt = kFontPt) {
  ControlRow row{Kind::ShownText, name, QRect(at, QSize())};
  row.text = text;
  row.buddy = buddy;
  row.fontPt = fontPt;
  return row;
}
constexpr ControlRow Button(const char* name, QRect at, const char* caption, void (RC::*click)(),
                            const char* accessibleName) {
  ControlRow row{Kind::Button, name, at};
  row.caption = caption;
  row.operation = click;
  row.accessibleName = accessibleName;
  return row;
}
constexpr ControlRow Bar(const char* name, QPoint at, int width,
                         receiver::ScrollBarControl PC::*bar, const char* accessibleName) {
  ControlRow row{Kind::Bar, name, QRect(at, QSize(width, kScrollBarHeight))};
  row.bar = bar;
  row.accessibleName = accessibleName;
  return row;
}
constexpr ControlRow Other(Kind kind, const char* name, QRect at, const char* accessibleName,
                           receiver::TextControl PC::*text = nullptr) {
  ControlRow row{kind, name, at};
  row.text = text;
  row.accessibleName = accessibleName;
  return row;
}

// The tuning bar: read by screen readers as the frequency it tunes.
constexpr ControlRow Tuning(ControlRow bar) {
  bar.speaksFrequency = true;
  return bar;
}

// An upload button: a screen reader hears when the pages are out, which otherwise only the
// progress bar falling back to 0 would tell.
constexpr ControlRow Upload(const char* name, QRect at, const char* caption, void (RC::*click)(),
                            const char* accessibleName) {
  ControlRow row = Button(name, at, caption, click, accessibleName);
  row.speaksUpload = true;
  return row;
}

// The three families of buttons: the bands, the inputs and the attenuator steps.
constexpr ControlRow Band(const char* name, int left, int top, const char* caption,
                          void (RC::*click)(), const char* accessibleName) {
  ControlRow row = Button(name, QRect(left, top, 73, 25), caption, click, accessibleName);
  row.speaksFrequency = true;
  return row;
}
constexpr ControlRow Input(int index, int left, int top, int width) {
  constexpr const char* kNames[] = {"Mux0", "Mux1", "Mux2", "Mux3", "Mux4", "Mux5", "Mux6", "Mux7"};
  constexpr const char* kCaptions[] = {"In1", "In2", "In3", "In4", "In5", "In6", "In7", "In8"};
  constexpr const char* kSpoken[] = {"Input 1", "Input 2", "Input 3", "Input 4",
                                     "Input 5", "Input 6", "Input 7", "Input 8"};
  constexpr void (RC::*kClicks[])() = {&RC::Mux0Click, &RC::Mux1Click, &RC::Mux2Click,
                                       &RC::Mux3Click, &RC::Mux4Click, &RC::Mux5Click,
                                       &RC::Mux6Click, &RC::Mux7Click};
  return Button(kNames[index], QRect(left, top, width, 25), kCaptions[index], kClicks[index],
                kSpoken[index]);
}
constexpr ControlRow Attenuator(int step, int left, int width) {
  constexpr const char* kNames[] = {"db0", "db10", "db20"};
  constexpr const char* kCaptions[] = {"0 dB", "-10 dB", "-20 dB"};
  constexpr const char* kSpoken[] = {"Attenuator 0 dB", "Attenuator -10 dB", "Attenuator -20 dB"};
  constexpr void (RC::*kClicks[])() = {&RC::db0Click, &RC::db10Click, &RC::db20Click};
  return Button(kNames[step], QRect(left, 344, width, 25), kCaptions[step], kClicks[step],
                kSpoken[step]);
}

// The window's layout, in creation order; the tab order follows it. The accessible names
// say each control's function where the caption alone is a number, a range or nothing; the
// labels beside a control are its buddies (none has a mnemonic, so nothing visible changes).
const ControlRow kLayout[] = {
    Shown("Freq", {184, 96}, &PC::Freq, "ScrollBar1", kFreqFontPt),
    Shown("LabelFmin", {16, 96}, &PC::LabelFmin, "ScrollBar1"),
    Shown("LabelFmax", {408, 96}, &PC::LabelFmax, "ScrollBar1"),
    Label("", {152, 136, 3, 13}, ""),  // the layout's empty label; shows nothing
    Shown("Offset", {312, 192}, &PC::Offset, "ScrollBar2"),
    Label("Label1", {32, 128, 28, 13}, "1 kHz", "CMD1_4"),
    Label("Label2", {120, 128, 28, 13}, "9 kHz", "CMD2_8"),
    Label("Label3", {208, 128, 28, 13}, "2 kHz", "Cmd4_16"),
    Label("Label4", {296, 128, 28, 13}, "5 kHz", "Cmd10_40"),
    Label("Label5", {384, 128, 34, 13}, "10 kHz", "Cmd25_100"),
    Label("Label6", {384, 176, 34, 13}, "25 kHz", "Cmdhigh"),
    Label("Label7", {80, 192, 28, 13}, "Offset", "ScrollBar2"),
    Label("Xtal", {80, 224, 18, 13}, "Xtal", "ScrollBar3"),
    Upload("FlashBin", {16, 8, 113, 25}, "upload EEPROM", &RC::FlashBinClick, "Upload EEPROM"),
    Tuning(Bar("ScrollBar1", {16, 72}, 425, &PC::ScrollBar1, "Tuning")),
    Upload("RAMbin", {160, 8, 105, 25}, "upload RAM", &RC::RAMbinClick, "Upload RAM"),
    Other(Kind::Progress, "ProgressBar1", {16, 40, 425, 17}, "Upload progress"),
    Band("CMD1_4", 16, 144, "0.13...0,8 MHz", &RC::CMD1_4Click, "Band 0.13 to 0.8 MHz"),
    Band("CMD2_8", 104, 144, "0,4...1,6 MHz", &RC::CMD2_8Click, "Band 0.4 to 1.6 MHz"),
    Band("Cmd4_16", 192, 144, "0,8...3,2 MHz", &RC::Cmd4_16Click, "Band 0.8 to 3.2 MHz"),
    Band("Cmd10_40", 280, 144, "2...10 MHz", &RC::Cmd10_40Click, "Band 2 to 10 MHz"),
    Band("Cmd25_100", 368, 144, "4...20 MHz", &RC::Cmd25_100Click, "Band 4 to 20 MHz"),
    Bar("ScrollBar2", {128, 192}, 169, &PC::ScrollBar2, "Offset"),
    Band("Cmdhigh", 368, 192, "10...30 MHz", &RC::CmdhighClick, "Band 10 to 30 MHz"),
    Input(0, 24, 312, 41),
    Input(1, 80, 312, 41),
    Input(2, 136, 312, 33),
    Attenuator(1, 336, 41),
    Attenuator(2, 384, 41),
    Attenuator(0, 288, 33),
    Input(3, 184, 312, 33),
    Bar("ScrollBar3", {128, 224}, 169, &PC::ScrollBar3, "Crystal trim"),
    Input(4, 24, 344, 41),
    Input(5, 80, 344, 41),
    Input(6, 136, 344, 33),
    Input(7, 184, 344, 33),
    Bar("ScrollBar4", {24, 272}, 409, &PC::ScrollBar4, "Tracking level"),
    // Shows the level; what the user types there is not read.
    Other(Kind::Edit, "Edit1", {288, 304, 65, 21}, "Level", &PC::Edit1),
};

// The layout's pixels are those of a 96-dpi screen. Where the window's screen reports another
// logical DPI (the toolkit did not scale the whole window, and the fonts, sized in points,
// grow or shrink by that much), the layout is scaled by the same factor, as far as the screen
// holds it: on a screen too small for that (or too small for the layout itself, as 800 x 480
// at a scale of 1.5), the window takes the largest scale that shows every control, and its
// text shrinks by as much. The edges of a rectangle are scaled, not its corner and size, so
// controls that meet in the layout still meet and controls apart stay apart; at 96 dpi on a
// screen that holds the layout every rectangle stays as it is.
PanelScales ScalesFor(const QWidget& window, const QScreen* screen) {
  constexpr int kLayoutDpi = 96;
  const int dpi = window.logicalDpiY();  // the DPI the window's fonts are sized by
  const double wanted = dpi > 0 ? static_cast<double>(dpi) / kLayoutDpi : 1.0;
  if (screen == nullptr) return {wanted, 1.0};
  int right = 0, bottom = 0;  // of the controls
  for (const ControlRow& row : kLayout) {
    right = std::max(right, row.at.x() + row.at.width());
    bottom = std::max(bottom, row.at.y() + row.at.height());
  }
  return PanelScalesFor(wanted, QSize(right, bottom), screen->availableGeometry());
}
QRect Scaled(const QRect& layout, double scale) {
  auto edge = [scale](int px) { return static_cast<int>(std::lround(px * scale)); };
  const int left = edge(layout.x());
  const int top = edge(layout.y());
  return {left, top, edge(layout.x() + layout.width()) - left,
          edge(layout.y() + layout.height()) - top};
}
// The window's client size at a scale: 457 x 416 layout pixels.
QSize WindowSize(double scale) {
  return Scaled(QRect(0, 0, 457, 416), scale).size();
}
// How far down the controls reach at a scale (the window's lowest 47 layout pixels are empty).
int ControlsBottom(double scale) {
  int bottom = 0;
  for (const ControlRow& row : kLayout) {
    const QRect at = Scaled(row.at, scale);
    bottom = std::max(bottom, at.y() + at.height());
  }
  return bottom;
}

QString FromStd(const std::string& text) {
  return QString::fromStdString(text);
}

// The captions were laid out for a narrow font; where the platform's font is wider, the ones
// that would be clipped are set in one condensed font, the widest that fits all of them: they
// look alike, and the toolkit loads one font more rather than one for each caption.
void FitCaptions(const std::vector<QPushButton*>& buttons) {
  constexpr int kFramePx = 3;  // frame and a pixel of air on each side
  constexpr int kNarrowestStretch = 70;
  auto room = [](const QPushButton* button) { return button->width() - 2 * kFramePx; };
  std::vector<QPushButton*> clipped;
  int stretch = 99;
  for (QPushButton* button : buttons) {
    const int needed = button->fontMetrics().horizontalAdvance(button->text());
    if (needed <= room(button)) continue;
    clipped.push_back(button);
    stretch = std::min(stretch, room(button) * 100 / needed);
  }
  if (clipped.empty()) return;
  // Glyph advances are whole pixels, so the stretch is found by trying.
  QFont font = clipped.front()->font();
  for (stretch = std::max(stretch, kNarrowestStretch); stretch >= kNarrowestStretch; --stretch) {
    font.setStretch(stretch);
    const QFontMetrics metrics(font);
    if (std::all_of(clipped.begin(), clipped.end(), [&](const QPushButton* button) {
          return metrics.horizontalAdvance(button->text()) <= room(button);
        }))
      break;
  }
  for (QPushButton* button : clipped) button->setFont(font);
}

// The keys that press a focused button: Return and Enter as well as Space, as buttons do on
// other desktops and as keyboard and screen-reader users expect (the toolkit keeps the first
// two for the default button of dialogs).
bool PressesAButton(const QKeyEvent& event) {
  return event.key() == Qt::Key_Return || event.key() == Qt::Key_Enter ||
         event.key() == Qt::Key_Space;
}

// A push button that each of those keys presses when it goes down. The window keeps the rest of
// a held key from it and from whatever the press opened (TForm1::eventFilter), so it presses
// once. The arrow keys move among the panel's buttons (see MoveToward).
class PanelButton : public QPushButton {
 public:
  using QPushButton::QPushButton;

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    if (MoveToward(*event)) return;
    if (!PressesAButton(*event)) {
      QPushButton::keyPressEvent(event);
      return;
    }
    // Its repeats never get here (see above); a press that Qt flags as a repeat after the key
    // was let go in another program is a new one.
    event->accept();
    click();
  }
  void keyReleaseEvent(QKeyEvent* event) override {
    // Space too: the toolkit's button would be clicked at its release.
    if (PressesAButton(*event))
      event->accept();
    else
      QPushButton::keyReleaseEvent(event);
  }

 private:
  // An arrow key takes the focus to the nearest button on that side, roughly in line with this
  // one, or leaves it where it is, whatever modifier is held (Shift with the keypad's arrows
  // under Num Lock, say). The toolkit would move it as Tab does, with or without modifiers,
  // onto the scroll bar next in the tab order, where the next press of the same arrow retunes
  // the board.
  bool MoveToward(QKeyEvent& event) {
    static constexpr std::pair<int, QPoint> kDirections[] = {{Qt::Key_Left, {-1, 0}},
                                                             {Qt::Key_Right, {1, 0}},
                                                             {Qt::Key_Up, {0, -1}},
                                                             {Qt::Key_Down, {0, 1}}};
    const auto direction = std::find_if(std::begin(kDirections), std::end(kDirections),
                                        [&](const auto& d) { return d.first == event.key(); });
    if (direction == std::end(kDirections)) return false;
    event.accept();
    const QPoint toward = direction->second;
    PanelButton* nearest = nullptr;
    int best = 0;
    for (PanelButton* other :
         parentWidget()->findChildren<PanelButton*>(Qt::FindDirectChildrenOnly)) {
      if (other == this || !other->isVisible() || !other->isEnabled()) continue;
      const QPoint offset = other->geometry().center() - geometry().center();
      const int along = offset.x() * toward.x() + offset.y() * toward.y();
      const int across = std::abs(offset.x() * toward.y() + offset.y() * toward.x());
      if (along <= 0 || across > along) continue;  // behind, or more beside than ahead
      const int distance = along + 2 * across;
      if (nearest == nullptr || distance < best) {
        nearest = other;
        best = distance;
      }
    }
    if (nearest != nullptr) nearest->setFocus(Qt::TabFocusReason);
    return true;
  }
};

}  // namespace

PanelScrollBar::PanelScrollBar(QWidget* parent, const BusySpan& busy)
    : QScrollBar(Qt::Horizontal, parent), busy_(busy) {
  // Qt's scroll bars invert the wheel and some keys by default; here the wheel away from the
  // user raises the position, like Right.
  setInvertedControls(false);
  setFocusPolicy(Qt::StrongFocus);
  setSingleStep(1);
  setTracking(true);  // every thumb position while dragging is a change
}

void PanelScrollBar::keyPressEvent(QKeyEvent* event) {
  // The classic scroll bar's keys: towards the minimum, towards the maximum, to the ends.
  static constexpr std::pair<int, SliderAction> kKeys[] = {
      {Qt::Key_Left, SliderSingleStepSub},  {Qt::Key_Up, SliderSingleStepSub},
      {Qt::Key_Right, SliderSingleStepAdd}, {Qt::Key_Down, SliderSingleStepAdd},
      {Qt::Key_PageUp, SliderPageStepSub},  {Qt::Key_PageDown, SliderPageStepAdd},
      {Qt::Key_Home, SliderToMinimum},      {Qt::Key_End, SliderToMaximum},
  };
  for (const auto& [key, action] : kKeys) {
    if (event->key() != key) continue;
    event->accept();
    // A held key repeats at the desktop's rate whatever a step costs. Where a step (its bursts
    // and their pauses), or another control's operation (an upload), takes longer than the
    // repeat interval, the repeats that came in meanwhile are skipped, so that the bar stops
    // when the key is let go instead of working off a backlog of steps. Only repeats stamped
    // with the time they came in can be told apart so: where every repeat carries its press's
    // stamp (Wayland makes its repeats itself, on the window's own thread, and so builds no
    // backlog) or none, each one steps.
    if (held_.Repeats(*event) && busy_.Holds(event->timestamp())) return;
    triggerAction(action);
    return;
  }
  QScrollBar::keyPressEvent(event);
}

void PanelScrollBar::keyReleaseEvent(QKeyEvent* event) {
  held_.Released(*event);
  QScrollBar::keyReleaseEvent(event);
}

void PanelScrollBar::paintEvent(QPaintEvent* event) {
  QScrollBar::paintEvent(event);
  if (!hasFocus()) return;
  // Most styles (Fusion among them) draw no focus on a scroll bar, and a keyboard user would
  // not see which bar the arrow keys move. The thumb gets the style's focus frame, drawn as
  // the style draws it on buttons (Fusion: only after keyboard navigation), and inside it a
  // two-pixel frame in the highlight colour: the style's own is a faint line on the small
  // bars' thumbs.
  QStyleOptionSlider bar;
  initStyleOption(&bar);
  QStyleOptionFocusRect focus;
  focus.initFrom(this);
  focus.backgroundColor = palette().color(QPalette::Button);
  focus.rect =
      style()->subControlRect(QStyle::CC_ScrollBar, &bar, QStyle::SC_ScrollBarSlider, this);
  QPainter painter(this);
  style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
  if (!(focus.state & QStyle::State_KeyboardFocusChange)) return;
  painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(QRectF(focus.rect).adjusted(2, 2, -2, -2));
}

void PanelScrollBar::wheelEvent(QWheelEvent* event) {
  // The toolkit gets one axis only, the one the gesture mainly goes along: a swipe on a
  // touchpad is never quite level, and read with both axes, a sideways swipe with a little up
  // or down in it would move the thumb the wrong way, an up/down one with a little sideways in
  // it not at all.
  const QPoint angle = event->angleDelta();
  const QPoint pixels = event->pixelDelta();
  const bool upDown = std::abs(angle.x()) <= std::abs(angle.y());
  // Turning the wheel's direction round (away from the user raises the position) turns a
  // sideways gesture round too, a tilted wheel or a swipe on a touchpad: left would raise the
  // position. It is turned back, so that the thumb moves the way the gesture goes.
  const QPoint alongAngle = upDown ? QPoint(0, angle.y()) : QPoint(-angle.x(), 0);
  const QPoint alongPixels = upDown ? QPoint(0, pixels.y()) : QPoint(-pixels.x(), 0);
  QWheelEvent along(event->position(), event->globalPosition(), alongPixels, alongAngle,
                    event->buttons(), event->modifiers(), event->phase(), event->inverted(),
                    event->source(), event->pointingDevice());
  QScrollBar::wheelEvent(&along);
  event->setAccepted(along.isAccepted());
}

void PanelScrollBar::timerEvent(QTimerEvent* event) {
  // A held arrow or trough steps on a timer of the bar's own until the bar sees the button
  // come up. A menu opened by the keyboard meanwhile (the Menu key, Shift+F10) takes the
  // pointer, and the release goes to the menu, or, once the menu has closed, to whichever
  // window is under the pointer, perhaps another program's: the bar would go on stepping, and
  // sending bursts, with no button down. It lets go as soon as a menu opens, as it would for
  // a box, and whenever it finds the button up.
  if (repeatAction() != SliderNoAction &&
      (QApplication::activePopupWidget() != nullptr ||
       (QGuiApplication::mouseButtons() & (Qt::LeftButton | Qt::MiddleButton)) == 0)) {
    ReleaseMouse();
    return;
  }
  QScrollBar::timerEvent(event);
}

void PanelScrollBar::ReleaseMouse() {
  if (repeatAction() == SliderNoAction && !isSliderDown()) return;
  const QPointF nowhere(-1, -1);
  QMouseEvent release(QEvent::MouseButtonRelease, nowhere, mapToGlobal(nowhere), Qt::LeftButton,
                      Qt::NoButton, Qt::NoModifier);
  mouseReleaseEvent(&release);
}

TForm1::TForm1(receiver::ReceiverControl& rx, receiver::PanelControls& controls,
               port::ErrorReporter& reporter, std::string applicationTitle,
               WindowSleeper* startPauses, QWidget* parent)
    : QWidget(parent),
      rx_(rx),
      controls_(controls),
      reporter_(reporter),
      title_(std::move(applicationTitle)),
      iconAfterPaint_(*this, UseInstalledWindowIcon),
      announcer_(this) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QStringLiteral("Quarvel SDR Tuning"));
  // Key repeats are told from the operations they came in during by their time stamps.
  QCoreApplication::instance()->installEventFilter(this);
  UseButtonFaceBackground();
  setAutoFillBackground(true);
  // The layout's place on the home screen (where error boxes shown before the window open too),
  // unless the screen is too low or narrow to show every control there.
  const QScreen* screen = HomeScreen();
  const PanelScales scales = ScalesFor(*this, screen);
  layoutScale_ = scales.layout;
  textScale_ = scales.text;
  resize(WindowSize(layoutScale_));
  const QPoint layoutPlace = Scaled(QRect(202, 149, 0, 0), layoutScale_).topLeft();
  move(screen != nullptr
           ? PanelPlace(screen->geometry().topLeft() + layoutPlace,
                        QSize(width(), ControlsBottom(layoutScale_)), screen->availableGeometry())
           : layoutPlace);
  // A change of screen is acted on once the window has stayed on the new one for a moment: a
  // move across the seam of two screens may cross it back and forth.
  fitScreen_.setSingleShot(true);
  fitScreen_.setInterval(250);
  connect(&fitScreen_, &QTimer::timeout, this, &TForm1::FitScreen);

  // The start values are in place: from now on a position change runs its operation.
  ReadDecimalSeparator();
  rx_.ConnectControls();
  // FormCreate's clock burst waits 10 ms before it is sent, with nothing of it on the bus yet:
  // idle time, in which the controls are built (from the values FormCreate has set by then;
  // they follow its later changes as they follow every change). The burst goes out once they
  // are built and the 10 ms are over. Without such a pause they are built after FormCreate.
  // A build that fails does not stop the start-up bursts; its error leaves the constructor
  // afterwards, as it would have without the pause.
  std::exception_ptr buildFailed;
  if (startPauses != nullptr) {
    startPauses->DuringNextSleep([this, &buildFailed] {
      try {
        BuildControls();
      } catch (...) {
        buildFailed = std::current_exception();
      }
    });
  }
  struct TakeBackUnusedWork {
    WindowSleeper* pauses;
    ~TakeBackUnusedWork() {
      if (pauses != nullptr) pauses->DuringNextSleep(nullptr);
    }
  } takeBack{startPauses};
  Dispatch([this] { rx_.FormCreate(); });
  if (buildFailed) std::rethrow_exception(buildFailed);
  if (!built_) BuildControls();
}

void TForm1::BuildControls() {
  // The controls take the window's font as they are made.
  setFont(PanelFont(kFontPt * textScale_));
  std::vector<QWidget*> tabOrder;
  for (const ControlRow& row : kLayout) {
    QWidget* control = MakeControl(row);
    laidOut_.push_back(control);
    if (row.kind != Kind::Label && row.kind != Kind::ShownText) tabOrder.push_back(control);
  }
  LayOut({layoutScale_, textScale_});
  for (std::size_t i = 1; i < tabOrder.size(); ++i) setTabOrder(tabOrder[i - 1], tabOrder[i]);
  // The image file dialog (OpenDialog1) is built by the first upload that asks for it.
  NameForScreenReaders();
  built_ = true;
}

void TForm1::LayOut(const PanelScales& scales) {
  // A scroll bar held by the mouse lets go: its thumb would jump to where the pointer now is on
  // the bar laid out anew, and tune there.
  for (PanelScrollBar* bar : bars_) bar->ReleaseMouse();
  layoutScale_ = scales.layout;
  textScale_ = scales.text;
  if (const QFont text = PanelFont(kFontPt * textScale_); font() != text) setFont(text);
  std::vector<QPushButton*> buttons;
  for (std::size_t i = 0; i < laidOut_.size(); ++i) {
    const ControlRow& row = kLayout[i];
    QWidget* control = laidOut_[i];
    const QRect at = Scaled(row.at, layoutScale_);
    switch (row.kind) {
      case Kind::Label:
        control->setGeometry(at);
        // Labels size themselves to their text; the empty one keeps its place holder size.
        if (!static_cast<QLabel*>(control)->text().isEmpty()) control->adjustSize();
        break;
      case Kind::ShownText:
        control->move(at.topLeft());
        if (row.fontPt != kFontPt) control->setFont(PanelFont(row.fontPt * textScale_));
        control->adjustSize();
        break;
      case Kind::Button:
        // Back to the window's font; the captions that it clips are condensed again below.
        if (control->testAttribute(Qt::WA_SetFont)) control->setFont(QFont());
        control->setGeometry(at);
        buttons.push_back(static_cast<QPushButton*>(control));
        break;
      default:
        control->setGeometry(at);
        break;
    }
  }
  FitCaptions(buttons);
}

void TForm1::WatchScreen() {
  if (QWindow* window = windowHandle(); window != nullptr && window != screenWatched_) {
    screenWatched_ = window;
    connect(window, &QWindow::screenChanged, this, [this] {
      const bool layoutSize = AtLayoutSize();
      WatchScreen();
      fitScreen_.start();
      // On X the toolkit keeps the window's size in device pixels when the new screen has
      // another device pixel ratio, after this signal: on a screen of twice the ratio the window
      // would be left half as wide and high, a quarter of the panel showing. The layout's size is
      // asked for again once that is done.
      if (layoutSize)
        QMetaObject::invokeMethod(
            this,
            [this] {
              if (size() != WindowSize(layoutScale_) && !(windowState() & kManagedSize))
                ToLayoutSize();
            },
            Qt::QueuedConnection);
    });
  }
  QScreen* now = screen();
  if (now == screen_) return;
  for (QMetaObject::Connection& change : screenChanges_) disconnect(change);
  screen_ = now;
  if (now == nullptr) return;
  auto fit = [this] { fitScreen_.start(); };
  screenChanges_ = {connect(now, &QScreen::availableGeometryChanged, this, fit),
                    connect(now, &QScreen::logicalDotsPerInchChanged, this, fit)};
}

// The scale the window opened at was worked out for its first screen. On another screen (the
// window dragged onto a small one, or back), or where its screen changes size or DPI, the
// controls and their text are scaled for that screen instead, and the window's size follows
// where it is the layout's. A size the user gave it stays, and so does its place then. A window
// maximised meanwhile is laid out at once and sized when it comes back to the layout's size of
// the scale it had.
void TForm1::FitScreen() {
  if (!built_) return;
  const PanelScales scales = ScalesFor(*this, screen_);
  const bool rescale = scales.layout != layoutScale_ || scales.text != textScale_;
  const bool restored = restoredFrom_ != 0 && restoredFrom_ != layoutScale_ &&
                        size() == WindowSize(restoredFrom_) && !(windowState() & kManagedSize);
  restoredFrom_ = 0;
  if (!rescale && !restored) return;
  const bool layoutSize = restored || AtLayoutSize();
  if (rescale) LayOut(scales);
  if (layoutSize) ToLayoutSize();
}

// The layout's size; where the title bar or controls would then be off every screen, the window
// moves as little as shows them on its own (RescaledFrame). The toolkit keeps a window's screen
// while the window's middle is on it, and the middle stays there: the window stays on the
// screen it was scaled for rather than being scaled back and forth.
void TForm1::ToLayoutSize() {
  if (DesktopPlacesWindows() || screen_ == nullptr) {
    resize(WindowSize(layoutScale_));
    return;
  }
  QRegion reach;
  for (const QScreen* screen : screen_->virtualSiblings()) reach += screen->availableGeometry();
  const QMargins frame = DrawnFrame(*this);
  setGeometry(RescaledFrame(frameGeometry(), frame, WindowSize(layoutScale_),
                            ControlsBottom(layoutScale_), screen_->geometry(),
                            screen_->availableGeometry(), reach)
                  .marginsRemoved(frame));
}

bool TForm1::AtLayoutSize() const {
  return size() == WindowSize(layoutScale_) && !(windowState() & kManagedSize);
}

TForm1::~TForm1() {
  // The controls' values outlive the window; stop them from painting into it.
  for (const ControlRow& row : kLayout) {
    if (row.text != nullptr) (controls_.*row.text).OnView = nullptr;
    if (row.bar != nullptr) (controls_.*row.bar).OnView = nullptr;
  }
  controls_.ProgressBar1.OnView = nullptr;
}

void TForm1::Dispatch(const std::function<void()>& operation) {
  // The user closed the window: a click held back during an upload's pauses, and delivered
  // after it, must not start another upload (or open its dialog) behind a closing window.
  if (closeAsked_) return;
  if (busy_) {
    pending_.push_back(operation);
    return;
  }
  busy_ = true;
  const quint64 started = inputStamp_;
  QElapsedTimer took;
  took.start();
  auto run = [this](const std::function<void()>& op) {
    try {
      op();
    } catch (const std::exception& e) {
      reporter_.ShowError(title_, ErrorBoxText(e.what()));
    }
  };
  run(operation);
  while (!pending_.empty()) {
    const std::function<void()> next = std::move(pending_.front());
    pending_.pop_front();
    run(next);
  }
  busy_ = false;
  // An operation started by an input that came in while the one before ran (a key press held
  // back during an upload) extends that one's span: the repeats that came in behind that press
  // came in during the upload too.
  const quint64 until = started + static_cast<quint64>(took.elapsed());
  if (busySpan_.Holds(started))
    busySpan_.until = std::max(busySpan_.until, until);
  else
    busySpan_ = {started, until};
  if (closeAsked_) QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

void TForm1::closeEvent(QCloseEvent* event) {
  closeAsked_ = true;
  if (busy_) {
    // An upload still asking for its file is cancelled, as with Cancel: nothing is sent. (The
    // dialog is modal, so only a signal to end gets here while it is open.)
    if (auto* dialog = findChild<QDialog*>(QStringLiteral("OpenDialog1"));
        dialog != nullptr && dialog->isVisible())
      dialog->reject();
    event->ignore();
    return;
  }
  QWidget::closeEvent(event);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
    // A key that pressed a button (the panel's, or an error box's OK) is held back from
    // everything until it is let go: held, it would press the button again, or go on into what
    // the press opened (the upload's dialog, where Space would type blanks into the name and
    // Return accept it; the next error box, which it would close unread). A press long after
    // the key's last event is a new one, even where Qt flags it as a repeat because the key was
    // let go in another program. (A press whose release went nowhere is not held back: a box
    // closed by a key press gives its release to no window, and the next box's press must
    // count.)
    constexpr quint64 kLongAfterMs = 1200;  // longer than any repeat delay
    const auto& key = static_cast<const QKeyEvent&>(*event);
    if (key.key() == buttonKey_) {
      const bool longAfter = key.timestamp() > buttonKeyLast_ + kLongAfterMs;
      buttonKeyLast_ = key.timestamp();
      if (event->type() == QEvent::KeyRelease) {
        buttonKeyHeld_.Released(key);
        return true;
      }
      if (!longAfter && buttonKeyHeld_.Repeats(key)) return true;
      buttonKey_ = 0;  // pressed afresh
    }
    if (event->type() == QEvent::KeyPress && PressesAButton(key) &&
        qobject_cast<QPushButton*>(watched) != nullptr) {
      buttonKey_ = key.key();
      buttonKeyLast_ = key.timestamp();
    }
  }
  switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::Wheel:
      inputStamp_ = static_cast<QInputEvent*>(event)->timestamp();
      break;
    default:
      break;
  }
  return QWidget::eventFilter(watched, event);
}

void TForm1::changeEvent(QEvent* event) {
  if (event->type() == QEvent::LocaleChange) ReadDecimalSeparator();
  if (event->type() == QEvent::WindowStateChange) {
    // Maximised at the layout's size, the window comes back to it at the end, at the scale it
    // had then: where it was laid out for another screen meanwhile, it is sized for that one.
    const bool was = static_cast<QWindowStateChangeEvent*>(event)->oldState() & kManagedSize;
    const bool is = windowState() & kManagedSize;
    if (!was && is) maximisedFrom_ = size() == WindowSize(layoutScale_) ? layoutScale_ : 0;
    if (was && !is) {
      restoredFrom_ = maximisedFrom_;
      fitScreen_.start();
    }
  }
  QWidget::changeEvent(event);
}

bool TForm1::event(QEvent* event) {
  if (event->type() == QEvent::Show) {
    // Shown on a screen with another scale than the one it was built for, the window is laid
    // out for that one.
    WatchScreen();
    FitScreen();
  }
  if (event->type() == QEvent::WindowBlocked) {
    // An error box opened, possibly from the burst of a scroll-bar click whose button is
    // still down. The release will go to the box, not to the bar, so the bar lets go now;
    // otherwise its auto-repeat would keep stepping, and sending bursts, behind the box.
    for (PanelScrollBar* bar : bars_) bar->ReleaseMouse();
  }
  const bool handled = QWidget::event(event);
  // The desktop changed its colours (a dark theme at night): the background follows the new
  // button face, as every other colour of the window follows the new palette by itself.
  if (event->type() == QEvent::ApplicationPaletteChange) UseButtonFaceBackground();
  return handled;
}

void TForm1::UseButtonFaceBackground() {
  // Button-face background, as the controls' own faces; only this colour is the window's own.
  QPalette face;
  face.setColor(QPalette::Window, QApplication::palette(this).color(QPalette::Button));
  setPalette(face);
}

void TForm1::ReadDecimalSeparator() {
  rx_.SetDecimalSeparator(DecimalSeparatorOf(QLocale::system()));
}

QWidget* TForm1::MakeControl(const ControlRow& row) {
  QWidget* control = nullptr;
  switch (row.kind) {
    case Kind::Label:
    case Kind::ShownText:
      control = MakeLabel(row);
      break;
    case Kind::Button:
      control = MakeButton(row);
      break;
    case Kind::Bar:
      control = MakeScrollBar(row);
      break;
    case Kind::Progress: {
      auto* progress = new QProgressBar(this);
      progress->setRange(controls_.ProgressBar1.Min(), controls_.ProgressBar1.Max());
      progress->setValue(controls_.ProgressBar1.Position());
      progress->setTextVisible(false);
      controls_.ProgressBar1.OnView = [this, progress] {
        progress->setValue(controls_.ProgressBar1.Position());
        // Uploads block the event loop; paint now so the bar moves page by page.
        progress->repaint();
      };
      control = progress;
      break;
    }
    case Kind::Edit: {
      receiver::TextControl& model = controls_.*row.text;
      auto* edit = new QLineEdit(FromStd(model.Text()), this);
      model.OnView = [edit, &model] { edit->setText(FromStd(model.Text())); };
      control = edit;
      break;
    }
  }
  control->setObjectName(QString::fromLatin1(row.name));
  return control;
}

QLabel* TForm1::MakeLabel(const ControlRow& row) {
  if (row.kind == Kind::Label) {
    return new QLabel(QString::fromUtf8(row.caption), this);
  }
  receiver::TextControl& model = controls_.*row.text;
  auto* label = new QLabel(FromStd(model.Text()), this);
  const bool frequency = &model == &controls_.Freq;
  model.OnView = [this, label, &model, frequency] {
    label->setText(FromStd(model.Text()));
    label->adjustSize();
    if (frequency) DescribeFrequency();
  };
  return label;
}

QPushButton* TForm1::MakeButton(const ControlRow& row) {
  auto* button = new PanelButton(QString::fromUtf8(row.caption), this);
  button->setAutoDefault(false);
  receiver::ReceiverControl* rx = &rx_;
  // A band button changes the frequency, which only a label shows: screen readers are told
  // the frequency after the click, the button keeping its focus and its name. An upload
  // button's pages going out show only on the progress bar: they are told whether all of them
  // reached the board (nothing after a cancel).
  const receiver::TextControl* frequency = &controls_.Freq;
  connect(
      button, &QPushButton::clicked, this,
      [this, rx, operation = row.operation, frequency, speaksFrequency = row.speaksFrequency,
       upload = row.speaksUpload ? QString::fromUtf8(row.accessibleName) : QString()] {
        Dispatch([this, rx, operation, frequency, speaksFrequency, upload] {
          const std::uint64_t uploadsBefore = rx->UploadsSent();
          (rx->*operation)();
          if (speaksFrequency) announcer_.Say(FromStd(frequency->Text()));
          if (!upload.isEmpty() && rx->UploadsSent() != uploadsBefore)
            announcer_.Say(upload + (rx->LastUploadReached()
                                         ? QStringLiteral(": 16 pages sent")
                                         : QStringLiteral(": not every page reached the board")));
        });
      });
  return button;
}

QScrollBar* TForm1::MakeScrollBar(const ControlRow& row) {
  receiver::ScrollBarControl& model = controls_.*row.bar;
  auto* bar = new PanelScrollBar(this, busySpan_);
  if (row.speaksFrequency) {
    // Screen readers read the frequency the label shows, not the raw position, as the value,
    // and the band's ends in the same terms as its minimum and maximum.
    receiver::ReceiverControl* rx = &rx_;
    const receiver::TextControl* frequency = &controls_.Freq;
    ReadBarAs(bar,
              {[rx] { return rx->FreqKhz(); }, [frequency] { return FromStd(frequency->Text()); },
               [rx] { return rx->FreqFactor() / 4; },
               [&model] { return static_cast<double>(model.Position()); }});
    tuningBar_ = bar;
  }
  // The bar mirrors the control's values; changes made by code do not come back as input.
  auto show = [bar, &model] {
    const QSignalBlocker quiet(bar);
    bar->setRange(model.Min(), model.Max());
    bar->setValue(model.Position());
    bar->setPageStep(model.PageStep());
  };
  show();
  model.OnView = show;
  // Arrows, page keys, trough clicks, Home/End, every dragged thumb position and the wheel
  // all end here; the control clamps and runs the change operation when the position moved.
  connect(bar, &QAbstractSlider::valueChanged, this,
          [this, &model](int value) { Dispatch([&model, value] { model.SetPosition(value); }); });
  bars_.push_back(bar);
  return bar;
}

void TForm1::NameForScreenReaders() {
  auto named = [this](const char* name) { return findChild<QWidget*>(QString::fromLatin1(name)); };
  for (const ControlRow& row : kLayout) {
    if (row.accessibleName != nullptr)
      named(row.name)->setAccessibleName(QString::fromUtf8(row.accessibleName));
    if (row.buddy != nullptr) static_cast<QLabel*>(named(row.name))->setBuddy(named(row.buddy));
  }
  frequency_ = static_cast<QLabel*>(named("Freq"));
  describedBars_ = {named("ScrollBar1"), named("ScrollBar2")};
  DescribeFrequency();
}

void TForm1::DescribeFrequency() {
  // The frequency the panel shows is the description of both bars that change it (the
  // tuning and the offset bar), kept current, for readers that show descriptions. What a
  // screen reader speaks after a step is the tuning bar's value, the same frequency: it is
  // told of the change here too, where an offset step or a band changed what the bar's
  // position means without moving it.
  if (frequency_ == nullptr) return;  // the window is still being built
  for (QWidget* bar : describedBars_) bar->setAccessibleDescription(frequency_->text());
  if (tuningBar_ != nullptr) BarReadingChanged(tuningBar_);
}

}  // namespace quarvel::ui
