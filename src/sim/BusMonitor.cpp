// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/BusMonitor.h"

#include <QAbstractTableModel>
#include <QAction>
#include <QClipboard>
#include <QDateTime>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QFormLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QResizeEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QStylePainter>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTime>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <iterator>

#include "port/Hex.h"

namespace quarvel::sim {

namespace {

constexpr int kHexColumns = 16;
// The board and the panel agree when their frequencies differ by less than this, kHz.
constexpr double kAgreementKhz = 1e-6;

// port::Hex2 as a QString for the labels and tables.
QString QHex2(unsigned v) {
  return QString::fromStdString(port::Hex2(v));
}

constexpr qint64 kMsPerDay = 24 * 60 * 60 * 1000;

// "HH:mm:ss.zzz" of a time stamp, local time given the offset from UTC.
QString TimeOfDay(Clock::time_point time, qint64 offsetMs) {
  const qint64 ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count();
  const qint64 ofDay = ((ms + offsetMs) % kMsPerDay + kMsPerDay) % kMsPerDay;
  return QTime::fromMSecsSinceStartOfDay(static_cast<int>(ofDay))
      .toString(QStringLiteral("HH:mm:ss.zzz"));
}

void SetText(QLabel* label, const QString& text) {
  if (label->text() != text) label->setText(text);
}

// Relative luminance (sRGB), as contrast between text and background is measured.
double Luminance(const QColor& c) {
  auto channel = [](double v) {
    return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

double Contrast(const QColor& a, const QColor& b) {
  const double la = Luminance(a), lb = Luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The red of a line that needs the user's attention, chosen for the background it is drawn
// on: a dark red on a light desktop, a light one on a dark desktop (each above 4.5 : 1 on
// the backgrounds of its kind; pure red is 3.5 : 1 on a light grey and 3 : 1 on a dark one).
QColor AlarmRed(const QColor& background) {
  const QColor darkRed(0xC0, 0x00, 0x00);
  const QColor lightRed(0xFF, 0x80, 0x80);
  return Contrast(darkRed, background) >= Contrast(lightRed, background) ? darkRed : lightRed;
}

// Red text for a label that needs the user's attention, the normal colour otherwise. The
// normal colour is the desktop's, whatever it is by then: the label's own palette is dropped
// rather than set to a colour that would stay when the desktop's colours change (the red is
// chosen again then, ShowAlarmsInTheDesktopsColours).
void SetAlarm(QLabel* label, bool alarm) {
  if (label->property("alarm").toBool() == alarm) return;
  label->setProperty("alarm", alarm);
  if (!alarm) {
    label->setPalette(QPalette());
    return;
  }
  // The window's colours: those of the label itself are still the old ones while a change of
  // the desktop's colours reaches the window's children.
  QPalette p = label->palette();
  p.setColor(QPalette::WindowText, AlarmRed(label->window()->palette().color(QPalette::Window)));
  label->setPalette(p);
}

// A value of the board's state: a stop for Tab (between the message list and the register
// tables, in reading order), so that a screen reader reaches it with its row's label; its text
// can be selected and copied with the mouse or the keyboard. With the keyboard on it, it shows
// the style's focus frame around its text, in margins kept free for it (the text caret alone is
// a thin line, clipped away on the widest value).
class ValueText : public QLabel {
 public:
  explicit ValueText(QWidget* parent) : QLabel(QStringLiteral("\u2014"), parent) {
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setFocusPolicy(Qt::StrongFocus);  // the flags alone give only click focus
    setContentsMargins(kFrameRoom, kFrameRoom, kFrameRoom, kFrameRoom);
  }

 protected:
  void paintEvent(QPaintEvent* event) override {
    QLabel::paintEvent(event);
    if (!hasFocus()) return;
    QStylePainter painter(this);
    QStyleOptionFocusRect frame;
    frame.initFrom(this);
    frame.backgroundColor = palette().color(QPalette::Window);
    painter.drawPrimitive(QStyle::PE_FrameFocusRect, frame);
  }

 private:
  static constexpr int kFrameRoom = 2;
};

QLabel* ValueLabel(const char* name, QWidget* parent) {
  auto* label = new ValueText(parent);
  label->setObjectName(QLatin1String(name));
  return label;
}

}  // namespace

// A 256-byte image as 16 rows of 16 cells, "00" to "FF", centred; the columns are headed "0"
// to "F", the rows "00" to "F0". Only the bytes are kept; the texts are made when painted.
class HexImageModel : public QAbstractTableModel {
 public:
  explicit HexImageModel(QObject* parent) : QAbstractTableModel(parent) {}

  int rowCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() ? 0 : kHexColumns;
  }
  int columnCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() ? 0 : kHexColumns;
  }
  Qt::ItemFlags flags(const QModelIndex& index) const override {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
  }
  QVariant data(const QModelIndex& index, int role) const override {
    if (!index.isValid()) return {};
    if (role == Qt::DisplayRole)
      return QHex2(bytes_[static_cast<std::size_t>(index.row() * kHexColumns + index.column())]);
    if (role == Qt::TextAlignmentRole) return int{Qt::AlignCenter};
    return {};
  }
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    if (role != Qt::DisplayRole || section < 0 || section >= kHexColumns) return {};
    return orientation == Qt::Horizontal ? QString::number(section, 16).toUpper()
                                         : QHex2(static_cast<unsigned>(section * kHexColumns));
  }

