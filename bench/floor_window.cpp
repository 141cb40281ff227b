// SPDX-License-Identifier: GPL-3.0-or-later
// The least a Qt Widgets program costs: one titled QWidget, shown, nothing else. The start-up
// figures of the panel (scripts/measure.sh) are measured against this program, started and
// timed alternately with it, so that the machine's noise cancels in the ratio.
//
// QUARVEL_EXIT_WHEN_SHOWN=1 makes it quit as soon as the window has painted for the first
// time, exactly as the panel's programs do (=2, "once the last window has painted", is the
// same here: there is one window); without it the window stays until closed.
#include <QApplication>
#include <QWidget>

#include "ui/QuitWhenPainted.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QWidget window;
  window.setWindowTitle(QStringLiteral("Floor"));
  quarvel::ui::QuitWhenPainted quitWhenPainted;
  if (qEnvironmentVariableIntValue("QUARVEL_EXIT_WHEN_SHOWN") >= 1)
    window.installEventFilter(&quitWhenPainted);
  window.show();
  return app.exec();
}
