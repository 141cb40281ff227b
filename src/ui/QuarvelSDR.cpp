// The panel on the real board.
#include <QApplication>

#include "port/FtdiDriver.h"
#include "receiver/Sleeper.h"
#include "ui/DispatchTexts.h"
#include "ui/Panel.h"
#include "ui/QtPlatform.h"

int main(int argc, char** argv) {
  using namespace quarvel;
  // The panel reads no command line, not even the toolkit's own options.
  int qtArgc = argc > 0 ? 1 : 0;
  QApplication app(qtArgc, argv);

  port::FtdiDriver driver;
  ui::QtErrorReporter reporter;
  ui::WindowSleeper sleeper;
  ui::Panel panel(driver, reporter, sleeper,
                  ui::ApplicationTitle(argc > 0 ? argv[0] : "QuarvelSDR"));
  ui::TForm1& Form1 = panel.Form();
  Form1.show();
  return app.exec();
}
