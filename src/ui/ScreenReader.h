// SPDX-License-Identifier: GPL-3.0-or-later
// What screen readers get beyond the toolkit's own accessibility: a scroll bar read as the
// quantity its position stands for, and short spoken notices.
#pragma once

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>

class QScrollBar;
class QWidget;

namespace quarvel::ui {

// The quantity a scroll bar's position stands for: its value now (as a number and as the
// panel shows it), the position that value belongs to, and how much one step of the position
// changes it.
struct BarReading {
  std::function<double()> value;
  std::function<QString()> text;
  std::function<double()> perStep;
  std::function<double()> position;
};

// Makes screen readers read `bar` by `reading`: its accessible value, minimum, maximum and
// step are the quantity's, and a value set by a screen reader moves the bar to the nearest
// position, as the keyboard would. Call before the bar is given its range and position.
void ReadBarAs(QScrollBar* bar, BarReading reading);
// Tells screen readers that the value of a bar read by ReadBarAs changed (its position may
// not have: the offset or the band changed what one position means).
void BarReadingChanged(QScrollBar* bar);

// Says a text to screen readers once, as a notification of `window`, which nobody else sees.
// For what a control changes elsewhere in the window, where the control itself stays as it is.
class Announcer : public QObject {
 public:
  explicit Announcer(QWidget* window);

  void Say(const QString& text);
  // The last text said, and how many have been said.
  const QString& Text() const { return text_; }
  std::uint64_t Said() const { return said_; }
  QWidget* Window() const { return window_; }

 private:
  QWidget* window_;
  QString text_;
  std::uint64_t said_ = 0;
};

}  // namespace quarvel::ui