  // Takes the image now held; the views repaint the block of cells that changed.
  void Show(const std::array<std::uint8_t, 256>& now) {
    int first = -1, last = -1;
    for (std::size_t i = 0; i < now.size(); ++i) {
      if (bytes_[i] == now[i]) continue;
      bytes_[i] = now[i];
      if (first < 0) first = static_cast<int>(i);
      last = static_cast<int>(i);
    }
    if (first < 0) return;
    const bool oneRow = first / kHexColumns == last / kHexColumns;
    emit dataChanged(index(first / kHexColumns, oneRow ? first % kHexColumns : 0),
                     index(last / kHexColumns, oneRow ? last % kHexColumns : kHexColumns - 1),
                     {Qt::DisplayRole});
  }

 private:
  std::array<std::uint8_t, 256> bytes_{};
};

namespace {

QTableView* HexTable(const char* name, HexImageModel* model, QWidget* parent) {
  auto* table = new QTableView(parent);
  table->setObjectName(QLatin1String(name));
  table->setModel(model);
  table->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table->setSelectionMode(QAbstractItemView::NoSelection);
  // A stop of Tab, read cell by cell with the arrow keys (a screen reader says each byte with
  // its row and column); Tab leaves it again, as it leaves the message list.
  table->setFocusPolicy(Qt::StrongFocus);
  table->setTabKeyNavigation(false);
  // Fixed cell sizes: a changed byte never makes the table measure its contents again.
  const QFontMetrics metrics(table->font());
  table->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  table->horizontalHeader()->setDefaultSectionSize(
      metrics.horizontalAdvance(QStringLiteral("000")) + 4);
  table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  table->verticalHeader()->setDefaultSectionSize(metrics.height() + 4);
  // Room for all 256 bytes without scrolling.
  table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  table->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  const int frame = 2 * table->frameWidth();
  table->setMinimumSize(table->verticalHeader()->sizeHint().width() +
                            kHexColumns * table->horizontalHeader()->defaultSectionSize() + frame,
                        table->horizontalHeader()->sizeHint().height() +
                            kHexColumns * table->verticalHeader()->defaultSectionSize() + frame);
  return table;
}

QGroupBox* Group(const QString& title, QWidget* content, QWidget* parent) {
  auto* box = new QGroupBox(title, parent);
  auto* layout = new QVBoxLayout(box);
  layout->addWidget(content);
  return box;
}

// The list of messages, in one column. The column fills the list and is never narrower than
// the widest message listed so far (an upload's page is 16 bytes long), measured again when the
// font changes: a wider message scrolls sideways rather than being cut short. Left and Right
// scroll it, Home and End go to the oldest and the newest message, as in any list, rather than
// along the row (Shift extends the selection as usual).
class MessageList : public QTableWidget {
 public:
  explicit MessageList(QWidget* parent) : QTableWidget(0, 1, parent) {
    setHorizontalScrollMode(ScrollPerPixel);
    horizontalHeader()->setStretchLastSection(true);
    // A list that shows its newest row keeps showing it when the window changes size (a list
    // maximised, where every row fits, and restored), not only when rows come in: the new
    // range alone would leave it where it was, read as "scrolled up by the user".
    QScrollBar* bar = verticalScrollBar();
    connect(bar, &QScrollBar::valueChanged, this,
            [this, bar](int value) { atBottom_ = value == bar->maximum(); });
    connect(bar, &QScrollBar::rangeChanged, this, [this, bar](int, int maximum) {
      if (atBottom_) bar->setValue(maximum);
    });
  }

