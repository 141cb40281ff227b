// SPDX-License-Identifier: GPL-3.0-or-later
// The real board: the five driver operations on top of libftdi1.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "port/UsbDriver.h"

namespace quarvel::port {

// The libftdi1 functions whose return codes the backend translates.
enum class FtdiFunction { New, FindAll, OpenDev, SetBitMode, SetBaudRate, WriteData, Close };

// The D2XX status a libftdi1 return code means, for codes below zero (and a find count of 0).
FtStatus MapFtdiError(FtdiFunction function, int code);

// The rate to hand to ftdi_set_baudrate() once bit-bang mode is on. libftdi multiplies the
// rate by four in bit-bang mode; the D2XX library programs the plain divisor for the same
// request, so the rate is divided by four to send the board the same clock. Empty when the
// rate is too small to express.
std::optional<int> BitBangBaudArgument(std::uint32_t requestedRate);

// How long one bulk write to the bridge may take before it fails with an I/O error, ms
// (libftdi's own default is 5 s). The longest burst the panel sends plays out in a few
// milliseconds, so a bridge that takes nothing for this long is stuck; the burst then ends
// with its error box instead of holding the window.
inline constexpr int kWriteTimeoutMs = 400;

// The real board's driver: the five operations on libftdi1, with the D2XX statuses.
std::unique_ptr<UsbDriver> MakeFtdiDriver();

}  // namespace quarvel::port
