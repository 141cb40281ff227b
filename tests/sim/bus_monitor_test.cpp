// SPDX-License-Identifier: GPL-3.0-or-later
// The bus monitor window, fed by the panel's logic on the simulated board: the rows it lists,
// the state it shows and when it turns red.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>
#include <map>

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QFontInfo>
#include <QImage>
#include <QLabel>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTabBar>
#include <QTableView>
#include <QTableWidget>
#include <QTest>
#include <memory>

#include "TempFiles.h"
#include "TestRig.h"
#include "receiver/FrequencyText.h"
#include "sim/BusMonitor.h"

namespace quarvel {
namespace {

using testing::Ramp;
using testing::Rig;
using testing::TempDir;

// The panel's logic, the board model and the monitor comparing the two.
struct MonitorRig {
  explicit MonitorRig(int rows = sim::kDefaultMonitorRows) {
    board.Attach(rig.driver);
    Open(rows);
  }
  // The program's order: the start-up bursts first, the monitor once the panel is shown.
  struct StartedFirst {};
  explicit MonitorRig(StartedFirst) {
    board.Attach(rig.driver);
    rig.Start();
    Open(sim::kDefaultMonitorRows);
  }
  void Open(int rows) {
    monitor = std::make_unique<sim::BusMonitor>(
        board, [this] { return rig.rx.TunedKhz(); }, nullptr, rows);
  }
  Rig rig;
  sim::SimulatedBoard board;
  std::unique_ptr<sim::BusMonitor> monitor;

