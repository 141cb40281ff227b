// SPDX-License-Identifier: GPL-3.0-or-later
// The port link: the only caller of the bridge driver. Holds the device handle and the
// transmit buffer, wraps each of the five driver calls and turns a failing status into an
// error box.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "port/ErrorReporter.h"
#include "port/UsbDriver.h"

namespace quarvel::port {

inline constexpr std::size_t kWaveQueueSize = 65536;
inline constexpr const char* kErrorCaption = "Fehler";

// The text shown for a failing call: the call's name followed by the status text, or an
// empty text for statuses without one (0 and everything above 17).
std::string StatusMessage(const std::string& callName, FtStatus status);

class D2XXUnit {
 public:
  D2XXUnit(UsbDriver& driver, ErrorReporter& reporter) : driver_(driver), reporter_(reporter) {}

  FtStatus UsbOpen();
  FtStatus UsbSetBitMode(std::uint8_t mask, std::uint8_t mode);
  FtStatus UsbSetBaudRate();
  std::uint32_t UsbWrite(std::uint32_t count);  // returns the written-bytes count
  FtStatus UsbClose();
  void ReportUsbStatus(const std::string& name, FtStatus status);

  FtHandle UsbHandle = nullptr;
  bool ErrorReportEnabled = true;
  FtStatus UsbWriteStatus = 0;
  std::uint32_t UsbBaudRate = 0;
  std::array<std::uint8_t, kWaveQueueSize> WaveQueue{};

  ErrorReporter& Reporter() { return reporter_; }

 private:
  UsbDriver& driver_;
  ErrorReporter& reporter_;
};

}  // namespace quarvel::port
