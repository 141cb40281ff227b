// SPDX-License-Identifier: GPL-3.0-or-later
// Every driver failure on every kind of burst: the boxes the user sees in call order, every
// later call of the burst still made, and the next burst going out right.
#include <gtest/gtest.h>

#include <functional>

#include "Wire.h"

namespace quarvel::reliability {
namespace {

enum class Kind { Clock, Level, UploadPage };

const char* KindName(Kind kind) {
  return kind == Kind::Clock ? "Clock" : kind == Kind::Level ? "Level" : "Page";
}

// One scenario per kind of burst: a burst that meets the fault, then at least one clean burst
// of the same kind with different content.
struct Scenario {
  std::size_t faultyBurst;       // index of the burst that meets the fault
  std::size_t states;            // line states of every burst
  std::vector<Messages> bursts;  // decoded messages of every burst, in order
  std::function<void(testing::Rig&, const std::string& image)> run;
  std::function<void(const testing::Rig&)> checkShown;  // what the window shows afterwards
};

constexpr int kFaultPage = 3;

Scenario ScenarioFor(Kind kind) {
  switch (kind) {
    case Kind::Clock:  // the crystal trim moves: 127 -> 100 (faulty), then 101
      return {0,
              317,
              {{{0xD2, 0x40, 0xD2, 0x5A, 0x30}, {0xD2, 0x0C, 0x0A}, {0xD2, 0x13, 100}},
               {{0xD2, 0x40, 0xD2, 0x5A, 0x30}, {0xD2, 0x0C, 0x0A}, {0xD2, 0x13, 101}}},
              [](testing::Rig& rig, const std::string&) {
                rig.controls.ScrollBar3.SetPosition(100);
                rig.controls.ScrollBar3.SetPosition(101);
              },
              [](const testing::Rig& rig) { EXPECT_EQ(rig.controls.Freq.Text(), "6075 kHz"); }};
    case Kind::Level:  // the level moves by hand: 77 -> 200 (faulty), then 201
      return {0,
              89,
              {{{0x90, 0x40, 200}}, {{0x90, 0x40, 201}}},
              [](testing::Rig& rig, const std::string&) {
                rig.controls.ScrollBar4.SetPosition(200);
                rig.controls.ScrollBar4.SetPosition(201);
              },
              [](const testing::Rig& rig) { EXPECT_EQ(rig.controls.Edit1.Text(), "201"); }};
    case Kind::UploadPage: {  // "upload RAM": one page meets the fault, the rest go out
      Scenario s{kFaultPage, 494, {}, nullptr, nullptr};
      const Bytes image = PatternImage(11);
      for (int page = 0; page < 16; ++page) s.bursts.push_back({PageMessage(0xD2, image, page)});
      s.run = [](testing::Rig& rig, const std::string& path) {
        rig.chooser.next = path;
        rig.rx.RAMbinClick();
      };
      s.checkShown = [](const testing::Rig& rig) {
        EXPECT_EQ(rig.controls.ProgressBar1.Position(), 0);
      };
      return s;
    }
  }
  return {};
}

std::vector<std::string> ExpectedBoxes(DriverCall call, port::FtStatus status) {
  if (call == DriverCall::Open) {
    // No handle after a failed open: the other four calls are refused by the driver.
    std::vector<std::string> boxes = AbsentBoardBoxes();
    boxes[0] = port::StatusMessage(BoxName(DriverCall::Open), status);
    return boxes;
  }
  return {port::StatusMessage(BoxName(call), status)};
}

struct FaultCase {
  Kind kind;
  DriverCall call;
  port::FtStatus status;

