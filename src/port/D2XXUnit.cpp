// SPDX-License-Identifier: GPL-3.0-or-later
#include "port/D2XXUnit.h"

#include <algorithm>

namespace quarvel::port {

namespace {

// Texts appended to the call's name, indexed by status 1 ... 17. Statuses 8 and 9 carry no
// dash and 17 has a blank before its dots: these are the texts users and their notes know.
constexpr std::array<const char*, 18> kStatusTexts = {
    "",
    " - Invalid handle...",
    " - Device not found...",
    " - Device not opened...",
    " - General IO error...",
    " - Insufficient resources...",
    " - Invalid parameter...",
    " - Invalid baud rate...",
    " Device not opened for erase...",
    " Device not opened for write...",
    " - Failed to write...",
    " - EEPROM read failed...",
    " - EEPROM write failed...",
    " - EEPROM erase failed...",
    " - EEPROM not present...",
    " - EEPROM not programmed...",
    " - Invalid arguments...",
    " - Other error ...",
};

}  // namespace

std::string StatusMessage(const std::string& callName, FtStatus status) {
  if (status == 0 || status >= kStatusTexts.size()) return {};
  return callName + kStatusTexts[status];
}

void D2XXUnit::ReportUsbStatus(const std::string& name, FtStatus status) {
  if (!ErrorReportEnabled || status == 0) return;
  reporter_.ShowError(kErrorCaption, StatusMessage(name, status));
}

FtStatus D2XXUnit::UsbOpen() {
  // A failed open leaves no handle behind, so the calls that follow it are answered
  // "invalid handle" instead of reaching a device through a stale pointer.
  UsbHandle = nullptr;
  FtHandle handle = nullptr;
  const FtStatus status = driver_.Open(0, &handle);
  if (status == 0) UsbHandle = handle;
  if (status != 0) ReportUsbStatus("FT_Open", status);
  return status;
}

FtStatus D2XXUnit::UsbSetBitMode(std::uint8_t mask, std::uint8_t mode) {
  const FtStatus status = driver_.SetBitMode(UsbHandle, mask, mode);
  if (status != 0) ReportUsbStatus("FT_SetBitMode ", status);
  return status;
}

FtStatus D2XXUnit::UsbSetBaudRate() {
  const FtStatus status = driver_.SetBaudRate(UsbHandle, UsbBaudRate);
  if (status != 0) ReportUsbStatus("FT_SetBaudRate", status);
  return status;
}

std::uint32_t D2XXUnit::UsbWrite(std::uint32_t count) {
  std::uint32_t written = 0;
  const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(count, WaveQueue.size()));
  UsbWriteStatus = driver_.Write(UsbHandle, WaveQueue.data(), n, &written);
  if (UsbWriteStatus != 0) ReportUsbStatus("FT_Write", UsbWriteStatus);
  return written;
}

FtStatus D2XXUnit::UsbClose() {
  const FtStatus status = driver_.Close(UsbHandle);
  // The handle is gone once closed, whatever the driver said.
  UsbHandle = nullptr;
  if (status != 0) ReportUsbStatus("FT_Close", status);
  return status;
}

}  // namespace quarvel::port
