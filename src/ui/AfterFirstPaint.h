// SPDX-License-Identifier: GPL-3.0-or-later
// Runs a job once a window has painted for the first time, from the event loop, so that the
// window is on the screen before the job's own cost is paid.
#pragma once

#include <QEvent>
#include <QObject>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <utility>

namespace quarvel::ui {

class AfterFirstPaint : public QObject {
 public:
  AfterFirstPaint(QWidget& window, std::function<void()> job) : job_(std::move(job)) {
    window.installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) {
      watched->removeEventFilter(this);
      QTimer::singleShot(0, this, job_);
    }
    return false;
  }

 private:
  std::function<void()> job_;
};

}  // namespace quarvel::ui
