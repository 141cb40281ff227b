// SPDX-License-Identifier: GPL-3.0-or-later
// The real window on the simulated board: its layout, and what the hardware receives and
// the user sees when its controls are used.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <QWindow>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <stdexcept>
#include <thread>

#include <unistd.h>

#include "TempFiles.h"
#include "WindowRig.h"
#include "reliability/Wire.h"
#include "ui/MonitorPlacement.h"
#include "ui/Panel.h"
#include "ui/QtPlatform.h"
#include "ui/ScreenReader.h"

// Prints a QSize as "W x H" in failure messages (found by argument lookup: QSize's namespace).
inline void PrintTo(const QSize& size, std::ostream* os) {
  *os << size.width() << " x " << size.height();
}

namespace quarvel::ui_test {
namespace {

// Register 0x40's message of a clock burst: [D2 40 r40 r41 r42].
Bytes TuningMessage(std::uint8_t r40, std::uint8_t r41, std::uint8_t r42) {
  return {0xD2, 0x40, r40, r41, r42};
}
Bytes DividerMessage(std::uint8_t divider) {
  return {0xD2, 0x0C, divider};
}

// A rectangle of the 96-dpi layout as the window shows it: where the screen reports another
// logical DPI, the toolkit leaves that much to the window, and the layout's edges are scaled
// by it, so that controls meeting in the layout still meet. At 96 dpi: the layout's pixels.
QRect OnScreen(const QWidget& window, int left, int top, int width, int height) {
  const double scale = window.logicalDpiY() / 96.0;
  auto edge = [scale](int px) { return static_cast<int>(std::lround(px * scale)); };
  return {edge(left), edge(top), edge(left + width) - edge(left), edge(top + height) - edge(top)};
}

TEST(WindowLayout, EveryControlWithItsKindPlaceSizeAndCaption) {
  WindowRig w;
  ui::TForm1& form = *w.form;
  EXPECT_EQ(form.windowTitle(), "Quarvel SDR Tuning");
  EXPECT_EQ(form.size(), OnScreen(form, 0, 0, 457, 416).size());
  // At the layout's place, where the screen shows every control (down to 369) there.
  EXPECT_EQ(form.pos(), ui::PanelPlace(OnScreen(form, 202, 149, 0, 0).topLeft(),
                                       OnScreen(form, 0, 0, 457, 369).size(),
                                       form.screen()->availableGeometry()));
  EXPECT_NE(form.maximumSize(), form.minimumSize()) << "the window is resizable";

  // Width 0: a label that sizes itself to its text; only its place is fixed.
  const struct {
    const char* name;
    const char* kind;
    int left, top, width, height;
    const char* caption;
  } rows[] = {
      {"Freq", "QLabel", 184, 96, 0, 0, nullptr},
      {"LabelFmin", "QLabel", 16, 96, 0, 0, nullptr},
      {"LabelFmax", "QLabel", 408, 96, 0, 0, nullptr},
      {"Offset", "QLabel", 312, 192, 0, 0, nullptr},
      {"Label1", "QLabel", 32, 128, 0, 0, "1 kHz"},
      {"Label2", "QLabel", 120, 128, 0, 0, "9 kHz"},
      {"Label3", "QLabel", 208, 128, 0, 0, "2 kHz"},
      {"Label4", "QLabel", 296, 128, 0, 0, "5 kHz"},
      {"Label5", "QLabel", 384, 128, 0, 0, "10 kHz"},
      {"Label6", "QLabel", 384, 176, 0, 0, "25 kHz"},
      {"Label7", "QLabel", 80, 192, 0, 0, "Offset"},
      {"Xtal", "QLabel", 80, 224, 0, 0, "Xtal"},
      {"FlashBin", "QPushButton", 16, 8, 113, 25, "upload EEPROM"},
      {"ScrollBar1", "QScrollBar", 16, 72, 425, 17, nullptr},
      {"RAMbin", "QPushButton", 160, 8, 105, 25, "upload RAM"},
      {"ProgressBar1", "QProgressBar", 16, 40, 425, 17, nullptr},
      {"CMD1_4", "QPushButton", 16, 144, 73, 25, "0.13...0,8 MHz"},
      {"CMD2_8", "QPushButton", 104, 144, 73, 25, "0,4...1,6 MHz"},
      {"Cmd4_16", "QPushButton", 192, 144, 73, 25, "0,8...3,2 MHz"},
      {"Cmd10_40", "QPushButton", 280, 144, 73, 25, "2...10 MHz"},
      {"Cmd25_100", "QPushButton", 368, 144, 73, 25, "4...20 MHz"},
      {"ScrollBar2", "QScrollBar", 128, 192, 169, 17, nullptr},
      {"Cmdhigh", "QPushButton", 368, 192, 73, 25, "10...30 MHz"},
      {"Mux0", "QPushButton", 24, 312, 41, 25, "In1"},
      {"Mux1", "QPushButton", 80, 312, 41, 25, "In2"},
      {"Mux2", "QPushButton", 136, 312, 33, 25, "In3"},
      {"db10", "QPushButton", 336, 344, 41, 25, "-10 dB"},
      {"db20", "QPushButton", 384, 344, 41, 25, "-20 dB"},
      {"db0", "QPushButton", 288, 344, 33, 25, "0 dB"},
      {"Mux3", "QPushButton", 184, 312, 33, 25, "In4"},
      {"ScrollBar3", "QScrollBar", 128, 224, 169, 17, nullptr},
      {"Mux4", "QPushButton", 24, 344, 41, 25, "In5"},
      {"Mux5", "QPushButton", 80, 344, 41, 25, "In6"},
      {"Mux6", "QPushButton", 136, 344, 33, 25, "In7"},
      {"Mux7", "QPushButton", 184, 344, 33, 25, "In8"},
      {"ScrollBar4", "QScrollBar", 24, 272, 409, 17, nullptr},
      {"Edit1", "QLineEdit", 288, 304, 65, 21, nullptr},
  };
  std::set<int> stretches;
  for (const auto& row : rows) {
    QWidget* widget = w.Find(row.name);
    ASSERT_NE(widget, nullptr);
    EXPECT_TRUE(widget->inherits(row.kind)) << row.name;
    const QRect at = OnScreen(form, row.left, row.top, row.width, row.height);
    EXPECT_EQ(widget->pos(), at.topLeft()) << row.name;
    if (row.width != 0) {
      EXPECT_EQ(widget->size(), at.size()) << row.name;
    }
    if (auto* button = qobject_cast<QPushButton*>(widget)) {
      EXPECT_EQ(button->text(), row.caption) << row.name;
      // The caption fits the button, whatever font the platform gave it.
      EXPECT_LE(button->fontMetrics().horizontalAdvance(button->text()), button->width() - 4)
          << row.name;
      stretches.insert(button->font().stretch());
    }
    if (auto* label = qobject_cast<QLabel*>(widget)) {
      if (row.caption != nullptr) {
        EXPECT_EQ(label->text(), row.caption) << row.name;
      }
      EXPECT_GE(label->width(), label->sizeHint().width()) << row.name << " shows all its text";
    }
  }
  // Captions set condensed to fit all share one condensed font, no narrower than 70 %.
  stretches.erase(QFont::AnyStretch);
  stretches.erase(QFont::Unstretched);
  EXPECT_LE(stretches.size(), 1u);
  if (!stretches.empty()) {
    EXPECT_GE(*stretches.begin(), 70);
  }
  EXPECT_GT(w.Find<QLabel>("Freq")->font().pointSize(),
            w.Find<QLabel>("Label1")->font().pointSize());
  EXPECT_EQ(w.Find<QLabel>("Label1")->font().pointSize(), 8);

  // The layout's empty label, created between LabelFmax and Offset.
  std::vector<QString> created;
  QLabel* unnamed = nullptr;
  for (QObject* child : form.children()) {
    if (!child->isWidgetType()) continue;
    created.push_back(child->objectName());
    if (child->objectName().isEmpty()) unnamed = qobject_cast<QLabel*>(child);
  }
  const std::vector<QString> expectedOrder = {
      "Freq",       "LabelFmin",  "LabelFmax",    "",           "Offset", "Label1",  "Label2",
      "Label3",     "Label4",     "Label5",       "Label6",     "Label7", "Xtal",    "FlashBin",
      "ScrollBar1", "RAMbin",     "ProgressBar1", "CMD1_4",     "CMD2_8", "Cmd4_16", "Cmd10_40",
      "Cmd25_100",  "ScrollBar2", "Cmdhigh",      "Mux0",       "Mux1",   "Mux2",    "db10",
      "db20",       "db0",        "Mux3",         "ScrollBar3", "Mux4",   "Mux5",    "Mux6",
      "Mux7",       "ScrollBar4", "Edit1"};
  EXPECT_EQ(created, expectedOrder);
  ASSERT_NE(unnamed, nullptr);
  EXPECT_EQ(unnamed->geometry(), OnScreen(form, 152, 136, 3, 13));
  EXPECT_TRUE(unnamed->text().isEmpty());

  // Tab order: the chain from FlashBin visits the controls in the layout's order.
  const std::vector<QString> tabOrder = {
      "FlashBin", "ScrollBar1", "RAMbin",     "ProgressBar1", "CMD1_4",     "CMD2_8", "Cmd4_16",
      "Cmd10_40", "Cmd25_100",  "ScrollBar2", "Cmdhigh",      "Mux0",       "Mux1",   "Mux2",
      "db10",     "db20",       "db0",        "Mux3",         "ScrollBar3", "Mux4",   "Mux5",
      "Mux6",     "Mux7",       "ScrollBar4", "Edit1"};
  std::vector<QString> chain;
  QWidget* first = w.Find("FlashBin");
  QWidget* at = first;
  do {
    if (std::find(tabOrder.begin(), tabOrder.end(), at->objectName()) != tabOrder.end())
      chain.push_back(at->objectName());
    at = at->nextInFocusChain();
  } while (at != first && chain.size() < 100);
  EXPECT_EQ(chain, tabOrder);

  // Scroll bars: line step 1, page step 1 at load (the tuning bar's comes from its band),
  // and they take the focus by Tab and by click.
  const struct {
    const char* name;
    int min, max, position;
  } bars[] = {{"ScrollBar1", 400, 2000, 1212},
              {"ScrollBar2", -20, 20, 15},
              {"ScrollBar3", 0, 255, 127},
              {"ScrollBar4", 0, 255, 77}};
  for (const auto& bar : bars) {
    QScrollBar* b = w.Bar(bar.name);
    EXPECT_EQ(b->orientation(), Qt::Horizontal);
    EXPECT_EQ(b->minimum(), bar.min) << bar.name;
    EXPECT_EQ(b->maximum(), bar.max) << bar.name;
    EXPECT_EQ(b->value(), bar.position) << bar.name;
    EXPECT_EQ(b->singleStep(), 1) << bar.name;
    EXPECT_EQ(b->pageStep(), 1) << bar.name;
    EXPECT_EQ(b->focusPolicy(), Qt::StrongFocus) << bar.name;
  }
  auto* progress = w.Find<QProgressBar>("ProgressBar1");
  EXPECT_EQ(progress->minimum(), 0);
  EXPECT_EQ(progress->maximum(), 256);
  EXPECT_EQ(progress->value(), 0);
}

// Every control that shows something is inside the window and on its screen, its caption
// whole, and clear of the others.
void ExpectEveryControlShownWhole(const QWidget& form) {
  std::vector<const QWidget*> shown;
  for (const QWidget* c : form.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    const auto* label = qobject_cast<const QLabel*>(c);
    if (label == nullptr || !label->text().isEmpty()) shown.push_back(c);
  }
  ASSERT_EQ(shown.size(), 37u);
  for (std::size_t i = 0; i < shown.size(); ++i) {
    const QWidget& c = *shown[i];
    const std::string name = c.objectName().toStdString();
    EXPECT_TRUE(form.rect().contains(c.geometry())) << name << " cut by the window's edge";
    const QRect onScreen(form.mapToGlobal(c.pos()), c.size());
    EXPECT_TRUE(form.screen()->availableGeometry().contains(onScreen)) << name << " off the screen";
    if (const auto* button = qobject_cast<const QPushButton*>(&c)) {
      EXPECT_LE(button->fontMetrics().horizontalAdvance(button->text()), button->width() - 6)
          << name << "'s caption clipped";
    }
    for (std::size_t j = i + 1; j < shown.size(); ++j)
      EXPECT_FALSE(c.geometry().intersects(shown[j]->geometry()))
          << name << " over " << shown[j]->objectName().toStdString();
  }
}

// What the user sees with the longest texts of every band, at whatever DPI the screen reports
// and on whatever screen: every control inside the window and on the screen, every caption
// whole, and no two controls that show something over each other (the row "1 kHz" ... "10 kHz"
// just above the band buttons, the frequency between its limits).
TEST(WindowLayout, EveryControlInsideTheWindowAndClearOfTheOthersInEveryBand) {
  WindowRig w;
  w.Key("ScrollBar2", Qt::Key_Home);  // offset "-20"
  for (const char* band : {"CMD1_4", "CMD2_8", "Cmd4_16", "Cmd10_40", "Cmd25_100", "Cmdhigh"}) {
    SCOPED_TRACE(band);
    w.Click(band);
    w.Key("ScrollBar1", Qt::Key_End);  // the band's highest frequency, its longest text
    ExpectEveryControlShownWhole(*w.form);
  }
  EXPECT_EQ(w.Text("LabelFmax"), "30 MHz");
  EXPECT_TRUE(w.rig.reporter.boxes.empty());
}

// The upload's file dialog fits on the screen: its name box, Open and Cancel at the bottom are
// on it (on a small screen, or one the toolkit scales up).
TEST(WindowLayout, FileDialogOnTheScreen) {
  port::SimulatedDriver driver;
  port::RecordingReporter reporter;
  receiver::RecordingSleeper sleeper;
  ui::Panel panel(driver, reporter, sleeper, kTitle);
  panel.Form().show();
  std::vector<std::pair<std::string, QRect>> parts;  // on the screen
  QTimer user;
  user.setInterval(5);
  QObject::connect(&user, &QTimer::timeout, [&] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return;
    const auto* buttons = dialog->findChild<QDialogButtonBox*>();
    for (const QWidget* part :
         {static_cast<const QWidget*>(dialog->findChild<QLineEdit*>("fileNameEdit")),
          static_cast<const QWidget*>(buttons->button(QDialogButtonBox::Open)),
          static_cast<const QWidget*>(buttons->button(QDialogButtonBox::Cancel))})
      parts.emplace_back(
          part->objectName().toStdString() + " " + part->property("text").toString().toStdString(),
          QRect(part->mapToGlobal(QPoint(0, 0)), part->size()));
    dialog->reject();
  });
  user.start();
  QTest::mouseClick(FindIn<QPushButton>(panel.Form(), "RAMbin"), Qt::LeftButton);
  ASSERT_EQ(parts.size(), 3u);
  const QRect area = panel.Form().screen()->availableGeometry();
  for (const auto& [name, at] : parts) EXPECT_TRUE(area.contains(at)) << name << " off the screen";
}

// The panel, not shown yet, on the two screens of screens-small-and-large.json (CTest runs these
// tests with them; skipped without).
class TwoScreens : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const QScreen* screen : QGuiApplication::screens())
      if (screen->name() == "small" || screen->name() == "large")
        screens[screen->name() == "large"] = screen;
    if (screens[0] == nullptr || screens[1] == nullptr)
      GTEST_SKIP() << "needs the two screens of screens-small-and-large.json";
    panel = std::make_unique<ui::Panel>(driver, reporter, sleeper, kTitle);
  }

  std::array<const QScreen*, 2> screens{};  // the small one, the large one
  port::SimulatedDriver driver;
  port::RecordingReporter reporter;
  receiver::RecordingSleeper sleeper;
  std::unique_ptr<ui::Panel> panel;
};

