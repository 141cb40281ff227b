// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/SDRquarvel.h"

#include <QCloseEvent>
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
#include <QSignalBlocker>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QStyleOptionSlider>

#include <algorithm>
#include <exception>
#include <utility>
#include <vector>

#include "ui/DispatchTexts.h"
#include "ui/QtPlatform.h"

namespace quarvel::ui {

namespace {

constexpr int kFontPt = 8;       // the layout's font height -11 px at 96 dpi
constexpr int kFreqFontPt = 14;  // Freq's font height -19 px at 96 dpi
constexpr int kScrollBarHeight = 17;

}  // namespace

using RC = receiver::ReceiverControl;
using PC = receiver::PanelControls;

enum class Kind { Label, ShownText, Button, Bar, Progress, Edit };

// One control of the layout: where it sits, what it shows, what it does, and how a screen
// reader names it.
struct ControlRow {
  Kind kind;
  const char* name;
  int left, top, width, height;       // labels showing a value size themselves to their text
  const char* caption = "";           // a label's text or a button's caption
  void (RC::*operation)() = nullptr;  // a button's click
  receiver::TextControl PC::*text = nullptr;      // the value a label or the edit shows
  receiver::ScrollBarControl PC::*bar = nullptr;  // the value a scroll bar shows and sets
  const char* accessibleName = nullptr;           // what a screen reader says, when set
  const char* buddy = nullptr;                    // the control a label labels
  int fontPt = kFontPt;
};

namespace {

constexpr ControlRow Label(const char* name, int left, int top, int width, int height,
                           const char* text, const char* buddy = nullptr) {
  return {.kind = Kind::Label,
          .name = name,
          .left = left,
          .top = top,
          .width = width,
          .height = height,
          .caption = text,
          .buddy = buddy};
}
constexpr ControlRow Shown(const char* name, int left, int top, receiver::TextControl PC::*text,
                           const char* buddy, int fontPt = kFontPt) {
  return {.kind = Kind::ShownText,
          .name = name,
          .left = left,
          .top = top,
          .width = 0,
          .height = 0,
          .text = text,
          .buddy = buddy,
          .fontPt = fontPt};
}
constexpr ControlRow Button(const char* name, int left, int top, int width, const char* caption,
                            void (RC::*operation)(), const char* accessibleName) {
  return {.kind = Kind::Button,
          .name = name,
          .left = left,
          .top = top,
          .width = width,
          .height = 25,
          .caption = caption,
          .operation = operation,
          .accessibleName = accessibleName};
}
constexpr ControlRow Bar(const char* name, int left, int top, int width,
                         receiver::ScrollBarControl PC::*bar, const char* accessibleName) {
  return {.kind = Kind::Bar,
          .name = name,
          .left = left,
          .top = top,
          .width = width,
          .height = kScrollBarHeight,
          .bar = bar,
          .accessibleName = accessibleName};
}

// The window's layout, in creation order; the tab order follows it. The accessible names
// say each control's function where the caption alone is a number, a range or nothing; the
// labels beside a control are its buddies (none has a mnemonic, so nothing visible changes).
const ControlRow kLayout[] = {
    Shown("Freq", 184, 96, &PC::Freq, "ScrollBar1", kFreqFontPt),
    Shown("LabelFmin", 16, 96, &PC::LabelFmin, "ScrollBar1"),
    Shown("LabelFmax", 408, 96, &PC::LabelFmax, "ScrollBar1"),
    Label("", 152, 136, 3, 13, ""),  // the layout's empty label; shows nothing
    Shown("Offset", 312, 192, &PC::Offset, "ScrollBar2"),
    Label("Label1", 32, 128, 28, 13, "1 kHz", "CMD1_4"),
    Label("Label2", 120, 128, 28, 13, "9 kHz", "CMD2_8"),
    Label("Label3", 208, 128, 28, 13, "2 kHz", "Cmd4_16"),
    Label("Label4", 296, 128, 28, 13, "5 kHz", "Cmd10_40"),
    Label("Label5", 384, 128, 34, 13, "10 kHz", "Cmd25_100"),
    Label("Label6", 384, 176, 34, 13, "25 kHz", "Cmdhigh"),
    Label("Label7", 80, 192, 28, 13, "Offset", "ScrollBar2"),
    Label("Xtal", 80, 224, 18, 13, "Xtal", "ScrollBar3"),
    Button("FlashBin", 16, 8, 113, "upload EEPROM", &RC::FlashBinClick, "Upload EEPROM"),
    Bar("ScrollBar1", 16, 72, 425, &PC::ScrollBar1, "Tuning"),
    Button("RAMbin", 160, 8, 105, "upload RAM", &RC::RAMbinClick, "Upload RAM"),
    {.kind = Kind::Progress,
     .name = "ProgressBar1",
     .left = 16,
     .top = 40,
     .width = 425,
     .height = 17,
     .accessibleName = "Upload progress"},
    Button("CMD1_4", 16, 144, 73, "0.13...0,8 MHz", &RC::CMD1_4Click, "Band 0.13 to 0.8 MHz"),
    Button("CMD2_8", 104, 144, 73, "0,4...1,6 MHz", &RC::CMD2_8Click, "Band 0.4 to 1.6 MHz"),
    Button("Cmd4_16", 192, 144, 73, "0,8...3,2 MHz", &RC::Cmd4_16Click, "Band 0.8 to 3.2 MHz"),
    Button("Cmd10_40", 280, 144, 73, "2...10 MHz", &RC::Cmd10_40Click, "Band 2 to 10 MHz"),
    Button("Cmd25_100", 368, 144, 73, "4...20 MHz", &RC::Cmd25_100Click, "Band 4 to 20 MHz"),
    Bar("ScrollBar2", 128, 192, 169, &PC::ScrollBar2, "Offset"),
    Button("Cmdhigh", 368, 192, 73, "10...30 MHz", &RC::CmdhighClick, "Band 10 to 30 MHz"),
    Button("Mux0", 24, 312, 41, "In1", &RC::Mux0Click, "Input 1"),
    Button("Mux1", 80, 312, 41, "In2", &RC::Mux1Click, "Input 2"),
    Button("Mux2", 136, 312, 33, "In3", &RC::Mux2Click, "Input 3"),
    Button("db10", 336, 344, 41, "-10 dB", &RC::db10Click, "Attenuator -10 dB"),
    Button("db20", 384, 344, 41, "-20 dB", &RC::db20Click, "Attenuator -20 dB"),
    Button("db0", 288, 344, 33, "0 dB", &RC::db0Click, "Attenuator 0 dB"),
    Button("Mux3", 184, 312, 33, "In4", &RC::Mux3Click, "Input 4"),
    Bar("ScrollBar3", 128, 224, 169, &PC::ScrollBar3, "Crystal trim"),
    Button("Mux4", 24, 344, 41, "In5", &RC::Mux4Click, "Input 5"),
    Button("Mux5", 80, 344, 41, "In6", &RC::Mux5Click, "Input 6"),
    Button("Mux6", 136, 344, 33, "In7", &RC::Mux6Click, "Input 7"),
    Button("Mux7", 184, 344, 33, "In8", &RC::Mux7Click, "Input 8"),
    Bar("ScrollBar4", 24, 272, 409, &PC::ScrollBar4, "Tracking level"),
    // Shows the level; what the user types there is not read.
    {.kind = Kind::Edit,
     .name = "Edit1",
     .left = 288,
     .top = 304,
     .width = 65,
     .height = 21,
     .text = &PC::Edit1,
     .accessibleName = "Level"},
};

QString FromStd(const std::string& text) {
  return QString::fromStdString(text);
}

// The captions were laid out for a narrow font; where the platform's font is wider, the few
// that would be clipped are set condensed so that they still fit their buttons.
void FitCaption(QPushButton* button) {
  constexpr int kFramePx = 3;  // frame and a pixel of air on each side
  constexpr int kNarrowestStretch = 70;
  const int room = button->width() - 2 * kFramePx;
  QFont font = button->font();
  const int needed = QFontMetrics(font).horizontalAdvance(button->text());
  if (needed <= room) return;
  // Glyph advances are whole pixels, so the stretch is found by trying.
  for (int stretch = std::min(99, room * 100 / needed); stretch >= kNarrowestStretch; --stretch) {
    font.setStretch(stretch);
    if (QFontMetrics(font).horizontalAdvance(button->text()) <= room) break;
  }
  button->setFont(font);
}

}  // namespace

PanelScrollBar::PanelScrollBar(QWidget* parent) : QScrollBar(Qt::Horizontal, parent) {
  // Qt's scroll bars invert the wheel and some keys by default; here the wheel away from the
  // user raises the position, like Right.
  setInvertedControls(false);
  setFocusPolicy(Qt::StrongFocus);
  setSingleStep(1);
  setTracking(true);  // every thumb position while dragging is a change
}

void PanelScrollBar::keyPressEvent(QKeyEvent* event) {
  SliderAction action = SliderNoAction;
  switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Up:
      action = SliderSingleStepSub;
      break;
    case Qt::Key_Right:
    case Qt::Key_Down:
      action = SliderSingleStepAdd;
      break;
    case Qt::Key_PageUp:
      action = SliderPageStepSub;
      break;
    case Qt::Key_PageDown:
      action = SliderPageStepAdd;
      break;
    case Qt::Key_Home:
      action = SliderToMinimum;
      break;
    case Qt::Key_End:
      action = SliderToMaximum;
      break;
    default:
      QScrollBar::keyPressEvent(event);
      return;
  }
  triggerAction(action);
  event->accept();
}