  std::string Name() const {
    return std::string(KindName(kind)) + "_" + std::string(port::DriverCallName(call)) + "_" +
           std::to_string(status);
  }
  friend void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.Name(); }
};

// Every kind of burst, each of its five calls, each failing status.
std::vector<FaultCase> AllFaults() {
  constexpr port::FtStatus kStatuses[] = {1,  2,  3,  4,  5,  6,  7,  8,  9,          10,
                                          11, 12, 13, 14, 15, 16, 17, 18, 0xFFFFFFFFu};
  std::vector<FaultCase> cases;
  for (Kind kind : {Kind::Clock, Kind::Level, Kind::UploadPage})
    for (DriverCall call : kBurstCalls)
      for (port::FtStatus status : kStatuses) cases.push_back({kind, call, status});
  return cases;
}

class FaultMatrix : public ::testing::TestWithParam<FaultCase> {};

TEST_P(FaultMatrix, BoxesInCallOrderEveryCallMadeAndTheNextBurstIsRight) {
  const auto [kind, call, status] = GetParam();
  const Scenario scenario = ScenarioFor(kind);

  testing::Rig rig;
  rig.Start();
  const testing::TempDir dir;
  const std::string image = dir.File("image.bin", PatternImage(11));

  // The fault is armed for exactly one burst, counted by its open call.
  std::size_t opens = 0;
  const port::Subscription arm =
      rig.driver.BeforeCall([&, call = call, status = status](DriverCall c) {
        if (c != DriverCall::Open) return;
        rig.driver.SetStatus(call, opens == scenario.faultyBurst ? status : 0);
        ++opens;
      });
  std::vector<Bytes> reachedBoard;
  const port::Subscription writes =
      rig.driver.OnBoardWrite([&](const std::uint8_t* data, std::uint32_t n) {
        reachedBoard.emplace_back(data, data + n);
      });
  std::uint8_t lastState = static_cast<std::uint8_t>(rig.bus.PortImage());

  scenario.run(rig, image);

  // What the user sees: one box per failing call, in call order.
  EXPECT_EQ(rig.reporter.Texts(), ExpectedBoxes(call, status));
  for (const auto& box : rig.reporter.boxes) EXPECT_EQ(box.caption, "Fehler");

  // Every call of every burst was made, the faulty one included.
  EXPECT_TRUE(FiveCallsPerBurst(rig.driver.Calls()));
  auto written = rig.driver.Writes();
  EXPECT_FALSE(rig.driver.IsOpen());
  // A burst that did not reach the board (only a failed close leaves it reached) may have
  // cost the board its settings: the operation ends with what its own later bursts did not
  // carry again, the clock burst (unless a later clock burst did), then the level (unless a
  // later level burst did).
  std::vector<Messages> resent;
  if (call != DriverCall::Close) {
    const Messages clock = {{0xD2, 0x40, 0xD2, 0x5A, 0x30}, {0xD2, 0x0C, 0x0A}, {0xD2, 0x13, 127}};
    if (kind != Kind::Clock) resent.push_back(clock);
    if (kind != Kind::Level) resent.push_back({{0x90, 0x40, 77}});
  }
  ASSERT_EQ(written.size(), scenario.bursts.size() + resent.size());
  for (std::size_t i = 0; i < resent.size(); ++i) {
    const Bytes& burst = written[scenario.bursts.size() + i];
    EXPECT_EQ(MessagesOf(bus::DecodeBurst(burst)), resent[i]) << "resent " << i;
  }
  written.resize(scenario.bursts.size());
  ASSERT_EQ(written.size(), scenario.bursts.size());

  // Each write carried the whole, well-formed burst.
  for (std::size_t i = 0; i < written.size(); ++i) {
    SCOPED_TRACE("burst " + std::to_string(i));
    const auto decoded = bus::DecodeBurst(written[i], lastState);
    EXPECT_TRUE(decoded.ok());
    EXPECT_EQ(written[i].size(), scenario.states);
    EXPECT_EQ(MessagesOf(decoded), scenario.bursts[i]);
    if (!written[i].empty()) lastState = written[i].back();
  }

  // The board got every burst except the one whose data the fault stopped.
  const bool dataStopped = call == DriverCall::Open || call == DriverCall::Write;
  EXPECT_EQ(reachedBoard.size(), written.size() - (dataStopped ? 1 : 0) + resent.size());
  ASSERT_GT(reachedBoard.size(), resent.size());
  reachedBoard.resize(reachedBoard.size() - resent.size());
  EXPECT_EQ(reachedBoard.back(), written.back());
  scenario.checkShown(rig);
}

INSTANTIATE_TEST_SUITE_P(AllBurstsCallsStatuses, FaultMatrix, ::testing::ValuesIn(AllFaults()),
                         [](const auto& info) { return info.param.Name(); });

}  // namespace
}  // namespace quarvel::reliability
