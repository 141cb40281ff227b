// SPDX-License-Identifier: GPL-3.0-or-later
// The panel as the program builds it (ui::Panel, with the window's own file dialog behind the
// uploads) on a simulated board, with error boxes and pauses recorded so that nothing waits
// for a user except the file dialog. Shown and active, so keys reach the focused bar.
#pragma once

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

#include "Doubles.h"
#include "port/SimulatedDriver.h"
#include "ui/Panel.h"

namespace quarvel::ui_test {

struct PanelRig {
  port::SimulatedDriver driver;
  port::RecordingReporter reporter;
  receiver::RecordingSleeper sleeper;
  ui::Panel panel{driver, reporter, sleeper, "Quarvelsdr-sim"};
  ui::TForm1& form = panel.Form();

  PanelRig() {
    form.show();
    form.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&form, 2000));
  }

  template <class W = QWidget>
  W* Find(const char* name) const {
    W* widget = form.findChild<W*>(QString::fromLatin1(name));
    if (widget == nullptr) ADD_FAILURE() << "no " << name;
    return widget;
  }
  QScrollBar* Bar(const char* name) const { return Find<QScrollBar>(name); }
  void Click(const char* button) { QTest::mouseClick(Find<QPushButton>(button), Qt::LeftButton); }
  // A key on the focused bar.
  void Key(QScrollBar* bar, Qt::Key key) {
    if (!bar->hasFocus()) bar->setFocus();
    QTest::keyClick(bar, key);
  }
  QString Text(const char* name) const {
    if (auto* edit = form.findChild<QLineEdit*>(QString::fromLatin1(name))) return edit->text();
    return Find<QLabel>(name)->text();
  }
  void Forget() {
    driver.ClearCalls();
    reporter.Clear();
    sleeper.pauses.clear();
  }
};

}  // namespace quarvel::ui_test