// The dialog opens at its own size again on a screen that holds it, after a small screen (a
// laptop's, the panel moved there and back) made it smaller; and at the size the user gave it,
// once given, wherever the screen holds that.
TEST_F(TwoScreens, FileDialogOpensAtItsOwnSizeWhereTheScreenHoldsIt) {
  panel->Form().show();

  QSize opened, userGives;
  QTimer user;
  user.setInterval(5);
  QObject::connect(&user, &QTimer::timeout, [&] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return;
    opened = dialog->size();
    if (!userGives.isEmpty()) dialog->resize(userGives);
    dialog->reject();
  });
  user.start();
  const QSize given(1000, 700);
  struct Step {
    int screen;       // 0: the small one, 1: the large one
    QSize userGives;  // while the dialog is open, when not empty
    bool usersOwn;    // expected to open at the size the user gave, else at its own
  };
  const Step steps[] = {
      {1, {}, false},    {0, {}, false}, {1, {}, false},
      {1, given, false}, {0, {}, true},  {1, {}, true},
  };
  QSize own;  // as it first opened on the large screen
  for (const Step& step : steps) {
    const QScreen* screen = screens[step.screen];
    const std::string name = screen->name().toStdString();
    panel->Form().move(screen->availableGeometry().topLeft() + QPoint(20, 20));
    QCoreApplication::processEvents();
    ASSERT_EQ(panel->Form().screen(), screen) << "the panel did not move to the " << name;
    userGives = step.userGives;
    opened = {};
    QTest::mouseClick(FindIn<QPushButton>(panel->Form(), "RAMbin"), Qt::LeftButton);
    ASSERT_FALSE(opened.isEmpty()) << "no dialog on the " << name;
    if (own.isEmpty()) own = opened;
    const QSize room = ui::WindowRoom(screen->availableGeometry());
    EXPECT_EQ(opened, (step.usersOwn ? given : own).boundedTo(room)) << "on the " << name;
  }
  const QSize smallRoom = ui::WindowRoom(screens[0]->availableGeometry());
  EXPECT_TRUE(own.width() > smallRoom.width() || own.height() > smallRoom.height())
      << "the small screen holds the dialog's own size: the test proves nothing";
  EXPECT_TRUE(reporter.boxes.empty());
}

TEST(WindowStart, ShowsTheStartBandAndSendsTheClockThenTheLevelBurst) {
  WindowRig w;
  EXPECT_EQ(w.Text("Freq"), "6075 kHz");
  EXPECT_EQ(w.Text("LabelFmin"), "2 MHz");
  EXPECT_EQ(w.Text("LabelFmax"), "10 MHz");
  EXPECT_EQ(w.Text("Offset"), "15");
  EXPECT_EQ(w.Text("Edit1"), "77");
  const std::vector<Burst> expected = {
      {TuningMessage(0xD2, 0x5A, 0x30), DividerMessage(0x0A), {0xD2, 0x13, 0x7F}},
      {{0x90, 0x40, 0x4D}}};
  EXPECT_EQ(w.Bursts(), expected);
  EXPECT_TRUE(w.rig.reporter.boxes.empty());
  // The label grew with the larger text.
  EXPECT_GE(w.Find<QLabel>("Freq")->width(), w.Find<QLabel>("Freq")->sizeHint().width());
}

// Everything a user can see or reach of the window's controls, one line each, in creation
// order, then the tab chain.
QStringList DescribeControls(const QWidget& form) {
  QStringList lines;
  for (const QWidget* c : form.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    QString line = QStringLiteral("%1 %2 %3,%4 %5x%6 font=%7 name=%8 desc=%9")
                       .arg(QString::fromLatin1(c->metaObject()->className()), c->objectName())
                       .arg(c->x())
                       .arg(c->y())
                       .arg(c->width())
                       .arg(c->height())
                       .arg(c->font().toString(), c->accessibleName(), c->accessibleDescription());
    if (auto* label = qobject_cast<const QLabel*>(c)) line += " text=" + label->text();
    if (auto* button = qobject_cast<const QAbstractButton*>(c)) line += " text=" + button->text();
    if (auto* edit = qobject_cast<const QLineEdit*>(c)) line += " text=" + edit->text();
    if (auto* bar = qobject_cast<const QAbstractSlider*>(c))
      line += QStringLiteral(" %1..%2 at %3 page %4")
                  .arg(bar->minimum())
                  .arg(bar->maximum())
                  .arg(bar->value())
                  .arg(bar->pageStep());
    lines << line;
  }
  const QWidget* first = form.findChild<QWidget*>(QStringLiteral("FlashBin"));
  const QWidget* at = first;
  for (int i = 0; at != nullptr && i < 60; ++i, at = at->nextInFocusChain()) {
    if (i > 0 && at == first) break;
    lines << "tab " + at->objectName();
  }
  return lines;
}

