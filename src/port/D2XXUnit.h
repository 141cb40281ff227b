// SPDX-License-Identifier: GPL-3.0-or-later
// The port link: the only caller of the bridge driver. Holds the device handle, wraps each of
// the five driver calls and turns a failing status into an error box at once.
#pragma once

#include <cstdint>
#include <string>

#include "port/ErrorReporter.h"
#include "port/LineBurst.h"
#include "port/UsbDriver.h"

namespace quarvel::port {

inline constexpr const char* kErrorCaption = "Fehler";

// The text shown for a failing call: the call's name followed by the status text, or an
// empty text for statuses without one (0 and everything above 17).
std::string StatusMessage(const std::string& callName, FtStatus status);

class D2XXUnit {
 public:
  D2XXUnit(UsbDriver& driver, ErrorReporter& reporter) : driver_(driver), reporter_(reporter) {}

  // Each wrapper makes its driver call, shows a box when the status is not 0 (before it
  // returns, so the boxes of a burst come in call order, one per failed call) and returns
  // the status.
  FtStatus UsbOpen();  // device index 0, the first bridge
  FtStatus UsbSetBitMode(std::uint8_t mask, std::uint8_t mode);
  FtStatus UsbSetBaudRate(std::uint32_t baud);
  FtStatus UsbWrite(const LineBurst& burst);  // the whole burst in one write
  FtStatus UsbClose();
  // Tells the user that a burst longer than the transmit queue was refused; nothing of it
  // reaches the driver.
  void RefuseBurst(const LineBurst& burst);

  // The handle of the open device; null when none is open.
  FtHandle UsbHandle() const { return usbHandle_; }
  // The rate of the last UsbSetBaudRate.
  std::uint32_t UsbBaudRate() const { return usbBaudRate_; }
  // The driver's Connection() at the last successful UsbOpen.
  std::uint32_t UsbConnection() const { return usbConnection_; }
  // The status of the last UsbWrite.
  FtStatus UsbWriteStatus() const { return usbWriteStatus_; }
  // When off, failing calls show no box. The panel never turns it off.
  bool ErrorReportEnabled() const { return errorReportEnabled_; }
  void SetErrorReportEnabled(bool enabled) { errorReportEnabled_ = enabled; }

 private:
  void ReportUsbStatus(DriverCall call, FtStatus status);

  UsbDriver& driver_;
  ErrorReporter& reporter_;
  FtHandle usbHandle_ = nullptr;
  bool errorReportEnabled_ = true;
  FtStatus usbWriteStatus_ = 0;
  std::uint32_t usbBaudRate_ = 0;
  std::uint32_t usbConnection_ = 0;
};

}  // namespace quarvel::port
