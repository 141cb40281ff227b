// SPDX-License-Identifier: GPL-3.0-or-later
#include "bus/TwoWireDecoder.h"

#include <iterator>

#include "bus/TwoWireBus.h"

namespace quarvel::bus {

namespace {
// The text of each violation, in the order of the enumeration.
constexpr const char* kViolationTexts[] = {
    "data and clock changed together",
    "data changed while the clock was high",
    "start inside an open message",
    "acknowledge slot not released",
    "message not closed by a stop",
    "line 7 driven high",
    "input or attenuator lines changed inside a burst",
};
}  // namespace

std::string ViolationText(Violation v) {
  const auto index = static_cast<std::size_t>(v);
  return index < std::size(kViolationTexts) ? kViolationTexts[index] : "unknown";
}

DecodedBurst DecodeBurst(std::span<const std::uint8_t> states,
                         std::optional<std::uint8_t> previousState) {
  DecodedBurst out;
  if (states.empty()) return out;
  out.selectionBits = states.front() & kSelectionBits;

  std::uint8_t prev = previousState.value_or(states.front());
  bool inMessage = false;
  BusMessageRecord current;
  unsigned bitCount = 0;  // bits since the last byte boundary (0 ... 8, ack is bit 8)
  unsigned shift = 0;

  auto fault = [&](Violation v, std::size_t i) { out.faults.push_back({v, i}); };
  // Line 7 and the selection lines are reported at their first wrong state only: a burst that
  // holds them wrong does so in most of its states, and is one fault, not hundreds.
  bool bit7Seen = false, selectionSeen = false;

  for (std::size_t i = 0; i < states.size(); ++i) {
    const std::uint8_t s = states[i];
    if ((s & 0x80) && !bit7Seen) {
      fault(Violation::Bit7Set, i);
      bit7Seen = true;
    }
    if ((s & kSelectionBits) != out.selectionBits && !selectionSeen) {
      fault(Violation::SelectionChanged, i);
      selectionSeen = true;
    }

    const bool sdaWas = prev & kDataLine, sclWas = prev & kClockLine;
    const bool sda = s & kDataLine, scl = s & kClockLine;
    prev = s;

    if (sda != sdaWas && scl != sclWas) {
      fault(Violation::DataChangeWithClock, i);
      continue;
    }
    if (scl && sclWas && sda != sdaWas) {
      // A start or stop condition. The clock rise just before it was sampled as a bit, so
      // one pending bit belongs to the condition; more mean the data line moved mid-byte.
      if (inMessage && bitCount > 1) fault(Violation::DataChangeInsideByte, i);
      if (!sda) {  // start: data falls while the clock is high
        if (inMessage) fault(Violation::RepeatedStart, i);
        inMessage = true;
        current = BusMessageRecord{};
        current.startState = i;
      } else if (inMessage) {  // stop: data rises while the clock is high
        current.stopState = i;
        out.messages.push_back(std::move(current));
        current = BusMessageRecord{};
        inMessage = false;
      }
      // A stop with no message open is the bus going idle: harmless.
      bitCount = 0;
      shift = 0;
      continue;
    }
    if (scl && !sclWas && inMessage) {  // rising clock: the receiver samples the data line
      if (bitCount < 8) {
        shift = (shift << 1) | (sda ? 1u : 0u);
        ++bitCount;
      } else {
        if (!sda) fault(Violation::AckNotReleased, i);
        current.bytes.push_back(static_cast<std::uint8_t>(shift & 0xFF));
        bitCount = 0;
        shift = 0;
      }
    }
  }
  if (inMessage) fault(Violation::MessageNotClosed, states.size() - 1);
  return out;
}

}  // namespace quarvel::bus