// The panel moved onto a screen too small for the scale it opened at (a laptop's beside a large
// monitor, the desktop's DPI left to the program) is scaled for that screen: every control on
// it and whole. Moved back, it is as it opened. CTest runs it at 96 and at 144 dpi.
TEST_F(TwoScreens, ThePanelIsScaledForTheScreenItIsOn) {
  ui::TForm1& form = panel->Form();
  form.move(screens[1]->availableGeometry().topLeft() + QPoint(20, 20));
  form.show();
  QCoreApplication::processEvents();
  ASSERT_EQ(form.screen(), screens[1]);
  const QStringList opened = DescribeControls(form);
  const QSize openedSize = form.size();
  const double openedTextPt = FindIn<QPushButton>(form, "Mux0")->font().pointSizeF();

  // The window is laid out for a screen once it has stayed there a moment. The user holds the
  // tuning bar's thumb meanwhile: laid out anew under the pointer, the bar must not tune.
  constexpr int kSettleMs = 400;
  auto* tuning = FindIn<QScrollBar>(form, "ScrollBar1");
  const QPoint held = tuning->mapToGlobal(ThumbRect(tuning).center());
  QTest::mousePress(tuning, Qt::LeftButton, {}, tuning->mapFromGlobal(held));
  const std::size_t writes = driver.Writes().size();
  const QString frequency = FindIn<QLabel>(form, "Freq")->text();
  form.move(screens[0]->availableGeometry().topLeft() + QPoint(20, 20));
  QTest::qWait(kSettleMs);
  ASSERT_EQ(form.screen(), screens[0]);
  QTest::mouseMove(tuning, tuning->mapFromGlobal(held) + QPoint(1, 0));
  QTest::mouseRelease(tuning, Qt::LeftButton, {}, tuning->mapFromGlobal(held) + QPoint(1, 0));
  EXPECT_EQ(driver.Writes().size(), writes) << "the held bar tuned when laid out anew";
  EXPECT_EQ(FindIn<QLabel>(form, "Freq")->text(), frequency);
  {
    SCOPED_TRACE("on the small screen");
    ExpectEveryControlShownWhole(form);
  }
  const QWidget* lowest = FindIn<QPushButton>(form, "Mux7");
  EXPECT_LE(lowest->mapToGlobal(lowest->rect().bottomLeft()).y(),
            screens[0]->availableGeometry().bottom());
  if (openedSize.height() * 369 / 416 > ui::WindowRoom(screens[0]->availableGeometry()).height()) {
    EXPECT_LT(FindIn<QPushButton>(form, "Mux0")->font().pointSizeF(), openedTextPt)
        << "the text did not shrink with the controls";
  }

  form.move(screens[1]->availableGeometry().topLeft() + QPoint(40, 40));
  QTest::qWait(kSettleMs);
  ASSERT_EQ(form.screen(), screens[1]);
  EXPECT_EQ(form.size(), openedSize);
  EXPECT_EQ(DescribeControls(form), opened);
  EXPECT_TRUE(reporter.boxes.empty());
}

// The programs' own pauses, recording for each how long it lasted and whether the window's
// controls were there at its start and by its end (in a window made after this sleeper).
class WatchedWindowSleeper : public ui::WindowSleeper {
 public:
  struct Pause {
    int ms;
    std::chrono::steady_clock::duration lasted;
    bool builtBefore, builtAfter;
  };
  void SleepMs(int ms) override {
    const bool before = ControlsBuilt();
    const auto start = std::chrono::steady_clock::now();
    ui::WindowSleeper::SleepMs(ms);
    pauses.push_back({ms, std::chrono::steady_clock::now() - start, before, ControlsBuilt()});
  }
  std::vector<Pause> pauses;

 private:
  bool ControlsBuilt() const {
    for (const QWidget* top : QApplication::topLevelWidgets())
      if (!older_.contains(top) && top->findChild<QScrollBar*>(QStringLiteral("ScrollBar1")))
        return true;
    return false;
  }
  const QWidgetList older_ = QApplication::topLevelWidgets();
};

TEST(WindowStart, BuiltDuringTheStartUpPauseItIsTheSameWindowAndTheSameBursts) {
  // As the programs build it (ui::Panel with the window's own pauses): the controls are made
  // in the 10 ms FormCreate waits before its clock burst goes out.
  port::SimulatedDriver driver;
  port::RecordingReporter reporter;
  WatchedWindowSleeper pauses;
  ui::Panel panel(driver, reporter, pauses, kTitle);
  ui::TForm1& form = panel.Form();
  // Built after FormCreate, as with any other pauses. The tests above hold both to the
  // layout's fixed places, captions and start values.
  WindowRig after;

  ASSERT_EQ(pauses.pauses.size(), 1u);
  EXPECT_EQ(pauses.pauses[0].ms, 10);
  EXPECT_FALSE(pauses.pauses[0].builtBefore);
  EXPECT_TRUE(pauses.pauses[0].builtAfter);
  EXPECT_EQ(driver.Writes(), after.rig.driver.Writes());
  EXPECT_TRUE(reporter.boxes.empty());
  ShowActive(form);
  EXPECT_EQ(DescribeControls(form), DescribeControls(*after.form));
  EXPECT_EQ(TextIn(form, "Freq"), "6075 kHz");
  EXPECT_EQ(TextIn(form, "Edit1"), "77") << "set by FormCreate after the pause";

  // The window works as the other; the next pause only pauses.
  const std::size_t writes = driver.Writes().size();
  KeyOn(FindIn<QScrollBar>(form, "ScrollBar1"), Qt::Key_Right);
  EXPECT_EQ(TextIn(form, "Freq"), "6080 kHz");
  ASSERT_EQ(pauses.pauses.size(), 2u);
  EXPECT_EQ(driver.Writes().size(), writes + 1);
}

TEST(WindowStart, WorkDoneDuringAPauseLeavesItsLengthAndIsDoneOnce) {
  ui::WindowSleeper pauses;
  int done = 0;
  auto pause = [&pauses](int ms) {
    const auto start = std::chrono::steady_clock::now();
    pauses.SleepMs(ms);
    return std::chrono::steady_clock::now() - start;
  };
  pauses.DuringNextSleep([&done] { ++done; });
  EXPECT_GE(pause(10), std::chrono::milliseconds(10)) << "quick work, the pause still lasts";
  EXPECT_EQ(done, 1);
  pause(1);
  EXPECT_EQ(done, 1) << "once only";
  std::chrono::steady_clock::duration worked{};
  pauses.DuringNextSleep([&worked] {
    const auto start = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    worked = std::chrono::steady_clock::now() - start;
  });
  const auto lasted = pause(10);
  EXPECT_GE(lasted, worked) << "as long as the work";
  EXPECT_LT(lasted - worked, std::chrono::milliseconds(10)) << "not the work, then the pause";
  pauses.DuringNextSleep([&done] { ++done; });
  pauses.DuringNextSleep(nullptr);
  pause(1);
  EXPECT_EQ(done, 1) << "taken back";
}

TEST(WindowBands, EachBandButtonFromTheStartPosition) {
  const struct {
    const char* button;
    const char* fmin;
    const char* fmax;
    int min, max, page;
    std::uint8_t divider;
    const char* freq;
    std::vector<Bytes> firstTuning;  // register 0x40 messages of the clock bursts, in order
    int levelBursts;
  } rows[] = {
      {"CMD1_4",
       "0.13 MHz",
       "0,8 MHz",
       260,
       1600,
       2,
       100,
       "621 kHz",
       {TuningMessage(0xD2, 0x5A, 0x30)},
       0},
      {"CMD2_8",
       "0.4 MHz",
       "1,6 MHz",
       400,
       1600,
       9,
       50,
       "1227 kHz",
       {TuningMessage(0xD2, 0x5A, 0x30)},
       0},
      {"Cmd4_16",
       "0,8 MHz",
       "3,2 MHz",
       400,
       1600,
       1,
       25,
       "2439 kHz",
       {TuningMessage(0xD2, 0x5A, 0x30)},
       0},
      // The level is already the one this band's tracking gives: nothing more is sent.
      {"Cmd10_40",
       "2 MHz",
       "10 MHz",
       400,
       2000,
       1,
       10,
       "6075 kHz",
       {TuningMessage(0xD2, 0x5A, 0x30)},
       0},
      // 12120 kHz: the level follows the band to 212.
      {"Cmd25_100",
       "4 MHz",
       "20 MHz",
       400,
       2000,
       1,
       5,
       "12135 kHz",
       {TuningMessage(0xD2, 0x5A, 0x30)},
       1},
      // 1212 is above the band's maximum: the position moves to 1200 and re-tunes, both
      // bursts already with the high band's 0x17 base; 30000 kHz sets the level to 255.
      {"Cmdhigh",
       "10 MHz",
       "30 MHz",
       400,
       1200,
       1,
       4,
       "30015 kHz",
       {TuningMessage(0xD2, 0x5A, 0x17), TuningMessage(0xD2, 0x54, 0x17)},
       1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.button);
    WindowRig w;
    w.Forget();
    w.Click(row.button);
    EXPECT_EQ(w.Text("LabelFmin"), row.fmin);
    EXPECT_EQ(w.Text("LabelFmax"), row.fmax);
    EXPECT_EQ(w.Text("Freq"), row.freq);
    QScrollBar* tuning = w.Bar("ScrollBar1");
    EXPECT_EQ(tuning->minimum(), row.min);
    EXPECT_EQ(tuning->maximum(), row.max);
    EXPECT_EQ(tuning->pageStep(), row.page);
    const std::vector<Burst> clock = w.ClockBursts();
    ASSERT_EQ(clock.size(), row.firstTuning.size());
    for (std::size_t i = 0; i < clock.size(); ++i) {
      ASSERT_EQ(clock[i].size(), 3u);
      EXPECT_EQ(clock[i][0], row.firstTuning[i]);
      EXPECT_EQ(clock[i][1], DividerMessage(row.divider));
    }
    EXPECT_EQ(w.Bursts().size(), clock.size() + static_cast<std::size_t>(row.levelBursts));
    EXPECT_TRUE(w.rig.reporter.boxes.empty());
  }
}

