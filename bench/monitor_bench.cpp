// SPDX-License-Identifier: GPL-3.0-or-later
// What one clock burst costs the simulated edition: decoding it, updating the board model and
// updating the bus monitor (new rows, labels, changed hex cells). The panel waits for this on
// every tuning step, so it has to stay far below a millisecond.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <array>
#include <cstdint>
#include <vector>

#include "BenchSupport.h"
#include "port/ErrorReporter.h"
#include "port/SimulatedDriver.h"
#include "receiver/ReceiverControl.h"
#include "sim/BusMonitor.h"
#include "sim/SimulatedBoard.h"

namespace {

using namespace quarvel;

// Two clock bursts for neighbouring tuning positions, so that every fed burst changes the
// registers shown and the frequencies compared.
std::array<std::vector<std::uint8_t>, 2> ClockBursts() {
  return {bench::ClockBurst(1212), bench::ClockBurst(1213)};
}

void BM_BoardTakesClockBurst(benchmark::State& state) {
  const auto bursts = ClockBursts();
  sim::SimulatedBoard board;
  std::size_t i = 0;
  for (auto _ : state) {
    board.FeedBurst(bursts[i++ & 1]);
    benchmark::DoNotOptimize(board.ClockGenerator().registers.data());
  }
}
BENCHMARK(BM_BoardTakesClockBurst);

void BM_BoardAndMonitorTakeClockBurst(benchmark::State& state) {
  const auto bursts = ClockBursts();
  sim::SimulatedBoard board;
  double panelKhz = 6060;
  sim::BusMonitor monitor(board, [&] { return panelKhz; });
  // Start from a full list, as after a long session: every burst also drops old rows.
  for (int n = 0; n < sim::kDefaultMonitorRows; ++n) board.FeedBurst(bursts[0]);
  std::size_t i = 0;
  for (auto _ : state) {
    panelKhz = (i & 1) ? 6065 : 6060;
    board.FeedBurst(bursts[i++ & 1]);
  }
}
BENCHMARK(BM_BoardAndMonitorTakeClockBurst)->Unit(benchmark::kMicrosecond);

}  // namespace