  // A fault: a message to an address no device answers.
  void SendToAbsentDevice() {
    rig.bus.BeginBurst();
    rig.bus.BusIdle();
    rig.bus.BusMessage({0xA4, 0x00, 0x11});
    rig.bus.SendWaveform();
  }
  QTableWidget* List() const { return monitor->findChild<QTableWidget*>("messages"); }
  QLabel* Label(const char* name) const { return monitor->findChild<QLabel*>(name); }
  QString Text(const char* name) const { return Label(name)->text(); }
  bool Red(const char* name) const {
    return IsRed(Label(name)->palette().color(QPalette::WindowText));
  }
  static bool IsRed(const QColor& c) { return c.hslHue() == 0 && c.hslSaturation() > 200; }
  QStringList Rows() const {
    QStringList rows;
    for (int i = 0; i < List()->rowCount(); ++i) rows << List()->item(i, 0)->text();
    return rows;
  }
  QTableView* HexTable(const char* name) const { return monitor->findChild<QTableView*>(name); }
  QString Cell(const char* table, int offset) const {
    const QAbstractItemModel* cells = HexTable(table)->model();
    return cells->index(offset / 16, offset % 16).data().toString();
  }
};

// The width the list's style needs for a cell showing text.
int CellWidthFor(QTableWidget* list, const QString& text) {
  QStyleOptionViewItem cell;
  cell.initFrom(list);
  cell.font = list->font();
  cell.features = QStyleOptionViewItem::HasDisplay;
  cell.text = text;
  return list->style()->sizeFromContents(QStyle::CT_ItemViewItem, &cell, QSize(), list).width();
}

// A row is the time of day, two spaces and the message.
QString Message(const QString& row) {
  static const QRegularExpression time(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d  "));
  EXPECT_TRUE(time.match(row).hasMatch()) << row.toStdString();
  return row.mid(14);
}

TEST(BusMonitor, ShowsTheStartUpBurstAndTheBoardState) {
  MonitorRig m;
  EXPECT_EQ(m.monitor->windowTitle(), "Bus monitor");
  EXPECT_TRUE(m.monitor->isWindow());
  EXPECT_EQ(m.Text("comparison"), "Board not programmed yet");
  EXPECT_FALSE(m.Red("comparison"));

  m.rig.Start();
  const QStringList rows = m.Rows();
  ASSERT_EQ(rows.size(), 4);
  EXPECT_EQ(Message(rows[0]), "clock generator 0xD2 \u2190 [40] D2 5A 30");
  EXPECT_EQ(Message(rows[1]), "clock generator 0xD2 \u2190 [0C] 0A");
  EXPECT_EQ(Message(rows[2]), "clock generator 0xD2 \u2190 [13] 7F");
  EXPECT_EQ(Message(rows[3]), "level converter 0x90 \u2190 [40] 4D");

  EXPECT_EQ(m.Text("input"), "In1");
  EXPECT_EQ(m.Text("attenuator"), "0 dB");
  EXPECT_EQ(m.Text("clockRegisters"), "D2 5A 30");
  EXPECT_EQ(m.Text("divider"), "0A (10)");
  EXPECT_EQ(m.Text("trim"), "7F (127)");
  EXPECT_EQ(m.Text("oscillator"), "24240 kHz  (P 1212, Q 50)");
  EXPECT_EQ(m.Text("level"), "4D (77)");
  EXPECT_EQ(m.Text("comparison"), "Board 6060 kHz = panel 6060 kHz");
  EXPECT_FALSE(m.Red("comparison"));
  EXPECT_EQ(m.Text("faults"), "Faults: 0");
  EXPECT_FALSE(m.Red("faults"));
  EXPECT_EQ(m.Cell("registers", 0x41), "5A");
  EXPECT_EQ(m.Cell("registers", 0x0C), "0A");
}

// In a zone half an hour off the hour (a POSIX zone string: no time zone files needed), each
// row shows the local time of day the message arrived at, not UTC.
TEST(BusMonitor, RowsShowTheLocalTimeOfDay) {
  const QByteArray zone = qgetenv("TZ");
  const bool hadZone = qEnvironmentVariableIsSet("TZ");
  qputenv("TZ", "IST-5:30");
  tzset();
  ASSERT_EQ(QDateTime::currentDateTime().offsetFromUtc(), 5 * 3600 + 30 * 60);
  {
    MonitorRig m;
    // 2026-12-09 20:00:00.123 UTC, 01:30:00.123 the next day in that zone.
    m.board.Now = [] { return sim::Clock::time_point(std::chrono::milliseconds(1796846400123)); };
    m.rig.Start();
    ASSERT_FALSE(m.Rows().isEmpty());
    EXPECT_TRUE(m.Rows().front().startsWith("01:30:00.123  clock generator"))
        << m.Rows().front().toStdString();
  }
  if (hadZone)
    qputenv("TZ", zone);
  else
    qunsetenv("TZ");
  tzset();
}

TEST(BusMonitor, OpenedAfterTheStartUpBurstsShowsThemAndFollowsOn) {
  MonitorRig m{MonitorRig::StartedFirst{}};
  const QStringList rows = m.Rows();
  ASSERT_EQ(rows.size(), 4);
  EXPECT_EQ(Message(rows[0]), "clock generator 0xD2 \u2190 [40] D2 5A 30");
  EXPECT_EQ(Message(rows[3]), "level converter 0x90 \u2190 [40] 4D");
  EXPECT_EQ(m.Text("clockRegisters"), "D2 5A 30");
  EXPECT_EQ(m.Text("comparison"), "Board 6060 kHz = panel 6060 kHz");
  EXPECT_EQ(m.Cell("registers", 0x40), "D2");

  m.rig.controls.ScrollBar1.SetPosition(1000);
  EXPECT_GT(m.Rows().size(), 4);
  EXPECT_EQ(m.Text("comparison"), "Board 5000 kHz = panel 5000 kHz");
}

// Both images as 16 x 16 hex tables, columns headed 0 to F and rows 00 to F0, every byte
// centred in its cell; cells follow the bytes wherever they change.
TEST(BusMonitor, HexTablesShowEveryByteUnderItsHeaders) {
  TempDir dir;
  MonitorRig m;
  m.rig.Start();
  std::vector<std::uint8_t> image = Ramp(256, 0x80);
  m.rig.chooser.next = dir.File("eeprom.bin", image);
  m.rig.rx.FlashBinClick();
  image[0x07] = 0x00;  // changes far apart: a cell in the first and one in the last row
  image[0xF9] = 0x3C;
  m.rig.chooser.next = dir.File("eeprom2.bin", image);
  m.rig.rx.FlashBinClick();

  for (const char* name : {"registers", "eeprom"}) {
    SCOPED_TRACE(name);
    const QAbstractItemModel* cells = m.HexTable(name)->model();
    ASSERT_EQ(cells->rowCount(), 16);
    ASSERT_EQ(cells->columnCount(), 16);
    for (int i = 0; i < 16; ++i) {
      EXPECT_EQ(cells->headerData(i, Qt::Horizontal).toString(), QString("0123456789ABCDEF")[i]);
      EXPECT_EQ(cells->headerData(i, Qt::Vertical).toString(),
                QString::asprintf("%02X", static_cast<unsigned>(i * 16)));
    }
  }
  const std::array<std::uint8_t, 256>& registers = m.board.ClockGenerator().registers;
  for (int i = 0; i < 256; ++i) {
    EXPECT_EQ(m.Cell("eeprom", i), QString::asprintf("%02X", image[i])) << i;
    EXPECT_EQ(m.Cell("registers", i), QString::asprintf("%02X", registers[i])) << i;
  }
  const QModelIndex cell = m.HexTable("eeprom")->model()->index(0xF9 / 16, 0xF9 % 16);
  EXPECT_EQ(cell.data(Qt::TextAlignmentRole).toInt(), int{Qt::AlignCenter});
}

// What the screen shows of the register table follows a clock burst at once: the cells that
// changed are drawn again (the first and the last of a changed row too), as a full repaint
// would draw them.
TEST(BusMonitor, RegisterCellsOnTheScreenFollowAClockBurst) {
  MonitorRig m{MonitorRig::StartedFirst{}};
  m.monitor->resize(m.monitor->FullViewSize());
  m.monitor->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(m.monitor.get()));
  QTest::qWait(50);
  QTableView* table = m.HexTable("registers");
  auto shown = [&](int offset) {
    const QRect cell = table->visualRect(table->model()->index(offset / 16, offset % 16));
    const QPoint at = table->viewport()->mapTo(m.monitor.get(), cell.topLeft());
    return m.monitor->screen()
        ->grabWindow(m.monitor->winId(), at.x(), at.y(), cell.width(), cell.height())
        .toImage();
  };
  const std::vector<int> cells = {0x40, 0x41, 0x42};
  std::vector<QImage> before;
  for (int offset : cells) before.push_back(shown(offset));
  m.rig.controls.ScrollBar1.SetPosition(1600);
  ASSERT_NE(m.Cell("registers", 0x41), "5A") << "the burst changed nothing";
  QTest::qWait(50);
  std::vector<QImage> after;
  for (int offset : cells) after.push_back(shown(offset));
  table->viewport()->update();
  QTest::qWait(50);
  for (std::size_t i = 0; i < cells.size(); ++i) {
    SCOPED_TRACE("register " + std::to_string(cells[i]));
    const QImage repainted = shown(cells[i]);
    EXPECT_EQ(after[i], repainted) << "the cell on the screen still shows the old byte";
  }
  EXPECT_NE(after[1], before[1]);
}

TEST(BusMonitor, FollowsSelectionTuningAndUploads) {
  TempDir dir;
  MonitorRig m;
  m.rig.Start();
  m.rig.rx.Mux7Click();
  m.rig.rx.db20Click();
  EXPECT_EQ(m.Text("input"), "In8");
  EXPECT_EQ(m.Text("attenuator"), "-20 dB");

  m.rig.rx.CmdhighClick();
  m.rig.controls.ScrollBar1.SetPosition(801);
  EXPECT_EQ(m.Text("tuned"), "20025 kHz");

  m.rig.chooser.next = dir.File("eeprom.bin", Ramp(256, 1));
  m.rig.rx.FlashBinClick();
  EXPECT_EQ(m.Cell("eeprom", 0x00), "01");
  EXPECT_EQ(m.Cell("eeprom", 0xAB), "AC");
  EXPECT_EQ(Message(m.Rows().back()),
            "EEPROM 0xD0 \u2190 [F0] F1 F2 F3 F4 F5 F6 F7 F8 F9 FA FB FC FD FE FF 00");
  EXPECT_EQ(m.Text("faults"), "Faults: 0");

  // At the monitor's own size a page's message is whole: its cell is as wide as the list's
  // style needs for the text, and the list scrolls sideways as far as the cell goes.
  m.monitor->resize(m.monitor->FullViewSize());
  m.monitor->show();
  QApplication::processEvents();
  QTableWidget* list = m.List();
  const QString page = list->item(list->rowCount() - 1, 0)->text();
  const int needed = CellWidthFor(list, page);
  EXPECT_GE(list->columnWidth(0), needed) << page.toStdString();
  EXPECT_GE(list->viewport()->width() + list->horizontalScrollBar()->maximum(), needed);

  // In a narrower window the keyboard reaches the message's end too: Right scrolls sideways
  // and Left back, the message staying the current one.
  m.monitor->resize(600, m.monitor->height());
  QApplication::processEvents();
  QScrollBar* sideways = list->horizontalScrollBar();
  ASSERT_GT(sideways->maximum(), 0);
  const int last = list->rowCount() - 1;
  list->setCurrentCell(last, 0);
  QTest::keyClick(list, Qt::Key_Right);
  EXPECT_GT(sideways->value(), 0);
  QTest::keyClick(list, Qt::Key_Left);
  EXPECT_EQ(sideways->value(), 0);
  EXPECT_EQ(list->currentRow(), last);
  // Scrolled sideways, the list stays there from one message to the next, by key or by click,
  // so that the bytes being read stay in view.
  QTest::keyClick(list, Qt::Key_Right);
  const int read = sideways->value();
  ASSERT_GT(read, 0);
  QTest::keyClick(list, Qt::Key_Up);
  EXPECT_EQ(list->currentRow(), last - 1);
  EXPECT_EQ(sideways->value(), read);
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                    list->visualRect(list->model()->index(last - 2, 0)).center());
  QTest::qWait(QApplication::doubleClickInterval() + 300);
  EXPECT_EQ(list->currentRow(), last - 2);
  EXPECT_EQ(sideways->value(), read);
  sideways->setValue(0);
  // Narrower than the list itself: once the list has scrolled to its end, Right goes on to
  // scroll the window.
  m.monitor->resize(260, m.monitor->height());
  QApplication::processEvents();
  QScrollBar* window = m.monitor->findChild<QScrollArea*>()->horizontalScrollBar();
  ASSERT_GT(window->maximum(), 0);
  for (int i = 0; i < 100 && sideways->value() < sideways->maximum(); ++i)
    QTest::keyClick(list, Qt::Key_Right);
  EXPECT_EQ(window->value(), 0);
  QTest::keyClick(list, Qt::Key_Right);
  EXPECT_GT(window->value(), 0);

