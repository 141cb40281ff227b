// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated board: what its devices hold after the panel's bursts, and the faults it
// notices in bursts the panel should never send.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "TempFiles.h"
#include "TestRig.h"
#include "sim/SimulatedBoard.h"

namespace quarvel {
namespace {

using receiver::ReceiverControl;
using testing::Bytes;
using testing::Ramp;
using testing::Rig;
using testing::TempDir;

// The panel's logic with the board model listening on the simulated driver.
struct BoardRig {
  Rig rig;
  sim::SimulatedBoard board;
  BoardRig() { board.Attach(rig.driver); }
};

std::vector<std::string> LogTexts(const sim::SimulatedBoard& board) {
  std::vector<std::string> out;
  for (const auto& e : board.Log()) out.push_back(sim::EntryText(e));
  return out;
}

TEST(BoardModel, StartUpTunesTo6060Khz) {
  BoardRig b;
  b.rig.Start();
  const auto& clock = b.board.ClockGenerator();
  ASSERT_TRUE(clock.TunedKhz().has_value());
  EXPECT_EQ(*clock.TunedKhz(), 6060.0);
  EXPECT_EQ(clock.OutputDivider(), 10);
  EXPECT_EQ(clock.CrystalTrim(), 127);
  EXPECT_EQ(b.board.Input(), 1);
  EXPECT_EQ(b.board.AttenuatorDb(), 0);
  EXPECT_EQ(b.board.FaultCount(), 0u);
  EXPECT_EQ(LogTexts(b.board).front(), "clock generator 0xD2 \u2190 [40] D2 5A 30");
}

using BandClick = void (ReceiverControl::*)();
struct BandCase {
  const char* name;
  BandClick click;
  int divider;
};
const BandCase kBandCases[] = {
    {"0.13...0,8 MHz", &ReceiverControl::CMD1_4Click, 100},
    {"0,4...1,6 MHz", &ReceiverControl::CMD2_8Click, 50},
    {"0,8...3,2 MHz", &ReceiverControl::Cmd4_16Click, 25},
    {"2...10 MHz", &ReceiverControl::Cmd10_40Click, 10},
    {"4...20 MHz", &ReceiverControl::Cmd25_100Click, 5},
    {"10...30 MHz", &ReceiverControl::CmdhighClick, 4},
};

void ExpectBoardTunedLikePanel(const BoardRig& b, const std::string& where) {
  const auto tuned = b.board.ClockGenerator().TunedKhz();
  ASSERT_TRUE(tuned.has_value()) << where;
  EXPECT_EQ(*tuned, b.rig.rx.TunedKhz()) << where;
}

TEST(BoardModel, EveryBandTunesTheBoardToThePanelFrequencyAcrossItsRange) {
  BoardRig b;
  b.rig.Start();
  auto& tuning = b.rig.controls.ScrollBar1;
  for (const BandCase& band : kBandCases) {
    (b.rig.rx.*band.click)();
    ExpectBoardTunedLikePanel(b, std::string(band.name) + " right after the click");
    EXPECT_EQ(b.board.ClockGenerator().OutputDivider(), band.divider) << band.name;
    const int min = tuning.Min(), max = tuning.Max();
    // Both ends, their neighbours (odd positions set bit 7 of register 0x42) and the middle.
    for (int n : {min, min + 1, (min + max) / 2, (min + max) / 2 + 1, max - 1, max}) {
      tuning.SetPosition(n);
      ASSERT_EQ(tuning.Position(), n);
      ExpectBoardTunedLikePanel(b, std::string(band.name) + " at " + std::to_string(n));
    }
  }
  EXPECT_EQ(b.board.FaultCount(), 0u);
}

TEST(BoardModel, EveryBandChangeLeavesTheBoardWhereThePanelSaysWithoutTuning) {
  // Switching bands without touching the tuning bar, from every band to every other: the
  // bursts of the click alone must leave the board where the panel's frequency says.
  for (const BandCase& from : kBandCases)
    for (const BandCase& to : kBandCases) {
      BoardRig b;
      b.rig.Start();
      (b.rig.rx.*from.click)();
      (b.rig.rx.*to.click)();
      ExpectBoardTunedLikePanel(b, std::string(from.name) + " -> " + to.name);
    }
}

TEST(BoardModel, CrystalTrimAndLevelLandInTheBoard) {
  BoardRig b;
  b.rig.Start();
  b.rig.controls.ScrollBar3.SetPosition(200);
  EXPECT_EQ(b.board.ClockGenerator().CrystalTrim(), 200);

  b.rig.controls.ScrollBar4.SetPosition(99);  // by hand
  EXPECT_EQ(b.board.Level(), 99);
  EXPECT_EQ(b.board.LevelControl(), 0x40);
  EXPECT_EQ(LogTexts(b.board).back(), "level converter 0x90 \u2190 [40] 63");

  b.rig.controls.ScrollBar1.SetPosition(800);  // 4000 kHz: the tracking table gives 17
  EXPECT_EQ(b.board.Level(), 17);
  EXPECT_EQ(b.board.FaultCount(), 0u);
}

TEST(BoardModel, InputAndAttenuatorButtonsSetTheSelectionLines) {
  using Click = void (ReceiverControl::*)();
  const Click inputs[] = {&ReceiverControl::Mux0Click, &ReceiverControl::Mux1Click,
                          &ReceiverControl::Mux2Click, &ReceiverControl::Mux3Click,
                          &ReceiverControl::Mux4Click, &ReceiverControl::Mux5Click,
                          &ReceiverControl::Mux6Click, &ReceiverControl::Mux7Click};
  const struct {
    Click click;
    int db;
  } steps[] = {{&ReceiverControl::db10Click, -10},
               {&ReceiverControl::db20Click, -20},
               {&ReceiverControl::db0Click, 0}};
  BoardRig b;
  b.rig.Start();
  for (const auto& step : steps)
    for (int k = 0; k < 8; ++k) {
      (b.rig.rx.*step.click)();
      (b.rig.rx.*inputs[k])();
      EXPECT_EQ(b.board.Input(), k + 1) << "In" << k + 1 << ", " << step.db << " dB";
      EXPECT_EQ(b.board.AttenuatorDb(), step.db) << "In" << k + 1;
    }
  EXPECT_EQ(b.board.FaultCount(), 0u);
}

TEST(BoardModel, UploadsFillTheRegisterFileOrTheEeprom) {
  TempDir dir;
  BoardRig b;
  b.rig.Start();
  const auto eepromBefore = b.board.Eeprom();

  const Bytes image = Ramp(256, 0x31);
  b.rig.chooser.next = dir.File("ram.bin", image);
  b.rig.rx.RAMbinClick();
  const auto& regs = b.board.ClockGenerator().registers;
  EXPECT_TRUE(std::equal(regs.begin(), regs.end(), image.begin()));
  EXPECT_EQ(b.board.Eeprom(), eepromBefore);

  const Bytes other = Ramp(256, 0xA0);
  b.rig.chooser.next = dir.File("eeprom.bin", other);
  b.rig.rx.FlashBinClick();
  EXPECT_TRUE(std::equal(b.board.Eeprom().begin(), b.board.Eeprom().end(), other.begin()));
  EXPECT_TRUE(std::equal(regs.begin(), regs.end(), image.begin()));
  EXPECT_EQ(LogTexts(b.board).back(),
            "EEPROM 0xD0 \u2190 [F0] 90 91 92 93 94 95 96 97 98 99 9A 9B 9C 9D 9E 9F");
  EXPECT_EQ(b.board.FaultCount(), 0u);

  // Power lost and back: the clock generator and the level converter start afresh and the
  // lines are low; only the EEPROM keeps what was uploaded.
  b.rig.controls.ScrollBar4.SetPosition(99);
  b.board.PowerUp();
  EXPECT_FALSE(b.board.ClockGenerator().TunedKhz().has_value());
  EXPECT_EQ(b.board.ClockGenerator().CrystalTrim(), 0);
  EXPECT_FALSE(b.board.Level().has_value());
  EXPECT_EQ(b.board.Lines(), 0);
  EXPECT_TRUE(std::equal(b.board.Eeprom().begin(), b.board.Eeprom().end(), other.begin()));
}

// The board was away (unplugged, or not yet plugged in at start-up) while the panel moved on;
// the first action whose bursts get through again leaves it as the panel shows it, even when
// that action sends no clock burst of its own.
TEST(BoardModel, FirstActionBackLeavesTheBoardAsThePanelShows) {
  TempDir dir;
  const std::string image = dir.File("image.bin", Ramp(256, 0x31));
  const struct {
    const char* name;
    bool presentAtStart;
    std::function<void(Rig&)> away, back;
    std::vector<std::size_t> sizes;  // of the bursts the action delivers, in order
  } rows[] = {
      {"tuned while away, then the level by hand",
       true,
       [](Rig& r) { r.controls.ScrollBar1.SetPosition(1300); },
       [](Rig& r) { r.controls.ScrollBar4.SetPosition(60); },
       {89, 317}},
      {"started before the board was plugged in, then the level by hand",
       false,
       [](Rig&) {},
       [](Rig& r) { r.controls.ScrollBar4.SetPosition(60); },
       {89, 317}},
      {"tuned while away, then upload EEPROM",
       true,
       [](Rig& r) { r.controls.ScrollBar1.SetPosition(1300); },
       [&](Rig& r) {
         r.chooser.next = image;
         r.rx.FlashBinClick();
       },
       {494, 494, 494, 494, 494, 494, 494, 494, 494, 494, 494, 494, 494, 494, 494, 494, 317, 89}},
      {"the level by hand while away, then again",
       true,
       [](Rig& r) { r.controls.ScrollBar4.SetPosition(60); },
       [](Rig& r) { r.controls.ScrollBar4.SetPosition(62); },
       {89, 317}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    BoardRig b;
    b.rig.driver.SetPresent(row.presentAtStart);
    b.rig.Start();
    b.rig.driver.SetPresent(false);
    row.away(b.rig);
    b.rig.driver.SetPresent(true);
    b.rig.Forget();
    row.back(b.rig);

    EXPECT_EQ(b.rig.reporter.Texts(), std::vector<std::string>());
    std::vector<std::size_t> sizes;
    for (const Bytes& burst : b.rig.Bursts()) sizes.push_back(burst.size());
    EXPECT_EQ(sizes, row.sizes);
    ExpectBoardTunedLikePanel(b, row.name);
    EXPECT_EQ(b.board.ClockGenerator().OutputDivider(), 10);
    EXPECT_EQ(b.board.ClockGenerator().CrystalTrim(), 127);
    EXPECT_EQ(b.board.Level(), b.rig.controls.ScrollBar4.Position());

    // Delivered once, nothing is sent again.
    b.rig.Forget();
    b.rig.controls.ScrollBar4.SetPosition(61);
    EXPECT_EQ(b.rig.Bursts().size(), 1u);
  }

  // A whole image uploaded to the clock generator holds its registers as the user chose them:
  // no clock burst follows it, only the level that was lost. Half an image (the board came
  // back during the upload) is followed by the clock burst.
  // The same where it was pulled out and plugged in again between pages 7 and 8 with no page
  // failing: the first half went with the power.
  for (const int backAtPage : {0, 8, -8}) {
    SCOPED_TRACE("upload RAM, the board back at page " + std::to_string(backAtPage));
    BoardRig b;
    b.rig.Start();
    if (backAtPage >= 0) {
      b.rig.driver.SetPresent(false);
      b.rig.controls.ScrollBar1.SetPosition(1300);
    }
    b.rig.Forget();
    int opens = 0;
    const port::Subscription plugIn = b.rig.driver.BeforeCall([&](port::DriverCall call) {
      if (call != port::DriverCall::Open) return;
      if (opens == -backAtPage) b.rig.driver.SetPresent(false);
      if (opens++ == std::abs(backAtPage)) b.rig.driver.SetPresent(true);
    });
    b.rig.chooser.next = image;
    b.rig.rx.RAMbinClick();
    std::vector<std::size_t> sizes;
    for (const Bytes& burst : b.rig.Bursts()) sizes.push_back(burst.size());
    std::vector<std::size_t> expected(16, 494u);  // the pages before it fail at the open
    if (backAtPage != 0) expected.push_back(317);
    expected.push_back(89);
    EXPECT_EQ(sizes, expected);
    const auto& regs = b.board.ClockGenerator().registers;
    const Bytes ramp = Ramp(256, 0x31);
    if (backAtPage == 0) {
      EXPECT_TRUE(std::equal(regs.begin(), regs.end(), ramp.begin()));
    } else {
      ExpectBoardTunedLikePanel(b, "after half an image");
    }
  }
}

// Bursts the panel never sends, built with the bus operations on the same driver: each case
// queues its states into an empty queue, then the burst is written.
struct FaultCase {
  const char* name;
  // Builds the burst on the bus and returns it for sending.
  port::LineBurst (*queue)(bus::TwoWireBus&);
  const char* text;  // part of the fault's text
};
const FaultCase kFaultCases[] = {
    {"data and clock change together",
     [](bus::TwoWireBus& bus) {
       bus.BusIdle();
       // Both lines fall in the same state: the bus operations never do that, so the state
       // is added to a copy of the burst by hand.
       port::LineBurst burst = bus.Burst();
       burst.Queue(
           static_cast<std::uint8_t>(bus.PortImage() & ~(bus::kDataLine | bus::kClockLine)));
       return burst;
     },
     "data and clock changed together"},
    {"message not closed",
     [](bus::TwoWireBus& bus) {
       bus.BusIdle();
       bus.BusStart();
       bus.BusWriteByte(bus::ClockGenerator);
       return bus.Burst();
     },
     "message not closed by a stop"},
    {"unknown address",
     [](bus::TwoWireBus& bus) {
       bus.BusMessage({0xA4, 0x00, 0x11});
       return bus.Burst();
     },
     "no device answers at address 0xA4"},
    {"a read from the clock generator",
     [](bus::TwoWireBus& bus) {
       bus.BusMessage({bus::ClockGenerator | 1, 0x13, 0x7F});
       return bus.Burst();
     },
     "read from 0xD3, which the panel never sends"},
    {"attenuator code 3",
     [](bus::TwoWireBus& bus) {
       bus.SetSelection((bus.PortImage() >> 2) & 0x07, 3);
       bus.BusIdle();
       bus.BusMessage({bus::LevelConverter, 0x40, 0x10});
       return bus.Burst();
     },
     "attenuator lines at code 3"},
    // Held wrong over a whole burst, line 7 or the selection lines are one fault, not one per
    // state.
    {"line 7 high in every state",
     [](bus::TwoWireBus& bus) {
       bus.BusMessage({bus::LevelConverter, 0x40, 0x10});
       port::LineBurst burst;
       for (const std::uint8_t state : bus.Burst().WaveQueue())
         burst.Queue(static_cast<std::uint8_t>(state | 0x80));
       return burst;
     },
     "line 7 driven high"},
    {"the selection changed after the address",
     [](bus::TwoWireBus& bus) {
       bus.BusMessage({bus::LevelConverter, 0x40, 0x10});
       port::LineBurst burst;
       const auto states = bus.Burst().WaveQueue();
       for (std::size_t i = 0; i < states.size(); ++i)
         burst.Queue(static_cast<std::uint8_t>(states[i] ^ (i > states.size() / 2 ? 0x04 : 0)));
       return burst;
     },
     "input or attenuator lines changed"},
};

TEST(BoardModel, BurstsBreakingTheBoardsRulesCountAsFaults) {
  for (const FaultCase& c : kFaultCases) {
    BoardRig b;
    b.rig.Start();
    b.rig.bus.BeginBurst();
    b.rig.bus.Send(c.queue(b.rig.bus));
    EXPECT_EQ(b.board.FaultCount(), 1u) << c.name;
    ASSERT_EQ(b.board.Faults().size(), 1u) << c.name;
    EXPECT_NE(b.board.Faults().back().find(c.text), std::string::npos)
        << c.name << ": " << b.board.Faults().back();
    const auto log = LogTexts(b.board);
    EXPECT_NE(std::find(log.begin(), log.end(), "fault: " + b.board.Faults().back()), log.end())
        << c.name << ": the fault is not in the list";
  }
}

TEST(BoardModel, LogKeepsOnlyTheNewestEntries) {
  Rig rig;
  sim::SimulatedBoard board(5);
  board.Attach(rig.driver);
  rig.Start();
  for (int n = 401; n <= 404; ++n) rig.controls.ScrollBar1.SetPosition(n);
  ASSERT_EQ(board.Log().size(), 5u);
  // Position 404: 2 × (198 + 4) + 0 → register 0x41 0xC6.
  EXPECT_EQ(sim::EntryText(board.Log()[2]), "clock generator 0xD2 \u2190 [40] C4 C6 30");
  EXPECT_EQ(sim::EntryText(board.Log()[4]), "clock generator 0xD2 \u2190 [13] 7F");
  EXPECT_EQ(board.Log().back().serial, board.LastSerial());

  // Faults are kept to the same limit; the count goes on.
  for (std::uint8_t input = 0; input < 8; ++input) {
    const std::uint8_t state = static_cast<std::uint8_t>(0x63 | input << 2);  // attenuator code 3
    board.FeedBurst(std::span(&state, 1));
  }
  EXPECT_EQ(board.FaultCount(), 8u);
  ASSERT_EQ(board.Faults().size(), 5u);
  EXPECT_EQ(board.Input(), 8);
  EXPECT_EQ(sim::EntryText(board.Log().back()), "fault: " + board.Faults().back());
}

TEST(BoardModel, AttachingKeepsTheDriversHookAndDetachingGivesItBack) {
  Rig rig;
  int earlier = 0, changes = 0;
  const port::Subscription counter =
      rig.driver.OnBoardWrite([&](const std::uint8_t*, std::uint32_t) { ++earlier; });
  {
    sim::SimulatedBoard board;
    const port::Subscription changed = board.OnChange([&] { ++changes; });
    board.Attach(rig.driver);
    rig.Start();
    EXPECT_EQ(board.BurstCount(), static_cast<std::uint64_t>(earlier));
    EXPECT_EQ(changes, earlier);
  }  // the board goes; the driver must not call into it any more
  const int before = earlier;
  rig.controls.ScrollBar3.SetPosition(3);
  EXPECT_EQ(earlier, before + 1);
  EXPECT_EQ(changes, before);
}

// One burst of a single line state (idle unless told), straight through the driver.
void WriteIdleState(port::SimulatedDriver& driver,
                    std::uint8_t state = bus::kDataLine | bus::kClockLine) {
  port::FtHandle handle = nullptr;
  ASSERT_EQ(driver.Open(0, &handle), port::FT_OK);
  std::uint32_t written = 0;
  EXPECT_EQ(driver.Write(handle, &state, 1, &written), port::FT_OK);
  driver.Close(handle);
}

// A session of its own that only sets the bit mode, answered with the given status.
void SetBitModeSession(port::SimulatedDriver& driver, std::uint8_t mask, std::uint8_t mode,
                       port::FtStatus status = port::FT_OK) {
  port::FtHandle handle = nullptr;
  ASSERT_EQ(driver.Open(0, &handle), port::FT_OK);
  driver.SetStatus(port::DriverCall::SetBitMode, status);
  EXPECT_EQ(driver.SetBitMode(handle, mask, mode), status);
  driver.SetStatus(port::DriverCall::SetBitMode, port::FT_OK);
  driver.Close(handle);
}

TEST(BoardModel, DriverBoardAndSubscribersMayGoInAnyOrder) {
  {
    // The driver goes first; the board's subscription to it ends later, with nothing left
    // to call.
    auto driver = std::make_unique<port::SimulatedDriver>();
    SetBitModeSession(*driver, 0xFF, port::kBitModeAsyncBitBang);
    sim::SimulatedBoard board;
    board.Attach(*driver);
    int changes = 0;
    const port::Subscription changed = board.OnChange([&] { ++changes; });
    WriteIdleState(*driver);
    EXPECT_EQ(board.BurstCount(), 1u);
    EXPECT_EQ(changes, 1);
    driver.reset();
  }
  // A subscriber may end its own subscription while it runs; it is not called again.
  port::SimulatedDriver driver;
  int calls = 0;
  port::Subscription once;
  once = driver.BeforeCall([&](port::DriverCall) {
    ++calls;
    once.Reset();
  });
  WriteIdleState(driver);
  EXPECT_EQ(calls, 1);
}

// A bridge that never entered bit-bang mode sends the panel's bursts as serial frames: no
// device on the board hears them, and each one shows as a fault.
TEST(BoardModel, BurstsSentWhileTheBitModeCallFailsReachNoDevice) {
  BoardRig b;
  b.rig.driver.SetStatus(port::DriverCall::SetBitMode, port::FT_IO_ERROR);
  b.rig.Start(false);
  const auto sent = b.rig.Bursts();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].size(), 317u);  // the bursts themselves still go out whole
  EXPECT_EQ(sent[1].size(), 89u);
  EXPECT_FALSE(b.board.ClockGenerator().written);
  EXPECT_FALSE(b.board.Level().has_value());
  EXPECT_EQ(b.board.MessageCount(), 0u);
  EXPECT_EQ(b.board.BurstCount(), 0u);
  EXPECT_EQ(LogTexts(b.board),
            (std::vector<std::string>{
                "fault: 317 bytes written while the bridge was not in bit-bang mode",
                "fault: 89 bytes written while the bridge was not in bit-bang mode"}));