  // A message's text, before it is added. In a fixed-pitch font, as the list's is on most
  // desktops, only a message longer than every one before can be wider, so only such a one is
  // measured; in any other font, every one.
  void Fit(const QString& text) {
    if (fixedPitch_ && text.size() <= longest_) return;
    longest_ = std::max(longest_, static_cast<int>(text.size()));
    // Rounded up, as the style lays out the text of a cell.
    const int width =
        static_cast<int>(std::ceil(QFontMetricsF(font()).horizontalAdvance(text))) + CellMargins();
    if (width > widest_) {
      widest_ = width;
      horizontalHeader()->setMinimumSectionSize(widest_);
    }
  }

  // Going to another message (a click, Up, Down, Page keys) keeps the list where it was
  // scrolled sideways, so that the bytes being read stay in view from one message to the
  // next; the toolkit would show the start of the message again.
  void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override {
    const int sideways = horizontalScrollBar()->value();
    QTableWidget::scrollTo(index, hint);
    horizontalScrollBar()->setValue(sideways);
  }

  // The cell's text margins, left and right together, as the style lays out a cell.
  int CellMargins() const {
    return 2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1);
  }

 protected:
  QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override {
    if (action == MoveHome || action == MoveEnd) modifiers |= Qt::ControlModifier;
    return QTableWidget::moveCursor(action, modifiers);
  }

  void keyPressEvent(QKeyEvent* event) override {
    const bool left = event->key() == Qt::Key_Left, right = event->key() == Qt::Key_Right;
    if ((left || right) && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
      // As far as the list itself can scroll; beyond that the key goes on to the window's view,
      // which scrolls a window too narrow for the list.
      QScrollBar* sideways = horizontalScrollBar();
      if (left ? sideways->value() > sideways->minimum()
               : sideways->value() < sideways->maximum()) {
        sideways->triggerAction(left ? QAbstractSlider::SliderSingleStepSub
                                     : QAbstractSlider::SliderSingleStepAdd);
      } else {
        event->ignore();
      }
      return;
    }
    QTableWidget::keyPressEvent(event);
  }

  // Reached by the keyboard before any message was chosen, the list starts from the newest
  // message, where it shows, and marks it; the toolkit would start from the oldest.
  void focusInEvent(QFocusEvent* event) override {
    if (!currentIndex().isValid() && rowCount() > 0)
      selectionModel()->setCurrentIndex(model()->index(rowCount() - 1, 0),
                                        QItemSelectionModel::NoUpdate);
    QTableWidget::focusInEvent(event);
  }

  void changeEvent(QEvent* event) override {
    QTableWidget::changeEvent(event);
    if (event->type() != QEvent::FontChange) return;
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 2);
    fixedPitch_ = QFontInfo(font()).fixedPitch();
    longest_ = 0;
    widest_ = 0;
    horizontalHeader()->setMinimumSectionSize(0);
    for (int row = 0; row < rowCount(); ++row) Fit(item(row, 0)->text());
  }

 private:
  bool fixedPitch_ = false;
  int longest_ = 0;       // characters of the longest message measured
  int widest_ = 0;        // pixels of the widest, with the cell's margins
  bool atBottom_ = true;  // the newest row in view, as the list was left
};

}  // namespace

