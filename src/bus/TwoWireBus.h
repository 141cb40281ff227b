// SPDX-License-Identifier: GPL-3.0-or-later
// The image of the bridge's eight output lines and the two-wire waveform built from it.
//
// Bus operations append line states to a burst; nothing reaches the board until SendWaveform
// hands the whole burst to the port link, which writes it in one driver call.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>

#include "port/D2XXUnit.h"
#include "port/LineBurst.h"

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

  // The input (0 ... 7, bits 2-4) and the attenuator step (bits 5-6) that every later line
  // state carries; the bus lines keep their levels.
  void SetSelection(int input, int attenuator);

  // Starts a new burst: the queue is emptied.
  void BeginBurst() { burst_.Clear(); }
  void SetDataLine(int level);
  void SetClockLine(int level);
  void BusIdle();
  void BusStart();
  void BusStop();
  // Eight data bits, most significant first, then the acknowledge slot (never read).
  void BusWriteByte(std::uint8_t b);
  // One bus message: start, the bytes (address first), stop.
  void BusMessage(std::initializer_list<std::uint8_t> bytes);
  void BusMessage(std::uint8_t address, std::span<const std::uint8_t> payload);
  // Hands the burst built since BeginBurst to the port link: see Send.
  bool SendWaveform();
  // Opens the bridge, sets bit-bang mode and the rate, writes the burst and closes, each
  // step taken whatever the previous one returned. A burst that overran the queue is refused
  // whole: nothing reaches the driver and the user is told. True when the burst reached the
  // board: opening, both settings and the write answered 0.
  bool Send(const port::LineBurst& burst);
  // Whether the last burst sent reached the board and found it plugged in again since the
  // last burst before it that reached one: a board that may have lost its power and its
  // settings, or another board put in its place. False after a burst that did not reach it.
  bool ReachedAgain() const { return reachedAgain_; }

  // The eight output lines as they are now.
  int PortImage() const { return portImage_; }
  // The burst being built, and how many states it holds.
  const port::LineBurst& Burst() const { return burst_; }
  std::int32_t WaveLength() const { return burst_.WaveLength(); }

 private:
  void Queue() { burst_.Queue(static_cast<std::uint8_t>(portImage_ & 0xFF)); }

  port::D2XXUnit& link_;
  int portImage_ = 0;
  port::LineBurst burst_;
  std::uint32_t connection_ = 0;  // the link's connection the last burst that reached it used
  bool reachedAgain_ = false;
};

}  // namespace quarvel::bus