  // A larger font (the desktop's text size changed): the message is measured again.
  QFont larger = list->font();
  larger.setPointSizeF(larger.pointSizeF() * 1.5);
  list->setFont(larger);
  QApplication::processEvents();
  EXPECT_GE(list->columnWidth(0), CellWidthFor(list, page));
}

// A desktop whose fixed font is not fixed-pitch: messages of the same length differ in width,
// and each one still fits its column.
TEST(BusMonitor, EveryMessageFitsItsColumnInAProportionalFont) {
  TempDir dir;
  MonitorRig m;
  QTableWidget* list = m.List();
  list->setFont(QFont(QStringLiteral("DejaVu Sans")));
  ASSERT_FALSE(QFontInfo(list->font()).fixedPitch());
  m.rig.Start();
  std::vector<std::uint8_t> image(256, 0x11);
  std::fill(image.begin() + 240, image.end(), 0xDD);  // the last page: wider letters
  m.rig.chooser.next = dir.File("eeprom.bin", image);
  m.rig.rx.FlashBinClick();
  for (int row = 0; row < list->rowCount(); ++row) {
    const QString text = list->item(row, 0)->text();
    EXPECT_GE(list->columnWidth(0), CellWidthFor(list, text)) << text.toStdString();
  }
}

TEST(BusMonitor, ComparisonTurnsRedWhileTheBoardIsTunedElsewhere) {
  TempDir dir;
  MonitorRig m;
  m.rig.Start();
  // An image in the register file retunes the board behind the panel's back.
  std::vector<std::uint8_t> image(256, 0);
  image[0x40] = 0xD2;
  image[0x41] = 0x5A;
  image[0x42] = 0x30;
  image[0x0C] = 0x14;  // divider 20: half the panel's frequency
  m.rig.chooser.next = dir.File("ram.bin", image);
  m.rig.rx.RAMbinClick();
  EXPECT_EQ(m.Text("comparison"), "Board 3030 kHz \u2260 panel 6060 kHz");
  EXPECT_TRUE(m.Red("comparison"));
  EXPECT_EQ(m.Cell("registers", 0x0C), "14");

  // The next clock burst puts the board back where the panel is.
  m.rig.controls.ScrollBar1.SetPosition(1000);
  EXPECT_EQ(m.Text("comparison"), "Board 5000 kHz = panel 5000 kHz");
  EXPECT_FALSE(m.Red("comparison"));

  // The smallest tuning step off is off too (half a kilohertz in the lowest band):
  // the registers of the next position, uploaded.
  m.rig.rx.CMD1_4Click();
  const int from = m.rig.controls.ScrollBar1.Position();
  m.rig.controls.ScrollBar1.SetPosition(from + 1);
  std::vector<std::uint8_t> nextStep(256);
  for (int offset = 0; offset < 256; ++offset)
    nextStep[static_cast<std::size_t>(offset)] =
        static_cast<std::uint8_t>(m.Cell("registers", offset).toUInt(nullptr, 16));
  m.rig.controls.ScrollBar1.SetPosition(from);
  m.rig.chooser.next = dir.File("step.bin", nextStep);
  m.rig.rx.RAMbinClick();
  EXPECT_NE(m.Text("comparison").indexOf(u'\u2260'), -1) << m.Text("comparison").toStdString();
  EXPECT_TRUE(m.Red("comparison"));
  m.rig.controls.ScrollBar1.SetPosition(from + 1);
  EXPECT_NE(m.Text("comparison").indexOf(u'='), -1) << m.Text("comparison").toStdString();
  EXPECT_FALSE(m.Red("comparison"));

  // Back to normal, the line follows the desktop's colours as every other line does: light
  // text once the desktop turns dark, not the colour it had before the alarm.
  const QPalette light = QApplication::palette();
  QPalette dark = light;
  dark.setColor(QPalette::Window, QColor(0x20, 0x20, 0x20));
  dark.setColor(QPalette::WindowText, QColor(0xEE, 0xEE, 0xEE));
  QApplication::setPalette(dark);
  QApplication::processEvents();
  const QColor comparison = m.Label("comparison")->palette().color(QPalette::WindowText);
  const QColor tuned = m.Label("tuned")->palette().color(QPalette::WindowText);
  QApplication::setPalette(light);
  QApplication::processEvents();
  EXPECT_EQ(comparison, QColor(0xEE, 0xEE, 0xEE));
  EXPECT_EQ(tuned, QColor(0xEE, 0xEE, 0xEE));
}

// What a screen reader reads of the comparison in each state: the sign in words where the
// line has one, else the line as shown.
TEST(BusMonitor, ComparisonIsReadInWordsInEveryState) {
  TempDir dir;
  MonitorRig m;
  const auto read = [&m] {
    return QAccessible::queryAccessibleInterface(m.Label("comparison"))
        ->text(QAccessible::Name)
        .toStdString();
  };
  EXPECT_EQ(read(), "Board not programmed yet");
  m.rig.Start();
  EXPECT_EQ(read(), "Board 6060 kHz equals panel 6060 kHz");
  std::vector<std::uint8_t> image(256, 0);  // output divider 0: no output
  m.rig.chooser.next = dir.File("off.bin", image);
  m.rig.rx.RAMbinClick();
  EXPECT_EQ(m.Text("comparison"), "Board no output \u2260 panel 6060 kHz");
  EXPECT_EQ(read(), "Board no output differs from panel 6060 kHz");
  m.board.PowerUp();
  EXPECT_EQ(read(), "Board not programmed yet");

  // A monitor with no panel to compare with.
  sim::BusMonitor alone(m.board, nullptr);
  m.rig.controls.ScrollBar1.SetPosition(1000);
  EXPECT_EQ(QAccessible::queryAccessibleInterface(alone.findChild<QLabel*>("comparison"))
                ->text(QAccessible::Name)
                .toStdString(),
            "Board 5000 kHz");
}

TEST(BusMonitor, FrequenciesUseThePanelsDecimalSeparator) {
  MonitorRig m(MonitorRig::StartedFirst{});
  char separator = ',';
  m.monitor->SetFrequencyText([&separator](double khz) {
    return QString::fromStdString(receiver::FrequencyText(khz, separator));
  });
  m.rig.rx.SetDecimalSeparator(separator);
  m.rig.rx.CMD1_4Click();
  m.rig.controls.ScrollBar1.SetPosition(m.rig.controls.ScrollBar1.Min() + 1);
  EXPECT_EQ(m.Text("tuned"), "130,5 kHz");
  EXPECT_EQ(m.Text("comparison"), "Board 130,5 kHz = panel 130,5 kHz");
  EXPECT_TRUE(m.Text("oscillator").startsWith("522 kHz  (P "));

  separator = '.';
  m.rig.rx.SetDecimalSeparator(separator);
  m.rig.controls.ScrollBar1.SetPosition(m.rig.controls.ScrollBar1.Min() + 3);
  EXPECT_EQ(m.Text("comparison"), "Board 131.5 kHz = panel 131.5 kHz");
}

// Messages picked out of order (Ctrl+click) and copied with Ctrl+C, or with the list's menu:
// every one selected reaches the clipboard, a line each, in the list's order.
TEST(BusMonitor, CopyTakesEverySelectedMessageInTheListsOrder) {
  MonitorRig m;
  m.rig.Start();
  const QStringList rows = m.Rows();
  ASSERT_EQ(rows.size(), 4);
  m.monitor->show();
  QApplication::setActiveWindow(m.monitor.get());
  ASSERT_TRUE(QTest::qWaitForWindowActive(m.monitor.get()));
  QTableWidget* list = m.List();
  list->setFocus();
  for (int row : {3, 0, 1}) {
    list->selectionModel()->select(list->model()->index(row, 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
  }
  const QString expected = rows[0] + '\n' + rows[1] + '\n' + rows[3];

  QGuiApplication::clipboard()->clear();
  QTest::keySequence(list, QKeySequence::Copy);
  EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), expected.toStdString());

  QGuiApplication::clipboard()->clear();
  ASSERT_EQ(list->contextMenuPolicy(), Qt::ActionsContextMenu);
  ASSERT_EQ(list->actions().size(), 1);
  EXPECT_EQ(list->actions()[0]->text(), "Copy");
  list->actions()[0]->trigger();
  EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), expected.toStdString());
}