BusMonitor::BusMonitor(SimulatedBoard& board, std::function<double()> panelTunedKhz,
                       QWidget* parent, int rowLimit)
    : QWidget(parent, Qt::Window),
      board_(board),
      panelTunedKhz_(std::move(panelTunedKhz)),
      rowLimit_(rowLimit < 1 ? 1 : rowLimit) {
  setWindowTitle(QStringLiteral("Bus monitor"));

  messages_ = new MessageList(this);
  messages_->setObjectName(QStringLiteral("messages"));
  messages_->setAccessibleName(QStringLiteral("Messages"));
  messages_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  messages_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  messages_->setSelectionBehavior(QAbstractItemView::SelectRows);
  // Tab leaves the list for the next control, as in every other part of a window; the arrow
  // keys move through its rows.
  messages_->setTabKeyNavigation(false);
  // Ctrl+C and the list's menu copy every selected message, a line each in the list's order;
  // the view's own copy would take the current one only.
  auto* copy = new QAction(QStringLiteral("Copy"), messages_);
  copy->setShortcut(QKeySequence::Copy);
  copy->setShortcutContext(Qt::WidgetShortcut);
  connect(copy, &QAction::triggered, this, &BusMonitor::CopySelectedMessages);
  messages_->addAction(copy);
  messages_->setContextMenuPolicy(Qt::ActionsContextMenu);
  messages_->setShowGrid(false);
  messages_->setWordWrap(false);
  messages_->horizontalHeader()->hide();
  messages_->verticalHeader()->hide();
  messages_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  messages_->verticalHeader()->setDefaultSectionSize(messages_->fontMetrics().height() + 2);
  // Wide enough for a message's time, device and first bytes, with the cell's text margins and
  // the scroll bar that a full list shows beside its cells.
  const QStyle* style = messages_->style();
  const int cellMargin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, messages_) + 1;
  messages_->setMinimumWidth(
      messages_->fontMetrics().horizontalAdvance(
          QStringLiteral("12:04:31.517  clock generator 0xD2 ← [40]")) +
      2 * cellMargin +
      style->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, messages_->verticalScrollBar()) +
      messages_->frameWidth() * 2);

  auto* state = new QWidget(this);
  auto* form = new QFormLayout(state);
  input_ = ValueLabel("input", state);
  attenuator_ = ValueLabel("attenuator", state);
  clockRegisters_ = ValueLabel("clockRegisters", state);
  divider_ = ValueLabel("divider", state);
  trim_ = ValueLabel("trim", state);
  oscillator_ = ValueLabel("oscillator", state);
  tuned_ = ValueLabel("tuned", state);
  level_ = ValueLabel("level", state);
  traffic_ = ValueLabel("traffic", state);
  form->addRow(QStringLiteral("Input:"), input_);
  form->addRow(QStringLiteral("Attenuator:"), attenuator_);
  form->addRow(QStringLiteral("Registers 40 41 42:"), clockRegisters_);
  form->addRow(QStringLiteral("Output divider (0C):"), divider_);
  form->addRow(QStringLiteral("Crystal trim (13):"), trim_);
  form->addRow(QStringLiteral("Oscillator:"), oscillator_);
  form->addRow(QStringLiteral("Tuned frequency:"), tuned_);
  form->addRow(QStringLiteral("Level:"), level_);
  form->addRow(QStringLiteral("Traffic:"), traffic_);

  comparison_ = ValueLabel("comparison", this);
  faults_ = ValueLabel("faults", this);
  faults_->setWordWrap(true);

  auto* stateColumn = new QVBoxLayout;
  stateColumn->addWidget(Group(QStringLiteral("Board"), state, this));
  stateColumn->addWidget(comparison_);
  stateColumn->addWidget(faults_);
  stateColumn->addStretch(1);

  top_ = new QBoxLayout(QBoxLayout::LeftToRight);
  // The board's state keeps the width it needs; the message list takes the rest.
  top_->addWidget(Group(QStringLiteral("Messages"), messages_, this), 1);
  top_->addLayout(stateColumn, 0);

  registers_ = new HexImageModel(this);
  eeprom_ = new HexImageModel(this);
  // One image at a time keeps the window small enough for a laptop screen beside the panel.
  auto* images = new QTabWidget(this);
  QTableView* registersView = HexTable("registers", registers_, this);
  QTableView* eepromView = HexTable("eeprom", eeprom_, this);
  // The tables' names for screen readers, as their tabs say.
  registersView->setAccessibleName(QStringLiteral("Clock generator registers"));
  eepromView->setAccessibleName(QStringLiteral("EEPROM"));
  images->addTab(registersView, QStringLiteral("Clock generator registers (0xD2)"));
  images->addTab(eepromView, QStringLiteral("EEPROM (0xD0)"));

  content_ = new QWidget;
  auto* layout = new QVBoxLayout(content_);
  layout->addLayout(top_, 1);
  layout->addWidget(images, 0);
  // On a small screen the window may be smaller than all its parts: they scroll.
  view_ = new QScrollArea(this);
  view_->setFrameShape(QFrame::NoFrame);
  view_->setWidgetResizable(true);
  view_->setWidget(content_);
  // The scroll area around everything is no stop of its own for Tab: it has nothing to show
  // or say; the controls in it are the stops.
  view_->setFocusPolicy(Qt::NoFocus);
  auto* window = new QVBoxLayout(this);
  window->setContentsMargins(0, 0, 0, 0);
  window->addWidget(view_);
  for (QLabel* label : {input_, attenuator_, clockRegisters_, divider_, trim_, oscillator_, tuned_,
                        level_, traffic_, comparison_, faults_})
    valueWidths_.push_back({label, {}, 0});
  resize(960, 720);

  boardChanged_ = board_.OnChange([this] { Refresh(); });
  Refresh();
}

