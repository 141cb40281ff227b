// SPDX-License-Identifier: GPL-3.0-or-later
#include "bus/TwoWireBus.h"

namespace quarvel::bus {

void TwoWireBus::SetSelection(int input, int attenuator) {
  portImage_ =
      (portImage_ & (kDataLine | kClockLine)) | ((input & 0x07) << 2) | ((attenuator & 0x03) << 5);
}

void TwoWireBus::SetDataLine(int level) {
  portImage_ = level != 0 ? (portImage_ | kDataLine) : (portImage_ & ~kDataLine);
  Queue();
}

void TwoWireBus::SetClockLine(int level) {
  portImage_ = level != 0 ? (portImage_ | kClockLine) : (portImage_ & ~kClockLine);
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

void TwoWireBus::BusWriteByte(std::uint8_t b) {
  for (int bit = 7; bit >= 0; --bit) {
    SetDataLine((b >> bit) & 1);
    SetClockLine(1);
    SetClockLine(0);
  }
  // Acknowledge slot: the data line is released high for the ninth clock and never read.
  SetDataLine(1);
  SetClockLine(1);
  SetClockLine(0);
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

bool TwoWireBus::SendWaveform() {
  const bool reached = Send(burst_);
  // A refused burst is dropped, so that sending again sends an empty one.
  if (burst_.Overflowed()) burst_.Clear();
  return reached;
}

bool TwoWireBus::Send(const port::LineBurst& burst) {
  if (burst.Overflowed()) {
    link_.RefuseBurst(burst);
    return false;
  }
  const bool opened = link_.UsbOpen() == port::FT_OK;
  const bool bitBang = link_.UsbSetBitMode(0xFF, port::kBitModeAsyncBitBang) == port::FT_OK;
  const bool rate = link_.UsbSetBaudRate(kBridgeBaudRate) == port::FT_OK;
  const bool written = link_.UsbWrite(burst) == port::FT_OK;
  link_.UsbClose();
  const bool reached = opened && bitBang && rate && written;
  reachedAgain_ = false;
  if (reached) {
    const std::uint32_t connection = link_.UsbConnection();
    reachedAgain_ = connection_ != 0 && connection != connection_;
    connection_ = connection;
  }
  return reached;
}

}  // namespace quarvel::bus
