// SPDX-License-Identifier: GPL-3.0-or-later
// A window's controls as plain Qt widgets, written down and built again: the start-up figures
// (scripts/measure.sh) compare the panel with the least Qt program that shows the same controls,
// with the same text, fonts and places, and nothing of ours (`floor_window --widgets`).
// Header-only and Qt alone, so that that program uses none of our library.
//
// One line a control, fields separated by tabs: "<class> <x> <y> <w> <h> <font> <text>", the
// font as QFont::toString() writes it, the text with "\", newline and tab escaped. A scroll or
// progress bar's text is its minimum, maximum, value and page step (a progress bar: whether
// it shows its text). The first line is the window: "window 0 0 <w> <h> <font> <title>".
#pragma once

#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QStringList>
#include <QWidget>

#include <memory>

namespace quarvel::bench {

namespace widgets_window {

inline QString Escaped(QString text) {
  return text.replace(u'\\', QStringLiteral("\\\\"))
      .replace(u'\n', QStringLiteral("\\n"))
      .replace(u'\t', QStringLiteral("\\t"));
}

inline QString Unescaped(const QString& text) {
  QString plain;
  for (qsizetype i = 0; i < text.size(); ++i) {
    QChar c = text[i];
    if (c == u'\\' && i + 1 < text.size()) {
      c = text[++i];
      if (c == u'n') c = u'\n';
      if (c == u't') c = u'\t';
    }
    plain += c;
  }
  return plain;
}

// The Qt class a control is, whatever class of ours it is made of.
inline QString KindOf(const QWidget& widget) {
  for (const char* kind : {"QLabel", "QPushButton", "QLineEdit", "QScrollBar", "QProgressBar"})
    if (widget.inherits(kind)) return QString::fromLatin1(kind);
  return QStringLiteral("QWidget");
}

inline QString TextOf(const QWidget& widget) {
  if (const auto* label = qobject_cast<const QLabel*>(&widget)) return label->text();
  if (const auto* button = qobject_cast<const QPushButton*>(&widget)) return button->text();
  if (const auto* edit = qobject_cast<const QLineEdit*>(&widget)) return edit->text();
  if (const auto* bar = qobject_cast<const QScrollBar*>(&widget))
    return QStringLiteral("%1 %2 %3 %4")
        .arg(bar->minimum())
        .arg(bar->maximum())
        .arg(bar->value())
        .arg(bar->pageStep());
  if (const auto* bar = qobject_cast<const QProgressBar*>(&widget))
    return QStringLiteral("%1 %2 %3 %4")
        .arg(bar->minimum())
        .arg(bar->maximum())
        .arg(bar->value())
        .arg(bar->isTextVisible() ? 1 : 0);
  return {};
}

inline QString Line(const QString& kind, const QRect& at, const QFont& font, const QString& text) {
  return QStringLiteral("%1\t%2\t%3\t%4\t%5\t%6\t%7\n")
      .arg(kind)
      .arg(at.x())
      .arg(at.y())
      .arg(at.width())
      .arg(at.height())
      .arg(font.toString(), Escaped(text));
}

// A control of the kind with the text (for bars, the four numbers); null when not understood.
inline QWidget* MakeWidget(const QString& kind, const QString& text, QWidget* window) {
  const QStringList numbers = text.split(u' ');
  if (kind == QLatin1String("QLabel")) return new QLabel(text, window);
  if (kind == QLatin1String("QPushButton")) return new QPushButton(text, window);
  if (kind == QLatin1String("QLineEdit")) return new QLineEdit(text, window);
  if (kind == QLatin1String("QWidget")) return new QWidget(window);
  if (numbers.size() != 4) return nullptr;
  if (kind == QLatin1String("QScrollBar")) {
    auto* bar = new QScrollBar(Qt::Horizontal, window);
    bar->setRange(numbers[0].toInt(), numbers[1].toInt());
    bar->setValue(numbers[2].toInt());
    bar->setPageStep(numbers[3].toInt());
    return bar;
  }
  if (kind == QLatin1String("QProgressBar")) {
    auto* bar = new QProgressBar(window);
    bar->setRange(numbers[0].toInt(), numbers[1].toInt());
    bar->setValue(numbers[2].toInt());
    bar->setTextVisible(numbers[3] == QLatin1String("1"));
    return bar;
  }
  return nullptr;
}

}  // namespace widgets_window

// The window and its visible direct children, in the order they are painted.
inline QString DescribeWindow(const QWidget& window) {
  using namespace widgets_window;
  QString lines = Line(QStringLiteral("window"), QRect(QPoint(), window.size()), window.font(),
                       window.windowTitle());
  for (const QWidget* child : window.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
    if (child->isVisibleTo(&window))
      lines += Line(KindOf(*child), child->geometry(), child->font(), TextOf(*child));
  return lines;
}

// The window a description tells of, made of plain Qt widgets, not shown. Null when a line is
// not understood.
inline std::unique_ptr<QWidget> WindowOfWidgets(const QString& description) {
  using namespace widgets_window;
  std::unique_ptr<QWidget> window;
  for (const QString& line : description.split(u'\n', Qt::SkipEmptyParts)) {
    const QStringList field = line.split(u'\t');
    QFont font;
    if (field.size() != 7 || !font.fromString(field[5])) return nullptr;
    const QRect at(field[1].toInt(), field[2].toInt(), field[3].toInt(), field[4].toInt());
    const QString text = Unescaped(field[6]);
    if (!window) {
      if (field[0] != QLatin1String("window")) return nullptr;
      window = std::make_unique<QWidget>();
      window->setWindowTitle(text);
      window->setFont(font);
      window->resize(at.size());
      continue;
    }
    QWidget* widget = MakeWidget(field[0], text, window.get());
    if (!widget) return nullptr;
    if (font != window->font()) widget->setFont(font);
    widget->setGeometry(at);
  }
  return window;
}

}  // namespace quarvel::bench
