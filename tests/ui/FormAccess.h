// SPDX-License-Identifier: GPL-3.0-or-later
// Reaching the window's controls the way the tests do: by object name, with the user's own
// clicks and keys. Shared by WindowRig, PanelRig and the usb tier's rig.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <QTimer>

#include <string>

namespace quarvel::ui_test {

// The user at the window's own file dialog, for as long as this lives: whenever the dialog is
// open, types the name into its name box and presses Return.
class FileDialogUser {
 public:
  explicit FileDialogUser(const std::string& name) {
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout, [name] {
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      auto* box = dialog ? dialog->findChild<QLineEdit*>("fileNameEdit") : nullptr;
      if (box == nullptr) return;
      box->setText(QString::fromStdString(name));
      QTest::keyClick(box, Qt::Key_Return);
    });
    timer_.start();
  }

 private:
  QTimer timer_;
};

// Shows the window, activates it and waits until it is active, so keys reach the focused bar.
inline void ShowActive(QWidget& window) {
  window.show();
  window.activateWindow();
  EXPECT_TRUE(QTest::qWaitForWindowActive(&window, 2000));
}

// Where the style draws the thumb of a bar.
inline QRect ThumbRect(const QScrollBar* bar) {
  QStyleOptionSlider opt;
  opt.initFrom(bar);
  opt.subControls = QStyle::SC_All;
  opt.orientation = bar->orientation();
  opt.state |= QStyle::State_Horizontal;
  opt.minimum = bar->minimum();
  opt.maximum = bar->maximum();
  opt.sliderPosition = bar->sliderPosition();
  opt.sliderValue = bar->value();
  opt.singleStep = bar->singleStep();
  opt.pageStep = bar->pageStep();
  opt.upsideDown = bar->invertedAppearance();
  return bar->style()->subControlRect(QStyle::CC_ScrollBar, &opt, QStyle::SC_ScrollBarSlider, bar);
}

// The control of that name below the window; a test failure when there is none.
template <class W = QWidget>
W* FindIn(const QWidget& window, const char* name) {
  W* widget = window.findChild<W*>(QString::fromLatin1(name));
  if (widget == nullptr) ADD_FAILURE() << "no " << name;
  return widget;
}

inline void ClickIn(const QWidget& window, const char* button) {
  QTest::mouseClick(FindIn<QPushButton>(window, button), Qt::LeftButton);
}

// The text of an edit field or a label.
inline QString TextIn(const QWidget& window, const char* name) {
  if (auto* edit = window.findChild<QLineEdit*>(QString::fromLatin1(name))) return edit->text();
  return FindIn<QLabel>(window, name)->text();
}

// A key on the focused bar, as the user presses it.
inline void KeyOn(QScrollBar* bar, Qt::Key key) {
  if (!bar->hasFocus()) bar->setFocus();
  QTest::keyClick(bar, key);
}

}  // namespace quarvel::ui_test
