// SPDX-License-Identifier: GPL-3.0-or-later
// The libftdi1 backend: error mapping, rate arithmetic and a real call with no board.
#include <gtest/gtest.h>
#include <libusb.h>

#include "port/FtdiDriver.h"

namespace quarvel {
namespace {

using port::FtdiFunction;

TEST(FtdiBackend, ErrorCodesMapOntoD2xxStatuses) {
  struct Row {
    FtdiFunction function;
    int code;
    port::FtStatus status;
  };
  const Row rows[] = {
      {FtdiFunction::New, -1, port::FT_INSUFFICIENT_RESOURCES},
      {FtdiFunction::FindAll, 0, port::FT_DEVICE_NOT_FOUND},
      {FtdiFunction::FindAll, -3, port::FT_INSUFFICIENT_RESOURCES},
      {FtdiFunction::FindAll, -4, port::FT_DEVICE_NOT_FOUND},
      {FtdiFunction::FindAll, -5, port::FT_IO_ERROR},
      {FtdiFunction::OpenDev, -3, port::FT_DEVICE_NOT_FOUND},
      {FtdiFunction::OpenDev, -4, port::FT_DEVICE_NOT_OPENED},
      {FtdiFunction::OpenDev, -5, port::FT_DEVICE_NOT_OPENED},
      {FtdiFunction::OpenDev, -8, port::FT_DEVICE_NOT_OPENED},
      {FtdiFunction::OpenDev, -6, port::FT_IO_ERROR},
      {FtdiFunction::SetBitMode, -1, port::FT_IO_ERROR},
      {FtdiFunction::SetBaudRate, -1, port::FT_INVALID_BAUD_RATE},
      {FtdiFunction::SetBaudRate, -2, port::FT_IO_ERROR},
      {FtdiFunction::WriteData, -666, port::FT_DEVICE_NOT_OPENED},
      {FtdiFunction::WriteData, -7, port::FT_IO_ERROR},  // any libusb transfer error
      {FtdiFunction::WriteData, -10, port::FT_FAILED_TO_WRITE_DEVICE},
      {FtdiFunction::Close, -1, port::FT_IO_ERROR},
      {FtdiFunction::OpenDev, -99, port::FT_OTHER_ERROR},  // unknown: never reported as success
  };
  for (const auto& r : rows)
    EXPECT_EQ(port::MapFtdiError(r.function, r.code), r.status)
        << "function " << static_cast<int>(r.function) << " code " << r.code;
}

TEST(FtdiBackend, BaudArgumentIsAQuarterOfTheRequestInBitBangMode) {
  const struct {
    std::uint32_t rate;
    std::optional<int> bitBang, serial;
  } rows[] = {
      {38400, 9600, 38400},
      {9600, 2400, 9600},
      {4, 1, 4},
      {3, std::nullopt, 3},
      {0, std::nullopt, std::nullopt},
      {3000000, 750000, 3000000},
      {3000004, std::nullopt, std::nullopt},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(port::BaudArgument(r.rate, true), r.bitBang) << r.rate;
    EXPECT_EQ(port::BaudArgument(r.rate, false), r.serial) << r.rate;
  }
}

TEST(FtdiBackend, NullHandleTouchesNoDevice) {
  const std::unique_ptr<port::UsbDriver> driver = port::MakeFtdiDriver();
  std::uint8_t byte = 0;
  std::uint32_t written = 99;
  EXPECT_EQ(driver->SetBitMode(nullptr, 0xFF, 1), port::FT_INVALID_HANDLE);
  EXPECT_EQ(driver->SetBaudRate(nullptr, 38400), port::FT_INVALID_HANDLE);
  EXPECT_EQ(driver->Write(nullptr, &byte, 1, &written), port::FT_INVALID_HANDLE);
  EXPECT_EQ(written, 0u);
  EXPECT_EQ(driver->Close(nullptr), port::FT_INVALID_HANDLE);
}

TEST(FtdiBackend, OpenWithNoBoardIsDeviceNotFound) {
  libusb_context* probe = nullptr;
  if (libusb_init(&probe) != 0) GTEST_SKIP() << "libusb cannot initialise on this machine";
  libusb_device** list = nullptr;
  const auto count = libusb_get_device_list(probe, &list);
  bool ftdiPresent = false;
  for (ssize_t i = 0; i < count; ++i) {
    libusb_device_descriptor desc{};
    if (libusb_get_device_descriptor(list[i], &desc) == 0 && desc.idVendor == 0x0403)
      ftdiPresent = true;
  }
  if (list != nullptr) libusb_free_device_list(list, 1);
  libusb_exit(probe);
  if (ftdiPresent) GTEST_SKIP() << "an FTDI bridge is attached; this test needs none";

  const std::unique_ptr<port::UsbDriver> driver = port::MakeFtdiDriver();
  port::FtHandle handle = nullptr;
  EXPECT_EQ(driver->Open(0, &handle), port::FT_DEVICE_NOT_FOUND);
  EXPECT_EQ(handle, nullptr);
}

}  // namespace
}  // namespace quarvel
