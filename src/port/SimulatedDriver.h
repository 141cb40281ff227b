// SPDX-License-Identifier: GPL-3.0-or-later
// A bridge driver without hardware: it records every call with its arguments and the bytes
// written, can be told to answer a chosen status per call or to behave as an absent board,
// and can print a trace, one line per call, for tools that watch the panel from outside.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "port/Observers.h"
#include "port/UsbDriver.h"

namespace quarvel::port {

struct RecordedCall {
  RecordedCall(DriverCall c, FtStatus s) : call(c), status(s) {}
  DriverCall call;
  FtStatus status = 0;
  int index = 0;                   // Open
  std::uint8_t mask = 0;           // SetBitMode
  std::uint8_t mode = 0;           // SetBitMode
  std::uint32_t baud = 0;          // SetBaudRate
  std::vector<std::uint8_t> data;  // Write: the bytes handed to the driver
};

class SimulatedDriver : public UsbDriver {
 public:
  // Device not found while the board is absent; device not opened while it is open already.
  FtStatus Open(int index, FtHandle* handle) override;
  // With the handle of the open device: the status set for the call (normally 0); an I/O
  // error while the board is absent. Any other handle: invalid handle. A successful call with
  // all eight lines as outputs and asynchronous bit-bang puts the bridge into bit-bang mode;
  // any other successful call (mode 0 resets it) takes it out; a failed call leaves it as it
  // was.
  FtStatus SetBitMode(FtHandle handle, std::uint8_t mask, std::uint8_t mode) override;
  FtStatus SetBaudRate(FtHandle handle, std::uint32_t baud) override;
  // The bytes reach the board, and its subscribers, only when the write succeeds while the
  // bridge is in bit-bang mode. A successful write outside it leaves as serial frames: the
  // board's lines never play them out, and the serial-write subscribers hear of them instead.
  FtStatus Write(FtHandle handle, const std::uint8_t* data, std::uint32_t count,
                 std::uint32_t* written) override;
  // Releases the device even when it answers a failure.
  FtStatus Close(FtHandle handle) override;

  // From now on the call answers this status (0 restores normal behaviour).
  void SetStatus(DriverCall call, FtStatus status) { forced_[Index(call)] = status; }
  // An absent board: open answers "device not found"; an open handle's calls fail with an
  // I/O error as an unplugged device's would.
  // Unplugging cuts the bridge's power, so a board plugged in again starts out of bit-bang
  // mode, as at power-up.
  // Each time the board is plugged in again it is a new arrival, which Connection() tells.
  void SetPresent(bool present);
  bool Present() const { return present_; }
  std::uint32_t Connection() const override { return arrivals_; }
  // Whether the bridge plays written bytes out as line states. Off at power-up; kept across
  // open and close, as the chip keeps its mode.
  bool InBitBangMode() const { return bitBang_; }
  // Trace lines go to this stream, flushed per line; null stops tracing.
  void SetTrace(std::ostream* trace) { trace_ = trace; }

  // Runs the callback before every call is answered, so a test can change the board's
  // behaviour at an exact point (unplug it from the fifth burst on, say); until the returned
  // subscription ends.
  [[nodiscard]] Subscription BeforeCall(std::function<void(DriverCall)> callback) {
    return beforeCall_.Subscribe(std::move(callback));
  }
  // Hands the callback the bytes of every write that reached the board, until the returned
  // subscription ends. Subscribers run in the order they subscribed.
  [[nodiscard]] Subscription OnBoardWrite(
      std::function<void(const std::uint8_t*, std::uint32_t)> callback) {
    return boardWrite_.Subscribe(std::move(callback));
  }
  // Hands the callback the bytes of every successful write made while the bridge was not in
  // bit-bang mode, until the returned subscription ends.
  [[nodiscard]] Subscription OnSerialWrite(
      std::function<void(const std::uint8_t*, std::uint32_t)> callback) {
    return serialWrite_.Subscribe(std::move(callback));
  }

  const std::vector<RecordedCall>& Calls() const { return calls_; }
  // The data of every write call, in order, including failed ones.
  std::vector<std::vector<std::uint8_t>> Writes() const;
  void ClearCalls() { calls_.clear(); }
  // Bounds the record for long runs: Calls() keeps at least the newest `limit` calls and never
  // more than twice as many (the oldest are dropped in batches). No bound by default.
  void SetRecordLimit(std::size_t limit) { recordLimit_ = limit; }
  bool IsOpen() const { return open_; }

 private:
  static std::size_t Index(DriverCall call) { return static_cast<std::size_t>(call); }
  FtStatus Answer(DriverCall call, FtHandle handle);
  void Record(RecordedCall rec);

  std::array<FtStatus, kDriverCallCount> forced_{};
  bool present_ = true;
  std::uint32_t arrivals_ = 1;
  bool open_ = false;
  bool bitBang_ = false;  // the chip powers up as a serial port
  std::ostream* trace_ = nullptr;
  std::vector<RecordedCall> calls_;
  Observers<DriverCall> beforeCall_;
  Observers<const std::uint8_t*, std::uint32_t> boardWrite_;
  Observers<const std::uint8_t*, std::uint32_t> serialWrite_;
  std::size_t recordLimit_ = static_cast<std::size_t>(-1);
  char device_token_ = 0;  // its address is the handle of the open simulated device
};

// The trace line of one call, e.g. "FT_SetBitMode mask=FF mode=01 status=0".
std::string TraceLine(const RecordedCall& call);

}  // namespace quarvel::port