void PanelScrollBar::paintEvent(QPaintEvent* event) {
  QScrollBar::paintEvent(event);
  if (!hasFocus()) return;
  // Most styles (Fusion among them) draw no focus on a scroll bar, and a keyboard user would
  // not see which bar the arrow keys move. The thumb gets the style's focus frame, drawn as
  // the style draws it on buttons (Fusion: only after keyboard navigation).
  QStyleOptionSlider bar;
  initStyleOption(&bar);
  QStyleOptionFocusRect focus;
  focus.initFrom(this);
  focus.backgroundColor = palette().color(QPalette::Button);
  focus.rect =
      style()->subControlRect(QStyle::CC_ScrollBar, &bar, QStyle::SC_ScrollBarSlider, this);
  QPainter painter(this);
  style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
}

void PanelScrollBar::ReleaseMouse() {
  if (repeatAction() == SliderNoAction && !isSliderDown()) return;
  const QPointF nowhere(-1, -1);
  QMouseEvent release(QEvent::MouseButtonRelease, nowhere, mapToGlobal(nowhere), Qt::LeftButton,
                      Qt::NoButton, Qt::NoModifier);
  mouseReleaseEvent(&release);
}

TForm1::TForm1(receiver::ReceiverControl& rx, receiver::PanelControls& controls,
               port::ErrorReporter& reporter, std::string applicationTitle, QWidget* parent)
    : QWidget(parent),
      rx_(rx),
      controls_(controls),
      reporter_(reporter),
      title_(std::move(applicationTitle)) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QStringLiteral("Quarvel SDR Tuning"));
  setFont(PanelFont(kFontPt));
  // Button-face background, as the controls' own faces.
  QPalette face = palette();
  face.setColor(QPalette::Window, face.color(QPalette::Button));
  setPalette(face);
  setAutoFillBackground(true);
  resize(457, 416);
  move(202, 149);

  std::vector<QWidget*> tabOrder;
  for (const ControlRow& row : kLayout) {
    QWidget* control = MakeControl(row);
    if (row.kind != Kind::Label && row.kind != Kind::ShownText) tabOrder.push_back(control);
  }
  for (std::size_t i = 1; i < tabOrder.size(); ++i) setTabOrder(tabOrder[i - 1], tabOrder[i]);
  // The image file dialog (OpenDialog1) is built by the upload that asks for it.
  NameForScreenReaders();

  // The start values are in place: from now on a position change runs its operation.
  ReadDecimalSeparator();
  rx_.ConnectControls();
  Dispatch([this] { rx_.FormCreate(); });
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
  if (busy_) {
    pending_.push_back(operation);
    return;
  }
  busy_ = true;
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
  if (closePending_) {
    closePending_ = false;
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
  }
}

