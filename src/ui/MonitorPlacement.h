// SPDX-License-Identifier: GPL-3.0-or-later
// Where the windows open: the panel at its layout place where the screen shows its controls, the
// bus monitor in the room the panel leaves on its screen, or on another screen where that room
// is too small.
#pragma once

#include <QMargins>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QRegion>
#include <QSize>
#include <QTimer>

#include <optional>
#include <vector>

class QScreen;
class QWidget;

namespace quarvel::ui {

inline constexpr int kMonitorGapPx = 12;

// The monitor's frame rectangle, given the panel's frame and the screen's available area:
// never over the panel (a gap of gapPx stays free) and never outside the area. Of the room to
// the right of, below, left of and above the panel, the largest one that takes the minimum
// size is used, else the largest one; there the monitor gets its preferred size, cut to the
// room (narrower, shorter, with fewer of its parts in view), next to the panel and lined up
// with it. All sizes are frame sizes. When the panel leaves no room at all, the monitor goes
// to the area's top left corner at its minimum size, cut to the area.
QRect MonitorFrame(const QRect& panelFrame, const QRect& available, const QSize& minimum,
                   const QSize& preferred, int gapPx = kMonitorGapPx);

// Where the monitor goes when its place on the panel's screen would cut it below its minimum
// size: on the nearest of the other screens' available areas that takes the minimum size, at
// its preferred size cut to that area, as close to the panel as the area allows (at the edge
// facing it, lined up with it); nothing when no other area takes it. Frame sizes.
std::optional<QRect> MonitorFrameElsewhere(const QRect& panelFrame,
                                           const std::vector<QRect>& others, const QSize& minimum,
                                           const QSize& preferred);

// Where the panel opens: at its layout place `wanted` where its title bar (of the assumed usual
// size) and the `shown` part of its client area (from the top left corner: every control) are
// on the available area, whether the window manager puts the frame at `wanted` or one frame
// width further right and down; else moved just enough for that, and to the area's top or left
// edge where even that does not fit.
QPoint PanelPlace(const QPoint& wanted, const QSize& shown, const QRect& available);

// The largest client area a window has on the available area, with a frame (of the assumed
// usual size) around it.
QSize WindowRoom(const QRect& available);

// How much the panel's 96-dpi layout is scaled, and its text with it: by `wanted` (the logical
// DPI over 96, where the toolkit leaves that to the window) as far as the available area holds
// the layout's `controls` (their extent, from the top left corner) in a framed window; where it
// does not, by the largest factor that fits, the text shrinking by as much.
struct PanelScales {
  double layout = 1.0;
  double text = 1.0;
};
PanelScales PanelScalesFor(double wanted, const QSize& controls, const QRect& available);

// Whether the desktop, not the program, decides where windows go (Wayland): there a program
// can neither place its windows nor learn where they are.
bool DesktopPlacesWindows();

// The screen the program's windows open on when none of them is active: the primary screen.
// The panel opens there, and so does an error box shown before it (at start-up) or while another
// program has the keyboard.
QScreen* HomeScreen();

// The window the user works in: a dialog open over the panel (the file dialog), else the panel
// while it is shown, whichever window is active (the bus monitor may be, while a wheel turns
// over the panel; between two error boxes none is); else the active window; else none (at
// start-up, before the panel shows).
const QWidget* WorkWindow(const QWidget* panel);

// The screen the user works on: the work window's, else the home screen, where the panel will
// open. The pointer does not tell it: it may rest on another monitor while the keyboard works
// the panel.
QScreen* WorkScreen(const QWidget* panel);

// The frame the window manager draws around a window as far as the toolkit knows it: none
// without a window manager, or before the window is shown.
QMargins DrawnFrame(const QWidget& window);
// The window manager's frame around a window; when there is no window or its frame is not known
// yet (it is not shown), that of a usual title bar and border.
QMargins FrameOf(const QWidget* window);

// The top left corner of the frame that centres a window of this client size and frame on the
// available area; a window larger than the area keeps that corner (its title bar) on the area.
QPoint CentredPlace(const QSize& client, const QMargins& frame, const QRect& available);

// Sizes and places the monitor window by MonitorFrame on the panel's screen, or by
// MonitorFrameElsewhere where that would cut it below its minimum size; the panel keeps its
// place. minimum is the client size that shows all of the monitor, the preferred size is
// its current one. The window manager's frame is read from the panel when it is known, and
// otherwise assumed to be that of a usual title bar and border; room is left for window
// managers that put a window one frame width off the requested position. Where the desktop
// places windows, the monitor keeps its preferred size, cut to the screen, and is not moved:
// the panel's position it would be fitted beside is not known there.
void PlaceMonitor(QWidget& monitor, const QSize& minimum, const QWidget& panel);

// Where a window goes once the screens have changed (a monitor unplugged, a screen made
// smaller): nowhere while the middle of its title bar (frameMargins.top() high) is on the
// available areas, since the user can still reach it there; else, at its size, into the
// area it overlaps most (where a window manager pulled a corner of it), or the fallback area
// where it overlaps none, as far in as it fits, its title bar first, with room for window
// managers that put a window one frame width (frameMargins) off the requested position.
// Frame rectangles.
std::optional<QPoint> BackOnAScreen(const QRect& frame, const std::vector<QRect>& available,
                                    const QRect& fallback, const QMargins& frameMargins);

// Where a window's frame goes when its client area becomes `client` in size, laid out again for
// the screen `screen` (its whole area) with the available area `available`: from `frame` (the
// frame rectangle before), the top left corner kept where the window's middle is then still on
// the screen, else the middle kept where that is on the screen, and moved as little as puts
// the middle there: the toolkit keeps a window's screen while the window's middle is on it, so
// the window stays on the screen it was laid out for. Where its title bar and the `shownHeight`
// top part of its client area (from the top: the controls) are not all on `reach` (every
// screen's available area together), it is moved onto the available area as little as shows
// them: along one axis where that does (the shorter move first), else along both, the title bar
// first, with room for window managers that put a window one frame width (frameMargins) off the
// requested position.
QRect RescaledFrame(const QRect& frame, const QMargins& frameMargins, const QSize& client,
                    int shownHeight, const QRect& screen, const QRect& available,
                    const QRegion& reach);

// Keeps the program's windows within reach when the screens change: a short while after a
// screen is removed, added or changes its available area, every shown window (the panel, the
// bus monitor, an open dialog or error box) that BackOnAScreen finds out of reach, and did not
// before the change, is moved back, the home screen's area the fallback. A modal box left on an
// unplugged monitor would otherwise hold every window unseen. A maximised, full-screen or
// minimised window is the window manager's while it is so; the place it comes back to may have
// gone with the screen, so it is looked at the same way a short while after it comes back.
// Nothing is moved where the desktop places windows.
class WindowsKeptOnScreens : public QObject {
 public:
  WindowsKeptOnScreens();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  static std::vector<QRect> Areas();  // of the screens the windows can be on
  void Watch(QScreen* screen);
  void Keep();
  void KeepWhenBack(QWidget* window);
  QTimer settle_;
  std::vector<QRect> before_;  // the areas before the change
};

}  // namespace quarvel::ui