TEST(WindowBands, RangeChangeThatMovesThePositionRetunesInTheSameClick) {
  // From 2000 (End in "2...10 MHz"), "0,4...1,6 MHz": N 2000 first, then the maximum 1600
  // clamps the position and the change re-tunes.
  {
    WindowRig w;
    w.Key("ScrollBar1", Qt::Key_End);
    ASSERT_EQ(w.Bar("ScrollBar1")->value(), 2000);
    w.Forget();
    w.Click("CMD2_8");
    const std::vector<Burst> expected = {
        {TuningMessage(0xD3, 0xE4, 0x30), DividerMessage(50), {0xD2, 0x13, 0x7F}},
        {TuningMessage(0xD3, 0x1C, 0x30), DividerMessage(50), {0xD2, 0x13, 0x7F}}};
    EXPECT_EQ(w.Bursts(), expected);
    EXPECT_EQ(w.Text("Freq"), "1615 kHz");
    EXPECT_EQ(w.Bar("ScrollBar1")->value(), 1600);
  }
  // From 300 in "0.13...0,8 MHz", "0,4...1,6 MHz" moves the position up to the new minimum.
  {
    WindowRig w;
    w.Click("CMD1_4");
    w.Bar("ScrollBar1")->setValue(300);  // as a dragged thumb would
    w.Forget();
    w.Click("CMD2_8");
    const std::vector<Burst> clock = w.ClockBursts();
    ASSERT_EQ(clock.size(), 2u);
    EXPECT_EQ(clock[0][0], TuningMessage(0xC4, 0x92, 0x30));  // N = 300
    EXPECT_EQ(clock[1][0], TuningMessage(0xC4, 0xC4, 0x30));  // N = 400
    EXPECT_EQ(w.Text("Freq"), "415 kHz");
  }
}

TEST(WindowBands, LeavingTheHighBandSendsTheNormalBaseAtOnce) {
  WindowRig w;
  w.Click("Cmdhigh");
  w.Forget();
  w.Click("Cmd25_100");
  const std::vector<Burst> clock = w.ClockBursts();
  ASSERT_EQ(clock.size(), 1u);
  EXPECT_EQ(clock[0][0], TuningMessage(0xD2, 0x54, 0x30));
  EXPECT_EQ(clock[0][1], DividerMessage(5));
  EXPECT_EQ(w.Text("Freq"), "12015 kHz");
  EXPECT_EQ(w.Text("LabelFmin"), "4 MHz");
}

TEST(WindowScrollBars, CodeSetsClampAndNotifyOnceAndTheBarFollows) {
  WindowRig w;
  w.Click("CMD1_4");
  w.Bar("ScrollBar1")->setValue(300);
  w.Forget();
  w.form->Dispatch([&] { w.rig.controls.ScrollBar1.SetMin(400); });
  EXPECT_EQ(w.ClockBursts().size(), 1u);
  EXPECT_EQ(w.Bar("ScrollBar1")->minimum(), 400);
  EXPECT_EQ(w.Bar("ScrollBar1")->value(), 400);
  w.Forget();
  w.form->Dispatch([&] { w.rig.controls.ScrollBar1.SetMin(400); });
  EXPECT_TRUE(w.rig.driver.Calls().empty());
}

TEST(WindowScrollBars, RefusedRangeChangesNothingAndShowsTheGermanText) {
  WindowRig w;
  w.Forget();
  w.form->Dispatch([&] { w.rig.controls.ScrollBar1.SetMax(100); });  // below the minimum 400
  const std::vector<port::RecordingReporter::Box> expected = {
      {kTitle, "Eigenschaft Scrollbar außerhalb des zulässigen Bereichs."}};
  EXPECT_EQ(w.rig.reporter.boxes, expected);
  QScrollBar* tuning = w.Bar("ScrollBar1");
  EXPECT_EQ(tuning->minimum(), 400);
  EXPECT_EQ(tuning->maximum(), 2000);
  EXPECT_EQ(tuning->value(), 1212);
  EXPECT_TRUE(w.rig.driver.Calls().empty());
}

TEST(WindowScrollBars, KeysOnTheFocusedTuningBar) {
  // "0,4...1,6 MHz" has page step 9, so line and page moves differ.
  const struct {
    Qt::Key key;
    int position;
  } rows[] = {{Qt::Key_Right, 1213}, {Qt::Key_Left, 1211},     {Qt::Key_Down, 1213},
              {Qt::Key_Up, 1211},    {Qt::Key_PageDown, 1221}, {Qt::Key_PageUp, 1203},
              {Qt::Key_End, 1600},   {Qt::Key_Home, 400}};
  WindowRig w;
  w.Click("CMD2_8");
  QScrollBar* tuning = w.Bar("ScrollBar1");
  tuning->setFocus();
  ASSERT_TRUE(tuning->hasFocus());
  for (const auto& row : rows) {
    w.form->Dispatch([&] { w.rig.controls.ScrollBar1.SetPosition(1212); });
    w.Forget();
    QTest::keyClick(tuning, row.key);
    EXPECT_EQ(tuning->value(), row.position) << "key " << row.key;
    EXPECT_EQ(w.rig.rx.TuningPosition(), row.position);
    EXPECT_EQ(w.ClockBursts().size(), 1u) << "one change per key";
  }
}

TEST(WindowScrollBars, EndOnTheFocusedTuningBarTunesToTheBandMaximumOnce) {
  WindowRig w;
  // Tab from the first control reaches the tuning bar.
  w.Find("FlashBin")->setFocus();
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  ASSERT_EQ(QApplication::focusWidget(), w.Bar("ScrollBar1"));
  w.Forget();
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_End);
  const std::vector<Burst> clock = w.ClockBursts();
  ASSERT_EQ(clock.size(), 1u);
  EXPECT_EQ(clock[0][0], TuningMessage(0xD3, 0xE4, 0x30));  // N = 2000
  EXPECT_EQ(w.Text("Freq"), "10015 kHz");
  w.Forget();
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_End);  // already there
  EXPECT_TRUE(w.rig.driver.Calls().empty());
}

TEST(WindowScrollBars, DraggingTunesAtEveryThumbPosition) {
  WindowRig w;
  QScrollBar* tuning = w.Bar("ScrollBar1");
  w.Forget();
  tuning->setSliderDown(true);
  for (int n : {1300, 1301, 1305}) tuning->setSliderPosition(n);
  tuning->setSliderDown(false);  // the release at the last position changes nothing more
  const std::vector<Burst> clock = w.ClockBursts();
  ASSERT_EQ(clock.size(), 3u);
  EXPECT_EQ(clock[0][0], TuningMessage(0xD2, 0x86, 0x30));  // 1300
  EXPECT_EQ(clock[1][0], TuningMessage(0xD2, 0x86, 0xB0));  // 1301: odd bit
  EXPECT_EQ(clock[2][0], TuningMessage(0xD2, 0x88, 0xB0));  // 1305
  EXPECT_EQ(w.rig.controls.ScrollBar1.Position(), 1305);
}

TEST(WindowScrollBars, TroughClickAndWheelMoveThePosition) {
  WindowRig w;
  w.Click("CMD2_8");  // page step 9
  QScrollBar* tuning = w.Bar("ScrollBar1");
  w.Forget();
  // The trough right of the thumb (1212 of 400 ... 1600 is two thirds along).
  QTest::mouseClick(tuning, Qt::LeftButton, {}, QPoint(tuning->width() - 40, 8));
  EXPECT_EQ(tuning->value(), 1221);
  EXPECT_EQ(w.rig.rx.TuningPosition(), 1221);

  // The wheel away from the user and a sideways gesture to the right raise the position; each
  // notch is one change (three lines). A touchpad swipe comes as many small steps, never quite
  // level: it moves the way it mainly goes, as far as the same swipe made level would.
  const struct {
    QPoint angle;
    int events;
    int moved;
    std::size_t bursts;
  } rows[] = {{{0, 120}, 1, +3, 1},   {{0, -120}, 1, -3, 1}, {{-120, 0}, 1, +3, 1},
              {{120, 0}, 1, -3, 1},   {{-15, 0}, 16, +6, 6}, {{-15, 2}, 16, +6, 6},
              {{-15, -1}, 16, +6, 6}, {{15, 2}, 16, -6, 6},  {{2, 15}, 16, +6, 6},
              {{-2, -15}, 16, -6, 6}};
  const QPoint at(tuning->width() / 2, 8);
  for (const auto& row : rows) {
    SCOPED_TRACE(::testing::Message()
                 << row.events << " x " << row.angle.x() << "," << row.angle.y());
    const int before = tuning->value();
    w.Forget();
    for (int i = 0; i < row.events; ++i) {
      QWheelEvent wheel(QPointF(at), QPointF(tuning->mapToGlobal(at)), QPoint(), row.angle,
                        Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
      QApplication::sendEvent(tuning, &wheel);
    }
    EXPECT_EQ(tuning->value() - before, row.moved);
    EXPECT_EQ(w.rig.rx.TuningPosition(), tuning->value());
    EXPECT_EQ(w.ClockBursts().size(), row.bursts);
  }
}

// A held key on the tuning bar where each step takes longer than the key repeats (a slow USB
// link): the repeats that came in during a step are skipped, so the bar never works off a
// backlog after the key is let go; a fresh press always steps. Repeats that all carry their
// press's time stamp (as Wayland's do) cannot be told apart and each one steps.
TEST(WindowScrollBars, HeldKeySkipsTheRepeatsThatCameDuringAStep) {
  struct SlowSleeper : receiver::Sleeper {
    void SleepMs(int) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
    int ms = 50;
  } slow;
  const struct {
    const char* name;
    quint64 repeatEveryMs;
    int fewest, most;
  } rows[] = {{"repeats stamped 40 ms apart", 40, 2, 11},
              {"repeats with the press's stamp", 0, 20, 20}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    port::SimulatedDriver driver;
    port::RecordingReporter reporter;
    ui::Panel panel(driver, reporter, slow, kTitle);
    QScrollBar* tuning = FindIn<QScrollBar>(panel.Form(), "ScrollBar1");
    const int start = tuning->value();
    driver.ClearCalls();

    // One press, then 19 repeats, delivered as the event loop would once each step is over.
    constexpr quint64 kPressed = 100000;
    for (int i = 0; i < 20; ++i) {
      QKeyEvent right(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier, QString(), i > 0);
      right.setTimestamp(kPressed + row.repeatEveryMs * static_cast<quint64>(i));
      QApplication::sendEvent(tuning, &right);
    }
    const auto writes = driver.Writes();
    const auto steps = static_cast<int>(
        std::count_if(writes.begin(), writes.end(), [](const auto& w) { return w.size() == 317; }));
    EXPECT_GE(steps, row.fewest);
    EXPECT_LE(steps, row.most) << "a repeat that came during a step was not skipped";
    EXPECT_EQ(tuning->value(), start + steps) << "one burst per step";

    QKeyEvent again(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier, QString(), false);
    again.setTimestamp(kPressed + row.repeatEveryMs * 19 + 1);
    QApplication::sendEvent(tuning, &again);
    EXPECT_EQ(tuning->value(), start + steps + 1);
  }

  // The same for a key pressed and held on the bar while another control's operation ran (a
  // band's clock burst here, at least one 200 ms pause; an upload's 3 s alike): delivered after
  // it, the press steps and the repeats that came in during the operation are skipped, also
  // those that came after the press's own step would have ended; the first repeat that came
  // in after the operation steps.
  port::SimulatedDriver driver;
  port::RecordingReporter reporter;
  ui::Panel panel(driver, reporter, slow, kTitle);
  QScrollBar* tuning = FindIn<QScrollBar>(panel.Form(), "ScrollBar1");
  auto* band = FindIn<QPushButton>(panel.Form(), "Cmd25_100");
  constexpr quint64 kClicked = 200000;
  slow.ms = 200;
  for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
    const QPointF at(5, 5);
    QMouseEvent click(type, at, band->mapToGlobal(at), Qt::LeftButton,
                      type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                      Qt::NoModifier);
    click.setTimestamp(kClicked);
    QApplication::sendEvent(band, &click);
  }
  const int afterBand = tuning->value();
  slow.ms = 20;
  for (const quint64 at :
       {kClicked + 10, kClicked + 60, kClicked + 120, kClicked + 180, kClicked + 100000}) {
    QKeyEvent right(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier, QString(),
                    at != kClicked + 10);
    right.setTimestamp(at);
    QApplication::sendEvent(tuning, &right);
  }
  EXPECT_EQ(tuning->value(), afterBand + 2) << "the press and the repeat after the click's bursts";
}

