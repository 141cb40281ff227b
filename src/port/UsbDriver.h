// SPDX-License-Identifier: GPL-3.0-or-later
// The five bridge-driver operations the panel needs, with the D2XX meanings.
//
// Every backend (libftdi1 for the real board, the simulated board for tests and the demo)
// answers with a D2XX status number so that the port link can report failures with one
// table of texts whatever stands behind it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace quarvel::port {

using FtStatus = std::uint32_t;
using FtHandle = void*;  // opaque; null means "no device open"

// D2XX status values.
enum : FtStatus {
  FT_OK = 0,
  FT_INVALID_HANDLE = 1,
  FT_DEVICE_NOT_FOUND = 2,
  FT_DEVICE_NOT_OPENED = 3,
  FT_IO_ERROR = 4,
  FT_INSUFFICIENT_RESOURCES = 5,
  FT_INVALID_PARAMETER = 6,
  FT_INVALID_BAUD_RATE = 7,
  FT_DEVICE_NOT_OPENED_FOR_ERASE = 8,
  FT_DEVICE_NOT_OPENED_FOR_WRITE = 9,
  FT_FAILED_TO_WRITE_DEVICE = 10,
  FT_EEPROM_READ_FAILED = 11,
  FT_EEPROM_WRITE_FAILED = 12,
  FT_EEPROM_ERASE_FAILED = 13,
  FT_EEPROM_NOT_PRESENT = 14,
  FT_EEPROM_NOT_PROGRAMMED = 15,
  FT_INVALID_ARGS = 16,
  FT_OTHER_ERROR = 17,
};

// Bit modes passed to SetBitMode.
inline constexpr std::uint8_t kBitModeReset = 0x00;
inline constexpr std::uint8_t kBitModeAsyncBitBang = 0x01;

// The five driver calls, in the order every burst makes them.
enum class DriverCall { Open, SetBitMode, SetBaudRate, Write, Close };
inline constexpr std::size_t kDriverCallCount = 5;

// The one table of the calls' names: as the driver trace and the simulated edition's command
// line write them, and as an error box names the failing call. The bit-mode call's box name
// ends in a blank, so its box texts carry two blanks before the dash, as users know them.
struct DriverCallNames {
  std::string_view trace;
  std::string_view box;
};
inline constexpr std::array<DriverCallNames, kDriverCallCount> kDriverCallNames = {{
    {"FT_Open", "FT_Open"},
    {"FT_SetBitMode", "FT_SetBitMode "},
    {"FT_SetBaudRate", "FT_SetBaudRate"},
    {"FT_Write", "FT_Write"},
    {"FT_Close", "FT_Close"},
}};

// "FT_Open", "FT_SetBitMode", ...
constexpr std::string_view DriverCallName(DriverCall call) {
  return kDriverCallNames[static_cast<std::size_t>(call)].trace;
}
// The name in front of the call's status text in an error box.
constexpr std::string_view DriverCallBoxName(DriverCall call) {
  return kDriverCallNames[static_cast<std::size_t>(call)].box;
}
constexpr std::optional<DriverCall> DriverCallFromName(std::string_view name) {
  for (std::size_t i = 0; i < kDriverCallNames.size(); ++i)
    if (kDriverCallNames[i].trace == name) return static_cast<DriverCall>(i);
  return std::nullopt;
}

class UsbDriver {
 public:
  virtual ~UsbDriver() = default;

  // Opens the bridge device with the given index; stores the handle on success.
  virtual FtStatus Open(int index, FtHandle* handle) = 0;
  virtual FtStatus SetBitMode(FtHandle handle, std::uint8_t mask, std::uint8_t mode) = 0;
  virtual FtStatus SetBaudRate(FtHandle handle, std::uint32_t baud) = 0;
  // Writes count bytes; *written receives how many the device accepted.
  virtual FtStatus Write(FtHandle handle, const std::uint8_t* data, std::uint32_t count,
                         std::uint32_t* written) = 0;
  virtual FtStatus Close(FtHandle handle) = 0;

  // Which arrival of a device the last successful Open reached: the number changes when that
  // device was plugged in (or made anew by the system: a reset, a resume) after the device
  // the Open before it reached. A board plugged in again may have lost its power, and every
  // setting sent to it with it. 0 where the backend cannot tell.
  virtual std::uint32_t Connection() const { return 0; }
};

}  // namespace quarvel::port