void TForm1::closeEvent(QCloseEvent* event) {
  if (busy_) {
    closePending_ = true;
    event->ignore();
    return;
  }
  QWidget::closeEvent(event);
}

void TForm1::changeEvent(QEvent* event) {
  if (event->type() == QEvent::LocaleChange) ReadDecimalSeparator();
  QWidget::changeEvent(event);
}

bool TForm1::event(QEvent* event) {
  if (event->type() == QEvent::WindowBlocked) {
    // An error box opened, possibly from the burst of a scroll-bar click whose button is
    // still down. The release will go to the box, not to the bar, so the bar lets go now;
    // otherwise its auto-repeat would keep stepping, and sending bursts, behind the box.
    for (PanelScrollBar* bar : bars_) bar->ReleaseMouse();
  }
  return QWidget::event(event);
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
  // Labels place and size themselves (MakeLabel).
  if (row.kind != Kind::Label && row.kind != Kind::ShownText)
    control->setGeometry(row.left, row.top, row.width, row.height);
  return control;
}

QLabel* TForm1::MakeLabel(const ControlRow& row) {
  if (row.kind == Kind::Label) {
    auto* label = new QLabel(QString::fromUtf8(row.caption), this);
    label->setGeometry(row.left, row.top, row.width, row.height);
    // Labels size themselves to their text; the empty one keeps its place holder size.
    if (!label->text().isEmpty()) label->adjustSize();
    return label;
  }
  receiver::TextControl& model = controls_.*row.text;
  auto* label = new QLabel(FromStd(model.Text()), this);
  label->move(row.left, row.top);
  if (row.fontPt != kFontPt) label->setFont(PanelFont(row.fontPt));
  label->adjustSize();
  model.OnView = [label, &model] {
    label->setText(FromStd(model.Text()));
    label->adjustSize();
  };
  return label;
}

