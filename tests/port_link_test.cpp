// SPDX-License-Identifier: GPL-3.0-or-later
// The port link: status texts, error boxes, the handle's life and the write status.
#include <gtest/gtest.h>

#include "TestRig.h"
#include "port/D2XXUnit.h"
#include "port/SimulatedDriver.h"

namespace quarvel {
namespace {

using port::DriverCall;

TEST(StatusMessage, TextsAreExactForEveryStatus) {
  struct Row {
    const char* call;
    port::FtStatus status;
    const char* text;
  };
  const Row rows[] = {
      {"FT_Open", 0, ""},
      {"FT_SetBitMode ", 1, "FT_SetBitMode  - Invalid handle..."},
      {"FT_Open", 2, "FT_Open - Device not found..."},
      {"FT_Open", 3, "FT_Open - Device not opened..."},
      {"FT_Write", 4, "FT_Write - General IO error..."},
      {"FT_Write", 5, "FT_Write - Insufficient resources..."},
      {"FT_Write", 6, "FT_Write - Invalid parameter..."},
      {"FT_SetBaudRate", 7, "FT_SetBaudRate - Invalid baud rate..."},
      {"FT_Close", 8, "FT_Close Device not opened for erase..."},
      {"FT_Close", 9, "FT_Close Device not opened for write..."},
      {"FT_Write", 10, "FT_Write - Failed to write..."},
      {"FT_Write", 11, "FT_Write - EEPROM read failed..."},
      {"FT_Write", 12, "FT_Write - EEPROM write failed..."},
      {"FT_Write", 13, "FT_Write - EEPROM erase failed..."},
      {"FT_Write", 14, "FT_Write - EEPROM not present..."},
      {"FT_Write", 15, "FT_Write - EEPROM not programmed..."},
      {"FT_Write", 16, "FT_Write - Invalid arguments..."},
      {"FT_Close", 17, "FT_Close - Other error ..."},
      {"FT_Close", 18, ""},
      {"FT_Close", 0xFFFFFFFFu, ""},
  };
  for (const auto& r : rows)
    EXPECT_EQ(port::StatusMessage(r.call, r.status), r.text) << "status " << r.status;
}

TEST(PortLink, FailingCallsShowOneBoxEachInCallOrder) {
  testing::Rig rig;
  rig.driver.SetStatus(DriverCall::SetBitMode, 1);
  rig.driver.SetStatus(DriverCall::Close, 18);
  rig.bus.BeginBurst();
  rig.bus.SendWaveform();
  ASSERT_EQ(rig.reporter.boxes.size(), 2u);
  EXPECT_EQ(rig.reporter.boxes[0].caption, "Fehler");
  EXPECT_EQ(rig.reporter.boxes[0].text, "FT_SetBitMode  - Invalid handle...");
  EXPECT_EQ(rig.reporter.boxes[1].text, "");  // above 17: a box with no text
}

TEST(PortLink, AbsentBoardGivesFiveBoxesAndNoStaleHandle) {
  testing::Rig rig;
  rig.driver.SetPresent(false);
  rig.bus.BeginBurst();
  rig.bus.BusIdle();
  rig.bus.SendWaveform();
  EXPECT_EQ(rig.reporter.Texts(), (std::vector<std::string>{
                                      "FT_Open - Device not found...",
                                      "FT_SetBitMode  - Invalid handle...",
                                      "FT_SetBaudRate - Invalid handle...",
                                      "FT_Write - Invalid handle...",
                                      "FT_Close - Invalid handle...",
                                  }));
  EXPECT_EQ(rig.link.UsbHandle(), nullptr);
  // Every call was still made.
  ASSERT_EQ(rig.driver.Calls().size(), 5u);
}

TEST(PortLink, HandleIsNullAfterCloseAndAfterAFailedOpen) {
  testing::Rig rig;
  EXPECT_EQ(rig.link.UsbOpen(), 0u);
  EXPECT_NE(rig.link.UsbHandle(), nullptr);
  rig.link.UsbClose();
  EXPECT_EQ(rig.link.UsbHandle(), nullptr);
  // A later call with the closed handle touches no device.
  EXPECT_EQ(rig.link.UsbSetBitMode(0xFF, 1), port::FT_INVALID_HANDLE);

  // A failed open drops the handle of an earlier successful one.
  EXPECT_EQ(rig.link.UsbOpen(), 0u);
  ASSERT_NE(rig.link.UsbHandle(), nullptr);
  rig.driver.SetStatus(DriverCall::Open, port::FT_DEVICE_NOT_OPENED);
  EXPECT_EQ(rig.link.UsbOpen(), port::FT_DEVICE_NOT_OPENED);
  EXPECT_EQ(rig.link.UsbHandle(), nullptr);
}

TEST(PortLink, DisabledReportsStillUpdateTheWriteStatus) {
  testing::Rig rig;
  rig.link.SetErrorReportEnabled(false);
  rig.driver.SetStatus(DriverCall::Write, port::FT_IO_ERROR);
  rig.bus.BeginBurst();
  rig.bus.SendWaveform();
  EXPECT_TRUE(rig.reporter.boxes.empty());
  EXPECT_EQ(rig.link.UsbWriteStatus(), port::FT_IO_ERROR);
  rig.driver.SetStatus(DriverCall::Write, 0);
  rig.bus.SendWaveform();
  EXPECT_EQ(rig.link.UsbWriteStatus(), 0u);
}

TEST(SimulatedDriver, TraceHasOneLinePerCallInTheFixedFormat) {
  testing::Rig rig;
  std::ostringstream trace;
  rig.driver.SetTrace(&trace);
  rig.bus.BeginBurst();
  rig.bus.BusIdle();
  rig.bus.SendWaveform();
  EXPECT_EQ(trace.str(),
            "FT_Open index=0 status=0\n"
            "FT_SetBitMode mask=FF mode=01 status=0\n"
            "FT_SetBaudRate baud=38400 status=0\n"
            "FT_Write count=2 data=0203 status=0\n"
            "FT_Close status=0\n");
}

TEST(SimulatedDriver, CallNamesRoundTrip) {
  for (auto call : {DriverCall::Open, DriverCall::SetBitMode, DriverCall::SetBaudRate,
                    DriverCall::Write, DriverCall::Close})
    EXPECT_EQ(port::DriverCallFromName(port::DriverCallName(call)), call);
  EXPECT_FALSE(port::DriverCallFromName("FT_Read").has_value());
}

}  // namespace
}  // namespace quarvel