// Home and End in the list go to the oldest and the newest message and select it; with Shift
// they select from the current message on.
TEST(BusMonitor, HomeAndEndGoToTheFirstAndTheLastMessage) {
  MonitorRig m;
  m.rig.Start();
  for (int position = 1213; position <= 1220; ++position)
    m.rig.controls.ScrollBar1.SetPosition(position);
  QTableWidget* list = m.List();
  const int last = list->rowCount() - 1;
  ASSERT_GT(last, 8);
  m.monitor->show();
  QApplication::processEvents();
  // Tabbed to before any message was chosen: Up goes on from the newest, where the list shows.
  QFocusEvent tabbedTo(QEvent::FocusIn, Qt::TabFocusReason);
  QApplication::sendEvent(list, &tabbedTo);
  QTest::keyClick(list, Qt::Key_Up);
  EXPECT_EQ(list->currentRow(), last - 1);
  list->setCurrentCell(5, 0);
  const auto selected = [list] {
    std::vector<int> rows;
    for (const QModelIndex& index : list->selectionModel()->selectedRows())
      rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
  };
  const struct {
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    int current;
    std::vector<int> selected;
  } steps[] = {{Qt::Key_End, {}, last, {last}},
               {Qt::Key_Home, {}, 0, {0}},
               {Qt::Key_Down, {}, 1, {1}},
               {Qt::Key_End, Qt::ShiftModifier, last, [last] {
                  std::vector<int> rows;
                  for (int row = 1; row <= last; ++row) rows.push_back(row);
                  return rows;
                }()}};
  for (const auto& step : steps) {
    SCOPED_TRACE(QKeySequence(step.key | step.modifiers).toString().toStdString());
    QTest::keyClick(list, step.key, step.modifiers);
    EXPECT_EQ(list->currentRow(), step.current);
    EXPECT_EQ(selected(), step.selected);
  }
}

