// SPDX-License-Identifier: GPL-3.0-or-later
// The least a Qt Widgets program costs: one titled QWidget, shown, nothing else. The start-up
// figures of the panel (scripts/measure.sh) are measured against this program, started and
// timed alternately with it, so that the machine's noise cancels in the ratio.
//
// QUARVEL_EXIT_WHEN_SHOWN=1 makes it quit as soon as the window has painted for the first
// time, exactly as the panel's programs do (=2, "once the last window has painted", is the
// same here: there is one window); without it the window stays until closed.
#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

namespace {

class QuitWhenPainted : public QObject {
 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) {
      watched->removeEventFilter(this);
      QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    }
    return false;
  }
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QWidget window;
  window.setWindowTitle(QStringLiteral("Floor"));
  QuitWhenPainted quitWhenPainted;
  if (qEnvironmentVariableIntValue("QUARVEL_EXIT_WHEN_SHOWN") >= 1)
    window.installEventFilter(&quitWhenPainted);
  window.show();
  return app.exec();
}
