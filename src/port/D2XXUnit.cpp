// SPDX-License-Identifier: GPL-3.0-or-later
#include "port/D2XXUnit.h"

#include <array>
#include <span>

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

void D2XXUnit::ReportUsbStatus(DriverCall call, FtStatus status) {
  if (!errorReportEnabled_ || status == 0) return;
  reporter_.ShowError(kErrorCaption, StatusMessage(std::string(DriverCallBoxName(call)), status));
}

FtStatus D2XXUnit::UsbOpen() {
  // A failed open leaves no handle behind, so the calls that follow it are answered
  // "invalid handle" instead of reaching a device through a stale pointer.
  usbHandle_ = nullptr;
  FtHandle handle = nullptr;
  const FtStatus status = driver_.Open(0, &handle);
  if (status == 0) {
    usbHandle_ = handle;
    usbConnection_ = driver_.Connection();
  }
  ReportUsbStatus(DriverCall::Open, status);
  return status;
}

FtStatus D2XXUnit::UsbSetBitMode(std::uint8_t mask, std::uint8_t mode) {
  const FtStatus status = driver_.SetBitMode(usbHandle_, mask, mode);
  ReportUsbStatus(DriverCall::SetBitMode, status);
  return status;
}

FtStatus D2XXUnit::UsbSetBaudRate(std::uint32_t baud) {
  usbBaudRate_ = baud;
  const FtStatus status = driver_.SetBaudRate(usbHandle_, usbBaudRate_);
  ReportUsbStatus(DriverCall::SetBaudRate, status);
  return status;
}

FtStatus D2XXUnit::UsbWrite(const LineBurst& burst) {
  const std::span<const std::uint8_t> states = burst.WaveQueue();
  std::uint32_t written = 0;  // the driver's count; a failed write is told by its status
  usbWriteStatus_ =
      driver_.Write(usbHandle_, states.data(), static_cast<std::uint32_t>(states.size()), &written);
  ReportUsbStatus(DriverCall::Write, usbWriteStatus_);
  return usbWriteStatus_;
}

FtStatus D2XXUnit::UsbClose() {
  const FtStatus status = driver_.Close(usbHandle_);
  // The handle is gone once closed, whatever the driver said.
  usbHandle_ = nullptr;
  ReportUsbStatus(DriverCall::Close, status);
  return status;
}

void D2XXUnit::RefuseBurst(const LineBurst& burst) {
  reporter_.ShowError(kErrorCaption, "Burst of " + std::to_string(burst.WaveLength()) +
                                         " line states exceeds the " +
                                         std::to_string(kWaveQueueSize) +
                                         "-state transmit buffer; nothing was sent.");
}

}  // namespace quarvel::port
