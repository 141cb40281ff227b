// SPDX-License-Identifier: GPL-3.0-or-later
// A soak through the real window: ten thousand tuning steps by key on the focused tuning bar,
// bouncing between the band's ends, with the event loop running now and then as it would
// between a user's key presses. The panel must not grow: resident memory after the run is at
// most 1 MB above what it was after the first hundred steps.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include <fstream>
#include <string>

#include "PanelRig.h"
#include "bus/TwoWireDecoder.h"
#include "reliability/Wire.h"

#if defined(__SANITIZE_ADDRESS__)
#define QUARVEL_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUARVEL_ASAN 1
#endif
#endif

namespace quarvel::ui_test {
namespace {

// VmRSS of this process, kB; -1 when it cannot be read.
long ResidentKb() {
  std::ifstream status("/proc/self/status");
  std::string key;
  while (status >> key) {
    if (key == "VmRSS:") {
      long kb = -1;
      status >> kb;
      return kb;
    }
    status.ignore(1 << 12, '\n');
  }
  return -1;
}

TEST(WindowSoak, TenThousandTuningStepsKeepResidentMemoryFlat) {
#ifdef QUARVEL_ASAN
  GTEST_SKIP() << "resident memory means nothing under AddressSanitizer (its quarantine keeps "
                  "freed memory); the soak runs in the default build";
#endif
  constexpr int kSteps = 10000, kWarmUpSteps = 100, kClearEvery = 100;
  constexpr long kAllowanceKb = 1024;

  PanelRig w;
  w.Forget();
  int clockBursts = 0, otherBursts = 0, lastPosition = 0;
  bool wellFormed = true;
  const port::Subscription writes =
      w.driver.OnBoardWrite([&](const std::uint8_t* data, std::uint32_t n) {
        if (n != 317) {
          ++otherBursts;
          return;
        }
        ++clockBursts;
        const bus::DecodedBurst decoded = bus::DecodeBurst({data, n});
        wellFormed = wellFormed && decoded.ok() && decoded.messages.size() == 3;
        if (wellFormed) lastPosition = reliability::TuningPositionOnWire(decoded.messages[0].bytes);
      });

  QScrollBar* tuning = w.Bar("ScrollBar1");
  tuning->setFocus();
  ASSERT_TRUE(tuning->hasFocus());
  long afterWarmUpKb = -1;
  Qt::Key key = Qt::Key_Right;
  for (int step = 1; step <= kSteps; ++step) {
    if (tuning->value() == tuning->maximum()) key = Qt::Key_Left;
    if (tuning->value() == tuning->minimum()) key = Qt::Key_Right;
    QTest::keyClick(tuning, key);
    if (step % kClearEvery == 0) {
      // Keeps the recorder flat so that the figure is the panel's own.
      ASSERT_TRUE(reliability::FiveCallsPerBurst(w.driver.Calls())) << "step " << step;
      w.driver.ClearCalls();
      QCoreApplication::processEvents();
    }
    if (step == kWarmUpSteps) afterWarmUpKb = ResidentKb();
  }
  const long afterKb = ResidentKb();

  // The steps were real: one clock burst each, the last one for where the bar stands.
  EXPECT_EQ(clockBursts, kSteps);
  EXPECT_TRUE(wellFormed);
  EXPECT_EQ(lastPosition, tuning->value());
  EXPECT_GT(otherBursts, 0) << "the tracking level followed the frequency";
  EXPECT_TRUE(w.reporter.boxes.empty());

  ASSERT_GT(afterWarmUpKb, 0);
  EXPECT_LE(afterKb, afterWarmUpKb + kAllowanceKb)
      << "resident " << afterWarmUpKb << " kB after " << kWarmUpSteps << " steps, " << afterKb
      << " kB after " << kSteps;
  RecordProperty("ResidentKbAfterWarmUp", static_cast<int>(afterWarmUpKb));
  RecordProperty("ResidentKbAfterSoak", static_cast<int>(afterKb));
}

}  // namespace
}  // namespace quarvel::ui_test
