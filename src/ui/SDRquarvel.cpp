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

#include "ui/DispatchTexts.h"
#include "ui/QtPlatform.h"

namespace quarvel::ui {

namespace {

constexpr int kFontPt = 8;       // the layout's font height -11 px at 96 dpi
constexpr int kFreqFontPt = 14;  // Freq's font height -19 px at 96 dpi
constexpr int kScrollBarHeight = 17;

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
  using RC = receiver::ReceiverControl;
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

  // Creation order as in the layout.
  Freq = MakeLabel("Freq", 184, 96, controls_.Freq);
  QFont big = PanelFont(kFreqFontPt);
  Freq->setFont(big);
  Freq->adjustSize();
  LabelFmin = MakeLabel("LabelFmin", 16, 96, controls_.LabelFmin);
  LabelFmax = MakeLabel("LabelFmax", 408, 96, controls_.LabelFmax);
  MakeLabel("", 152, 136, 3, 13, QString());  // the layout's empty label; shows nothing
  Offset = MakeLabel("Offset", 312, 192, controls_.Offset);
  Label1 = MakeLabel("Label1", 32, 128, 28, 13, QStringLiteral("1 kHz"));
  Label2 = MakeLabel("Label2", 120, 128, 28, 13, QStringLiteral("9 kHz"));
  Label3 = MakeLabel("Label3", 208, 128, 28, 13, QStringLiteral("2 kHz"));
  Label4 = MakeLabel("Label4", 296, 128, 28, 13, QStringLiteral("5 kHz"));
  Label5 = MakeLabel("Label5", 384, 128, 34, 13, QStringLiteral("10 kHz"));
  Label6 = MakeLabel("Label6", 384, 176, 34, 13, QStringLiteral("25 kHz"));
  Label7 = MakeLabel("Label7", 80, 192, 28, 13, QStringLiteral("Offset"));
  Xtal = MakeLabel("Xtal", 80, 224, 18, 13, QStringLiteral("Xtal"));
  FlashBin =
      MakeButton("FlashBin", 16, 8, 113, 25, QStringLiteral("upload EEPROM"), &RC::FlashBinClick);
  ScrollBar1 = MakeScrollBar("ScrollBar1", 16, 72, 425, controls_.ScrollBar1);
  RAMbin = MakeButton("RAMbin", 160, 8, 105, 25, QStringLiteral("upload RAM"), &RC::RAMbinClick);

  ProgressBar1 = new QProgressBar(this);
  ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
  ProgressBar1->setGeometry(16, 40, 425, 17);
  ProgressBar1->setRange(controls_.ProgressBar1.Min(), controls_.ProgressBar1.Max());
  ProgressBar1->setValue(controls_.ProgressBar1.Position());
  ProgressBar1->setTextVisible(false);
  controls_.ProgressBar1.OnView = [this] {
    ProgressBar1->setValue(controls_.ProgressBar1.Position());
    // Uploads block the event loop; paint now so the bar moves page by page.
    ProgressBar1->repaint();
  };