// The desktop switches to dark colours while the panel runs: the background follows the new
// button face and the labels stay readable on it.
TEST(WindowLook, BackgroundFollowsTheDesktopsColours) {
  WindowRig w;
  const QPalette light = QApplication::palette();
  QPalette dark = light;
  dark.setColor(QPalette::Window, QColor(0x2d, 0x2d, 0x2d));
  dark.setColor(QPalette::WindowText, QColor(0xeb, 0xeb, 0xeb));
  dark.setColor(QPalette::Button, QColor(0x3c, 0x3c, 0x3c));
  dark.setColor(QPalette::ButtonText, QColor(0xeb, 0xeb, 0xeb));
  QApplication::setPalette(dark);
  QApplication::processEvents();
  const QPalette shown = w.form->palette();
  const QPalette label = w.Find("Freq")->palette();
  QApplication::setPalette(light);
  QApplication::processEvents();
  EXPECT_EQ(shown.color(QPalette::Window), QColor(0x3c, 0x3c, 0x3c));
  EXPECT_EQ(label.color(QPalette::WindowText), QColor(0xeb, 0xeb, 0xeb));
  EXPECT_EQ(w.form->palette().color(QPalette::Window), light.color(QPalette::Button)) << "and back";
}

TEST(WindowScrollBars, OffsetChangesOnlyTheTexts) {
  WindowRig w;
  w.Forget();
  w.Key("ScrollBar2", Qt::Key_Left);
  EXPECT_EQ(w.Text("Offset"), "14");
  EXPECT_EQ(w.Text("Freq"), "6074 kHz");
  w.Key("ScrollBar2", Qt::Key_Home);
  EXPECT_EQ(w.Text("Offset"), "-20");
  EXPECT_EQ(w.Text("Freq"), "6040 kHz");
  EXPECT_TRUE(w.rig.driver.Calls().empty());
}

TEST(WindowScrollBars, CrystalTrimSendsTheTrimRegister) {
  WindowRig w;
  for (const auto& [key, trim] : {std::pair{Qt::Key_Right, 0x80}, std::pair{Qt::Key_Home, 0x00},
                                  std::pair{Qt::Key_End, 0xFF}}) {
    w.Forget();
    w.Key("ScrollBar3", key);
    const std::vector<Burst> bursts = w.Bursts();
    ASSERT_EQ(bursts.size(), 1u);
    ASSERT_EQ(bursts[0].size(), 3u);
    EXPECT_EQ(bursts[0][0], TuningMessage(0xD2, 0x5A, 0x30));
    EXPECT_EQ(bursts[0][2], Bytes({0xD2, 0x13, static_cast<std::uint8_t>(trim)}));
  }
}

TEST(WindowScrollBars, LevelBarSendsTheLevelAndShowsIt) {
  WindowRig w;
  w.Forget();
  w.Key("ScrollBar4", Qt::Key_Right);
  EXPECT_EQ(w.Text("Edit1"), "78");
  EXPECT_EQ(w.Bursts(), std::vector<Burst>({{{0x90, 0x40, 78}}}));
}

TEST(WindowSelection, InputAndAttenuatorButtonsSetTheirLines) {
  const struct {
    const char* button;
    int bits;  // bits 2-6 of every state of the burst the click sends
  } rows[] = {{"Mux0", 0x00}, {"Mux1", 0x04}, {"Mux2", 0x08}, {"Mux3", 0x0C},
              {"Mux4", 0x10}, {"Mux5", 0x14}, {"Mux6", 0x18}, {"Mux7", 0x1C},
              {"db10", 0x3C}, {"db20", 0x5C}, {"db0", 0x1C}};
  WindowRig w;
  for (const auto& row : rows) {
    w.Forget();
    w.Click(row.button);
    const auto writes = w.rig.driver.Writes();
    ASSERT_EQ(writes.size(), 1u) << row.button;
    for (std::uint8_t state : writes[0]) ASSERT_EQ(state & 0xFC, row.bits) << row.button;
    ASSERT_EQ(w.ClockBursts().size(), 1u) << row.button;
  }

  // After "In8" and "-20 dB" every burst, whatever sends it, carries 0x5C.
  w.Click("Mux7");
  w.Click("db20");
  w.Forget();
  w.Click("CMD1_4");
  w.Key("ScrollBar1", Qt::Key_Right);
  w.Key("ScrollBar3", Qt::Key_Left);
  w.Key("ScrollBar4", Qt::Key_Left);
  const auto writes = w.rig.driver.Writes();
  ASSERT_EQ(writes.size(), 4u);
  for (const auto& burst : writes)
    for (std::uint8_t state : burst) ASSERT_EQ(state & 0xFC, 0x5C);
}

// A focused button is pressed by Space, Return and the keypad's Enter alike; held down, Return
// and Space press it once, whether the repeats come flagged or, as X sends them, each as a
// release and a press with one time stamp, and the rest of the held key reaches nothing the
// press opened (here the level field stands for the upload dialog's name box); pressed afresh,
// the key reaches it again.
TEST(WindowSelection, KeysPressTheFocusedButton) {
  for (const Qt::Key key : {Qt::Key_Space, Qt::Key_Return, Qt::Key_Enter}) {
    WindowRig w;
    auto* in3 = w.Find<QPushButton>("Mux2");
    in3->setFocus();
    w.Forget();
    QTest::keyClick(in3, key);
    const auto writes = w.rig.driver.Writes();
    ASSERT_EQ(writes.size(), 1u) << key;
    for (std::uint8_t state : writes[0]) ASSERT_EQ(state & 0xFC, 0x08) << key;
  }
  for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Space}) {
    for (const bool flagged : {true, false}) {
      WindowRig w;
      auto* in3 = w.Find<QPushButton>("Mux2");
      in3->setFocus();
      w.Forget();
      auto* opened = w.Find<QLineEdit>("Edit1");
      auto send = [&](QWidget* to, QEvent::Type type, quint64 at, bool repeat) {
        QKeyEvent event(type, key, Qt::NoModifier, key == Qt::Key_Space ? " " : "\r", repeat);
        event.setTimestamp(at);
        QApplication::sendEvent(to, &event);
      };
      send(in3, QEvent::KeyPress, 1000, false);
      for (QWidget* to : {static_cast<QWidget*>(in3), static_cast<QWidget*>(opened)}) {
        for (quint64 at = 1660; at < 2500; at += 40) {
          send(to, QEvent::KeyRelease, at, flagged);
          send(to, QEvent::KeyPress, at, flagged);
        }
      }
      EXPECT_EQ(w.rig.driver.Writes().size(), 1u) << key << (flagged ? " flagged" : " as X sends");
      EXPECT_EQ(opened->text().toStdString(), "77");
      // Let go in another program; back, the key presses again, even flagged as a repeat.
      send(in3, QEvent::KeyPress, 9000, true);
      EXPECT_EQ(w.rig.driver.Writes().size(), 2u);
      send(in3, QEvent::KeyRelease, 9050, false);
      send(opened, QEvent::KeyPress, 10000, false);
      if (key == Qt::Key_Space) {
        EXPECT_EQ(opened->text().toStdString(), "77 ");
      }
    }
  }
}

