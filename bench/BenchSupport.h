// SPDX-License-Identifier: GPL-3.0-or-later
// Pieces the benchmarks share: the panel logic without pauses, on a driver of choice.
#pragma once

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <optional>
#include <string>

#include "Doubles.h"
#include "bus/TwoWireBus.h"
#include "port/D2XXUnit.h"
#include "port/SimulatedDriver.h"
#include "receiver/ReceiverControl.h"

namespace quarvel::bench {

struct NoSleep : receiver::Sleeper {
  void SleepMs(int) override {}
};

// Answers the file-open dialog with a fixed path (none: the user cancels).
struct FixedChooser : receiver::ImageChooser {
  std::optional<std::string> ChooseImageFile(const std::string&) override { return path; }
  std::optional<std::string> path;
};

// A driver that accepts everything and keeps nothing, so the figure is the panel's own work.
struct NullDriver : port::UsbDriver {
  port::FtStatus Open(int, port::FtHandle* h) override {
    *h = this;
    return 0;
  }
  port::FtStatus SetBitMode(port::FtHandle, std::uint8_t, std::uint8_t) override { return 0; }
  port::FtStatus SetBaudRate(port::FtHandle, std::uint32_t) override { return 0; }
  port::FtStatus Write(port::FtHandle, const std::uint8_t* d, std::uint32_t n,
                       std::uint32_t* w) override {
    benchmark::DoNotOptimize(d);
    *w = n;
    return 0;
  }
  port::FtStatus Close(port::FtHandle) override { return 0; }
};

// The whole panel logic on a driver, with the pause before each burst returning at once.
template <typename Driver>
struct LogicStack {
  explicit LogicStack(receiver::Sleeper& s) : rx(bus, controls, s, chooser) {}
  LogicStack() : LogicStack(noSleep) {}

  Driver driver;
  port::RecordingReporter reporter;
  port::D2XXUnit link{driver, reporter};
  bus::TwoWireBus bus{link};
  receiver::PanelControls controls;
  NoSleep noSleep;
  FixedChooser chooser;
  receiver::ReceiverControl rx;
};

// The clock burst for a tuning position in the "2...10 MHz" band, as the board receives it.
inline std::vector<std::uint8_t> ClockBurst(std::int32_t position) {
  LogicStack<port::SimulatedDriver> p;
  p.rx.ProgramClockGenerator(position, /*highBand=*/false, /*divider=*/10);
  return p.driver.Writes().at(0);
}

// A 256-byte image in the temporary folder, removed with this object.
class ImageFile {
 public:
  ImageFile() {
    const int fd = ::mkstemp(path_);
    if (fd < 0) return;
    ::close(fd);
    std::ofstream image(path_, std::ios::binary);
    for (int i = 0; i < 256; ++i) image.put(static_cast<char>(i * 37 + 11));
    ok_ = image.good();
  }
  ~ImageFile() { ::unlink(path_); }
  ImageFile(const ImageFile&) = delete;
  ImageFile& operator=(const ImageFile&) = delete;
  bool ok() const { return ok_; }
  std::string path() const { return path_; }

 private:
  char path_[32] = "/tmp/quarvel-bench-XXXXXX";
  bool ok_ = false;
};

}  // namespace quarvel::bench
