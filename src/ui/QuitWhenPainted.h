// SPDX-License-Identifier: GPL-3.0-or-later
// For start-up timing (QUARVEL_EXIT_WHEN_SHOWN, see scripts/measure.sh): quits the application
// as soon as a watched window has painted for the first time. Header-only, so that the least Qt
// program the start-up figures are compared with uses the very same rule without our library.
#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QTimer>

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

}  // namespace quarvel::ui