TEST(BusMonitor, FaultsTurnTheCounterRedAndAreListed) {
  MonitorRig m;
  m.rig.Start();
  m.SendToAbsentDevice();

  EXPECT_EQ(m.Text("faults"), "Faults: 1 \u2014 last: no device answers at address 0xA4");
  EXPECT_TRUE(m.Red("faults"));
  const QStringList rows = m.Rows();
  ASSERT_GE(rows.size(), 2);
  EXPECT_EQ(Message(rows[rows.size() - 2]), "no device 0xA4 \u2190 [00] 11");
  EXPECT_EQ(Message(rows.back()), "fault: no device answers at address 0xA4");
  EXPECT_TRUE(m.IsRed(m.List()->item(rows.size() - 1, 0)->foreground().color()));
  EXPECT_FALSE(m.IsRed(m.List()->item(rows.size() - 2, 0)->foreground().color()));

  m.rig.bus.SetSelection((m.rig.bus.PortImage() >> 2) & 0x07, 3);  // attenuator code 3
  m.rig.rx.ProgramClockGenerator();
  EXPECT_EQ(m.Text("attenuator"), "code 3 (no step)");
  EXPECT_TRUE(m.Red("attenuator"));
  EXPECT_TRUE(m.Text("faults").startsWith("Faults: 2 \u2014 last: attenuator lines at code 3"));
}

