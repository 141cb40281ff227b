// SPDX-License-Identifier: GPL-3.0-or-later
// The least a Qt Widgets program costs: one titled QWidget, shown, nothing else. The start-up
// figures of the panel (scripts/measure.sh) are measured against this program, started and
// timed alternately with it, so that the machine's noise cancels in the ratio.
//
// QUARVEL_EXIT_WHEN_SHOWN=1 makes it quit as soon as the window has painted for the first
// time, exactly as the panel's programs do (=2, "once the last window has painted", is the
// same here: there is one window); without it the window stays until closed.
//
//   floor_window                      the floor
//   floor_window WxH [WxH]...         for comparison only: titled windows of these sizes
//                                     instead, each showing one line of text; what windows of
//                                     the panel's sizes cost before any control is drawn
//   floor_window --widgets FILE       for comparison only: the window FILE describes, made of
//                                     plain Qt widgets (bench/panel_widgets writes the panel's);
//                                     what Qt costs to show the panel's controls. Like the
//                                     panel, it loads fontconfig's configuration on a thread of
//                                     its own while the application object starts, so that the
//                                     figure counts what the panel does beyond that.
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QWidget>

#include <fontconfig/fontconfig.h>

#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "WidgetsWindow.h"
#include "ui/QuitWhenPainted.h"

int main(int argc, char** argv) {
  std::thread fonts;
  if (argc == 3 && std::strcmp(argv[1], "--widgets") == 0) fonts = std::thread([] { FcInit(); });
  QApplication app(argc, argv);
  if (fonts.joinable()) fonts.join();
  quarvel::ui::QuitWhenPainted quitWhenPainted;
  const bool exitWhenShown = qEnvironmentVariableIntValue("QUARVEL_EXIT_WHEN_SHOWN") >= 1;
  const QStringList args = QApplication::arguments().mid(1);
  if (args.size() == 2 && args[0] == QLatin1String("--widgets")) {
    QFile file(args[1]);
    std::unique_ptr<QWidget> window;
    if (file.open(QIODevice::ReadOnly | QIODevice::Text))
      window = quarvel::bench::WindowOfWidgets(QString::fromUtf8(file.readAll()));
    if (!window) {
      qWarning("floor_window: %s describes no window", qPrintable(args[1]));
      return 2;
    }
    if (exitWhenShown) window->installEventFilter(&quitWhenPainted);
    window->show();
    return app.exec();
  }
  std::vector<QSize> sizes;
  for (const QString& arg : args) {
    const QStringList parts = arg.split(u'x');
    bool wide = false, high = false;
    const int width = parts.value(0).toInt(&wide), height = parts.value(1).toInt(&high);
    if (parts.size() != 2 || !wide || !high || width <= 0 || height <= 0) {
      qWarning("usage: floor_window [WxH]... | --widgets FILE");
      return 2;
    }
    sizes.emplace_back(width, height);
  }
  if (sizes.empty()) {
    QWidget window;
    window.setWindowTitle(QStringLiteral("Floor"));
    if (exitWhenShown) window.installEventFilter(&quitWhenPainted);
    window.show();
    return app.exec();
  }
  std::vector<std::unique_ptr<QWidget>> windows;
  for (const QSize& size : sizes) {
    auto window = std::make_unique<QWidget>();
    window->setWindowTitle(QStringLiteral("Floor"));
    new QLabel(QStringLiteral("Floor %1 x %2").arg(size.width()).arg(size.height()), window.get());
    window->resize(size);
    window->show();
    windows.push_back(std::move(window));
  }
  if (exitWhenShown) windows.front()->installEventFilter(&quitWhenPainted);
  return app.exec();
}