void BusMonitor::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::PaletteChange && messages_ != nullptr)
    ShowAlarmsInTheDesktopsColours();
}

void BusMonitor::ShowAlarmsInTheDesktopsColours() {
  // The desktop changed its colours (a dark theme at night): the reds are chosen again for
  // the new backgrounds.
  for (QLabel* label : findChildren<QLabel*>()) {
    if (!label->property("alarm").toBool()) continue;
    SetAlarm(label, false);
    SetAlarm(label, true);
  }
  const QColor red = AlarmRed(palette().color(QPalette::Base));
  for (int row = 0; row < messages_->rowCount(); ++row) {
    QTableWidgetItem* item = messages_->item(row, 0);
    if (item != nullptr && item->data(Qt::ForegroundRole).isValid()) item->setForeground(red);
  }
}

void BusMonitor::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  Arrange();
}

void BusMonitor::Arrange() {
  // Too narrow for the message list and the board's state side by side: the state goes below
  // the list, which keeps its messages readable, and the window scrolls down instead.
  top_->setDirection(width() >= fullView_.width() ? QBoxLayout::LeftToRight
                                                  : QBoxLayout::TopToBottom);
}

void BusMonitor::FitFullView() {
  bool wider = false;
  for (ValueWidth& value : valueWidths_) {
    if (value.label->text() == value.measured) continue;
    value.measured = value.label->text();
    // The text's advance: much cheaper than the label's own size hint, and it grows with it.
    const int now = value.label->fontMetrics().horizontalAdvance(value.measured);
    if (now <= value.widestPx) continue;
    value.widestPx = now;
    wider = true;
  }
  if (!wider) return;
  // The layouts of a window not shown yet keep the sizes they measured last; they measure
  // again, side by side, with the texts the labels hold now. The full view never shrinks, so a
  // window wide enough for it keeps its arrangement while the values change.
  const QBoxLayout::Direction shown = top_->direction();
  top_->setDirection(QBoxLayout::LeftToRight);
  for (QWidget* w : content_->findChildren<QWidget*>()) w->updateGeometry();
  for (QLayout* l : content_->findChildren<QLayout*>()) l->invalidate();
  fullView_ = fullView_.expandedTo(content_->minimumSizeHint());
  top_->setDirection(shown);
  Arrange();
}

BusMonitor::~BusMonitor() = default;

void BusMonitor::Refresh() {
  AppendRows();
  ShowState();
  ShowComparison();
  ShowFaults();
  FitFullView();
}

void BusMonitor::AppendRows() {
  const std::deque<LogEntry>& log = board_.Log();
  if (board_.LastSerial() == lastSerial_) return;

  // Walk back to the first entry not shown yet; no more than fit in the list.
  auto first = log.end();
  int taken = 0;
  while (first != log.begin() && taken < rowLimit_) {
    auto previous = std::prev(first);
    if (previous->serial <= lastSerial_) break;
    first = previous;
    ++taken;
  }
  lastSerial_ = board_.LastSerial();
  if (first == log.end()) return;

  QScrollBar* bar = messages_->verticalScrollBar();
  const bool following = bar->value() == bar->maximum();
  // The local time offset is looked up once per refresh, not per row: the lookup asks the
  // system's time zone files.
  const qint64 offsetMs = qint64{QDateTime::currentDateTime().offsetFromUtc()} * 1000;
  int row = messages_->rowCount();
  messages_->model()->insertRows(row, static_cast<int>(std::distance(first, log.end())));
  auto* list = static_cast<MessageList*>(messages_);
  for (auto it = first; it != log.end(); ++it, ++row) {
    const QString text = TimeOfDay(it->time, offsetMs) + QStringLiteral("  ") +
                         QString::fromStdString(EntryText(*it));
    list->Fit(text);
    auto* item = new QTableWidgetItem(text);
    if (it->IsFault()) item->setForeground(AlarmRed(palette().color(QPalette::Base)));
    messages_->setItem(row, 0, item);
  }
  const int excess = messages_->rowCount() - rowLimit_;
  if (excess > 0) {
    // A user reading further up keeps the rows in front of them in place while the oldest
    // rows go, until those very rows are the oldest.
    const int top = messages_->rowAt(0);
    messages_->model()->removeRows(0, excess);
    if (!following && top >= 0)
      messages_->scrollTo(messages_->model()->index(std::max(top - excess, 0), 0),
                          QAbstractItemView::PositionAtTop);
  }
  if (following) messages_->scrollToBottom();
}

