// SPDX-License-Identifier: GPL-3.0-or-later
// Writes down the panel's window as plain Qt widgets (WidgetsWindow.h) on standard output, for
// `floor_window --widgets` (scripts/measure.sh). The panel is the simulated edition's as it
// first shows, built offscreen.
#include <QApplication>

#include <iostream>

#include "WidgetsWindow.h"
#include "ui/SimEdition.h"

int main(int argc, char** argv) {
  using namespace quarvel;
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ui::SimOptions options;
  options.noTrace = true;
  std::ostream nowhere(nullptr);
  ui::SimEdition sim(options, nowhere, "QuarvelSDR-sim");
  ui::TForm1& form = sim.Start();
  form.show();
  QCoreApplication::processEvents();
  std::cout << bench::DescribeWindow(form).toStdString() << std::flush;
  return std::cout ? 0 : 1;
}