// Contrast of text on its background, by relative luminance (sRGB).
double Contrast(const QColor& text, const QColor& background) {
  auto luminance = [](const QColor& c) {
    auto channel = [](double v) {
      return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
  };
  const double a = luminance(text), b = luminance(background);
  return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

// The red lines stay readable (4.5 : 1, what text needs) on light and dark desktops, and
// when the desktop's colours change while they are red.
TEST(BusMonitor, AlarmsReadableOnLightAndDarkDesktops) {
  const QPalette original = QApplication::palette();
  auto desktop = [&](QColor window, QColor base, QColor text) {
    QPalette p = original;
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Text, text);
    return p;
  };
  const struct {
    const char* name;
    QPalette palette;
  } desktops[] = {
      {"light grey", desktop(QColor(0xEF, 0xEF, 0xEF), Qt::white, Qt::black)},
      {"dark",
       desktop(QColor(0x2A, 0x2E, 0x32), QColor(0x1B, 0x1E, 0x20), QColor(0xFC, 0xFC, 0xFC))},
      {"black", desktop(Qt::black, Qt::black, Qt::white)},
  };
  MonitorRig m;
  m.rig.Start();
  m.SendToAbsentDevice();
  QTableWidgetItem* faultRow = m.List()->item(m.List()->rowCount() - 1, 0);
  for (const auto& d : desktops) {
    SCOPED_TRACE(d.name);
    QApplication::setPalette(d.palette);
    QApplication::processEvents();
    const QLabel* faults = m.Label("faults");
    EXPECT_TRUE(m.Red("faults"));
    EXPECT_GE(Contrast(faults->palette().color(QPalette::WindowText),
                       faults->palette().color(QPalette::Window)),
              4.5);
    EXPECT_TRUE(m.IsRed(faultRow->foreground().color()));
    EXPECT_GE(Contrast(faultRow->foreground().color(), m.List()->palette().color(QPalette::Base)),
              4.5);
  }
  QApplication::setPalette(original);
  QApplication::processEvents();
}

// A bridge whose bit-mode call fails sends the bursts as serial frames: the monitor lists
// them as faults and shows a board that nothing has programmed.
TEST(BusMonitor, BurstsOutsideBitBangModeShowAsFaultsNotAsProgramming) {
  MonitorRig m;
  m.rig.driver.SetStatus(port::DriverCall::SetBitMode, port::FT_IO_ERROR);
  m.rig.Start();
  const QStringList rows = m.Rows();
  ASSERT_EQ(rows.size(), 2);
  EXPECT_EQ(Message(rows[0]), "fault: 317 bytes written while the bridge was not in bit-bang mode");
  EXPECT_EQ(Message(rows[1]), "fault: 89 bytes written while the bridge was not in bit-bang mode");
  EXPECT_EQ(m.Text("comparison"), "Board not programmed yet");
  EXPECT_EQ(m.Text("clockRegisters"), "00 00 00");
  EXPECT_EQ(m.Text("traffic"), "0 bursts, 0 messages");
  EXPECT_EQ(m.Text("faults"),
            "Faults: 2 \u2014 last: 89 bytes written while the bridge was not in bit-bang mode");
  EXPECT_TRUE(m.Red("faults"));
}

// Side by side where there is room; on a narrow screen the board's state goes below the list,
// and the list stays wide enough to read a message's time, device and first bytes.
TEST(BusMonitor, NarrowWindowPutsTheStateBelowAReadableList) {
  MonitorRig m(MonitorRig::StartedFirst{});
  const QSize full = m.monitor->FullViewSize();
  QLabel* input = m.Label("input");
  const int readable = m.List()->fontMetrics().horizontalAdvance(
      QStringLiteral("12:04:31.517  clock generator 0xD2 ← [40]"));
  for (const int width : {full.width(), full.width() / 2}) {
    SCOPED_TRACE(width);
    m.monitor->resize(width, full.height());
    m.monitor->show();
    QApplication::processEvents();
    const QRect list(m.List()->mapTo(m.monitor.get(), QPoint()), m.List()->size());
    const QPoint state = input->mapTo(m.monitor.get(), QPoint());
    EXPECT_GE(list.width(), readable);
    if (width == full.width()) {
      EXPECT_GT(state.x(), list.right()) << "beside the list";
    } else {
      EXPECT_GT(state.y(), list.bottom()) << "below the list";
    }
  }
}

// The window opened at the size it gives for showing every part, once the board is programmed
// and the list is full: the board's state sits beside the list with nothing scrolled away, and
// every message row shows its device and the register it writes from. On a screen with less
// room the state goes below the list, still without scrolling sideways.
TEST(BusMonitor, FullViewSizeShowsEveryPartOnceTheBoardIsProgrammed) {
  MonitorRig m(MonitorRig::StartedFirst{});
  for (int position = 401; position <= 440; ++position)
    m.rig.controls.ScrollBar1.SetPosition(position);
  const QSize full = m.monitor->FullViewSize();
  auto* area = m.monitor->findChild<QScrollArea*>();
  QTableWidget* list = m.List();
  for (const int width : {full.width(), full.width() - 1, 600}) {
    SCOPED_TRACE(width);
    m.monitor->resize(width, full.height());
    m.monitor->show();
    QApplication::processEvents();
    EXPECT_EQ(area->horizontalScrollBar()->maximum(), 0)
        << "content needs " << area->widget()->minimumSizeHint().width();
    for (const char* name : {"oscillator", "comparison", "traffic"}) {
      QLabel* label = m.Label(name);
      const QRect shown(label->mapTo(area->viewport(), QPoint()), label->size());
      EXPECT_GE(label->width(), label->sizeHint().width()) << name;
      EXPECT_LE(shown.right(), area->viewport()->width()) << name;
    }
    const QPoint state = m.Label("input")->mapTo(m.monitor.get(), QPoint());
    const QPoint listEnd = list->mapTo(m.monitor.get(), QPoint(list->width(), list->height()));
    if (width == full.width())
      EXPECT_GT(state.x(), listEnd.x()) << "beside the list";
    else
      EXPECT_GT(state.y(), listEnd.y()) << "below the list";

    // The row as far as its bracketed register, as the list's style measures a cell for it.
    ASSERT_TRUE(list->verticalScrollBar()->isVisible()) << "a full list";
    const int row = list->rowCount() - 1;
    const QString text = list->item(row, 0)->text();
    const QString shown = text.left(text.indexOf(']') + 1);
    EXPECT_GE(list->visualItemRect(list->item(row, 0)).width(), CellWidthFor(list, shown))
        << shown.toStdString();
  }
}

// Shown before the first burst, at the size that then showed every part: the values that
// arrive are wider than the dashes were, so the state goes below the list rather than out of
// sight to the right.
TEST(BusMonitor, WiderValuesPutTheStateBelowTheListInsteadOfScrollingSideways) {
  MonitorRig m;
  const QSize before = m.monitor->FullViewSize();
  m.monitor->resize(before);
  m.monitor->show();
  QApplication::processEvents();
  m.rig.Start();
  QApplication::processEvents();
  EXPECT_GT(m.monitor->FullViewSize().width(), before.width());
  EXPECT_EQ(m.monitor->findChild<QScrollArea*>()->horizontalScrollBar()->maximum(), 0);
  const QPoint state = m.Label("input")->mapTo(m.monitor.get(), QPoint());
  EXPECT_GT(state.y(), m.List()->mapTo(m.monitor.get(), QPoint(0, m.List()->height())).y());
}

TEST(BusMonitor, ListKeepsOnlyTheNewestRows) {
  MonitorRig m(10);
  m.rig.Start();
  for (int n = 401; n <= 420; ++n) m.rig.controls.ScrollBar1.SetPosition(n);
  const QStringList rows = m.Rows();
  ASSERT_EQ(rows.size(), 10);
  // Position 420: 2 × (206 + 4) → register 0x41 0xCE; the list ends with its burst.
  EXPECT_EQ(Message(rows[7]), "clock generator 0xD2 \u2190 [40] C4 CE 30");
  EXPECT_EQ(Message(rows[9]), "clock generator 0xD2 \u2190 [13] 7F");
  EXPECT_EQ(Message(rows[0]), "clock generator 0xD2 \u2190 [13] 7F");  // from position 417
  EXPECT_EQ(Message(rows[1]), "clock generator 0xD2 \u2190 [40] C4 CD 30");
}

// A user reading further up in a full list: the oldest rows go as bursts come in, but the rows
// in front of the user stay where they are.
TEST(BusMonitor, RowsBeingReadStayInPlaceWhileTheOldestGo) {
  MonitorRig m(100);
  m.monitor->resize(900, 500);
  m.monitor->show();
  m.rig.Start();
  for (int n = 401; n <= 440; ++n) m.rig.controls.ScrollBar1.SetPosition(n);
  QTableWidget* list = m.List();
  ASSERT_EQ(list->rowCount(), 100);
  list->scrollToItem(list->item(40, 0), QAbstractItemView::PositionAtTop);
  const QString read = list->item(list->rowAt(0), 0)->text();
  for (int n = 441; n <= 450; ++n) m.rig.controls.ScrollBar1.SetPosition(n);
  ASSERT_EQ(list->rowCount(), 100);
  EXPECT_EQ(list->item(list->rowAt(0), 0)->text(), read);
  EXPECT_EQ(list->rowAt(0), 40 - 30) << "three rows per burst went";
}

// The window made large enough for every row (maximised) and back: a list that showed its
// newest row goes on showing the newest; one scrolled up by its reader stays where it was.
TEST(BusMonitor, ListFollowsTheNewestRowThroughAResize) {
  MonitorRig m(100);
  QTableWidget* list = m.List();
  const auto resizeTo = [&m](int width, int height) {
    m.monitor->resize(width, height);
    QApplication::processEvents();
  };
  const auto newestInView = [list] {
    const QRect newest = list->visualItemRect(list->item(list->rowCount() - 1, 0));
    return list->viewport()->rect().contains(newest);
  };
  resizeTo(602, 720);
  m.monitor->show();
  m.rig.Start();
  for (int n = 401; n <= 410; ++n) m.rig.controls.ScrollBar1.SetPosition(n);
  QApplication::processEvents();
  ASSERT_GT(list->verticalScrollBar()->maximum(), 0) << "more rows than fit";
  ASSERT_TRUE(newestInView());
  resizeTo(1280, 3000);
  ASSERT_EQ(list->verticalScrollBar()->maximum(), 0) << "every row fits";
  resizeTo(602, 720);
  m.rig.controls.ScrollBar1.SetPosition(411);
  QApplication::processEvents();
  EXPECT_TRUE(newestInView());

  list->scrollToItem(list->item(5, 0), QAbstractItemView::PositionAtTop);
  const QString read = list->item(list->rowAt(0), 0)->text();
  resizeTo(602, 900);
  resizeTo(602, 720);
  m.rig.controls.ScrollBar1.SetPosition(412);
  QApplication::processEvents();
  EXPECT_EQ(list->item(list->rowAt(0), 0)->text(), read);
  EXPECT_FALSE(newestInView());
}

// Tab goes from the list through the board's values, each read with its row's label (the
// comparison in words), to the register tables' tabs, and back.
TEST(BusMonitor, TabGoesThroughTheListTheValuesTheHexImagesAndOn) {
  MonitorRig m;
  m.monitor->show();
  m.monitor->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(m.monitor.get()));
  m.rig.Start();
  m.rig.rx.Mux2Click();
  QTableWidget* list = m.List();
  list->setFocus();
  ASSERT_TRUE(list->hasFocus());
  const std::vector<std::pair<QString, QString>> values = {
      {"Input:", "In3"},
      {"Attenuator:", "0 dB"},
      {"Registers 40 41 42:", "D2 5A 30"},
      {"Output divider (0C):", "0A (10)"},
      {"Crystal trim (13):", "7F (127)"},
      {"Oscillator:", "24240 kHz  (P 1212, Q 50)"},
      {"Tuned frequency:", "6060 kHz"},
      {"Level:", "4D (77)"},
      {"Traffic:", "3 bursts, 7 messages"},
      {"", "Board 6060 kHz equals panel 6060 kHz"},
      {"", "Faults: 0"},
  };
  // How each value looks without the keyboard on it.
  std::map<QWidget*, QImage> unfocused;
  for (QLabel* label : m.monitor->findChildren<QLabel*>())
    unfocused[label] = label->grab().toImage();
  for (const auto& [label, value] : values) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QWidget* focused = QApplication::focusWidget();
    ASSERT_TRUE(unfocused.count(focused)) << value.toStdString() << ": not a value";
    // A frame around the text, in the margins kept for it (the text caret alone shows little).
    const QImage now = focused->grab().toImage();
    const QImage& before = unfocused[focused];
    ASSERT_EQ(now.size(), before.size());
    const QRect text = focused->contentsRect();
    int framePixels = 0;
    for (int y = 0; y < now.height(); ++y)
      for (int x = 0; x < now.width(); ++x)
        if (!text.contains(x, y) && now.pixel(x, y) != before.pixel(x, y)) ++framePixels;
    EXPECT_GT(framePixels, 0) << value.toStdString() << ": no focus frame around the text";
    QAccessibleInterface* read = QAccessible::queryAccessibleInterface(focused);
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->text(QAccessible::Name).toStdString(), value.toStdString());
    const auto labelledBy = read->relations(QAccessible::Label);
    EXPECT_EQ(
        labelledBy.empty() ? "" : labelledBy.front().first->text(QAccessible::Name).toStdString(),
        label.toStdString())
        << value.toStdString();
  }
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  auto* tabs = qobject_cast<QTabBar*>(QApplication::focusWidget());
  ASSERT_NE(tabs, nullptr);
  // Each hex image is a stop of its own, read cell by cell with the arrow keys (a screen
  // reader says the byte with its row and column); Tab leaves it again.
  for (const char* name : {"registers", "eeprom"}) {
    SCOPED_TRACE(name);
    tabs->setFocus();
    if (std::string(name) == "eeprom") QTest::keyClick(tabs, Qt::Key_Right);
    QTest::keyClick(tabs, Qt::Key_Tab);
    QTableView* table = m.HexTable(name);
    ASSERT_EQ(QApplication::focusWidget(), table);
    QTest::keyClick(table, Qt::Key_Down);
    QTest::keyClick(table, Qt::Key_Right);
    EXPECT_EQ(table->currentIndex().data().toString(), m.Cell(name, 0x11));
    EXPECT_EQ(table->currentIndex().row() * 16 + table->currentIndex().column(), 0x11);
    QTest::keyClick(table, Qt::Key_Tab);
    EXPECT_NE(QApplication::focusWidget(), table);
  }
  QTest::keyClick(tabs, Qt::Key_Left);
  tabs->setFocus();
  QTest::keyClick(tabs, Qt::Key_Backtab);
  EXPECT_EQ(QApplication::focusWidget(), m.Label("faults"));
  list->setFocus();
  QTest::keyClick(list, Qt::Key_Backtab);
  EXPECT_NE(QApplication::focusWidget(), list);
  EXPECT_EQ(qobject_cast<QScrollArea*>(QApplication::focusWidget()), nullptr)
      << "a stop with nothing to show";
}

}  // namespace
}  // namespace quarvel

int main(int argc, char** argv) {
  // Never needs a display, even when started by hand.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
