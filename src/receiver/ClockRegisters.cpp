// SPDX-License-Identifier: GPL-3.0-or-later
#include "receiver/ClockRegisters.h"

namespace quarvel::receiver {

ClockRegisters ComputeClockRegisters(std::int32_t n, bool highBand) {
  ClockRegisters r;
  r.rangeCode = n <= 479 ? 1 : n <= 639 ? 2 : n <= 799 ? 3 : 4;
  r.oddBit = n % 2;
  r.halfCount = n / 2 - 4;
  r.r40 = static_cast<std::uint8_t>(0xC0 + 4 * r.rangeCode + r.halfCount / 256);
  r.r41 = static_cast<std::uint8_t>(r.halfCount & 0xFF);
  r.r42 = static_cast<std::uint8_t>(128 * r.oddBit + (highBand ? 0x17 : 0x30));
  return r;
}

}  // namespace quarvel::receiver