// A scroll bar reached by the keyboard marks its thumb so that it can be seen: some pixel
// differs from the unfocused bar's by a contrast of at least 3:1.
TEST(WindowScrollBars, FocusMarkStandsOut) {
  const auto luminance = [](QRgb rgb) {
    const auto channel = [](int v) {
      const double c = v / 255.0;
      return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(qRed(rgb)) + 0.7152 * channel(qGreen(rgb)) +
           0.0722 * channel(qBlue(rgb));
  };
  WindowRig w;
  for (const char* name : {"ScrollBar1", "ScrollBar2", "ScrollBar3", "ScrollBar4"}) {
    SCOPED_TRACE(name);
    QScrollBar* bar = w.Bar(name);
    w.Find<QPushButton>("FlashBin")->setFocus();
    const QImage plain = bar->grab().toImage();
    for (int tabs = 0; tabs < 30 && !bar->hasFocus(); ++tabs)
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_TRUE(bar->hasFocus());
    const QImage marked = bar->grab().toImage();
    ASSERT_EQ(plain.size(), marked.size());
    double most = 1;
    for (int y = 0; y < plain.height(); ++y)
      for (int x = 0; x < plain.width(); ++x) {
        const double a = luminance(plain.pixel(x, y)), b = luminance(marked.pixel(x, y));
        most = std::max(most, (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05));
      }
    EXPECT_GE(most, 3.0);
  }
}

// The arrow keys on a button go to the nearest button on that side, or nowhere: never onto a
// scroll bar, where a second press of the same arrow would retune the board. So they do with
// Shift, Ctrl or Alt held, or from the keypad with Num Lock on and Shift held.
TEST(WindowSelection, ArrowKeysMoveAmongTheButtonsAndSendNothing) {
  const struct {
    const char* from;
    Qt::Key key;
    const char* to;
    Qt::KeyboardModifiers held = Qt::NoModifier;
  } rows[] = {{"FlashBin", Qt::Key_Right, "RAMbin"},
              {"RAMbin", Qt::Key_Left, "FlashBin"},
              {"FlashBin", Qt::Key_Down, "CMD1_4"},
              {"Cmd25_100", Qt::Key_Down, "Cmdhigh"},
              {"Cmdhigh", Qt::Key_Left, "Cmd10_40"},
              {"Mux0", Qt::Key_Up, "CMD1_4"},
              {"Mux3", Qt::Key_Right, "db0"},
              {"Mux7", Qt::Key_Right, "db0"},
              {"Mux1", Qt::Key_Down, "Mux5"},
              {"Mux4", Qt::Key_Left, "Mux4"},
              {"db20", Qt::Key_Right, "db20"},
              {"FlashBin", Qt::Key_Right, "RAMbin", Qt::ShiftModifier},
              {"RAMbin", Qt::Key_Left, "FlashBin", Qt::ShiftModifier},
              {"Mux7", Qt::Key_Right, "db0", Qt::ControlModifier},
              {"Mux4", Qt::Key_Left, "Mux4", Qt::ControlModifier},
              {"Mux1", Qt::Key_Down, "Mux5", Qt::AltModifier},
              {"db20", Qt::Key_Right, "db20", Qt::ShiftModifier | Qt::KeypadModifier},
              {"Cmdhigh", Qt::Key_Left, "Cmd10_40", Qt::ShiftModifier | Qt::ControlModifier}};
  WindowRig w;
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.from) + " " +
                 QKeySequence(row.key | row.held).toString().toStdString());
    w.Find<QPushButton>(row.from)->setFocus();
    w.Forget();
    QTest::keyClick(QApplication::focusWidget(), row.key, row.held);
    ASSERT_NE(QApplication::focusWidget(), nullptr);
    EXPECT_EQ(QApplication::focusWidget()->objectName().toStdString(), row.to);
    QTest::keyClick(QApplication::focusWidget(), row.key, row.held);
    EXPECT_TRUE(qobject_cast<QPushButton*>(QApplication::focusWidget()) != nullptr);
    EXPECT_TRUE(w.rig.driver.Writes().empty());
  }
}

// A key that pressed a button outside the panel (an error box's OK) and is held presses none
// of the panel's buttons.
TEST(WindowSelection, AKeyHeldOnAnotherButtonPressesNothing) {
  WindowRig w;
  QPushButton ok(QStringLiteral("OK"));
  auto* in3 = w.Find<QPushButton>("Mux2");
  w.Forget();
  QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
  press.setTimestamp(1000);
  QApplication::sendEvent(&ok, &press);
  for (quint64 at = 1660; at < 2000; at += 40) {
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    release.setTimestamp(at);
    repeat.setTimestamp(at);
    QApplication::sendEvent(in3, &release);
    QApplication::sendEvent(in3, &repeat);
  }
  EXPECT_TRUE(w.rig.driver.Writes().empty());
}

class TempImage {
 public:
  explicit TempImage(std::size_t size) {
    path_ = std::filesystem::temp_directory_path() /
            ("quarvel_ui_image_" + std::to_string(::getpid()) + ".bin");
    std::ofstream out(path_, std::ios::binary);
    for (std::size_t i = 0; i < size; ++i) out.put(static_cast<char>((i * 7 + 3) & 0xFF));
  }
  ~TempImage() { std::filesystem::remove(path_); }
  std::string Path() const { return path_.string(); }

 private:
  std::filesystem::path path_;
};

TEST(WindowUpload, UploadButtonsSendSixteenPagesWhileTheBarMoves) {
  TempImage image(256);
  for (const auto& [button, address] :
       {std::pair{"RAMbin", std::uint8_t{0xD2}}, std::pair{"FlashBin", std::uint8_t{0xD0}}}) {
    SCOPED_TRACE(button);
    WindowRig w;
    w.rig.chooser.next = image.Path();
    QSignalSpy progress(w.Find<QProgressBar>("ProgressBar1"), &QProgressBar::valueChanged);
    w.Forget();
    w.Click(button);
    EXPECT_EQ(w.rig.chooser.presets, std::vector<std::string>({"*.bin"}));
    const auto writes = w.rig.driver.Writes();
    ASSERT_EQ(writes.size(), 16u);
    std::vector<int> shown;
    for (int page = 0; page < 16; ++page) {
      EXPECT_EQ(writes[static_cast<std::size_t>(page)].size(), 494u);
      const bus::DecodedBurst decoded = bus::DecodeBurst(writes[static_cast<std::size_t>(page)]);
      EXPECT_TRUE(decoded.ok());
      ASSERT_EQ(decoded.messages.size(), 1u);
      Bytes expected = {address, static_cast<std::uint8_t>(page * 16)};
      for (int i = 0; i < 16; ++i)
        expected.push_back(static_cast<std::uint8_t>(((page * 16 + i) * 7 + 3) & 0xFF));
      EXPECT_EQ(decoded.messages[0].bytes, expected) << "page " << page;
      shown.push_back(page * 16 + 15);
      shown.push_back(0);
    }
    std::vector<int> seen;
    for (const auto& args : progress) seen.push_back(args.at(0).toInt());
    EXPECT_EQ(seen, shown);
    EXPECT_TRUE(w.rig.reporter.boxes.empty());
  }
}

// With the window's own pauses, the pages of an upload reach the board at least the EEPROM's
// write time apart (it takes no page while it writes the one before).
TEST(WindowUpload, PagesReachTheBoardAtLeastAWriteTimeApart) {
  TempImage image(256);
  testing::BasicRig<ui::WindowSleeper> rig;
  ui::TForm1 form(rig.rx, rig.controls, rig.reporter, kTitle);
  ShowActive(form);
  rig.chooser.next = image.Path();
  std::vector<std::chrono::steady_clock::time_point> pages;
  const port::Subscription watch =
      rig.driver.OnBoardWrite([&pages](const std::uint8_t*, std::uint32_t) {
        pages.push_back(std::chrono::steady_clock::now());
      });
  ClickIn(form, "FlashBin");
  ASSERT_EQ(pages.size(), 16u);
  for (std::size_t i = 1; i < pages.size(); ++i) {
    EXPECT_GE(pages[i] - pages[i - 1], std::chrono::milliseconds(receiver::kPagePauseMs))
        << "page " << i;
    EXPECT_LT(pages[i] - pages[i - 1], std::chrono::seconds(2)) << "page " << i;
  }
  EXPECT_TRUE(rig.reporter.boxes.empty());
}

TEST(WindowUpload, CancelSendsNothingAndAFileErrorIsShownWithTheTitle) {
  WindowRig w;
  w.Forget();
  w.rig.chooser.next.reset();  // the user cancels
  w.Click("RAMbin");
  EXPECT_TRUE(w.rig.driver.Calls().empty());
  EXPECT_TRUE(w.rig.reporter.boxes.empty());

  w.rig.chooser.next = "/nonexistent-dir/image.bin";
  w.Click("FlashBin");
  EXPECT_TRUE(w.rig.driver.Calls().empty());
  const std::vector<port::RecordingReporter::Box> expected = {
      {kTitle, "Cannot open \"/nonexistent-dir/image.bin\": Datei nicht gefunden."}};
  EXPECT_EQ(w.rig.reporter.boxes, expected);

  // The window goes on.
  w.Click("Mux1");
  EXPECT_EQ(w.ClockBursts().size(), 1u);
}

