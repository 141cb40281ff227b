// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ScreenReader.h"

#include <QAccessible>
#include <QAccessibleObject>
#include <QAccessibleWidget>
#include <QScrollBar>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <utility>

namespace quarvel::ui {

namespace {

// Keeps a bar's reading as long as the bar lives: a child of the bar.
class ReadingHolder : public QObject {
 public:
  ReadingHolder(QScrollBar* bar, BarReading reading) : QObject(bar), reading(std::move(reading)) {}
  const BarReading reading;
};

const BarReading* ReadingOf(const QObject* bar) {
  for (const QObject* child : bar->children())
    if (const auto* holder = dynamic_cast<const ReadingHolder*>(child)) return &holder->reading;
  return nullptr;
}

// A scroll bar as a screen reader reads it: a scroll bar whose value is the quantity, with
// the increase and decrease actions of the toolkit's own scroll bars (one step each).
class ReadBarAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
 public:
  ReadBarAccessible(QScrollBar* bar, const BarReading& reading)
      : QAccessibleWidget(bar, QAccessible::ScrollBar), bar_(bar), reading_(reading) {}

  void* interface_cast(QAccessible::InterfaceType type) override {
    if (type == QAccessible::ValueInterface) return static_cast<QAccessibleValueInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
  }
  QString text(QAccessible::Text t) const override {
    if (t == QAccessible::Value) return reading_.text();
    return QAccessibleWidget::text(t);
  }

  QVariant currentValue() const override { return reading_.value(); }
  QVariant minimumValue() const override { return ValueAt(bar_->minimum()); }
  QVariant maximumValue() const override { return ValueAt(bar_->maximum()); }
  QVariant minimumStepSize() const override { return reading_.perStep(); }
  void setCurrentValue(const QVariant& value) override {
    const double step = reading_.perStep();
    bool number = false;
    const double wanted = value.toDouble(&number);
    if (!number || !(step > 0) || !std::isfinite(wanted)) return;
    // The nearest position, counted from the position the value belongs to (the bar may be
    // ahead of it while its change waits for an operation to end), kept inside the range
    // before it is rounded to an int.
    const double target =
        std::clamp(reading_.position() + std::round((wanted - reading_.value()) / step),
                   static_cast<double>(bar_->minimum()), static_cast<double>(bar_->maximum()));
    bar_->setValue(static_cast<int>(target));
  }

  QStringList actionNames() const override {
    return QAccessibleWidget::actionNames() << increaseAction() << decreaseAction();
  }
  void doAction(const QString& name) override {
    if (name == increaseAction())
      bar_->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    else if (name == decreaseAction())
      bar_->triggerAction(QAbstractSlider::SliderSingleStepSub);
    else
      QAccessibleWidget::doAction(name);
  }

 private:
  double ValueAt(int position) const {
    return reading_.value() +
           (static_cast<double>(position) - reading_.position()) * reading_.perStep();
  }

  QScrollBar* bar_;
  const BarReading& reading_;  // held by the bar
};

// A notice: a notification with the announcer's text, in no window's list of children.
class NoticeAccessible : public QAccessibleObject {
 public:
  explicit NoticeAccessible(Announcer* announcer)
      : QAccessibleObject(announcer), announcer_(announcer) {}

  QAccessibleInterface* parent() const override {
    return QAccessible::queryAccessibleInterface(announcer_->Window());
  }
  QAccessibleInterface* child(int) const override { return nullptr; }
  int childCount() const override { return 0; }
  int indexOfChild(const QAccessibleInterface*) const override { return -1; }
  QAccessible::Role role() const override { return QAccessible::Notification; }
  QAccessible::State state() const override { return {}; }
  QString text(QAccessible::Text t) const override {
    return t == QAccessible::Name ? announcer_->Text() : QString();
  }

 private:
  Announcer* announcer_;
};

QAccessibleInterface* Accessible(const QString&, QObject* object) {
  if (auto* bar = qobject_cast<QScrollBar*>(object)) {
    if (const BarReading* reading = ReadingOf(bar)) return new ReadBarAccessible(bar, *reading);
  }
  if (auto* announcer = dynamic_cast<Announcer*>(object)) return new NoticeAccessible(announcer);
  return nullptr;
}

void InstallFactoryOnce() {
  static const bool installed = (QAccessible::installFactory(&Accessible), true);
  (void)installed;
}

}  // namespace

void ReadBarAs(QScrollBar* bar, BarReading reading) {
  InstallFactoryOnce();
  new ReadingHolder(bar, std::move(reading));
}

void BarReadingChanged(QScrollBar* bar) {
  if (!QAccessible::isActive()) return;  // no screen reader: nothing to tell, nothing to look up
  const BarReading* reading = ReadingOf(bar);
  if (reading == nullptr) return;
  QAccessibleValueChangeEvent changed(bar, reading->value());
  QAccessible::updateAccessibility(&changed);
}

Announcer::Announcer(QWidget* window) : QObject(window), window_(window) {
  InstallFactoryOnce();
}

void Announcer::Say(const QString& text) {
  text_ = text;
  ++said_;
  if (!QAccessible::isActive()) return;
  // Screen readers speak a notification when it shows.
  QAccessibleEvent shown(this, QAccessible::ObjectShow);
  QAccessible::updateAccessibility(&shown);
}

}  // namespace quarvel::ui
