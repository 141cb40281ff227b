// SPDX-License-Identifier: GPL-3.0-or-later
// The panel on the simulated board: the driver trace on standard output.
#include <QApplication>
#include <QTimer>

#include <unistd.h>

#include <csignal>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "receiver/FrequencyText.h"
#include "sim/BusMonitor.h"
#include "sim/SimulatedBoard.h"
#include "ui/AfterFirstPaint.h"
#include "ui/DispatchTexts.h"
#include "ui/MonitorPlacement.h"
#include "ui/QtPlatform.h"
#include "ui/QuitWhenPainted.h"
#include "ui/SimEdition.h"
#include "ui/TraceOutput.h"

int main(int argc, char** argv) {
  using namespace quarvel;
  const int missingStreams = ui::StandardStreamsOpen();
  // The trace goes to whatever reads standard output (a pipe into a script, `head`); when that
  // reader goes away, later trace lines are lost, but the panel and its board stay up.
  std::signal(SIGPIPE, SIG_IGN);
  // Nor does a file the trace goes to that reaches the size limit (`ulimit -f`) end the
  // program, in the middle of an upload perhaps: the trace ends with a note, as on a full disk.
  std::signal(SIGXFSZ, SIG_IGN);
  std::string error;
  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  const std::optional<ui::SimOptions> options = ui::ParseSimArguments(args, &error);
  if (!options) {
    std::cerr << "QuarvelSDR-sim: " << error << "\n" << ui::kSimUsage;
    return 2;
  }
  if (options->help) {
    std::cout << ui::kSimUsage << std::flush;
    // Started without a standard output, the usage went to the null device: not written.
    if (std::cout && (missingStreams & 2) == 0) return 0;
    std::cerr << "QuarvelSDR-sim: the usage could not be written to standard output\n";
    return 1;
  }
  // Only the options above are read; the toolkit's own options are not.
  int qtArgc = argc > 0 ? 1 : 0;
  ui::NoSessionBusLaunched();
  ui::FontConfigurationLoader fonts;
  QApplication app(qtArgc, argv);
  // The desktop entry the windows belong to (the shell's launcher and icon, on Wayland too).
  QGuiApplication::setDesktopFileName(QStringLiteral("org.quarvel.QuarvelSDR"));
  fonts.Wait();

  // The trace is written by a thread of its own: a reader that stops reading (`| less` left
  // waiting) costs trace lines, never the window. With --no-trace (the desktop menu's entry,
  // whose standard output is the session's log) the lines go nowhere.
  std::optional<ui::TraceOutput> trace;
  std::ostream nowhere(nullptr);
  if (!options->noTrace) {
    trace.emplace(STDOUT_FILENO);
    // When the X server goes away the toolkit ends the program with exit(), not through main:
    // the trace is finished then too, so that a reader that is behind gets the lines still
    // queued, or the note on standard error that counts them.
    trace->FinishAtExit();
  }
  ui::SimEdition sim(*options, trace ? trace->Stream() : nowhere,
                     ui::ApplicationTitle(argc > 0 ? argv[0] : "QuarvelSDR-sim"));
  // The board model sees every burst from the first one on; the monitor shows it live.
  sim::SimulatedBoard board;
  board.Attach(sim.Driver());
  ui::TForm1& Form1 = sim.Start();
  receiver::ReceiverControl& rx = sim.Receiver();
  // QUARVEL_EXIT_WHEN_SHOWN=1 (start-up timing): quits once the panel has painted for the first
  // time; =2 (both windows): once the monitor has.
  const int exitWhenShown = qEnvironmentVariableIntValue("QUARVEL_EXIT_WHEN_SHOWN");
  ui::QuitWhenPainted quitWhenPainted;
  if (exitWhenShown == 1) Form1.installEventFilter(&quitWhenPainted);
  // The monitor is built once the panel is on the screen; it shows every message from the
  // first burst on all the same, the board keeps them.
  std::unique_ptr<sim::BusMonitor> monitor;
  std::unique_ptr<ui::QuitWhenWindowPainted> quitWhenMonitorPainted;
  auto showMonitor = [&] {
    if (exitWhenShown == 1) return;  // quitting
    monitor = std::make_unique<sim::BusMonitor>(board, [&rx] { return rx.TunedKhz(); });
    monitor->SetFrequencyText([&rx](double khz) {
      return QString::fromStdString(receiver::FrequencyText(khz, rx.DecimalSeparator()));
    });
    if (exitWhenShown == 2)
      quitWhenMonitorPainted = std::make_unique<ui::QuitWhenWindowPainted>(monitor.get());
    // The monitor belongs to the panel: closing the panel ends the program.
    monitor->setAttribute(Qt::WA_QuitOnClose, false);
    // The keyboard stays with the panel, where the user works; the monitor is only watched.
    monitor->setAttribute(Qt::WA_ShowWithoutActivating);
    ui::PlaceMonitor(*monitor, monitor->FullViewSize(), Form1);
    monitor->show();
  };
  // The bus monitor's start-up (building, laying out and painting a second window) is paid
  // once the panel is on the screen. Where the desktop places the windows, it may put the
  // monitor over the panel, and the window shown last goes in front: there the monitor is
  // shown first.
  std::optional<ui::AfterFirstPaint> afterPanelPainted;
  if (ui::DesktopPlacesWindows())
    showMonitor();
  else
    afterPanelPainted.emplace(Form1, showMonitor);
  ui::CloseOnTerminationSignals closeOnSignals(Form1, &sim.Boxes());
  Form1.show();
  const int code = app.exec();
  // The trace is finished while the termination signals are still taken as above: a SIGTERM
  // or SIGHUP that comes again during its wait for a reader that is behind must not end the
  // program before the lines left are written or counted.
  if (trace) trace->Finish();
  return code;
}
