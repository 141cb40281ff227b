// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/SimulatedBoard.h"

#include <utility>

#include "bus/TwoWireBus.h"
#include "bus/TwoWireDecoder.h"
#include "port/Hex.h"

namespace quarvel::sim {

namespace {
constexpr int kAttenuatorCodeInvalid = 3;
using port::Hex2;
}  // namespace

std::string HexBytes(std::span<const std::uint8_t> bytes) {
  std::string out;
  out.reserve(bytes.size() * 3);
  for (std::uint8_t b : bytes) {
    if (!out.empty()) out += ' ';
    out += Hex2(b);
  }
  return out;
}

std::string DeviceName(std::uint8_t address) {
  static constexpr std::pair<std::uint8_t, const char*> kDevices[] = {
      {bus::ClockGenerator, "clock generator 0xD2"},
      {bus::ConfigEeprom, "EEPROM 0xD0"},
      {bus::LevelConverter, "level converter 0x90"},
  };
  for (const auto& [at, name] : kDevices)
    if (at == address) return name;
  return "no device 0x" + Hex2(address);
}

std::string EntryText(const LogEntry& entry) {
  if (entry.IsFault()) return "fault: " + entry.fault;
  std::string text = entry.device + " \u2190";
  if (entry.bytes.size() >= 2) {
    text += " [" + Hex2(entry.bytes[1]) + "]";
    if (entry.bytes.size() > 2) text += " " + HexBytes(std::span(entry.bytes).subspan(2));
  }
  return text;
}

int ClockGeneratorModel::P() const {
  const int pb = ((registers[0x40] & 0x03) * 256) + registers[0x41];
  const int p0 = (registers[0x42] >> 7) & 1;
  return 2 * (pb + 4) + p0;
}

int ClockGeneratorModel::Q() const {
  return (registers[0x42] & 0x7F) + 2;
}

std::optional<double> ClockGeneratorModel::OscillatorKhz() const {
  if (OutputDivider() == 0) return std::nullopt;
  // One division, so values that are whole multiples come out exact.
  return kReferenceKhz * P() / (static_cast<double>(Q()) * OutputDivider());
}

std::optional<double> ClockGeneratorModel::TunedKhz() const {
  if (OutputDivider() == 0) return std::nullopt;
  return kReferenceKhz * P() / (static_cast<double>(Q()) * OutputDivider() * kReceiverDivider);
}

SimulatedBoard::SimulatedBoard(std::size_t logLimit) : logLimit_(logLimit == 0 ? 1 : logLimit) {}

SimulatedBoard::~SimulatedBoard() {
  Detach();
}

void SimulatedBoard::Attach(port::SimulatedDriver& driver) {
  attachment_ = driver.OnBoardWrite([this](const std::uint8_t* data, std::uint32_t count) {
    FeedBurst(std::span<const std::uint8_t>(data, count));
  });
  serialAttachment_ = driver.OnSerialWrite(
      [this](const std::uint8_t*, std::uint32_t count) { MissSerialBytes(count); });
}

void SimulatedBoard::Detach() {
  attachment_.Reset();
  serialAttachment_.Reset();
}

void SimulatedBoard::MissSerialBytes(std::uint32_t count) {
  if (count == 0) return;
  RecordFault(std::to_string(count) + (count == 1 ? " byte" : " bytes") +
                  " written while the bridge was not in bit-bang mode",
              Now());
  changed_.Notify();
}

std::optional<int> SimulatedBoard::AttenuatorDb() const {
  const int code = AttenuatorCode();
  if (code == kAttenuatorCodeInvalid) return std::nullopt;
  return -10 * code;
}

void SimulatedBoard::PowerUp() {
  clock_ = ClockGeneratorModel{};
  level_.reset();
  levelControl_.reset();
  lines_ = 0;
  changed_.Notify();
}

void SimulatedBoard::FeedBurst(std::span<const std::uint8_t> states) {
  const Clock::time_point time = Now();
  ++bursts_;
  const bus::DecodedBurst decoded = bus::DecodeBurst(states, lines_);
  for (const bus::BusFault& f : decoded.faults)
    RecordFault(
        "bus rule broken at state " + std::to_string(f.state) + ": " + bus::ViolationText(f.kind),
        time);
  // The devices see every message that got through, even in a burst with faults.
  for (const bus::BusMessageRecord& m : decoded.messages) Deliver(m.bytes, time);
  if (!states.empty()) {
    lines_ = states.back();
    if (AttenuatorCode() == kAttenuatorCodeInvalid)
      RecordFault("attenuator lines at code 3, which selects no step", time);
  }
  changed_.Notify();
}

void SimulatedBoard::WriteFrom(std::array<std::uint8_t, 256>& memory,
                               std::span<const std::uint8_t> payload) {
  if (payload.empty()) return;
  // The first byte sets the register pointer; it advances by one per byte and wraps.
  std::uint8_t pointer = payload.front();
  for (std::uint8_t b : payload.subspan(1)) memory[pointer++] = b;
}

void SimulatedBoard::Deliver(const std::vector<std::uint8_t>& bytes, Clock::time_point time) {
  if (bytes.empty()) {
    RecordFault("message without an address byte", time);
    return;
  }
  ++messages_;
  const std::uint8_t address = bytes.front();
  const std::span<const std::uint8_t> payload = std::span(bytes).subspan(1);
  switch (address) {
    case bus::ClockGenerator:
      WriteFrom(clock_.registers, payload);
      clock_.written = true;
      break;
    case bus::ConfigEeprom:
      WriteFrom(eeprom_, payload);
      break;
    case bus::LevelConverter:
      if (!payload.empty()) levelControl_ = payload.front();
      if (payload.size() >= 2) level_ = payload.back();
      break;
    default:
      break;
  }
  Append(LogEntry{0, time, bytes, DeviceName(address), {}});
  // A device answers at its address plus one for a read (the address's low bit set), which the
  // port cannot take part in: it only drives the lines, and the panel never sends one.
  const auto answers = [](std::uint8_t at) {
    return at == bus::ClockGenerator || at == bus::ConfigEeprom || at == bus::LevelConverter;
  };
  if ((address & 0x01) != 0 && answers(address & 0xFE))
    RecordFault("read from 0x" + Hex2(address) + ", which the panel never sends", time);
  else if (!answers(address))
    RecordFault("no device answers at address 0x" + Hex2(address), time);
}

void SimulatedBoard::RecordFault(std::string text, Clock::time_point time) {
  ++faultCount_;
  faults_.push_back(text);
  if (faults_.size() > logLimit_) faults_.pop_front();
  Append(LogEntry{0, time, {}, {}, std::move(text)});
}

void SimulatedBoard::Append(LogEntry entry) {
  entry.serial = ++serial_;
  log_.push_back(std::move(entry));
  if (log_.size() > logLimit_) log_.pop_front();
}

}  // namespace quarvel::sim
