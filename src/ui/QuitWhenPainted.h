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

#include <chrono>
#include <cstdio>

namespace quarvel::ui {

// Run once the watched window's first paint has been handled. Writes the wall-clock time, in
// nanoseconds since the epoch, to the file QUARVEL_SHOWN_AT_FILE names (if set), then quits.
// The time is taken here and not when the process ends: what a program does on its way out is
// no part of showing its window (the least Qt program, for one, reads fontconfig's whole
// configuration while it ends, some 10 ms).
inline void QuitNowShown() {
  const QByteArray file = qgetenv("QUARVEL_SHOWN_AT_FILE");
  if (!file.isEmpty()) {
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                        std::chrono::system_clock::now().time_since_epoch())
                        .count();
    if (std::FILE* out = std::fopen(file.constData(), "w")) {
      std::fprintf(out, "%lld\n", static_cast<long long>(ns));
      std::fclose(out);
    }
  }
  QCoreApplication::quit();
}

class QuitWhenPainted : public QObject {
 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) {
      watched->removeEventFilter(this);
      QTimer::singleShot(0, qApp, QuitNowShown);
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
      QTimer::singleShot(0, qApp, QuitNowShown);
    }
    return false;
  }

 private:
  const QWidget* window_;
};

}  // namespace quarvel::ui