void BusMonitor::ShowState() {
  SetText(input_, QStringLiteral("In%1").arg(board_.Input()));
  const std::optional<int> db = board_.AttenuatorDb();
  SetText(attenuator_, db ? QStringLiteral("%1 dB").arg(*db) : QStringLiteral("code 3 (no step)"));
  SetAlarm(attenuator_, !db.has_value());

  const ClockGeneratorModel& clock = board_.ClockGenerator();
  SetText(clockRegisters_, QHex2(clock.Register(0x40)) + ' ' + QHex2(clock.Register(0x41)) + ' ' +
                               QHex2(clock.Register(0x42)));
  SetText(divider_,
          QStringLiteral("%1 (%2)").arg(QHex2(clock.Register(0x0C))).arg(clock.OutputDivider()));
  SetText(trim_,
          QStringLiteral("%1 (%2)").arg(QHex2(clock.CrystalTrim())).arg(clock.CrystalTrim()));
  const std::optional<double> osc = clock.OscillatorKhz();
  SetText(oscillator_, osc ? frequencyText_(*osc) +
                                 QStringLiteral("  (P %1, Q %2)").arg(clock.P()).arg(clock.Q())
                           : QStringLiteral("no output (divider 0)"));
  const std::optional<double> tuned = clock.TunedKhz();
  SetText(tuned_, tuned ? frequencyText_(*tuned) : QStringLiteral("\u2014"));

  const std::optional<std::uint8_t> level = board_.Level();
  SetText(level_, level ? QStringLiteral("%1 (%2)").arg(QHex2(*level)).arg(*level)
                        : QStringLiteral("\u2014"));
  SetText(
      traffic_,
      QStringLiteral("%1 bursts, %2 messages").arg(board_.BurstCount()).arg(board_.MessageCount()));

  registers_->Show(clock.registers);
  eeprom_->Show(board_.Eeprom());
}

void BusMonitor::CopySelectedMessages() {
  QModelIndexList rows = messages_->selectionModel()->selectedRows();
  if (rows.isEmpty()) return;
  std::sort(rows.begin(), rows.end());
  QStringList lines;
  for (const QModelIndex& row : rows) lines << row.data().toString();
  QGuiApplication::clipboard()->setText(lines.join(QLatin1Char('\n')));
}

void BusMonitor::ShowComparison() {
  // The text shown, and for screen readers the same in words where it has a sign in it (which
  // they may not say); the name goes first, so that a change is told once, in words.
  const auto show = [this](const QString& text, const QString& spoken, bool alarm) {
    if (comparison_->accessibleName() != spoken) comparison_->setAccessibleName(spoken);
    SetText(comparison_, text);
    SetAlarm(comparison_, alarm);
  };
  const std::optional<double> board = board_.ClockGenerator().TunedKhz();
  if (!board_.ClockGenerator().written) {
    show(QStringLiteral("Board not programmed yet"), QString(), false);
    return;
  }
  const QString boardText = board ? frequencyText_(*board) : QStringLiteral("no output");
  if (!panelTunedKhz_) {
    show(QStringLiteral("Board %1").arg(boardText), QString(), false);
    return;
  }
  const double panel = panelTunedKhz_();
  const bool agree = board && std::fabs(*board - panel) < kAgreementKhz;
  const QString panelText = frequencyText_(panel);
  show(QStringLiteral("Board %1 %2 panel %3")
           .arg(boardText, agree ? QStringLiteral("=") : QStringLiteral("\u2260"), panelText),
       QStringLiteral("Board %1 %2 panel %3")
           .arg(boardText, agree ? QStringLiteral("equals") : QStringLiteral("differs from"),
                panelText),
       !agree);
}

void BusMonitor::ShowFaults() {
  const std::uint64_t count = board_.FaultCount();
  QString text = QStringLiteral("Faults: %1").arg(count);
  if (count > 0 && !board_.Faults().empty())
    text += QStringLiteral(" \u2014 last: ") + QString::fromStdString(board_.Faults().back());
  SetText(faults_, text);
  SetAlarm(faults_, count > 0);
}

}  // namespace quarvel::sim
