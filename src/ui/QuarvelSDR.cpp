// SPDX-License-Identifier: GPL-3.0-or-later
// The panel on the real board.
#include <QApplication>

#include "ui/DispatchTexts.h"
#include "ui/QtPlatform.h"
#include "ui/RealEdition.h"

int main(int argc, char** argv) {
  using namespace quarvel;
  ui::StandardStreamsOpen();
  // The panel reads no command line, not even the toolkit's own options.
  int qtArgc = argc > 0 ? 1 : 0;
  ui::NoSessionBusLaunched();
  ui::FontConfigurationLoader fonts;
  QApplication app(qtArgc, argv);
  // The desktop entry the windows belong to (the shell's launcher and icon, on Wayland too).
  QGuiApplication::setDesktopFileName(QStringLiteral("org.quarvel.QuarvelSDR"));
  fonts.Wait();

  ui::RealEdition edition(ui::ApplicationTitle(argc > 0 ? argv[0] : "QuarvelSDR"));
  ui::TForm1& Form1 = edition.Form();
  ui::CloseOnTerminationSignals closeOnSignals(Form1, &edition.Boxes());
  Form1.show();
  return app.exec();
}
