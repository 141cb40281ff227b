// SPDX-License-Identifier: GPL-3.0-or-later
// One tuning event end to end through the real window: a key on the focused tuning bar, or a
// value set on it as a dragged thumb does, through the control model and the receiver logic to
// the clock burst and the simulated driver. The driver's recorded calls are cleared after each
// event so that the recorder does not grow, and the 10 ms pause before a clock burst returns at
// once. Also an upload's wall time through the window's button with the real 200 ms pauses.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

#include <cstdio>
#include <fstream>
#include <memory>
#include <optional>
#include <string>

#include <unistd.h>

#include "BenchSupport.h"
#include "Doubles.h"
#include "port/D2XXUnit.h"
#include "port/SimulatedDriver.h"
#include "receiver/ReceiverControl.h"
#include "receiver/Sleeper.h"
#include "ui/SDRquarvel.h"

namespace {

using namespace quarvel;

using bench::FixedChooser;
using bench::NoSleep;

// The window on the whole stack, shown (offscreen) and settled; bursts that reach the board are
// counted.
struct WindowPanel {
  explicit WindowPanel(receiver::Sleeper& sleeper) : rx(bus, controls, sleeper, chooser) {
    counter = driver.OnBoardWrite([this](const std::uint8_t*, std::uint32_t) { ++bursts; });
    form = std::make_unique<ui::TForm1>(rx, controls, reporter, "bench");
    form->show();
    QCoreApplication::processEvents();
    driver.ClearCalls();
    bursts = 0;
  }

  port::SimulatedDriver driver;
  port::RecordingReporter reporter;
  port::D2XXUnit link{driver, reporter};
  bus::TwoWireBus bus{link};
  receiver::PanelControls controls;
  FixedChooser chooser;
  receiver::ReceiverControl rx;
  std::unique_ptr<ui::TForm1> form;
  std::int64_t bursts = 0;
  port::Subscription counter;
};

void ReportBursts(benchmark::State& state, const WindowPanel& p) {
  if (p.bursts < state.iterations()) state.SkipWithError("an event sent no burst");
  if (!p.reporter.boxes.empty()) state.SkipWithError("an error box was shown");
  state.counters["bursts/event"] =
      benchmark::Counter(static_cast<double>(p.bursts), benchmark::Counter::kAvgIterations);
}

// Right and Left in turn on the focused tuning bar: every press moves the position by one.
// With repaint, the event loop also takes its turn: the bar and the frequency label repainted.
void TuneByKeys(benchmark::State& state, bool repaint) {
  NoSleep sleeper;
  WindowPanel p(sleeper);
  QScrollBar* tuning = p.form->findChild<QScrollBar*>("ScrollBar1");
  tuning->setFocus();
  bool right = true;
  for (auto _ : state) {
    QTest::keyClick(tuning, right ? Qt::Key_Right : Qt::Key_Left);
    right = !right;
    if (repaint) QCoreApplication::processEvents();
    p.driver.ClearCalls();
  }
  ReportBursts(state, p);
}

void BM_TuningKeyThroughWindow(benchmark::State& state) {
  TuneByKeys(state, false);
}
BENCHMARK(BM_TuningKeyThroughWindow);

void BM_TuningKeyAndRepaint(benchmark::State& state) {
  TuneByKeys(state, true);
}
BENCHMARK(BM_TuningKeyAndRepaint);

// The thumb held and moved one position back and forth.
void BM_TuningThumbThroughWindow(benchmark::State& state) {
  NoSleep sleeper;
  WindowPanel p(sleeper);
  QScrollBar* tuning = p.form->findChild<QScrollBar*>("ScrollBar1");
  const int at = tuning->value();
  tuning->setSliderDown(true);
  bool up = true;
  for (auto _ : state) {
    tuning->setSliderPosition(up ? at + 1 : at);
    up = !up;
    p.driver.ClearCalls();
  }
  tuning->setSliderDown(false);
  ReportBursts(state, p);
}
BENCHMARK(BM_TuningThumbThroughWindow);

// "upload RAM" clicked, a 256-byte image read and its sixteen pages sent with the real 200 ms
// pause after each; the progress bar repaints page by page.
void BM_UploadThroughWindowRealPauses(benchmark::State& state) {
  bench::ImageFile image;
  if (!image.ok()) return state.SkipWithError("cannot create the image file");
  receiver::RealSleeper sleeper;
  WindowPanel p(sleeper);
  p.chooser.path = image.path();
  for (auto _ : state) {
    p.form->findChild<QPushButton*>("RAMbin")->click();
    p.driver.ClearCalls();
  }
  if (p.bursts != 16 * state.iterations()) state.SkipWithError("not sixteen pages per upload");
  if (!p.reporter.boxes.empty()) state.SkipWithError("an error box was shown");
}
BENCHMARK(BM_UploadThroughWindowRealPauses)
    ->Iterations(3)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