// What a screen reader is told at the end of an upload: the pages are out, or some did not
// reach the board (the boxes said why); nothing after a cancel or a file that could not be used.
TEST(WindowUpload, AScreenReaderIsToldHowEachUploadEnded) {
  TempImage image(256);
  WindowRig w;
  const ui::Announcer* announcer = nullptr;
  for (QObject* child : w.form->children())
    if (auto* found = dynamic_cast<ui::Announcer*>(child)) announcer = found;
  ASSERT_NE(announcer, nullptr);
  // The first `failing` page writes of the upload answer an I/O error.
  int failing = 0, writes = 0;
  port::SimulatedDriver& driver = w.rig.driver;
  const port::Subscription failWrites =
      driver.BeforeCall([&failing, &writes, &driver](port::DriverCall call) {
        if (call != port::DriverCall::Write) return;
        driver.SetStatus(call, ++writes <= failing ? 4 : 0);
      });
  const struct {
    const char* button;
    std::optional<std::string> file;  // none: cancelled
    int failing;
    const char* told;  // nothing: ""
  } kCases[] = {
      {"RAMbin", std::nullopt, 0, ""},
      {"RAMbin", image.Path(), 0, "Upload RAM: 16 pages sent"},
      {"FlashBin", "/nonexistent-dir/image.bin", 0, ""},
      {"FlashBin", image.Path(), 16, "Upload EEPROM: not every page reached the board"},
      {"FlashBin", image.Path(), 1, "Upload EEPROM: not every page reached the board"},
      {"FlashBin", image.Path(), 0, "Upload EEPROM: 16 pages sent"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.button) + " " + c.file.value_or("cancelled") + ", " +
                 std::to_string(c.failing) + " pages failing");
    failing = c.failing;
    writes = 0;
    w.rig.chooser.next = c.file;
    w.Forget();
    const std::uint64_t before = announcer->Said();
    w.Click(c.button);
    const bool sent = *c.told != '\0';
    EXPECT_EQ(announcer->Said() - before, sent ? 1u : 0u);
    if (sent) {
      EXPECT_EQ(announcer->Text().toStdString(), c.told);
    }
    std::size_t pages = 0;
    for (const auto& write : w.rig.driver.Writes()) pages += write.size() == 494 ? 1 : 0;
    EXPECT_EQ(pages, sent ? 16u : 0u);
  }
}

TEST(WindowDispatch, ErrorInStartUpIsShownAndTheWindowStillComesUp) {
  WindowRig w(false);
  bool fail = true;
  const port::Subscription failing = w.rig.driver.BeforeCall([&fail](port::DriverCall) {
    if (fail) throw std::runtime_error("E/A-Fehler 5");
  });
  w.Open();
  fail = false;
  const std::vector<port::RecordingReporter::Box> expected = {{kTitle, "E/A-Fehler 5."}};
  EXPECT_EQ(w.rig.reporter.boxes, expected);
  EXPECT_TRUE(w.form->isVisible());
  // The change operations were connected before the start-up: the bars work.
  w.Forget();
  w.Key("ScrollBar1", Qt::Key_Right);
  EXPECT_EQ(w.ClockBursts().size(), 1u);
  EXPECT_EQ(w.Text("Freq"), "6080 kHz");
}

TEST(WindowDispatch, ClosingTheWindowSendsNothing) {
  WindowRig w;
  w.Forget();
  EXPECT_TRUE(w.form->close());
  QCoreApplication::processEvents();
  w.form.reset();
  EXPECT_TRUE(w.rig.driver.Calls().empty());
  EXPECT_TRUE(w.rig.reporter.boxes.empty());
}

TEST(WindowLocale, LocaleChangeRereadsTheSystemSeparator) {
  WindowRig w;
  w.rig.rx.SetDecimalSeparator('#');
  QEvent change(QEvent::LocaleChange);
  QApplication::sendEvent(w.form.get(), &change);
  EXPECT_EQ(w.rig.rx.DecimalSeparator(), ui::DecimalSeparatorOf(QLocale::system()));
}

// Run by CTest under a decimal-comma and a decimal-point locale (LC_ALL), not by discovery.
void ExpectHalfKilohertzText(const char* expectedSeparator, const char* expectedText) {
  ASSERT_EQ(QLocale::system().decimalPoint(), expectedSeparator)
      << "the test runs under the wrong locale";
  WindowRig w;
  w.Click("CMD1_4");
  w.Bar("ScrollBar1")->setValue(261);
  EXPECT_EQ(w.Text("Freq"), expectedText);
}

TEST(SystemLocale, DecimalComma) {
  ExpectHalfKilohertzText(",", "145,5 kHz");
}
TEST(SystemLocale, DecimalPoint) {
  ExpectHalfKilohertzText(".", "145.5 kHz");
}

// A screen reader sets the tuning bar's value (the frequency, kHz) while an operation holds
// the bar's change back (an error box is open): the same value set twice tunes to it once,
// counted from the frequency the panel shows, not from the bar that is already ahead of it.
TEST(WindowScreenReader, TuningValueSetWhileABoxIsOpenTunesToIt) {
  struct SettingReporter : port::ErrorReporter {
    std::function<void()> atFirstBox;
    void ShowError(const std::string&, const std::string&) override {
      if (auto once = std::exchange(atFirstBox, nullptr)) once();
    }
  } reporter;
  port::SimulatedDriver driver;
  receiver::RecordingSleeper sleeper;
  ui::Panel panel(driver, reporter, sleeper, kTitle);
  panel.Form().show();
  auto* bar = FindIn<QScrollBar>(panel.Form(), "ScrollBar1");
  QAccessibleInterface* tuning = QAccessible::queryAccessibleInterface(bar);
  ASSERT_NE(tuning, nullptr);
  ASSERT_NE(tuning->valueInterface(), nullptr);
  ASSERT_EQ(tuning->valueInterface()->currentValue().toDouble(), 6075.0);
  reporter.atFirstBox = [tuning] {
    tuning->valueInterface()->setCurrentValue(6100.0);
    tuning->valueInterface()->setCurrentValue(6100.0);
  };
  driver.SetStatus(port::DriverCall::Close, 4);
  QTest::keyClick(bar, Qt::Key_Right);  // 6080 kHz; its burst's close fails: a box
  driver.SetStatus(port::DriverCall::Close, 0);
  QCoreApplication::processEvents();
  EXPECT_EQ(reporter.atFirstBox, nullptr) << "no box opened";
  EXPECT_EQ(panel.Form().findChild<QLabel*>("Freq")->text(), "6100 kHz");
  EXPECT_EQ(tuning->valueInterface()->currentValue().toDouble(), 6100.0);
}

// A screen reader's increase and decrease actions on the tuning bar step it one position up
// and down: the clock generator gets the next tuning position, then the start one back.
TEST(WindowScreenReader, IncreaseAndDecreaseActionsStepTheTuning) {
  WindowRig w;
  QAccessibleInterface* tuning = QAccessible::queryAccessibleInterface(w.Bar("ScrollBar1"));
  ASSERT_NE(tuning, nullptr);
  ASSERT_NE(tuning->actionInterface(), nullptr);
  QAccessibleActionInterface* actions = tuning->actionInterface();
  std::vector<std::pair<std::string, int>> seen;  // what the panel shows, what the board gets
  for (const QString& action : {actions->increaseAction(), actions->decreaseAction()}) {
    w.Forget();
    actions->doAction(action);
    const auto bursts = w.ClockBursts();
    ASSERT_EQ(bursts.size(), 1u) << action.toStdString();
    seen.emplace_back(w.Text("Freq"), reliability::TuningPositionOnWire(bursts[0].at(0)));
  }
  EXPECT_EQ(seen,
            (std::vector<std::pair<std::string, int>>{{"6080 kHz", 1213}, {"6075 kHz", 1212}}));
}

// Asked to close while an upload's dialog is open (a signal to end: the dialog is modal), the
// window ends the upload as Cancel would, and a click held back meanwhile (a screen reader's
// action gets through a modal dialog) starts nothing: no second dialog waiting for a person.
TEST(WindowUpload, CloseWithTheDialogOpenDropsWhatWasHeldBack) {
  port::SimulatedDriver driver;
  port::RecordingReporter reporter;
  receiver::RecordingSleeper sleeper;
  ui::Panel panel(driver, reporter, sleeper, kTitle);
  panel.Form().show();
  int dialogsSeen = 0;
  QTimer user;
  user.setInterval(5);
  QObject::connect(&user, &QTimer::timeout, [&] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr || !dialog->isVisible()) return;
    if (++dialogsSeen == 1) {
      FindIn<QPushButton>(panel.Form(), "RAMbin")->click();
      panel.Form().close();
    } else {
      dialog->reject();
    }
  });
  user.start();
  driver.ClearCalls();
  QTest::mouseClick(FindIn<QPushButton>(panel.Form(), "FlashBin"), Qt::LeftButton);
  QTest::qWait(50);
  EXPECT_EQ(dialogsSeen, 1) << "an upload held back opened its dialog after the close";
  EXPECT_TRUE(driver.Calls().empty());
  EXPECT_FALSE(panel.Form().isVisible());
}

// The program's own dialog (OpenDialog1, built by the chooser), used by a timer in place of the
// user: Enter on the preset name filters the list; typing a path and Enter chooses it.
TEST(WindowUpload, FileDialogPresetsTheNameBoxAndReturnsTheChosenFile) {
  TempImage image(256);
  port::SimulatedDriver driver;
  port::RecordingReporter reporter;
  receiver::RecordingSleeper sleeper;
  ui::Panel panel(driver, reporter, sleeper, kTitle);
  panel.Form().show();

  bool cancel = false;
  std::vector<QString> nameBox;  // the name box each time the dialog was found open
  QStringList filtersAfterEnter;
  QString folderAfterPattern;
  QStringList filtersOnCancel;
  QString folderOnCancel;
  const QString imageFolder = QFileInfo(QString::fromStdString(image.Path())).absolutePath();
  QTimer user;
  user.setInterval(5);
  QObject::connect(&user, &QTimer::timeout, [&] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return;
    auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
    if (name == nullptr) {
      ADD_FAILURE() << "no name box";
      dialog->reject();
      return;
    }
    nameBox.push_back(name->text());
    if (cancel) {
      filtersOnCancel = dialog->nameFilters();
      folderOnCancel = dialog->directory().absolutePath();
      dialog->reject();
    } else if (nameBox.size() == 1) {
      QTest::keyClick(name, Qt::Key_Return);  // "*.bin" as it stands
    } else if (nameBox.size() == 2) {
      filtersAfterEnter = dialog->nameFilters();
      name->setText(imageFolder + "/*.bin");  // a pattern in another folder
      QTest::keyClick(name, Qt::Key_Return);
    } else {
      folderAfterPattern = dialog->directory().absolutePath();
      name->setText(QString::fromStdString(image.Path()));
      QTest::keyClick(name, Qt::Key_Return);
    }
  });
  user.start();

  driver.ClearCalls();
  QTest::mouseClick(FindIn<QPushButton>(panel.Form(), "RAMbin"), Qt::LeftButton);
  ASSERT_EQ(nameBox.size(), 3u);
  EXPECT_EQ(nameBox[0], "*.bin");
  EXPECT_EQ(filtersAfterEnter, QStringList({"*.bin"}));
  EXPECT_EQ(folderAfterPattern, imageFolder) << "the pattern's folder is listed";
  EXPECT_EQ(driver.Writes().size(), 16u);
  EXPECT_EQ(reporter.Texts(), std::vector<std::string>());

  // The next upload starts again from the preset with every file listed.
  cancel = true;
  nameBox.clear();
  driver.ClearCalls();
  QTest::mouseClick(FindIn<QPushButton>(panel.Form(), "FlashBin"), Qt::LeftButton);
  ASSERT_EQ(nameBox.size(), 1u);
  EXPECT_EQ(nameBox[0], "*.bin");
  EXPECT_FALSE(filtersOnCancel.contains("*.bin"));
  EXPECT_EQ(folderOnCancel, QDir::currentPath()) << "listing the working directory again";
  auto* dialog = panel.Form().findChild<QFileDialog*>();
  EXPECT_TRUE(dialog == nullptr || !dialog->isVisible()) << "the dialog is gone";
  EXPECT_TRUE(driver.Calls().empty()) << "cancel sends nothing";
  EXPECT_EQ(reporter.Texts(), std::vector<std::string>()) << "and shows nothing";
}

