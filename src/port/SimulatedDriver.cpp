// SPDX-License-Identifier: GPL-3.0-or-later
#include "port/SimulatedDriver.h"

#include "port/Hex.h"

namespace quarvel::port {

std::string TraceLine(const RecordedCall& c) {
  std::string line(DriverCallName(c.call));
  switch (c.call) {
    case DriverCall::Open:
      line += " index=" + std::to_string(c.index);
      break;
    case DriverCall::SetBitMode:
      line += " mask=" + Hex2(c.mask) + " mode=" + Hex2(c.mode);
      break;
    case DriverCall::SetBaudRate:
      line += " baud=" + std::to_string(c.baud);
      break;
    case DriverCall::Write: {
      line += " count=" + std::to_string(c.data.size()) + " data=";
      line.reserve(line.size() + 2 * c.data.size() + 16);
      for (std::uint8_t b : c.data) line += Hex2(b);
      break;
    }
    case DriverCall::Close:
      break;
  }
  line += " status=" + std::to_string(c.status);
  return line;
}

FtStatus SimulatedDriver::Answer(DriverCall call, FtHandle handle) {
  beforeCall_.Notify(call);
  if (call != DriverCall::Open) {
    // Like the D2XX library: a null or foreign handle touches no device.
    if (handle == nullptr || handle != &device_token_ || !open_) return FT_INVALID_HANDLE;
    if (!present_ && call != DriverCall::Close) return FT_IO_ERROR;
  } else if (!present_) {
    return FT_DEVICE_NOT_FOUND;
  }
  return forced_[Index(call)];
}

void SimulatedDriver::Record(RecordedCall rec) {
  if (trace_ != nullptr) {
    *trace_ << TraceLine(rec) << '\n';
    trace_->flush();
  }
  calls_.push_back(std::move(rec));
  if (calls_.size() > recordLimit_ && calls_.size() - recordLimit_ > recordLimit_)
    calls_.erase(calls_.begin(), calls_.end() - static_cast<std::ptrdiff_t>(recordLimit_));
}

void SimulatedDriver::SetPresent(bool present) {
  if (present && !present_) ++arrivals_;
  present_ = present;
  if (!present_) bitBang_ = false;
}

FtStatus SimulatedDriver::Open(int index, FtHandle* handle) {
  FtStatus status = Answer(DriverCall::Open, nullptr);
  if (status == FT_OK && open_) status = FT_DEVICE_NOT_OPENED;  // already open elsewhere
  if (status == FT_OK) {
    open_ = true;
    *handle = &device_token_;
  }
  RecordedCall rec{DriverCall::Open, status};
  rec.index = index;
  Record(std::move(rec));
  return status;
}

FtStatus SimulatedDriver::SetBitMode(FtHandle handle, std::uint8_t mask, std::uint8_t mode) {
  const FtStatus status = Answer(DriverCall::SetBitMode, handle);
  if (status == FT_OK) bitBang_ = mask == 0xFF && mode == kBitModeAsyncBitBang;
  RecordedCall rec{DriverCall::SetBitMode, status};
  rec.mask = mask;
  rec.mode = mode;
  Record(std::move(rec));
  return status;
}

FtStatus SimulatedDriver::SetBaudRate(FtHandle handle, std::uint32_t baud) {
  const FtStatus status = Answer(DriverCall::SetBaudRate, handle);
  RecordedCall rec{DriverCall::SetBaudRate, status};
  rec.baud = baud;
  Record(std::move(rec));
  return status;
}

FtStatus SimulatedDriver::Write(FtHandle handle, const std::uint8_t* data, std::uint32_t count,
                                std::uint32_t* written) {
  const FtStatus status = Answer(DriverCall::Write, handle);
  RecordedCall rec{DriverCall::Write, status};
  rec.data.assign(data, data + count);
  *written = status == FT_OK ? count : 0;
  if (status == FT_OK) {
    if (bitBang_)
      boardWrite_.Notify(data, count);
    else
      serialWrite_.Notify(data, count);
  }
  Record(std::move(rec));
  return status;
}

FtStatus SimulatedDriver::Close(FtHandle handle) {
  const FtStatus status = Answer(DriverCall::Close, handle);
  // A handle the driver knows is released even when the close reports a failure.
  if (handle == &device_token_) open_ = false;
  Record(RecordedCall{DriverCall::Close, status});
  return status;
}

std::vector<std::vector<std::uint8_t>> SimulatedDriver::Writes() const {
  std::vector<std::vector<std::uint8_t>> out;
  for (const auto& c : calls_)
    if (c.call == DriverCall::Write) out.push_back(c.data);
  return out;
}

}  // namespace quarvel::port
