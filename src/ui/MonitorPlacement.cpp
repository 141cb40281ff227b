// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/MonitorPlacement.h"

#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QMargins>
#include <QPointer>
#include <QRegion>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <array>
#include <cstdlib>

namespace quarvel::ui {

namespace {

// A frame not known yet (the window manager frames the panel after it is shown): a title bar
// and a border as most window managers draw them, rather too big than too small.
constexpr QMargins kAssumedFrame(4, 32, 4, 8);

QSize Fitted(const QSize& preferred, const QRect& room) {
  return {std::min(preferred.width(), room.width()), std::min(preferred.height(), room.height())};
}

// v moved into [low, high], low winning when the range is empty.
int Clamp(int v, int low, int high) {
  return std::max(low, std::min(v, high));
}

// Whether the middle of a window's title bar, where a user takes hold of it to drag it, is
// shown by the screens together (it may lie across the seam of two monitors).
bool TitleBarInReach(const QRect& frame, const std::vector<QRect>& available,
                     const QMargins& frameMargins) {
  const int grip = std::min(frame.width(), 96);
  const QRect title(frame.x() + (frame.width() - grip) / 2, frame.y(), grip,
                    std::max(frameMargins.top(), 1));
  QRegion reach;
  for (const QRect& area : available) reach += area;
  return QRegion(title).subtracted(reach).isEmpty();
}

}  // namespace

QRect MonitorFrame(const QRect& panel, const QRect& area, const QSize& minimum,
                   const QSize& preferred, int gap) {
  enum Side { Right, Below, Left, Above };
  // Rooms as (left, top, right, bottom) edges, right and bottom exclusive.
  const int areaRight = area.x() + area.width();
  const int areaBottom = area.y() + area.height();
  const int panelRight = panel.x() + panel.width();
  const int panelBottom = panel.y() + panel.height();
  const std::array<QRect, 4> rooms = {
      QRect(QPoint(panelRight + gap, area.y()), QPoint(areaRight - 1, areaBottom - 1)),
      QRect(QPoint(area.x(), panelBottom + gap), QPoint(areaRight - 1, areaBottom - 1)),
      QRect(QPoint(area.x(), area.y()), QPoint(panel.x() - gap - 1, areaBottom - 1)),
      QRect(QPoint(area.x(), area.y()), QPoint(areaRight - 1, panel.y() - gap - 1)),
  };
  int best = -1;
  bool bestFits = false;
  long long bestArea = 0;
  for (int side = Right; side <= Above; ++side) {
    const QRect& room = rooms[static_cast<std::size_t>(side)];
    if (room.width() <= 0 || room.height() <= 0) continue;
    const QSize size = Fitted(preferred, room);
    const bool fits = size.width() >= minimum.width() && size.height() >= minimum.height();
    const long long size2 = static_cast<long long>(size.width()) * size.height();
    if (best < 0 || (fits && !bestFits) || (fits == bestFits && size2 > bestArea)) {
      best = side;
      bestFits = fits;
      bestArea = size2;
    }
  }
  if (best < 0) return {area.topLeft(), Fitted(minimum, area)};

  const QRect& room = rooms[static_cast<std::size_t>(best)];
  const QSize size = Fitted(preferred, room);
  QPoint at;
  switch (best) {
    case Right:
    case Left:
      at.setX(best == Right ? room.x() : room.x() + room.width() - size.width());
      at.setY(Clamp(panel.y(), room.y(), room.y() + room.height() - size.height()));
      break;
    default:
      at.setY(best == Below ? room.y() : room.y() + room.height() - size.height());
      at.setX(Clamp(panel.x(), room.x(), room.x() + room.width() - size.width()));
      break;
  }
  return {at, size};
}

QPoint PanelPlace(const QPoint& wanted, const QSize& shown, const QRect& available) {
  // Window managers put the frame at the requested position or one frame width further right
  // and down (taking it as the client's); either way the title bar and the shown part must be
  // on the screen.
  const QMargins& f = kAssumedFrame;
  const int width = 2 * f.left() + shown.width();
  const int height = 2 * f.top() + shown.height();
  return {Clamp(wanted.x(), available.x(), available.x() + available.width() - width),
          Clamp(wanted.y(), available.y(), available.y() + available.height() - height)};
}

QSize WindowRoom(const QRect& available) {
  return available.size().shrunkBy(kAssumedFrame);
}

PanelScales PanelScalesFor(double wanted, const QSize& controls, const QRect& available) {
  const QSize room = WindowRoom(available);
  if (controls.isEmpty() || room.isEmpty()) return {wanted, 1.0};
  const double fits = std::min(static_cast<double>(room.width()) / controls.width(),
                               static_cast<double>(room.height()) / controls.height());
  if (fits >= wanted) return {wanted, 1.0};
  return {fits, fits / wanted};
}

bool DesktopPlacesWindows() {
  return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

QScreen* HomeScreen() {
  return QGuiApplication::primaryScreen();
}

const QWidget* WorkWindow(const QWidget* panel) {
  // Every operation starts in the panel or in a dialog it opened; the bus monitor may be the
  // active window meanwhile (a wheel turned over the panel does not activate it).
  if (const QWidget* dialog = QApplication::activeModalWidget();
      dialog != nullptr && dialog->isVisible())
    return dialog;
  if (panel != nullptr && panel->isVisible()) return panel;
  if (const QWidget* active = QApplication::activeWindow();
      active != nullptr && active->isVisible())
    return active;
  return nullptr;
}

QScreen* WorkScreen(const QWidget* panel) {
  if (const QWidget* window = WorkWindow(panel))
    if (QScreen* screen = window->screen()) return screen;
  return HomeScreen();
}

QMargins DrawnFrame(const QWidget& window) {
  const QRect client = window.geometry();
  const QRect framed = window.frameGeometry();
  return {client.left() - framed.left(), client.top() - framed.top(),
          framed.right() - client.right(), framed.bottom() - client.bottom()};
}

QMargins FrameOf(const QWidget* window) {
  if (window == nullptr) return kAssumedFrame;
  const QMargins frame = DrawnFrame(*window);
  return frame.isNull() ? kAssumedFrame : frame;
}

QPoint CentredPlace(const QSize& client, const QMargins& frame, const QRect& available) {
  const QSize outer = client.grownBy(frame);
  return {std::max(available.x(), available.x() + (available.width() - outer.width()) / 2),
          std::max(available.y(), available.y() + (available.height() - outer.height()) / 2)};
}

std::optional<QRect> MonitorFrameElsewhere(const QRect& panelFrame,
                                           const std::vector<QRect>& others, const QSize& minimum,
                                           const QSize& preferred) {
  std::optional<QRect> nearest;
  long long nearestDistance = 0;
  for (const QRect& area : others) {
    if (area.width() < minimum.width() || area.height() < minimum.height()) continue;
    const long long dx = std::max({0, area.x() - (panelFrame.x() + panelFrame.width()),
                                   panelFrame.x() - (area.x() + area.width())});
    const long long dy = std::max({0, area.y() - (panelFrame.y() + panelFrame.height()),
                                   panelFrame.y() - (area.y() + area.height())});
    if (nearest && dx * dx + dy * dy >= nearestDistance) continue;
    nearestDistance = dx * dx + dy * dy;
    // As close to the panel as the area allows: at the edge facing it, lined up with it.
    const QSize size = Fitted(preferred, area);
    nearest =
        QRect(QPoint(Clamp(panelFrame.x(), area.x(), area.x() + area.width() - size.width()),
                     Clamp(panelFrame.y(), area.y(), area.y() + area.height() - size.height())),
              size);
  }
  return nearest;
}

void PlaceMonitor(QWidget& monitor, const QSize& minimum, const QWidget& panel) {
  const QScreen* screen = panel.screen();
  if (screen == nullptr) return;
  // Below the minimum the monitor's parts scroll; it may be made that small.
  monitor.setMinimumSize(0, 0);
  if (DesktopPlacesWindows()) {
    monitor.resize(monitor.size().boundedTo(WindowRoom(screen->availableGeometry())));
    return;
  }
  const QRect client = panel.geometry();
  const QMargins frame = FrameOf(&panel);
  const QSize extra(frame.left() + frame.right(), frame.top() + frame.bottom());
  // Window managers differ in where a requested position puts the frame: at the position, or
  // (taken as the client's) one frame width further right and down, and the panel was placed
  // the same way. Both outcomes are kept clear of the panel and on the screen.
  const QPoint shift(frame.left(), frame.top());
  const QRect panelFrame(client.topLeft() - shift,
                         client.bottomRight() + shift * 2 + QPoint(frame.right(), frame.bottom()));
  const QRect area = screen->availableGeometry().adjusted(0, 0, -shift.x(), -shift.y());
  QRect place = MonitorFrame(panelFrame, area, minimum + extra, monitor.size() + extra);
  // (Never more than its present size, which MonitorFrame does not go beyond.)
  const QSize needed = minimum.boundedTo(monitor.size()) + extra;
  if (place.width() < needed.width() || place.height() < needed.height()) {
    // Cut on the panel's screen: whole on another screen, where there is one with room.
    std::vector<QRect> others;
    for (const QScreen* other : screen->virtualSiblings())
      if (other != screen)
        others.push_back(other->availableGeometry().adjusted(0, 0, -shift.x(), -shift.y()));
    if (const std::optional<QRect> elsewhere =
            MonitorFrameElsewhere(panelFrame, others, minimum + extra, monitor.size() + extra))
      place = *elsewhere;
  }
  monitor.resize(place.size() - extra);
  monitor.move(place.topLeft());  // a window's position is that of its frame
}

std::optional<QPoint> BackOnAScreen(const QRect& frame, const std::vector<QRect>& available,
                                    const QRect& fallback, const QMargins& frameMargins) {
  if (TitleBarInReach(frame, available, frameMargins)) return std::nullopt;
  QRect into = fallback;
  int overlap = 0;
  for (const QRect& area : available) {
    const QRect common = area.intersected(frame);
    if (common.width() * common.height() > overlap) {
      overlap = common.width() * common.height();
      into = area;
    }
  }
  // Room is left for window managers that put a window one frame width off the requested
  // position, as for the panel.
  into.adjust(0, 0, -frameMargins.left(), -frameMargins.top());
  return QPoint(Clamp(frame.x(), into.x(), into.x() + into.width() - frame.width()),
                Clamp(frame.y(), into.y(), into.y() + into.height() - frame.height()));
}

QRect RescaledFrame(const QRect& frame, const QMargins& frameMargins, const QSize& client,
                    int shownHeight, const QRect& screen, const QRect& available,
                    const QRegion& reach) {
  const auto middle = [&frameMargins](const QRect& f) {
    return f.marginsRemoved(frameMargins).center();
  };
  QRect to(frame.topLeft(), client.grownBy(frameMargins));
  if (!screen.contains(middle(to)) && screen.contains(middle(frame))) to.moveCenter(frame.center());
  // The least move that puts the middle on the screen.
  const QPoint offset = middle(to) - to.topLeft();
  to.moveTo(Clamp(to.x(), screen.x() - offset.x(), screen.x() + screen.width() - 1 - offset.x()),
            Clamp(to.y(), screen.y() - offset.y(), screen.y() + screen.height() - 1 - offset.y()));
  const auto fits = [&](const QPoint& at) {
    const QRect shown(at, QSize(to.width(), frameMargins.top() + shownHeight));
    return screen.contains(at + offset) && QRegion(shown).subtracted(reach).isEmpty();
  };
  if (fits(to.topLeft())) return to;
  const QRect into = available.adjusted(0, 0, -frameMargins.left(), -frameMargins.top());
  const QPoint onto(
      Clamp(to.x(), into.x(), into.x() + into.width() - to.width()),
      Clamp(to.y(), into.y(), into.y() + into.height() - frameMargins.top() - shownHeight));
  // The shorter move along one axis where that shows them, else along both.
  QPoint alongY(to.x(), onto.y()), alongX(onto.x(), to.y());
  if (std::abs(onto.x() - to.x()) < std::abs(onto.y() - to.y())) std::swap(alongY, alongX);
  for (const QPoint& at : {alongY, alongX})
    if (fits(at)) return {at, to.size()};
  return {onto, to.size()};
}

// The states in which the window manager holds a window's geometry.
constexpr Qt::WindowStates kHeld = Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen;

WindowsKeptOnScreens::WindowsKeptOnScreens() {
  // A window manager pulls windows off a removed monitor on its own, in its own time, and a
  // change of monitors comes as several notices: the windows are looked at once all is done.
  settle_.setSingleShot(true);
  settle_.setInterval(250);
  connect(&settle_, &QTimer::timeout, this, &WindowsKeptOnScreens::Keep);
  auto* app = qGuiApp;
  if (app == nullptr) return;
  connect(app, &QGuiApplication::screenAdded, this, [this](QScreen* screen) {
    Watch(screen);
    settle_.start();
  });
  connect(app, &QGuiApplication::screenRemoved, this, [this] { settle_.start(); });
  connect(app, &QGuiApplication::primaryScreenChanged, this, [this] { settle_.start(); });
  for (QScreen* screen : QGuiApplication::screens()) Watch(screen);
  before_ = Areas();
}

std::vector<QRect> WindowsKeptOnScreens::Areas() {
  std::vector<QRect> available;
  if (const QScreen* home = HomeScreen())
    for (const QScreen* screen : home->virtualSiblings())
      available.push_back(screen->availableGeometry());
  return available;
}

void WindowsKeptOnScreens::Watch(QScreen* screen) {
  connect(screen, &QScreen::availableGeometryChanged, this, [this] { settle_.start(); });
}

void WindowsKeptOnScreens::Keep() {
  const std::vector<QRect> before = std::move(before_);
  before_ = Areas();
  const QScreen* home = HomeScreen();
  if (home == nullptr || home->availableGeometry().isEmpty() || DesktopPlacesWindows()) return;
  for (QWidget* window : QApplication::topLevelWidgets()) {
    // Popups, menus and tooltips close by themselves.
    const Qt::WindowType type = window->windowType();
    if (!window->isVisible() || type == Qt::Popup || type == Qt::ToolTip) continue;
    const QMargins margins = FrameOf(window);
    // A window out of reach before the change too was put there by the user: it stays. (That of
    // a held window is where it comes back to.)
    if (window->windowState() & kHeld) {
      if (TitleBarInReach(window->normalGeometry().marginsAdded(margins), before, margins))
        KeepWhenBack(window);
      continue;
    }
    const QRect frame = window->frameGeometry();
    if (!TitleBarInReach(frame, before, margins)) continue;
    if (const std::optional<QPoint> to =
            BackOnAScreen(frame, before_, home->availableGeometry(), margins))
      window->move(*to);  // a window's position is that of its frame
  }
}

// The window manager gives such a window back its place of before, in its own time, and only then
// can it be looked at.
void WindowsKeptOnScreens::KeepWhenBack(QWidget* window) {
  window->installEventFilter(this);
}

bool WindowsKeptOnScreens::eventFilter(QObject* watched, QEvent* event) {
  auto* window = qobject_cast<QWidget*>(watched);
  if (event->type() != QEvent::WindowStateChange || window == nullptr ||
      (window->windowState() & kHeld))
    return false;
  window->removeEventFilter(this);
  QTimer::singleShot(settle_.interval(), this, [this, window = QPointer<QWidget>(window)] {
    const QScreen* home = HomeScreen();
    if (window == nullptr || !window->isVisible() || (window->windowState() & kHeld) ||
        home == nullptr || home->availableGeometry().isEmpty() || DesktopPlacesWindows())
      return;
    if (const std::optional<QPoint> to = BackOnAScreen(window->frameGeometry(), Areas(),
                                                       home->availableGeometry(), FrameOf(window)))
      window->move(*to);
  });
  return false;
}

}  // namespace quarvel::ui