  CMD1_4 =
      MakeButton("CMD1_4", 16, 144, 73, 25, QStringLiteral("0.13...0,8 MHz"), &RC::CMD1_4Click);
  CMD2_8 =
      MakeButton("CMD2_8", 104, 144, 73, 25, QStringLiteral("0,4...1,6 MHz"), &RC::CMD2_8Click);
  Cmd4_16 =
      MakeButton("Cmd4_16", 192, 144, 73, 25, QStringLiteral("0,8...3,2 MHz"), &RC::Cmd4_16Click);
  Cmd10_40 =
      MakeButton("Cmd10_40", 280, 144, 73, 25, QStringLiteral("2...10 MHz"), &RC::Cmd10_40Click);
  Cmd25_100 =
      MakeButton("Cmd25_100", 368, 144, 73, 25, QStringLiteral("4...20 MHz"), &RC::Cmd25_100Click);
  ScrollBar2 = MakeScrollBar("ScrollBar2", 128, 192, 169, controls_.ScrollBar2);
  Cmdhigh =
      MakeButton("Cmdhigh", 368, 192, 73, 25, QStringLiteral("10...30 MHz"), &RC::CmdhighClick);
  Mux0 = MakeButton("Mux0", 24, 312, 41, 25, QStringLiteral("In1"), &RC::Mux0Click);
  Mux1 = MakeButton("Mux1", 80, 312, 41, 25, QStringLiteral("In2"), &RC::Mux1Click);
  Mux2 = MakeButton("Mux2", 136, 312, 33, 25, QStringLiteral("In3"), &RC::Mux2Click);
  db10 = MakeButton("db10", 336, 344, 41, 25, QStringLiteral("-10 dB"), &RC::db10Click);
  db20 = MakeButton("db20", 384, 344, 41, 25, QStringLiteral("-20 dB"), &RC::db20Click);
  db0 = MakeButton("db0", 288, 344, 33, 25, QStringLiteral("0 dB"), &RC::db0Click);
  Mux3 = MakeButton("Mux3", 184, 312, 33, 25, QStringLiteral("In4"), &RC::Mux3Click);
  ScrollBar3 = MakeScrollBar("ScrollBar3", 128, 224, 169, controls_.ScrollBar3);
  Mux4 = MakeButton("Mux4", 24, 344, 41, 25, QStringLiteral("In5"), &RC::Mux4Click);
  Mux5 = MakeButton("Mux5", 80, 344, 41, 25, QStringLiteral("In6"), &RC::Mux5Click);
  Mux6 = MakeButton("Mux6", 136, 344, 33, 25, QStringLiteral("In7"), &RC::Mux6Click);
  Mux7 = MakeButton("Mux7", 184, 344, 33, 25, QStringLiteral("In8"), &RC::Mux7Click);
  ScrollBar4 = MakeScrollBar("ScrollBar4", 24, 272, 409, controls_.ScrollBar4);

  // Shows the level; what the user types there is not read.
  Edit1 = new QLineEdit(FromStd(controls_.Edit1.Text()), this);
  Edit1->setObjectName(QStringLiteral("Edit1"));
  Edit1->setGeometry(288, 304, 65, 21);
  controls_.Edit1.OnView = [this] { Edit1->setText(FromStd(controls_.Edit1.Text())); };

  // The image file dialog (OpenDialog1) is built by the upload that asks for it.

  SetTabOrder();
  NameForScreenReaders();

  // The start values are in place: from now on a position change runs its operation.
  ReadDecimalSeparator();
  rx_.ConnectControls();
  Dispatch([this] { rx_.FormCreate(); });
}

TForm1::~TForm1() {
  // The controls' values outlive the window; stop them from painting into it.
  for (receiver::TextControl* text : {&controls_.Freq, &controls_.LabelFmin, &controls_.LabelFmax,
                                      &controls_.Offset, &controls_.Edit1})
    text->OnView = nullptr;
  for (receiver::ScrollBarControl* bar :
       {&controls_.ScrollBar1, &controls_.ScrollBar2, &controls_.ScrollBar3, &controls_.ScrollBar4})
    bar->OnView = nullptr;
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
    for (QScrollBar* bar : {ScrollBar1, ScrollBar2, ScrollBar3, ScrollBar4})
      static_cast<PanelScrollBar*>(bar)->ReleaseMouse();
  }
  return QWidget::event(event);
}

void TForm1::ReadDecimalSeparator() {
  rx_.DecimalSeparator = DecimalSeparatorOf(QLocale::system());
}

QLabel* TForm1::MakeLabel(const char* name, int left, int top, int width, int height,
                          const QString& text) {
  auto* label = new QLabel(text, this);
  label->setObjectName(QString::fromLatin1(name));
  label->setGeometry(left, top, width, height);
  // Labels size themselves to their text; the empty one keeps its place holder size.
  if (!text.isEmpty()) label->adjustSize();
  return label;
}

QLabel* TForm1::MakeLabel(const char* name, int left, int top, receiver::TextControl& model) {
  QLabel* label = MakeLabel(name, left, top, 0, 0, FromStd(model.Text()));
  model.OnView = [label, &model] {
    label->setText(FromStd(model.Text()));
    label->adjustSize();
  };
  return label;
}

