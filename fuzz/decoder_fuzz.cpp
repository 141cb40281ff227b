// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes the two-wire decoder. The input is read twice:
//  - as raw line states: decoding must never crash and its report must hold together
//    (messages in order inside the stream, every fault at a real state, line 7 high and
//    changed selection lines each reported once, at their first state);
//  - as a script of bus messages: the burst the panel's bus code queues for them must decode
//    back to exactly those messages with no fault, whatever the starting line levels.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <vector>

#include "Doubles.h"
#include "bus/TwoWireBus.h"
#include "bus/TwoWireDecoder.h"
#include "port/SimulatedDriver.h"

namespace {

using namespace quarvel;
using Bytes = std::vector<std::uint8_t>;

[[noreturn]] void Fail(const char* what, std::size_t where = 0) {
  std::fprintf(stderr, "decoder invariant broken: %s (at %zu)\n", what, where);
  std::abort();
}

void CheckReport(std::span<const std::uint8_t> states, const bus::DecodedBurst& d) {
  if (states.empty()) {
    if (!d.messages.empty() || !d.faults.empty()) Fail("an empty stream reported something");
    return;
  }
  const std::uint8_t selection = states.front() & bus::kSelectionBits;
  if (d.selectionBits != selection) Fail("selection bits are not those of the first state");

  std::size_t nextFree = 0;
  for (const auto& m : d.messages) {
    if (m.startState < nextFree) Fail("messages overlap or are out of order", m.startState);
    if (m.startState >= m.stopState) Fail("a message stops before it starts", m.startState);
    if (m.stopState >= states.size()) Fail("a message stops past the stream", m.stopState);
    // Each of a byte's nine bits needs a clock fall and a rise after the start condition.
    if (m.bytes.size() * 18 > m.stopState - m.startState)
      Fail("more bytes than clock pulses", m.startState);
    nextFree = m.stopState + 1;
  }

  std::size_t bit7 = 0, selectionChanges = 0, notClosed = 0;
  std::size_t bit7At = states.size(), selectionAt = states.size();  // where each was reported
  std::size_t previous = 0;
  for (const auto& f : d.faults) {
    if (f.state >= states.size()) Fail("a fault past the stream", f.state);
    if (f.state < previous) Fail("faults out of order", f.state);
    previous = f.state;
    if (f.kind == bus::Violation::Bit7Set) {
      ++bit7;
      bit7At = f.state;
    }
    if (f.kind == bus::Violation::SelectionChanged) {
      ++selectionChanges;
      selectionAt = f.state;
    }
    if (f.kind == bus::Violation::MessageNotClosed) {
      ++notClosed;
      if (f.state != states.size() - 1) Fail("an unclosed message reported mid-stream", f.state);
    }
    if (bus::ViolationText(f.kind).empty()) Fail("a fault without a text");
  }
  if (notClosed > 1) Fail("the end of the stream reported twice");
  // Line 7 high and changed selection lines are each reported once, at their first state.
  const auto firstHighLine7 = static_cast<std::size_t>(
      std::find_if(states.begin(), states.end(), [](std::uint8_t s) { return s & 0x80; }) -
      states.begin());
  const auto firstOtherSelection = static_cast<std::size_t>(
      std::find_if(states.begin(), states.end(),
                   [&](std::uint8_t s) { return (s & bus::kSelectionBits) != selection; }) -
      states.begin());
  if (bit7 > 1 || bit7At != firstHighLine7) Fail("line 7 not reported once, at its first state");
  if (selectionChanges > 1 || selectionAt != firstOtherSelection)
    Fail("changed selection lines not reported once, at their first state");
}

// The panel's bus code with a driver that is never called: only the queue is used here.
struct BusStack {
  port::SimulatedDriver driver;
  port::RecordingReporter reporter;
  port::D2XXUnit link{driver, reporter};
  bus::TwoWireBus bus{link};
};

void CheckRoundTrip(const std::uint8_t* data, std::size_t size) {
  static BusStack stack;  // set up once
  auto& b = stack.bus;
  FuzzedDataProvider in(data, size);

  // Any input and attenuator bits and any starting levels of the two bus lines.
  const auto lines = in.ConsumeIntegral<std::uint8_t>();
  b.SetSelection((lines >> 2) & 0x07, (lines >> 5) & 0x03);
  b.SetDataLine(lines & bus::kDataLine);
  b.SetClockLine(lines & bus::kClockLine);
  const auto before = static_cast<std::uint8_t>(b.PortImage());
  b.BeginBurst();
  b.BusIdle();
  std::vector<Bytes> sent;
  std::size_t bytes = 0;
  while (in.remaining_bytes() > 0 && sent.size() < 64 && bytes < 1500) {
    const Bytes m = in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange<std::size_t>(0, 24));
    if (m.empty())
      b.BusMessage({});
    else
      b.BusMessage(m.front(), std::span(m).subspan(1));
    sent.push_back(m);
    bytes += m.size();
  }
  const auto length = static_cast<std::size_t>(b.WaveLength());
  if (length != 2 + 6 * sent.size() + 27 * bytes) Fail("state count off the message shape");

  const std::span<const std::uint8_t> states = b.Burst().WaveQueue();
  if (states.size() != length) Fail("states kept differ from the count");
  const auto decoded = bus::DecodeBurst(states, before);
  CheckReport(states, decoded);
  if (!decoded.ok()) Fail("the panel's own burst breaks a bus rule", decoded.faults[0].state);
  if (decoded.messages.size() != sent.size()) Fail("messages lost or invented");
  for (std::size_t i = 0; i < sent.size(); ++i)
    if (decoded.messages[i].bytes != sent[i]) Fail("a message read back differently", i);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> states(data, size);
  CheckReport(states, bus::DecodeBurst(states));
  if (size > 0) {
    // As the continuation of a burst that left the lines in the first byte's state.
    CheckReport(states.subspan(1), bus::DecodeBurst(states.subspan(1), data[0]));
  }
  CheckRoundTrip(data, size);
  return 0;
}
