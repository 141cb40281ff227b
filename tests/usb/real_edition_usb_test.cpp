// SPDX-License-Identifier: GPL-3.0-or-later
// The real edition's composition on an emulated FT232R, through our FtdiDriver, libftdi1 and
// libusb: start-up, a band click, a selection and an upload, read back as the chip received
// them and as the board decodes them, and compared byte for byte with what the port link hands
// the simulated driver for the same clicks.
#include <gtest/gtest.h>

#include <chrono>

#include <QProcess>

#include "TempFiles.h"
#include "UsbRig.h"
#include "bus/TwoWireDecoder.h"
#include "port/SimulatedDriver.h"
#include "reliability/Wire.h"
#include "sim/SimulatedBoard.h"
#include "ui/Panel.h"

namespace quarvel::usb_test {
namespace {

using reliability::PageMessage;
using reliability::PatternImage;

// The same panel on the simulated driver: the bursts the port link hands over, for comparison.
struct Reference {
  port::SimulatedDriver driver;
  port::RecordingReporter reporter;
  receiver::RecordingSleeper sleeper;
  sim::SimulatedBoard board;
  std::unique_ptr<ui::Panel> panel;

  Reference() {
    board.Attach(driver);
    panel = std::make_unique<ui::Panel>(driver, reporter, sleeper, kTitle);
  }
  ~Reference() {
    panel.reset();
    board.Detach();
  }
  ui::TForm1& Form() { return panel->Form(); }
};

// The messages the board has taken, address first.
std::vector<Bytes> Messages(const sim::SimulatedBoard& board) {
  std::vector<Bytes> out;
  for (const sim::LogEntry& entry : board.Log())
    if (!entry.IsFault()) out.push_back(entry.bytes);
  return out;
}

TEST(RealEditionOnChip, StartUpBandClickAndSelectionArriveByteForByte) {
  Reference reference;
  UsbRig rig;
  rig.Start();
  EmulatedFtdiChip& chip = rig.Chip();

  // Start-up: the clock burst and the level burst, each after bit mode and the divisor.
  const std::vector<Bytes> startUp = chip.BulkWrites();
  ASSERT_EQ(startUp.size(), 2u);
  EXPECT_EQ(startUp[0].size(), 317u);
  EXPECT_EQ(startUp[1].size(), 89u);
  EXPECT_EQ(startUp, reference.driver.Writes());
  EXPECT_TRUE(ConfiguredBeforeEachWrite(chip.Transfers()));
  EXPECT_EQ(Messages(chip.Board()), (std::vector<Bytes>{{0xD2, 0x40, 0xD2, 0x5A, 0x30},
                                                        {0xD2, 0x0C, 0x0A},
                                                        {0xD2, 0x13, 0x7F},
                                                        {0x90, 0x40, 0x4D}}));
  EXPECT_EQ(rig.Boxes(), std::vector<std::string>());

  // A band, an input and an attenuator step, clicked in both windows.
  for (const char* button : {"Cmd4_16", "Mux3", "db10"}) {
    rig.Forget();
    reference.driver.ClearCalls();
    rig.Click(button);
    ClickButton(reference.Form(), button);
    EXPECT_FALSE(chip.BulkWrites().empty()) << button;
    EXPECT_EQ(chip.BulkWrites(), reference.driver.Writes()) << button;
    EXPECT_TRUE(ConfiguredBeforeEachWrite(chip.Transfers())) << button;
    EXPECT_EQ(rig.Boxes(), std::vector<std::string>()) << button;
  }
  EXPECT_EQ(chip.Board().Input(), 4);
  EXPECT_EQ(chip.Board().AttenuatorDb(), -10);
  EXPECT_EQ(chip.Board().ClockGenerator().registers, reference.board.ClockGenerator().registers);
  EXPECT_EQ(chip.Board().Level(), reference.board.Level());
  EXPECT_EQ(chip.Board().FaultCount(), 0u);
}

// The one test that takes the upload's pauses for real: 16 × 200 ms on the chip's clock.
TEST(RealEditionOnChip, UploadArrivesPageByPageWithItsPauses) {
  testing::TempDir dir;
  const Bytes image = PatternImage(3);
  const std::string path = dir.File("image.bin", image);
  Reference reference;
  UsbRig rig;
  rig.sleeper.real = true;
  rig.Start();
  rig.Forget();
  reference.driver.ClearCalls();

  const double busyMs = rig.Upload("RAMbin", path);
  const auto done = SteadyClock::now();
  UploadFile(reference.Form(), "RAMbin", path);

  const std::vector<Transfer> log = rig.Chip().Transfers();
  std::vector<Transfer> pages;
  for (const Transfer& t : log)
    if (t.bulk) pages.push_back(t);
  ASSERT_EQ(pages.size(), 16u);
  EXPECT_TRUE(ConfiguredBeforeEachWrite(log));
  EXPECT_EQ(rig.Chip().BulkWrites(), reference.driver.Writes());
  for (std::size_t page = 0; page < pages.size(); ++page) {
    const bus::DecodedBurst decoded = bus::DecodeBurst(pages[page].data);
    EXPECT_TRUE(decoded.ok()) << "page " << page;
    ASSERT_EQ(decoded.messages.size(), 1u) << "page " << page;
    EXPECT_EQ(decoded.messages[0].bytes, PageMessage(0xD2, image, static_cast<int>(page)));
  }
  EXPECT_TRUE(std::equal(image.begin(), image.end(),
                         rig.Chip().Board().ClockGenerator().registers.begin()));
  EXPECT_EQ(rig.Boxes(), std::vector<std::string>());

  // Paced on the wire: 200 ms from each page to the next, and after the last one.
  using Ms = std::chrono::duration<double, std::milli>;
  double pausedMs = Ms(done - pages.back().time).count();
  EXPECT_GE(pausedMs, 200.0) << "after the last page";
  for (std::size_t page = 1; page < pages.size(); ++page) {
    const double gap = Ms(pages[page].time - pages[page - 1].time).count();
    EXPECT_GE(gap, 200.0) << "before page " << page;
    pausedMs += gap;
  }
  EXPECT_GE(pausedMs, 3200.0);
  EXPECT_GE(busyMs, 3200.0);
  std::printf("upload: %.0f ms in the window, %.0f ms of pauses on the wire\n", busyMs, pausedMs);
}

// The program itself, on the preload's empty testbed (no board): it reads no command line, so a
// toolkit option is not taken. "-platform" with a platform that does not exist would end it at
// once; instead it runs, showing its "device not found" boxes.
TEST(RealEditionProgram, TakesNoToolkitOptionFromItsCommandLine) {
  QProcess program;
  program.start(QStringLiteral(QUARVEL_REAL_EXE), {"-platform", "no-such-platform"});
  ASSERT_TRUE(program.waitForStarted(10000));
  EXPECT_FALSE(program.waitForFinished(3000)) << "ended with code " << program.exitCode() << ": "
                                              << program.readAllStandardError().toStdString();
  program.kill();  // a terminating signal during the start-up boxes ends it at once anyway
  program.waitForFinished(10000);
}

}  // namespace
}  // namespace quarvel::usb_test