QPushButton* TForm1::MakeButton(const char* name, int left, int top, int width, int height,
                                const QString& caption, Operation operation) {
  auto* button = new QPushButton(caption, this);
  button->setObjectName(QString::fromLatin1(name));
  button->setGeometry(left, top, width, height);
  button->setAutoDefault(false);
  FitCaption(button);
  receiver::ReceiverControl* rx = &rx_;
  connect(button, &QPushButton::clicked, this,
          [this, rx, operation] { Dispatch([rx, operation] { (rx->*operation)(); }); });
  return button;
}

QScrollBar* TForm1::MakeScrollBar(const char* name, int left, int top, int width,
                                  receiver::ScrollBarControl& model) {
  auto* bar = new PanelScrollBar(this);
  bar->setObjectName(QString::fromLatin1(name));
  bar->setGeometry(left, top, width, kScrollBarHeight);
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
  return bar;
}

void TForm1::SetTabOrder() {
  QWidget* const order[] = {FlashBin, ScrollBar1, RAMbin,   ProgressBar1, CMD1_4,
                            CMD2_8,   Cmd4_16,    Cmd10_40, Cmd25_100,    ScrollBar2,
                            Cmdhigh,  Mux0,       Mux1,     Mux2,         db10,
                            db20,     db0,        Mux3,     ScrollBar3,   Mux4,
                            Mux5,     Mux6,       Mux7,     ScrollBar4,   Edit1};
  for (std::size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);
}

void TForm1::NameForScreenReaders() {
  // What a screen reader says for each control: its function, where the caption alone is a
  // number, a range or nothing at all. The visible texts stay as they are.
  const std::pair<QWidget*, const char*> names[] = {
      {FlashBin, "Upload EEPROM"},
      {RAMbin, "Upload RAM"},
      {ProgressBar1, "Upload progress"},
      {ScrollBar1, "Tuning"},
      {CMD1_4, "Band 0.13 to 0.8 MHz"},
      {CMD2_8, "Band 0.4 to 1.6 MHz"},
      {Cmd4_16, "Band 0.8 to 3.2 MHz"},
      {Cmd10_40, "Band 2 to 10 MHz"},
      {Cmd25_100, "Band 4 to 20 MHz"},
      {Cmdhigh, "Band 10 to 30 MHz"},
      {ScrollBar2, "Offset"},
      {ScrollBar3, "Crystal trim"},
      {ScrollBar4, "Tracking level"},
      {Edit1, "Level"},
      {Mux0, "Input 1"},
      {Mux1, "Input 2"},
      {Mux2, "Input 3"},
      {Mux3, "Input 4"},
      {Mux4, "Input 5"},
      {Mux5, "Input 6"},
      {Mux6, "Input 7"},
      {Mux7, "Input 8"},
      {db0, "Attenuator 0 dB"},
      {db10, "Attenuator -10 dB"},
      {db20, "Attenuator -20 dB"},
  };
  for (const auto& [widget, name] : names) widget->setAccessibleName(QString::fromUtf8(name));

  // The labels beside a control label it: the frequency and the band's ends the tuning bar,
  // "Offset" and the offset value the offset bar, "Xtal" the trim bar, and each page-step
  // label its band button. None of them has a mnemonic, so nothing visible changes.
  const std::pair<QLabel*, QWidget*> buddies[] = {
      {Freq, ScrollBar1},   {LabelFmin, ScrollBar1}, {LabelFmax, ScrollBar1}, {Label7, ScrollBar2},
      {Offset, ScrollBar2}, {Xtal, ScrollBar3},      {Label1, CMD1_4},        {Label2, CMD2_8},
      {Label3, Cmd4_16},    {Label4, Cmd10_40},      {Label5, Cmd25_100},     {Label6, Cmdhigh},
  };
  for (const auto& [label, control] : buddies) label->setBuddy(control);

  // The frequency the panel shows is the description of both bars that change it, kept
  // current, so that a screen reader reads it with the bar and after every step.
  auto describe = [this] {
    for (QScrollBar* bar : {ScrollBar1, ScrollBar2}) bar->setAccessibleDescription(Freq->text());
  };
  describe();
  controls_.Freq.OnView = [show = std::move(controls_.Freq.OnView), describe] {
    if (show) show();
    describe();
  };
}

}  // namespace quarvel::ui