QPushButton* TForm1::MakeButton(const ControlRow& row) {
  auto* button = new QPushButton(QString::fromUtf8(row.caption), this);
  button->setGeometry(row.left, row.top, row.width, row.height);
  button->setAutoDefault(false);
  FitCaption(button);
  receiver::ReceiverControl* rx = &rx_;
  connect(button, &QPushButton::clicked, this, [this, rx, operation = row.operation] {
    Dispatch([rx, operation] { (rx->*operation)(); });
  });
  return button;
}

QScrollBar* TForm1::MakeScrollBar(const ControlRow& row) {
  receiver::ScrollBarControl& model = controls_.*row.bar;
  auto* bar = new PanelScrollBar(this);
  bar->setGeometry(row.left, row.top, row.width, row.height);
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

  // The frequency the panel shows is the description of both bars that change it (the
  // tuning and the offset bar), kept current, so that a screen reader reads it with the bar
  // and after every step.
  auto describe = [freq = named("Freq"), tuning = named("ScrollBar1"),
                   offset = named("ScrollBar2")] {
    const QString shown = static_cast<QLabel*>(freq)->text();
    for (QWidget* bar : {tuning, offset}) bar->setAccessibleDescription(shown);
  };
  describe();
  controls_.Freq.OnView = [show = std::move(controls_.Freq.OnView), describe] {
    if (show) show();
    describe();
  };
}

}  // namespace quarvel::ui
