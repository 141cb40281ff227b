// SPDX-License-Identifier: GPL-3.0-or-later
// Building the clock burst (the 10 ms pause replaced) and decoding it; building the level
// burst; a whole upload of sixteen pages from a real file (the 200 ms pauses replaced, so the
// upload's wall time is 16 x 200 ms plus this figure).
#include <benchmark/benchmark.h>

#include "BenchSupport.h"
#include "bus/TwoWireDecoder.h"

namespace {

using namespace quarvel;
using bench::LogicStack;
using bench::NullDriver;

void BM_BuildClockBurst(benchmark::State& state) {
  LogicStack<NullDriver> p;
  for (auto _ : state) {
    p.rx.ProgramClockGenerator(1212, /*highBand=*/false, /*divider=*/10);
    benchmark::DoNotOptimize(p.bus.Burst().WaveQueue().data());
  }
}
BENCHMARK(BM_BuildClockBurst);

void BM_DecodeClockBurst(benchmark::State& state) {
  const auto burst = bench::ClockBurst(1212);
  for (auto _ : state) {
    auto decoded = bus::DecodeBurst(burst, 0x00);
    benchmark::DoNotOptimize(decoded);
  }
}
BENCHMARK(BM_DecodeClockBurst);

void BM_BuildLevelBurst(benchmark::State& state) {
  LogicStack<NullDriver> p;
  for (auto _ : state) {
    p.rx.ScrollBar4Change();
    benchmark::DoNotOptimize(p.bus.Burst().WaveQueue().data());
  }
}
BENCHMARK(BM_BuildLevelBurst);

// Reading a 256-byte image file from the temporary folder and sending its sixteen pages.
void BM_UploadSixteenPages(benchmark::State& state) {
  bench::ImageFile image;
  if (!image.ok()) return state.SkipWithError("cannot create the image file");
  LogicStack<NullDriver> p;
  p.chooser.path = image.path();
  for (auto _ : state) {
    p.rx.RAMbinClick();
    benchmark::DoNotOptimize(p.bus.Burst().WaveQueue().data());
  }
}
BENCHMARK(BM_UploadSixteenPages);

}  // namespace
