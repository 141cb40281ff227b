// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers for the reliability tests: reading the simulated board's calls and bursts back as
// the hardware sees them.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "TempFiles.h"
#include "TestRig.h"
#include "bus/TwoWireDecoder.h"
#include "port/SimulatedDriver.h"

namespace quarvel::reliability {

using Bytes = std::vector<std::uint8_t>;
using Messages = std::vector<Bytes>;
using port::DriverCall;

inline constexpr std::array<DriverCall, port::kDriverCallCount> kBurstCalls = {
    DriverCall::Open, DriverCall::SetBitMode, DriverCall::SetBaudRate, DriverCall::Write,
    DriverCall::Close};

// The names the port link puts in front of a status text (the bit-mode name ends in a blank).
inline std::string BoxName(DriverCall call) {
  return std::string(port::DriverCallBoxName(call));
}

// What an absent board shows for one burst: the open call's "not found", then the four calls
// that have no handle.
inline const std::vector<std::string>& AbsentBoardBoxes() {
  static const std::vector<std::string> boxes = {
      "FT_Open - Device not found...",      "FT_SetBitMode  - Invalid handle...",
      "FT_SetBaudRate - Invalid handle...", "FT_Write - Invalid handle...",
      "FT_Close - Invalid handle...",
  };
  return boxes;
}

inline Messages MessagesOf(const bus::DecodedBurst& d) {
  Messages out;
  for (const auto& m : d.messages) out.push_back(m.bytes);
  return out;
}

// Every recorded call belongs to a complete burst of the five calls in their fixed order, with
// all lines as outputs, asynchronous bit-bang and 38400 baud.
inline ::testing::AssertionResult FiveCallsPerBurst(const std::vector<port::RecordedCall>& calls) {
  if (calls.size() % kBurstCalls.size() != 0)
    return ::testing::AssertionFailure() << calls.size() << " calls is not whole bursts";
  for (std::size_t i = 0; i < calls.size(); ++i) {
    const auto& c = calls[i];
    if (c.call != kBurstCalls[i % kBurstCalls.size()])
      return ::testing::AssertionFailure()
             << "call " << i << " is " << port::DriverCallName(c.call) << ", expected "
             << port::DriverCallName(kBurstCalls[i % kBurstCalls.size()]);
    if (c.call == DriverCall::Open && c.index != 0)
      return ::testing::AssertionFailure() << "call " << i << " opens device " << c.index;
    if (c.call == DriverCall::SetBitMode && (c.mask != 0xFF || c.mode != 0x01))
      return ::testing::AssertionFailure() << "call " << i << ": " << port::TraceLine(c);
    if (c.call == DriverCall::SetBaudRate && c.baud != 38400)
      return ::testing::AssertionFailure() << "call " << i << ": " << port::TraceLine(c);
  }
  return ::testing::AssertionSuccess();
}

// The tuning position a clock burst carries in its first message [D2 40 r40 r41 r42]:
// 2 x (halved count + 4) + odd bit, the halved count's high bits in r40's low two bits.
// A clock burst's messages: [D2 40 r40 r41 r42], [D2 0C divider], [D2 13 trim].
inline bool HasClockBurstShape(const Messages& m) {
  return m.size() == 3 && m[0].size() == 5 && m[0][0] == 0xD2 && m[0][1] == 0x40 &&
         m[1].size() == 3 && m[1][0] == 0xD2 && m[1][1] == 0x0C && m[2].size() == 3 &&
         m[2][0] == 0xD2 && m[2][1] == 0x13;
}

inline std::int32_t TuningPositionOnWire(const Bytes& m) {
  const int halfCount = (m.at(2) & 0x03) * 256 + m.at(3);
  return 2 * (halfCount + 4) + (m.at(4) >> 7);
}

// The frequency the receiver is tuned to by a clock burst, kHz: the generator's output
// (10 MHz x P / Q / divider, P the tuning position, Q the register 0x42 base + 2) over four.
inline double TunedKhzOnWire(const Messages& clock) {
  const double p = TuningPositionOnWire(clock.at(0));
  const double q = (clock.at(0).at(4) & 0x7F) + 2;
  const double divider = clock.at(1).at(2);
  return 10000.0 * p / q / divider / 4.0;
}

// A 256-byte image whose bytes differ from their neighbours and from their offsets.
inline Bytes PatternImage(std::uint8_t seed) {
  Bytes image(256);
  for (std::size_t i = 0; i < image.size(); ++i)
    image[i] = static_cast<std::uint8_t>(i * 37 + seed);
  return image;
}

// The page message of an upload: [address, offset, 16 bytes].
inline Bytes PageMessage(std::uint8_t address, const Bytes& image, int page) {
  Bytes m(18);
  m[0] = address;
  m[1] = static_cast<std::uint8_t>(page * 16);
  for (std::size_t i = 0; i < 16; ++i) m[2 + i] = image.at(static_cast<std::size_t>(page) * 16 + i);
  return m;
}

}  // namespace quarvel::reliability
