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

// The rate to hand to ftdi_set_baudrate() for a requested rate. libftdi multiplies the rate by
// four while bit-bang mode is on; the D2XX library programs the plain divisor for the same
// request in either mode, so in bit-bang mode the rate is divided by four to send the board
// the same clock, and otherwise handed over as it is (a bit-mode call that failed leaves the
// mode off). Empty when the rate cannot be expressed.
std::optional<int> BaudArgument(std::uint32_t requestedRate, bool bitBangOn);

// How long one bulk write to the bridge may take before it fails with an I/O error, ms
// (libftdi's own default is 5 s). The longest burst the panel sends plays out in a few
// milliseconds, so a bridge that takes nothing for this long is stuck; the burst then ends
// with its error box instead of holding the window.
inline constexpr int kWriteTimeoutMs = 400;

// The real board's driver: the five operations on libftdi1, with the D2XX statuses.
std::unique_ptr<UsbDriver> MakeFtdiDriver();

}  // namespace quarvel::port
