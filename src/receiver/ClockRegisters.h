// SPDX-License-Identifier: GPL-3.0-or-later
// Register values of the clock generator for a tuning position.
#pragma once

#include <cstdint>

namespace quarvel::receiver {

struct ClockRegisters {
  int rangeCode = 0;
  int oddBit = 0;
  std::int32_t halfCount = 0;
  std::uint8_t r40 = 0;
  std::uint8_t r41 = 0;
  std::uint8_t r42 = 0;
};

// Splits the tuning position N into the generator's registers 0x40-0x42:
// 2 x (halfCount + 4) + oddBit = N, the halved count's two high bits in register 0x40 beside
// the range code, its low byte in 0x41 and the dropped low bit in bit 7 of 0x42, whose low
// seven bits select the high-band (0x17) or normal (0x30) base.
ClockRegisters ComputeClockRegisters(std::int32_t n, bool highBand);

}  // namespace quarvel::receiver
