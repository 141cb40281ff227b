// SPDX-License-Identifier: GPL-3.0-or-later
// The real edition (ui::RealEdition, as the program builds it) on emulated FT232R chips, with
// error boxes recorded and pauses recorded or really taken, and the window offscreen.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Doubles.h"
#include "EmulatedFtdiChip.h"
#include "ui/FormAccess.h"
#include "ui/RealEdition.h"

namespace quarvel::usb_test {

inline constexpr const char* kTitle = "Quarvelsdr";

// Records each pause and runs a hook at it, so a test can act at an exact point of an upload;
// takes the pause for real only when asked to.
class PauseRecorder : public receiver::Sleeper {
 public:
  void SleepMs(int ms) override {
    pauses.push_back(ms);
    if (OnPause) OnPause(ms);
    if (real) real_.SleepMs(ms);
  }
  std::vector<int> pauses;
  std::function<void(int)> OnPause;
  bool real = false;

 private:
  receiver::RealSleeper real_;
};

// The request libftdi sends for bit mode 0xFF, asynchronous bit-bang (mask | mode << 8).
inline const ControlRequest kBitBangRequest{0x40, 0x0B, 0x01FF, 1, 0};
// The divisor a 38400-baud rate programs: 3 MHz / 38400 = 78.125.
inline const ControlRequest kDivisor38400Request{0x40, 0x03, 0xC04E, 0, 0};

// The requests a burst configures the chip with, from opening to the write: the reset and the
// initial 9600-baud divisor of libftdi's open, bit-bang mode, the 38400-baud divisor. Any state
// left over from an earlier burst shows here (a context still noting bit-bang mode at open
// would program 38400 baud instead of 9600).
inline const std::vector<ControlRequest> kBurstConfiguration = {
    {0x40, 0x00, 0x0000, 1, 0}, {0x40, 0x03, 0x4138, 0, 0}, kBitBangRequest, kDivisor38400Request};

// Each bulk write came right after its own open and configuration, exactly kBurstConfiguration.
inline ::testing::AssertionResult ConfiguredBeforeEachWrite(const std::vector<Transfer>& log) {
  std::vector<ControlRequest> since;
  int writes = 0;
  for (const Transfer& t : log) {
    if (!t.bulk) {
      since.push_back(t.control);
      continue;
    }
    ++writes;
    if (since != kBurstConfiguration)
      return ::testing::AssertionFailure()
             << "write " << writes << " after " << since.size()
             << " requests that are not open, bit mode, divisor as on a fresh device";
    since.clear();
  }
  return ::testing::AssertionSuccess();
}

// Clicks a button of the window; returns how long the window was busy with it, ms.
inline double ClickButton(QWidget& form, const char* name) {
  auto* button = form.findChild<QPushButton*>(QString::fromLatin1(name));
  if (button == nullptr) {
    ADD_FAILURE() << "no button " << name;
    return 0;
  }
  QElapsedTimer timer;
  timer.start();
  QTest::mouseClick(button, Qt::LeftButton);
  return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

// Clicks an upload button and chooses the file in the window's own dialog, as a user would.
inline double UploadFile(QWidget& form, const char* button, const std::string& path) {
  const ui_test::FileDialogUser user(path);
  return ClickButton(form, button);
}

struct UsbRig {
  UsbTestbed bed;
  std::vector<std::unique_ptr<EmulatedFtdiChip>> chips;
  port::RecordingReporter reporter;
  PauseRecorder sleeper;
  std::unique_ptr<ui::RealEdition> edition;

  explicit UsbRig(int chipCount = 1) {
    for (int i = 0; i < chipCount; ++i) AddChip();
  }
  ~UsbRig() { edition.reset(); }  // before the chips leave

  EmulatedFtdiChip& AddChip() {
    const int n = static_cast<int>(chips.size());
    chips.push_back(
        std::make_unique<EmulatedFtdiChip>(bed, 2 + n, "QV00000" + std::to_string(1 + n), 1 + n));
    return *chips.back();
  }
  EmulatedFtdiChip& Chip(std::size_t i = 0) { return *chips.at(i); }

  // What the program's main does: the edition, its start-up bursts, the window shown.
  ui::TForm1& Start() {
    edition = std::make_unique<ui::RealEdition>(kTitle, reporter, sleeper);
    ui::TForm1& form = edition->Form();
    form.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&form));
    return form;
  }
  ui::TForm1& Form() { return edition->Form(); }

  double Click(const char* name) { return ClickButton(Form(), name); }
  double Upload(const char* button, const std::string& path) {
    return UploadFile(Form(), button, path);
  }

  std::vector<std::string> Boxes() const { return reporter.Texts(); }
  void Forget() {
    reporter.Clear();
    sleeper.pauses.clear();
    for (auto& chip : chips) chip->Forget();
  }
};

// What an absent board shows for one burst.
inline std::vector<std::string> AbsentBoxes(int bursts = 1) {
  std::vector<std::string> out;
  for (int i = 0; i < bursts; ++i)
    out.insert(out.end(), {"FT_Open - Device not found...", "FT_SetBitMode  - Invalid handle...",
                           "FT_SetBaudRate - Invalid handle...", "FT_Write - Invalid handle...",
                           "FT_Close - Invalid handle..."});
  return out;
}

// What a burst shows when the open fails although the device is there.
inline std::vector<std::string> NotOpenedBoxes() {
  return {"FT_Open - Device not opened...", "FT_SetBitMode  - Invalid handle...",
          "FT_SetBaudRate - Invalid handle...", "FT_Write - Invalid handle...",
          "FT_Close - Invalid handle..."};
}

}  // namespace quarvel::usb_test
