// SPDX-License-Identifier: GPL-3.0-or-later
// Where the panel and the bus monitor open (pure functions, by table), and event operations kept
// apart while an upload pauses with the event loop running.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "FormAccess.h"
#include "TempFiles.h"
#include "TestRig.h"
#include "bus/TwoWireDecoder.h"
#include "ui/MonitorPlacement.h"
#include "ui/QtPlatform.h"
#include "ui/SDRquarvel.h"

namespace quarvel::ui_test {
namespace {

TEST(MonitorPlacement, RoomLeftByThePanel) {
  const QRect panel(200, 150, 460, 440);  // frame: right edge 659, bottom 589
  const QSize minimum(470, 560);
  const QSize preferred(960, 760);
  struct Row {
    const char* name;
    QRect area;
    QRect expected;
  };
  const Row rows[] = {
      {"beside, preferred size", {0, 0, 1920, 1080}, {672, 150, 960, 760}},
      {"beside, narrower: the largest room", {0, 0, 1024, 768}, {672, 8, 352, 760}},
      {"below, where only below takes the minimum", {0, 0, 800, 1200}, {0, 602, 800, 598}},
      {"left, next to the panel", {-1000, 0, 1700, 800}, {-772, 40, 960, 760}},
      {"above, next to the panel", {0, -900, 700, 1500}, {0, -622, 700, 760}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const QRect got = ui::MonitorFrame(panel, row.area, minimum, preferred);
    EXPECT_EQ(got, row.expected);
    EXPECT_FALSE(got.intersects(panel)) << "over the panel";
    EXPECT_TRUE(row.area.contains(got)) << "off the screen";
    const QRect gap = panel.marginsAdded(
        QMargins(ui::kMonitorGapPx, ui::kMonitorGapPx, ui::kMonitorGapPx, ui::kMonitorGapPx));
    EXPECT_FALSE(got.intersects(gap)) << "closer to the panel than the gap";
  }
  // No room at all: the top left corner at the minimum size, cut to the screen.
  EXPECT_EQ(ui::MonitorFrame({0, 0, 800, 600}, {0, 0, 800, 600}, minimum, preferred),
            QRect(0, 0, 470, 560));
}

// Where the panel's screen leaves the monitor too little room, it goes whole onto the nearest
// other screen that takes its minimum size, at its preferred size cut to that screen, at the
// edge facing the panel and lined up with it.
TEST(MonitorPlacement, OnAnotherScreenWhenThePanelsScreenIsTooSmall) {
  const QSize minimum(700, 500), preferred(913, 760);
  const QRect panel(202, 149, 465, 450), high(202, 10, 465, 450);
  const struct {
    const char* name;
    QRect panel;
    std::vector<QRect> others;
    std::optional<QRect> expected;
  } rows[] = {
      {"to the right", panel, {{800, 0, 1920, 1080}}, QRect(800, 149, 913, 760)},
      {"the nearer of two, to the left",
       panel,
       {{2720, 0, 1920, 1080}, {-1920, 0, 1920, 1080}},
       QRect(-913, 149, 913, 760)},
      {"below, cut to it", high, {{0, 480, 1920, 700}}, QRect(202, 480, 913, 700)},
      {"none takes the minimum", panel, {{800, 0, 600, 1080}}, std::nullopt},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(ui::MonitorFrameElsewhere(row.panel, row.others, minimum, preferred), row.expected);
  }
}

// A box centred on the screen it opens on; one larger than the screen keeps its title bar (the
// frame's top left corner) on it.
TEST(BoxPlacement, CentredOrItsTitleBarOnTheScreen) {
  const QMargins frame(4, 32, 4, 4);
  const struct {
    const char* name;
    QSize client;
    QRect area;
    QPoint expected;
  } rows[] = {{"fits", {400, 300}, {0, 0, 800, 600}, {196, 132}},
              {"wider than the screen", {2000, 300}, {0, 0, 800, 600}, {0, 132}},
              {"taller than the screen", {300, 900}, {100, 50, 800, 600}, {346, 50}}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(ui::CentredPlace(row.client, frame, row.area), row.expected);
  }
}

// After the screens changed, a window whose title bar a user can still take hold of stays; one
// out of reach moves, at its size, whole into the area it overlaps most, else the fallback,
// with room for a frame landing one frame width further in; one larger than the area keeps
// its title bar there. Two monitors side by side, the right one unplugged in most rows.
TEST(ScreensChanged, AWindowOutOfReachComesBackWholeOntoAScreen) {
  const QMargins frame(1, 20, 1, 1);
  const QRect left(0, 0, 1280, 800), right(1280, 0, 1920, 1080);
  const struct {
    const char* name;
    std::vector<QRect> available;
    QRect window;
    std::optional<QPoint> expected;
  } rows[] = {
      {"on a monitor still there", {left, right}, {1500, 100, 400, 300}, std::nullopt},
      {"title bar's middle still on the left", {left}, {1000, 100, 400, 300}, std::nullopt},
      {"title bar across the seam", {left, right}, {1100, 100, 400, 300}, std::nullopt},
      {"a corner pulled onto the left", {left}, {1236, 620, 459, 441}, QPoint(820, 339)},
      {"on no monitor", {left}, {2000, 100, 400, 300}, QPoint(879, 100)},
      {"above every monitor", {left}, {100, -500, 400, 300}, QPoint(100, 0)},
      {"larger than the left", {left}, {1300, 0, 1500, 900}, QPoint(0, 0)},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(ui::BackOnAScreen(row.window, row.available, left, frame), row.expected);
  }
}

// The panel opens at its layout place where the screen shows its title bar (assumed 32 px, with
// 4 px borders) and every control there, whether the frame lands at the place or one frame width
// further in; else just far enough in.
TEST(PanelPlacement, LayoutPlaceUnlessTheScreenIsTooSmall) {
  const QSize controls(457, 369);  // the client area down to the lowest control
  const struct {
    QRect area;
    QPoint expected;
  } rows[] = {
      {{0, 0, 1024, 768}, {202, 149}},
      {{0, 0, 800, 600}, {202, 149}},
      {{100, 0, 1180, 800}, {202, 149}},
      {{0, 0, 800, 480}, {202, 47}},   // a small touch screen: moved up
      {{0, 0, 600, 480}, {135, 47}},   // and left
      {{0, 30, 800, 440}, {202, 37}},  // below a panel at the top of the screen
      {{0, 0, 400, 300}, {0, 0}},      // too small for it: the top left corner
  };
  for (const auto& row : rows)
    EXPECT_EQ(ui::PanelPlace({202, 149}, controls, row.area), row.expected)
        << row.area.width() << "x" << row.area.height();
}

// The panel's scale: what the DPI asks for, unless the screen (less a window frame) does not
// hold the controls (441 x 369 layout pixels) at that scale; then the largest that does, the
// text shrinking by as much.
TEST(PanelPlacement, ScaleAsTheDpiAsksAsFarAsTheScreenHolds) {
  const QSize controls(441, 369);
  const struct {
    double wanted;
    QRect area;
    double layout, text;
  } rows[] = {
      {1.0, {0, 0, 1024, 768}, 1.0, 1.0},
      {1.0, {0, 0, 800, 432}, 1.0, 1.0},  // 480 lines less a 48-pixel task bar
      {1.0, {0, 0, 800, 400}, 360.0 / 369, 360.0 / 369},
      {1.0, {0, 0, 533, 320}, 280.0 / 369, 280.0 / 369},  // 800 x 480 scaled by 1.5
      {1.5, {0, 0, 1280, 800}, 1.5, 1.0},
      {1.5, {0, 0, 800, 480}, 440.0 / 369, 440.0 / 369 / 1.5},
      {0.75, {0, 0, 1024, 768}, 0.75, 1.0},
  };
  for (const auto& row : rows) {
    const ui::PanelScales scales = ui::PanelScalesFor(row.wanted, controls, row.area);
    EXPECT_DOUBLE_EQ(scales.layout, row.layout) << row.wanted << " on " << row.area.height();
    EXPECT_DOUBLE_EQ(scales.text, row.text) << row.wanted << " on " << row.area.height();
  }
}

// The panel laid out again for a screen, beside a large one a small one (800 x 480) on the
// right, with a frame of 1, 20, 1, 5 px: its top left corner kept where the window's middle
// stays on the screen, else its middle; where its title bar or controls would be off every
// screen, moved as little as shows them on its own screen, along one axis where that does.
TEST(PanelPlacement, RescaledInPlaceOrMovedAsLittleAsShowsItsControls) {
  const QRect large(0, 0, 1920, 1080), small(1920, 0, 800, 480);
  const QRegion reach = QRegion(large) + QRegion(small);
  const QMargins frame(1, 20, 1, 5);
  const QSize big(686, 624), shrunk(545, 496);  // 1.5 and 1.19 times the layout
  const int bigControls = 553, shrunkControls = 440;
  const struct {
    const char* what;
    QRect before;  // the frame
    QSize client;
    int controls;
    QRect screen;
    QPoint expected;  // the frame's top left corner
  } rows[] = {
      {"grows in place", {100, 100, 459, 441}, big, bigControls, large, {100, 100}},
      {"shrinks in place", {1930, 0, 688, 649}, shrunk, shrunkControls, small, {1930, 0}},
      // Its top left corner would take its middle off the small screen.
      {"about its middle", {1600, 0, 688, 649}, shrunk, shrunkControls, small, {1670, 0}},
      {"controls too low: up", {1800, 30, 547, 521}, shrunk, shrunkControls, small, {1800, 0}},
      // Its middle below the low small screen.
      {"middle too low: up", {1940, 360, 688, 649}, shrunk, shrunkControls, small, {1940, 0}},
      // Too low for the small screen beside the seam: sideways onto the large one.
      {"too low: sideways", {1520, 0, 547, 521}, big, bigControls, large, {1231, 0}},
  };
  for (const auto& row : rows) {
    const QRect to = ui::RescaledFrame(row.before, frame, row.client, row.controls, row.screen,
                                       row.screen, reach);
    EXPECT_EQ(to.topLeft(), row.expected) << row.what;
    EXPECT_EQ(to.size(), row.client.grownBy(frame)) << row.what;
  }
}

// A pause that, while the event loop would run, does what a timer or a held-back click may do
// then: step the tuning bar (its auto-repeat), close the window, click "upload RAM".
class MeddlingSleeper : public receiver::Sleeper {
 public:
  void SleepMs(int) override {}
  void IdleMs(int) override {
    if (++pauses == 3 && form != nullptr) meddle(*form);
  }
  ui::TForm1* form = nullptr;
  std::function<void(ui::TForm1&)> meddle;
  int pauses = 0;
};

void StepTuning(ui::TForm1& form) {
  FindIn<QScrollBar>(form, "ScrollBar1")->triggerAction(QAbstractSlider::SliderSingleStepAdd);
}

TEST(WindowDispatch, NothingRunsInsideAnUploadAndACloseWaitsForIt) {
  const struct {
    const char* name;
    std::function<void(ui::TForm1&)> meddle;
    bool tuningStepAfter;  // the step asked for before the close runs after the upload
  } rows[] = {
      {"a tuning step, then the close",
       [](ui::TForm1& form) {
         StepTuning(form);
         form.close();
       },
       true},
      {"the close, then a tuning step and upload RAM: neither runs",
       [](ui::TForm1& form) {
         form.close();
         StepTuning(form);
         QTest::mouseClick(FindIn<QPushButton>(form, "RAMbin"), Qt::LeftButton);
       },
       false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    testing::TempDir dir;
    testing::Rig rig;
    MeddlingSleeper sleeper;
    receiver::ReceiverControl rx(rig.bus, rig.controls, sleeper, rig.chooser);
    ui::TForm1 form(rx, rig.controls, rig.reporter, "Quarvelsdr-sim");
    form.show();
    sleeper.form = &form;
    sleeper.meddle = row.meddle;
    rig.Forget();
    const std::string image = dir.File("image.bin", testing::Ramp(256, 3));
    rig.chooser.next = image;
    QTest::mouseClick(FindIn<QPushButton>(form, "FlashBin"), Qt::LeftButton);
    // A held-back click delivered once the upload is over, before the close goes through.
    rig.chooser.next = image;
    QTest::mouseClick(FindIn<QPushButton>(form, "RAMbin"), Qt::LeftButton);

    const auto bursts = rig.Messages();
    ASSERT_EQ(bursts.size(), row.tuningStepAfter ? 17u : 16u);
    for (std::size_t page = 0; page < 16; ++page) {
      ASSERT_EQ(bursts[page].size(), 1u) << "page " << page;
      EXPECT_EQ(bursts[page][0][0], 0xD0) << "page " << page << " went elsewhere";
      EXPECT_EQ(bursts[page][0][1], page * 16);
    }
    if (row.tuningStepAfter) {
      EXPECT_EQ(bursts[16][0][0], 0xD2) << "the step runs after the upload";
    }
    EXPECT_EQ(sleeper.pauses, 16) << "one upload only";
    QCoreApplication::processEvents();
    EXPECT_FALSE(form.isVisible()) << "the close came after the upload";
  }
}

// A signal to end closes the window through the event loop; one the program was started with
// ignored (`nohup`) stays ignored. The signals' handling is restored afterwards.
TEST(WindowDispatch, TerminationSignalsCloseTheWindowIgnoredOnesStayIgnored) {
  struct sigaction termBefore {};
  sigaction(SIGTERM, nullptr, &termBefore);
  const auto hupBefore = std::signal(SIGHUP, SIG_IGN);
  QWidget window;
  window.show();
  {
    ui::CloseOnTerminationSignals closeOnSignals(window);
    std::raise(SIGHUP);
    QTest::qWait(50);
    EXPECT_TRUE(window.isVisible()) << "an ignored SIGHUP closed the window";
    std::raise(SIGTERM);
    EXPECT_TRUE(QTest::qWaitFor([&window] { return !window.isVisible(); }, 2000));
  }
  struct sigaction termAfter {};
  sigaction(SIGTERM, nullptr, &termAfter);
  EXPECT_EQ(termAfter.sa_handler, termBefore.sa_handler);
  EXPECT_EQ(std::signal(SIGHUP, hupBefore), SIG_IGN);
}

// A signal to end while an error box is up closes the box, as OK would, and no box opens
// after it: the reporting operation goes on without waiting for anyone.
TEST(WindowDispatch, TerminationSignalClosesTheOpenErrorBoxAndNoneOpensAfter) {
  struct sigaction termBefore {};
  sigaction(SIGTERM, nullptr, &termBefore);
  QWidget window;
  window.show();
  ui::QtErrorReporter boxes;
  boxes.Attach(&window);
  int boxesSeen = 0;
  // Once a box is up: the signal the first time; OK after that, so that a box wrongly shown
  // is counted and cannot hang the test.
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&boxesSeen] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || !box->isVisible()) return;
    if (++boxesSeen == 1)
      std::raise(SIGTERM);
    else
      box->button(QMessageBox::Ok)->click();
  });
  {
    ui::CloseOnTerminationSignals closeOnSignals(window, &boxes);
    watch.start(20);
    boxes.ShowError("Fehler", "FT_Write - IO error");
    EXPECT_EQ(boxesSeen, 1);
    boxes.ShowError("Fehler", "FT_Close - IO error");
    QTest::qWait(100);
    EXPECT_EQ(boxesSeen, 1) << "a box opened after the signal";
    EXPECT_FALSE(window.isVisible()) << "the signal did not close the window";
    watch.stop();
  }
  sigaction(SIGTERM, &termBefore, nullptr);
}

}  // namespace
}  // namespace quarvel::ui_test