  // Once the call goes through, the next burst tunes the board where the panel is.
  b.rig.driver.SetStatus(port::DriverCall::SetBitMode, port::FT_OK);
  b.rig.controls.ScrollBar1.SetPosition(1000);
  ExpectBoardTunedLikePanel(b, "after the bit mode was set");
  EXPECT_EQ(b.board.Level(), b.rig.controls.ScrollBar4.Position());
}

// The bridge plays written bytes out as line states only while its last successful bit-mode
// call, made in this session or an earlier one, asked for asynchronous bit-bang on all eight
// lines; it powers up, and comes back after an unplug, as a serial port.
TEST(BoardModel, OnlyABridgeInBitBangModeDrivesTheBoardsLines) {
  using port::kBitModeAsyncBitBang;
  using port::kBitModeReset;
  struct Case {
    const char* name;
    std::function<void(port::SimulatedDriver&)> before;
    bool reachesLines;
  };
  const Case cases[] = {
      {"power-up", [](port::SimulatedDriver&) {}, false},
      {"bit-bang set in an earlier session",
       [](port::SimulatedDriver& d) { SetBitModeSession(d, 0xFF, kBitModeAsyncBitBang); }, true},
      {"bit-bang call failed",
       [](port::SimulatedDriver& d) {
         SetBitModeSession(d, 0xFF, kBitModeAsyncBitBang, port::FT_IO_ERROR);
       },
       false},
      {"reset after bit-bang",
       [](port::SimulatedDriver& d) {
         SetBitModeSession(d, 0xFF, kBitModeAsyncBitBang);
         SetBitModeSession(d, 0xFF, kBitModeReset);
       },
       false},
      {"failed reset keeps bit-bang",
       [](port::SimulatedDriver& d) {
         SetBitModeSession(d, 0xFF, kBitModeAsyncBitBang);
         SetBitModeSession(d, 0xFF, kBitModeReset, port::FT_INVALID_PARAMETER);
       },
       true},
      {"bit-bang with the bus lines as inputs",
       [](port::SimulatedDriver& d) { SetBitModeSession(d, 0xFC, kBitModeAsyncBitBang); }, false},
      {"unplugged and plugged in again",
       [](port::SimulatedDriver& d) {
         SetBitModeSession(d, 0xFF, kBitModeAsyncBitBang);
         d.SetPresent(false);
         d.SetPresent(true);
       },
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    port::SimulatedDriver driver;
    sim::SimulatedBoard board;
    board.Attach(driver);
    int changes = 0;
    const port::Subscription changed = board.OnChange([&] { ++changes; });
    c.before(driver);
    WriteIdleState(driver, bus::kDataLine);  // from low lines, a change no bus rule forbids
    EXPECT_EQ(changes, 1);
    if (c.reachesLines) {
      EXPECT_EQ(board.BurstCount(), 1u);
      EXPECT_EQ(board.Lines(), bus::kDataLine);
      EXPECT_EQ(board.FaultCount(), 0u);
    } else {
      EXPECT_EQ(board.BurstCount(), 0u);
      EXPECT_EQ(board.Lines(), 0);
      EXPECT_EQ(LogTexts(board),
                std::vector<std::string>{"fault: 1 byte written while the bridge was not in "
                                         "bit-bang mode"});
    }
  }
}

}  // namespace
}  // namespace quarvel