// The panel on a simulated board, working in `folder` for as long as it lives (the working
// directory is the program's, and comes back afterwards whatever the test found).
struct PanelWorkingIn {
  explicit PanelWorkingIn(const testing::TempDir& folder)
      : moved(QDir::setCurrent(QString::fromStdString(folder.Path(".")))) {}
  ~PanelWorkingIn() { QDir::setCurrent(before); }
  PanelWorkingIn(const PanelWorkingIn&) = delete;
  PanelWorkingIn& operator=(const PanelWorkingIn&) = delete;

  const QString before = QDir::currentPath();
  const bool moved;
  port::SimulatedDriver driver;
  port::RecordingReporter reporter;
  receiver::RecordingSleeper sleeper;
  ui::Panel panel{driver, reporter, sleeper, kTitle};
};

// The toolkit shows a byte of a file's or folder's name it cannot read as UTF-8 as U+FFFD, and
// gives that name back as the bytes of U+FFFD: a path chosen so stands for another file, or none.
// Such a choice is refused with a box naming the cause, even where a file of that other name
// exists (a different image would go out); a file really named with U+FFFD uploads, beside a
// folder that reads the same too.
TEST(WindowUpload, ANameTheToolkitMisreadIsRefusedNotTakenForAnother) {
  const std::string misread = "\xEF\xBF\xBD";  // U+FFFD, as the dialog shows the byte
  const struct {
    const char* name;
    std::vector<std::string> folders;
    std::vector<std::string> files;  // each with 256 bytes of its index + 1
    std::string chosen;
    bool refused;
  } rows[] = {
      {"a Latin-1 name beside one with U+FFFD",
       {},
       {"image\xFF.bin", "image" + misread + ".bin"},
       "image" + misread + ".bin",
       true},
      {"a Latin-1 folder beside one with U+FFFD",
       {"dir\xFF", "dir" + misread},
       {"dir\xFF/image.bin", "dir" + misread + "/image.bin"},
       "dir" + misread + "/image.bin",
       true},
      {"only a name with U+FFFD",
       {},
       {"image" + misread + ".bin"},
       "image" + misread + ".bin",
       false},
      {"a name with U+FFFD beside a Latin-1 folder",
       {"image\xFF.bin"},
       {"image" + misread + ".bin"},
       "image" + misread + ".bin",
       false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    testing::TempDir folder;
    for (const std::string& name : row.folders)
      std::filesystem::create_directory(folder.Path(name));
    for (std::size_t i = 0; i < row.files.size(); ++i)
      folder.File(row.files[i], std::vector<std::uint8_t>(256, static_cast<std::uint8_t>(i + 1)));
    PanelWorkingIn rig(folder);
    ASSERT_TRUE(rig.moved);
    rig.panel.Form().show();
    rig.driver.ClearCalls();
    {
      const FileDialogUser user(row.chosen);
      QTest::mouseClick(FindIn<QPushButton>(rig.panel.Form(), "FlashBin"), Qt::LeftButton);
    }
    if (row.refused) {
      EXPECT_TRUE(rig.driver.Writes().empty());
      EXPECT_EQ(rig.reporter.Texts(),
                std::vector<std::string>{"Cannot open \"" + folder.Path(row.chosen) +
                                         "\": a file or folder on this path has a name that is "
                                         "not valid UTF-8 (shown with \"" +
                                         misread + "\"); rename it."});
    } else {
      EXPECT_EQ(rig.reporter.Texts(), std::vector<std::string>());
      ASSERT_EQ(rig.driver.Writes().size(), 16u);
      const bus::DecodedBurst page = bus::DecodeBurst(rig.driver.Writes().front());
      ASSERT_EQ(page.messages.size(), 1u);
      EXPECT_EQ(page.messages[0].bytes.back(), 0x01) << "the file chosen went out";
    }
  }
}

// The dialog of the second upload opens as the first did, whatever the user did in the first:
// the working folder's list at its top with no file current, though the list was scrolled to
// its end and a file touched; only the size the user gave it stays. Between uploads the program has
// only the windows it started with, which is what a screen reader lists.
TEST(WindowUpload, TheNextUploadListsTheFolderFromTheTopAndLeavesNoWindowBehind) {
  testing::TempDir folder;
  constexpr int kFiles = 300;
  for (int i = 0; i < kFiles; ++i) folder.File("f" + std::to_string(1000 + i) + ".dat", {});
  PanelWorkingIn rig(folder);
  ASSERT_TRUE(rig.moved);
  ui::Panel& panel = rig.panel;
  port::SimulatedDriver& driver = rig.driver;
  panel.Form().show();
  auto windows = [] {
    int count = 0;
    for (const QWindow* window : QGuiApplication::topLevelWindows())
      count += window->type() != Qt::Popup;
    return count;
  };
  const int windowsAtStart = windows();
  const std::size_t writesAtStart = driver.Writes().size();

  struct Opened {
    int scrolled = -1;
    bool fileCurrent = true;
    QSize size;
  };
  std::vector<Opened> opened;
  QTimer user;
  user.setInterval(5);
  QObject::connect(&user, &QTimer::timeout, [&] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return;
    QAbstractItemView* list = nullptr;
    for (auto* view : dialog->findChildren<QAbstractItemView*>())
      if (view->isVisible() &&
          (view->objectName() == "listView" || view->objectName() == "treeView"))
        list = view;
    if (list == nullptr || list->model()->rowCount(list->rootIndex()) < kFiles) return;
    QCoreApplication::processEvents();
    opened.push_back(
        {list->verticalScrollBar()->value(), list->currentIndex().isValid(), dialog->size()});
    if (opened.size() == 1) {
      dialog->resize(560, 400);  // the user's size, which the next upload keeps
      const QModelIndex last = list->model()->index(kFiles - 1, 0, list->rootIndex());
      list->setCurrentIndex(last);
      list->scrollToBottom();
    }
    dialog->reject();
  });
  user.start();
  for (const char* button : {"RAMbin", "FlashBin"}) {
    QTest::mouseClick(FindIn<QPushButton>(panel.Form(), button), Qt::LeftButton);
    EXPECT_EQ(windows(), windowsAtStart) << "after " << button;
  }
  ASSERT_EQ(opened.size(), 2u);
  EXPECT_EQ(opened[1].scrolled, 0) << "the list opened scrolled";
  EXPECT_FALSE(opened[1].fileCurrent) << "a file was current";
  EXPECT_EQ(opened[1].scrolled, opened[0].scrolled);
  EXPECT_EQ(opened[1].size, QSize(560, 400));
  EXPECT_EQ(driver.Writes().size(), writesAtStart) << "a cancelled upload sent something";
}

// The dialog's detail list shows each file's size, type and date whole from its first opening,
// with no need to scroll sideways: "256 bytes" is what a user checks an image by, and the
// dates are long in every language.
TEST(WindowUpload, TheFileListShowsSizesAndDatesWhole) {
  testing::TempDir folder;
  folder.File("ramp.bin", std::vector<std::uint8_t>(256, 0x5A));
  folder.File("sweep-7.bin", std::vector<std::uint8_t>(4096, 1));
  folder.File("empty.bin", {});
  PanelWorkingIn rig(folder);
  ASSERT_TRUE(rig.moved);
  rig.panel.Form().show();

  std::vector<std::string> cut;
  bool seen = false;
  QTimer user;
  user.setInterval(5);
  QObject::connect(&user, &QTimer::timeout, [&] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return;
    auto* list = dialog->findChild<QAbstractItemView*>(QStringLiteral("treeView"));
    if (list == nullptr || !list->isVisible() || list->model()->rowCount(list->rootIndex()) < 3)
      return;
    QCoreApplication::processEvents();
    const auto* header = dialog->findChild<QHeaderView*>();
    for (int column = 1; column < list->model()->columnCount(list->rootIndex()); ++column) {
      if (header->sectionSize(column) >= list->sizeHintForColumn(column)) continue;
      const QModelIndex ramp = list->model()->index(list->model()->rowCount(list->rootIndex()) - 1,
                                                    column, list->rootIndex());
      cut.push_back(header->model()->headerData(column, Qt::Horizontal).toString().toStdString() +
                    ": " + std::to_string(header->sectionSize(column)) + " px for " +
                    std::to_string(list->sizeHintForColumn(column)) + " px (\"" +
                    ramp.data().toString().toStdString() + "\")");
    }
    // With names this short, the room comes out of the name column: nothing to scroll to.
    if (header->length() > list->viewport()->width())
      cut.push_back("the list is " + std::to_string(header->length()) + " px wide in " +
                    std::to_string(list->viewport()->width()) + " px");
    seen = true;
    dialog->reject();
  });
  user.start();
  QTest::mouseClick(FindIn<QPushButton>(rig.panel.Form(), "RAMbin"), Qt::LeftButton);
  ASSERT_TRUE(seen) << "the detail list was not shown";
  EXPECT_TRUE(cut.empty()) << "cut: " << ::testing::PrintToString(cut);
}

}  // namespace
}  // namespace quarvel::ui_test
