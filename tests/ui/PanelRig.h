// SPDX-License-Identifier: GPL-3.0-or-later
// The panel as the program builds it (ui::Panel, with the window's own file dialog behind the
// uploads) on a simulated board, with error boxes and pauses recorded so that nothing waits
// for a user except the file dialog. Shown and active, so keys reach the focused bar.
#pragma once

#include "Doubles.h"
#include "FormAccess.h"
#include "port/SimulatedDriver.h"
#include "ui/Panel.h"

namespace quarvel::ui_test {

struct PanelRig {
  port::SimulatedDriver driver;
  port::RecordingReporter reporter;
  receiver::RecordingSleeper sleeper;
  ui::Panel panel{driver, reporter, sleeper, "Quarvelsdr-sim"};
  ui::TForm1& form = panel.Form();

  PanelRig() { ShowActive(form); }

  template <class W = QWidget>
  W* Find(const char* name) const {
    return FindIn<W>(form, name);
  }
  QScrollBar* Bar(const char* name) const { return Find<QScrollBar>(name); }
  void Click(const char* button) { ClickIn(form, button); }
  // A key on the focused bar.
  void Key(QScrollBar* bar, Qt::Key key) { KeyOn(bar, key); }
  QString Text(const char* name) const { return TextIn(form, name); }
  void Forget() {
    driver.ClearCalls();
    reporter.Clear();
    sleeper.pauses.clear();
  }
};

}  // namespace quarvel::ui_test
