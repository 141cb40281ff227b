// SPDX-License-Identifier: GPL-3.0-or-later
// For start-up timing (QUARVEL_EXIT_WHEN_SHOWN, see scripts/measure.sh): quits the application
// as soon as a watched window has painted for the first time. Header-only, so that the least Qt
// program the start-up figures are compared with uses the very same rule without our library.
#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QTimer>
#include <QWidget>

namespace quarvel::ui {

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

// The same for a window whose children cover it wholly (a window laid out with a scroll area
// and no margins): such a window gets no paint event of its own, its children do. Watches the
// whole application, so it is only for the timing runs.
class QuitWhenWindowPainted : public QObject {
 public:
  explicit QuitWhenWindowPainted(const QWidget* window) : window_(window) {
    qApp->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->window() == window_) {
      qApp->removeEventFilter(this);
      QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    }
    return false;
  }

 private:
  const QWidget* window_;
};

}  // namespace quarvel::ui
