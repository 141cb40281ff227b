// SPDX-License-Identifier: GPL-3.0-or-later
// The image of the bridge's eight output lines and the two-wire waveform built from it.
//
// Bus operations append line states to the port link's transmit buffer; nothing reaches the
// board until SendWaveform hands the whole burst to the driver in one write.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>

#include "port/D2XXUnit.h"

namespace quarvel::bus {

// Line bits of the port image.
inline constexpr int kDataLine = 0x01;       // SDA
inline constexpr int kClockLine = 0x02;      // SCL
inline constexpr int kSelectionBits = 0x7C;  // input (bits 2-4) and attenuator (bits 5-6)

// Bus write addresses.
inline constexpr std::uint8_t ClockGenerator = 0xD2;
inline constexpr std::uint8_t ConfigEeprom = 0xD0;
inline constexpr std::uint8_t LevelConverter = 0x90;

inline constexpr std::uint32_t kBridgeBaudRate = 38400;

class TwoWireBus {
 public:
  explicit TwoWireBus(port::D2XXUnit& link) : link_(link) {}

  void SetDataLine(int level);
  void SetClockLine(int level);
  void BusIdle();
  void BusStart();
  void BusStop();
  bool BusWriteByte(std::uint8_t b);
  // One bus message: start, the bytes (address first), stop.
  void BusMessage(std::initializer_list<std::uint8_t> bytes);
  void BusMessage(std::uint8_t address, std::span<const std::uint8_t> payload);
  // Opens the bridge, sets bit-bang mode and the rate, writes the queue and closes, each step
  // taken whatever the previous one returned. A burst that overran the queue is refused
  // whole: nothing reaches the driver and the user is told.
  void SendWaveform();
  // Starts a new burst: the queue is emptied.
  void BeginBurst() { WaveLength = 0; }

  int PortImage = 0;
  std::int32_t WaveLength = 0;

  port::D2XXUnit& Link() { return link_; }

 private:
  void Queue();

  port::D2XXUnit& link_;
  bool overflow_ = false;
};

}  // namespace quarvel::bus
