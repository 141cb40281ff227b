// Building the clock burst (the 10 ms pause replaced) and decoding it; building the level
// burst; a whole upload of sixteen pages from a real file (the 200 ms pauses replaced, so the
// upload's wall time is 16 x 200 ms plus this figure).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "bus/TwoWireDecoder.h"
#include "port/ErrorReporter.h"
#include "port/SimulatedDriver.h"
#include "receiver/ReceiverControl.h"

namespace {

using namespace quarvel;

struct NoChooser : receiver::ImageChooser {
  std::optional<std::string> ChooseImageFile(const std::string&) override { return {}; }
};

struct NoSleep : receiver::Sleeper {
  void SleepMs(int) override {}
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

void BM_BuildClockBurst(benchmark::State& state) {
  NullDriver driver;
  port::RecordingReporter reporter;
  port::D2XXUnit link(driver, reporter);
  bus::TwoWireBus bus(link);
  receiver::PanelControls controls;
  NoSleep sleeper;
  NoChooser chooser;
  receiver::ReceiverControl rx(bus, controls, sleeper, chooser);
  rx.TuningPosition = 1212;
  rx.BandDivider = 10;
  for (auto _ : state) {
    rx.ProgramClockGenerator();
    benchmark::DoNotOptimize(link.WaveQueue.data());
  }
}
BENCHMARK(BM_BuildClockBurst);

void BM_DecodeClockBurst(benchmark::State& state) {
  port::SimulatedDriver driver;
  port::RecordingReporter reporter;
  port::D2XXUnit link(driver, reporter);
  bus::TwoWireBus bus(link);
  receiver::PanelControls controls;
  NoSleep sleeper;
  NoChooser chooser;
  receiver::ReceiverControl rx(bus, controls, sleeper, chooser);
  rx.TuningPosition = 1212;
  rx.BandDivider = 10;
  rx.ProgramClockGenerator();
  const auto burst = driver.Writes().at(0);
  for (auto _ : state) {
    auto decoded = bus::DecodeBurst(burst, 0x00);
    benchmark::DoNotOptimize(decoded);
  }
}
BENCHMARK(BM_DecodeClockBurst);

// Answers the file-open dialog with a fixed path (none: the user cancels).
struct FixedChooser : receiver::ImageChooser {
  std::optional<std::string> ChooseImageFile(const std::string&) override { return path; }
  std::optional<std::string> path;
};

// The whole panel logic on the null driver, without pauses.
struct Panel {
  NullDriver driver;
  port::RecordingReporter reporter;
  port::D2XXUnit link{driver, reporter};
  bus::TwoWireBus bus{link};
  receiver::PanelControls controls;
  NoSleep sleeper;
  FixedChooser chooser;
  receiver::ReceiverControl rx{bus, controls, sleeper, chooser};
};

void BM_BuildLevelBurst(benchmark::State& state) {
  Panel p;
  for (auto _ : state) {
    p.rx.ScrollBar4Change();
    benchmark::DoNotOptimize(p.link.WaveQueue.data());
  }
}
BENCHMARK(BM_BuildLevelBurst);

// Reading a 256-byte image file from the temporary folder and sending its sixteen pages.
void BM_UploadSixteenPages(benchmark::State& state) {
  char path[] = "/tmp/quarvel-bench-XXXXXX";
  const int fd = ::mkstemp(path);
  if (fd < 0) return state.SkipWithError("cannot create the image file");
  ::close(fd);
  {
    std::ofstream image(path, std::ios::binary);
    for (int i = 0; i < 256; ++i) image.put(static_cast<char>(i * 37 + 11));
  }
  Panel p;
  p.chooser.path = path;
  for (auto _ : state) {
    p.rx.RAMbinClick();
    benchmark::DoNotOptimize(p.link.WaveQueue.data());
  }
  ::unlink(path);
}
BENCHMARK(BM_UploadSixteenPages);

}  // namespace
