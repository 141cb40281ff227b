// SPDX-License-Identifier: GPL-3.0-or-later
// Reads a stream of line states back into bus messages, the way a device on the board sees
// them, and reports every state that breaks the bus rules the panel keeps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quarvel::bus {

struct BusMessageRecord {
  std::vector<std::uint8_t> bytes;  // address byte first
  std::size_t startState = 0;       // index of the start condition's data fall
  std::size_t stopState = 0;        // index of the stop condition's data rise
  std::uint8_t address() const { return bytes.empty() ? 0 : bytes.front(); }
};

enum class Violation {
  DataChangeWithClock,   // data and clock changed in the same state
  DataChangeInsideByte,  // data changed while the clock was high in the middle of a byte
  RepeatedStart,         // a start inside an open message
  AckNotReleased,        // the data line held low in an acknowledge slot
  MessageNotClosed,      // the stream ended inside a message
  Bit7Set,               // the unused eighth line was driven high
  SelectionChanged,      // input or attenuator lines changed inside the burst
};

std::string ViolationText(Violation v);

struct BusFault {
  Violation kind;
  std::size_t state;  // index of the offending state
};

struct DecodedBurst {
  std::vector<BusMessageRecord> messages;
  std::vector<BusFault> faults;
  std::uint8_t selectionBits = 0;  // bits 2-6 of the first state
  bool ok() const { return faults.empty(); }
};

// Decodes one burst. previousState is the line state before the burst's first byte (the
// lines keep their levels between bursts); without it, the first state is taken as the
// starting level.
DecodedBurst DecodeBurst(std::span<const std::uint8_t> states,
                         std::optional<std::uint8_t> previousState = std::nullopt);

}  // namespace quarvel::bus
