// SPDX-License-Identifier: GPL-3.0-or-later
// A model of the board behind the simulated bridge: it reads every written burst back into
// bus messages the way the devices on the board would, and keeps what each device would
// hold afterwards. The simulated edition shows it in the bus monitor; tests use it to check
// what the board ends up doing rather than which bytes were sent.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "port/SimulatedDriver.h"

namespace quarvel::sim {

using Clock = std::chrono::system_clock;

// Reference of the clock generator's synthesiser, kHz.
inline constexpr double kReferenceKhz = 10000.0;
// The receiver divides the oscillator output by four.
inline constexpr double kReceiverDivider = 4.0;
inline constexpr std::size_t kDefaultLogLimit = 2000;

// One line of the board's log: a bus message delivered to a device, or a fault.
struct LogEntry {
  std::uint64_t serial = 0;  // counts every entry since the board was made, from 1
  Clock::time_point time;
  std::vector<std::uint8_t> bytes;  // a message's bytes, address first; empty for a fault
  std::string device;               // "clock generator 0xD2", ...; empty for a fault
  std::string fault;                // the fault's text; empty for a message
  bool IsFault() const { return !fault.empty(); }
};

// "clock generator 0xD2 ← [40] D2 5A 30": the device, then the first payload byte (the
// register or offset the message starts at) in brackets and the rest in hex. A fault entry
// reads "fault: " and its text.
std::string EntryText(const LogEntry& entry);
// The device name shown for a bus write address, e.g. "EEPROM 0xD0"; addresses no device
// answers read "no device 0xA4".
std::string DeviceName(std::uint8_t address);
// "D2 5A 30"
std::string HexBytes(std::span<const std::uint8_t> bytes);

// The programmable clock generator at 0xD2: a 256-byte register file and the oscillator it
// programs.
struct ClockGeneratorModel {
  std::array<std::uint8_t, 256> registers{};
  bool written = false;  // any message has reached it

  std::uint8_t Register(std::uint8_t r) const { return registers[r]; }
  // P = 2 × (PB + 4) + P0, PB = ((r40 & 3) × 256) + r41, P0 = bit 7 of r42.
  int P() const;
  // Q = (r42 & 0x7F) + 2.
  int Q() const;
  int OutputDivider() const { return registers[0x0C]; }
  std::uint8_t CrystalTrim() const { return registers[0x13]; }
  // 10 MHz × P ÷ Q ÷ r0C, or nothing while the output divider is 0 (no output).
  std::optional<double> OscillatorKhz() const;
  // The receiver's tuned frequency: oscillator ÷ 4.
  std::optional<double> TunedKhz() const;
};

class SimulatedBoard {
 public:
  explicit SimulatedBoard(std::size_t logLimit = kDefaultLogLimit);
  ~SimulatedBoard();
  SimulatedBoard(const SimulatedBoard&) = delete;
  SimulatedBoard& operator=(const SimulatedBoard&) = delete;

  // Receives every burst the driver writes successfully from now on, after the driver's
  // earlier subscribers; a write made while the bridge is not in bit-bang mode reaches no
  // device and is recorded as a fault. Either may be destroyed first.
  void Attach(port::SimulatedDriver& driver);
  // Receives no more bursts.
  void Detach();

  // Feeds one burst of line states, as the bridge would play them out.
  void FeedBurst(std::span<const std::uint8_t> states);
  // The board lost its power and has it back: the clock generator and the level converter
  // start afresh and the lines low; the EEPROM keeps what it holds.
  void PowerUp();

  // Runs the callback after every burst has been taken in, until the returned subscription
  // ends.
  [[nodiscard]] port::Subscription OnChange(std::function<void()> callback) {
    return changed_.Subscribe(std::move(callback));
  }
  // Time stamp source of the log; tests may replace it.
  std::function<Clock::time_point()> Now = [] { return Clock::now(); };

  // Devices.
  const ClockGeneratorModel& ClockGenerator() const { return clock_; }
  const std::array<std::uint8_t, 256>& Eeprom() const { return eeprom_; }
  // The level converter's last level and control byte; nothing before the first level.
  std::optional<std::uint8_t> Level() const { return level_; }
  std::optional<std::uint8_t> LevelControl() const { return levelControl_; }

  // Selection lines as the last state left them: input 1 … 8, attenuator code 0 … 3.
  int Input() const { return ((lines_ >> 2) & 0x07) + 1; }
  int AttenuatorCode() const { return (lines_ >> 5) & 0x03; }
  // 0, -10 or -20; nothing for the invalid code 3.
  std::optional<int> AttenuatorDb() const;
  std::uint8_t Lines() const { return lines_; }

  std::uint64_t BurstCount() const { return bursts_; }
  std::uint64_t MessageCount() const { return messages_; }
  std::uint64_t FaultCount() const { return faultCount_; }
  // The texts of the most recent faults, oldest first (at most the log limit).
  const std::deque<std::string>& Faults() const { return faults_; }
  // The most recent messages and faults, oldest first (at most the log limit).
  const std::deque<LogEntry>& Log() const { return log_; }
  std::uint64_t LastSerial() const { return serial_; }

 private:
  // Bytes the bridge sent as serial frames: the lines never carried them.
  void MissSerialBytes(std::uint32_t count);
  void Deliver(const std::vector<std::uint8_t>& bytes, Clock::time_point time);
  void RecordFault(std::string text, Clock::time_point time);
  void Append(LogEntry entry);
  static void WriteFrom(std::array<std::uint8_t, 256>& memory,
                        std::span<const std::uint8_t> payload);

  std::size_t logLimit_;
  ClockGeneratorModel clock_;
  std::array<std::uint8_t, 256> eeprom_{};
  std::optional<std::uint8_t> level_, levelControl_;
  std::uint8_t lines_ = 0;  // the lines start low
  std::uint64_t bursts_ = 0, messages_ = 0, faultCount_ = 0, serial_ = 0;
  std::deque<std::string> faults_;
  std::deque<LogEntry> log_;

  port::Subscription attachment_;        // to the driver's writes
  port::Subscription serialAttachment_;  // to its writes outside bit-bang mode
  port::Observers<> changed_;
};

}  // namespace quarvel::sim
