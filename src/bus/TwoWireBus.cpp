// SPDX-License-Identifier: GPL-3.0-or-later
#include "bus/TwoWireBus.h"

#include <string>

namespace quarvel::bus {

void TwoWireBus::Queue() {
  if (WaveLength == 0) overflow_ = false;
  if (WaveLength < 0 || static_cast<std::size_t>(WaveLength) >= link_.WaveQueue.size()) {
    // Never write past the buffer; the burst is refused when it is sent.
    overflow_ = true;
    if (WaveLength < INT32_MAX) ++WaveLength;
    return;
  }
  link_.WaveQueue[static_cast<std::size_t>(WaveLength)] =
      static_cast<std::uint8_t>(PortImage & 0xFF);
  ++WaveLength;
}

void TwoWireBus::SetDataLine(int level) {
  PortImage = level != 0 ? (PortImage | kDataLine) : (PortImage & ~kDataLine);
  Queue();
}

void TwoWireBus::SetClockLine(int level) {
  PortImage = level != 0 ? (PortImage | kClockLine) : (PortImage & ~kClockLine);
  Queue();
}

void TwoWireBus::BusIdle() {
  SetClockLine(1);
  SetDataLine(1);
}

void TwoWireBus::BusStart() {
  SetDataLine(0);
  SetClockLine(0);
}

void TwoWireBus::BusStop() {
  SetClockLine(0);
  SetDataLine(0);
  SetClockLine(1);
  SetDataLine(1);
}

bool TwoWireBus::BusWriteByte(std::uint8_t b) {
  for (int bit = 7; bit >= 0; --bit) {
    SetDataLine((b >> bit) & 1);
    SetClockLine(1);
    SetClockLine(0);
  }
  // Acknowledge slot: the data line is released high for the ninth clock and never read.
  SetDataLine(1);
  SetClockLine(1);
  SetClockLine(0);
  return true;
}

void TwoWireBus::BusMessage(std::initializer_list<std::uint8_t> bytes) {
  BusStart();
  for (std::uint8_t b : bytes) BusWriteByte(b);
  BusStop();
}

void TwoWireBus::BusMessage(std::uint8_t address, std::span<const std::uint8_t> payload) {
  BusStart();
  BusWriteByte(address);
  for (std::uint8_t b : payload) BusWriteByte(b);
  BusStop();
}

void TwoWireBus::SendWaveform() {
  if (overflow_ && WaveLength != 0) {
    overflow_ = false;
    link_.Reporter().ShowError(
        port::kErrorCaption,
        "Burst of " + std::to_string(WaveLength) + " line states exceeds the " +
            std::to_string(link_.WaveQueue.size()) + "-state transmit buffer; nothing was sent.");
    WaveLength = 0;
    return;
  }
  link_.UsbOpen();
  link_.UsbSetBitMode(0xFF, port::kBitModeAsyncBitBang);
  link_.UsbBaudRate = kBridgeBaudRate;
  link_.UsbSetBaudRate();
  link_.UsbWrite(static_cast<std::uint32_t>(WaveLength < 0 ? 0 : WaveLength));
  link_.UsbClose();
}

}  // namespace quarvel::bus
