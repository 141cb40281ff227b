// SPDX-License-Identifier: GPL-3.0-or-later
// Bytes as text: two upper-case hex digits each, as the driver trace, the board model and the
// bus monitor write them.
#pragma once

#include <string>

namespace quarvel::port {

// "0A" for 10; only the low byte counts.
inline std::string Hex2(unsigned v) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  return {kDigits[(v >> 4) & 0x0Fu], kDigits[v & 0x0Fu]};
}

}  // namespace quarvel::port
