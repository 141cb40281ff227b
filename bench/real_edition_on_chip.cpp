// SPDX-License-Identifier: GPL-3.0-or-later
// The real edition (ui::RealEdition: FtdiDriver, libftdi1, libusb) on an FT232R emulated behind
// usbfs, for scripts/measure.sh. Run it under umockdev-wrapper (tests/usb/under-umockdev.sh).
//
//   real_edition_on_chip                      sets up the chip, then runs the edition as the
//                                             program's main does and quits as soon as the
//                                             window has painted for the first time
//   real_edition_on_chip --floor              the same chip set-up in the same program, then
//                                             the least Qt window instead of the edition
//                                             (bench/floor_window's), quitting at its first
//                                             paint: what the edition's start is compared with
//   real_edition_on_chip --tuning-events N    N tuning steps by key on the shown window, the
//                                             10 ms pause replaced; prints the median time of one
//                                             step, key to the chip's last byte
//
// Prints "setup_ns=<chip emulation set-up>" and, with --tuning-events, "tuning_ns=<median>".
#include <QApplication>
#include <QScrollBar>
#include <QTest>
#include <QWidget>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <vector>

#include "Doubles.h"
#include "EmulatedFtdiChip.h"
#include "ui/DispatchTexts.h"
#include "ui/QtPlatform.h"
#include "ui/QuitWhenPainted.h"
#include "ui/RealEdition.h"

namespace {

using Clock = std::chrono::steady_clock;

struct NoPause : quarvel::receiver::Sleeper {
  void SleepMs(int) override {}
};

long long Ns(Clock::duration d) {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(d).count();
}

}  // namespace

int main(int argc, char** argv) {
  using namespace quarvel;
  int events = 0;
  bool floor = false;
  if (argc == 3 && std::strcmp(argv[1], "--tuning-events") == 0) {
    events = std::atoi(argv[2]);
  } else if (argc == 2 && std::strcmp(argv[1], "--floor") == 0) {
    floor = true;
  } else if (argc != 1) {
    std::fprintf(stderr, "usage: real_edition_on_chip [--floor | --tuning-events N]\n");
    return 2;
  }

  // The chip first: libusb must find the emulated system from its first look on.
  const auto t0 = Clock::now();
  std::unique_ptr<usb_test::UsbTestbed> bed;
  std::unique_ptr<usb_test::EmulatedFtdiChip> chip;
  try {
    bed = std::make_unique<usb_test::UsbTestbed>();
    chip = std::make_unique<usb_test::EmulatedFtdiChip>(*bed);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "real_edition_on_chip: %s\n", e.what());
    return 1;
  }
  std::printf("setup_ns=%lld\n", Ns(Clock::now() - t0));

  int qtArgc = 1;
  if (floor) {
    QApplication app(qtArgc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Floor"));
    ui::QuitWhenPainted quit;
    window.installEventFilter(&quit);
    window.show();
    return app.exec();
  }
  ui::FontConfigurationLoader fonts;
  QApplication app(qtArgc, argv);
  fonts.Wait();
  const std::string title = ui::ApplicationTitle(argv[0]);

  if (events <= 0) {
    // Exactly what the program's main runs: modal boxes, real pauses.
    ui::RealEdition edition(title);
    ui::QuitWhenPainted quit;
    edition.Form().installEventFilter(&quit);
    edition.Form().show();
    const int rc = app.exec();
    std::fflush(stdout);
    return chip->BulkWrites().size() == 2 ? rc : 1;
  }

  port::RecordingReporter boxes;
  NoPause noPause;
  ui::RealEdition edition(title, boxes, noPause);
  edition.Form().show();
  if (!QTest::qWaitForWindowExposed(&edition.Form())) return 1;
  QScrollBar* tuning = edition.Form().findChild<QScrollBar*>("ScrollBar1");
  tuning->setFocus();
  std::vector<long long> ns;
  for (int i = 0; i < events; ++i) {
    chip->Forget();
    const auto start = Clock::now();
    QTest::keyClick(tuning, i % 2 == 0 ? Qt::Key_Right : Qt::Key_Left);
    ns.push_back(Ns(Clock::now() - start));
    if (chip->BulkWrites().empty()) {
      std::fprintf(stderr, "real_edition_on_chip: step %d sent nothing to the chip\n", i);
      return 1;
    }
  }
  if (!boxes.boxes.empty()) {
    std::fprintf(stderr, "real_edition_on_chip: error box \"%s\"\n", boxes.boxes[0].text.c_str());
    return 1;
  }
  std::nth_element(ns.begin(), ns.begin() + static_cast<long>(ns.size() / 2), ns.end());
  std::printf("tuning_ns=%lld\n", ns[ns.size() / 2]);
  return 0;
}
