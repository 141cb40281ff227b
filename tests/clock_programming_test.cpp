// SPDX-License-Identifier: GPL-3.0-or-later
// Clock generator registers and the clock burst as the board receives it.
#include <gtest/gtest.h>

#include "TestRig.h"
#include "receiver/ClockRegisters.h"

namespace quarvel {
namespace {

using testing::Bytes;

struct RegisterRow {
  std::int32_t n;
  bool high;
  int rangeCode;
  std::uint8_t r40, r41, r42;
};

TEST(ClockRegisters, WorkedValuesBoundariesAndCarries) {
  const RegisterRow rows[] = {
      // The worked table.
      {1212, false, 4, 0xD2, 0x5A, 0x30},
      {260, false, 1, 0xC4, 0x7E, 0x30},
      {261, false, 1, 0xC4, 0x7E, 0xB0},
      {480, false, 2, 0xC8, 0xEC, 0x30},
      {799, true, 3, 0xCD, 0x8B, 0x97},
      {1200, true, 4, 0xD2, 0x54, 0x17},
      {1600, false, 4, 0xD3, 0x1C, 0x30},
      {2000, false, 4, 0xD3, 0xE4, 0x30},
      // Range-code boundaries.
      {479, false, 1, 0xC4, 0xEB, 0xB0},
      {639, false, 2, 0xC9, 0x3B, 0xB0},
      {640, false, 3, 0xCD, 0x3C, 0x30},
      {800, false, 4, 0xD1, 0x8C, 0x30},
      // The halved count carries into register 0x40.
      {519, false, 2, 0xC8, 0xFF, 0xB0},
      {520, false, 2, 0xC9, 0x00, 0x30},
      {1031, false, 4, 0xD1, 0xFF, 0xB0},
      {1032, false, 4, 0xD2, 0x00, 0x30},
      {1543, false, 4, 0xD2, 0xFF, 0xB0},
      {1544, false, 4, 0xD3, 0x00, 0x30},
      // The high-band base.
      {1212, true, 4, 0xD2, 0x5A, 0x17},
      {261, true, 1, 0xC4, 0x7E, 0x97},
  };
  for (const auto& r : rows) {
    const auto got = receiver::ComputeClockRegisters(r.n, r.high);
    EXPECT_EQ(got.rangeCode, r.rangeCode) << "N=" << r.n;
    EXPECT_EQ(got.r40, r.r40) << "N=" << r.n;
    EXPECT_EQ(got.r41, r.r41) << "N=" << r.n;
    EXPECT_EQ(got.r42, r.r42) << "N=" << r.n;
    // The registers carry the whole position.
    EXPECT_EQ(2 * ((got.r40 & 3) * 256 + got.r41 + 4) + (got.r42 >> 7), r.n);
  }
}

// The start-up burst, state for state: idle raises the clock and then the data line, then
// [D2 40 D2 5A 30], [D2 0C 0A], [D2 13 7F].
constexpr const char* kStartupBurst =
    "0203020001030101030100020001030100020000020001030100020001030100020001030100020000020000020000"
    "02"
    "0000020000020001030101030101030100020001030100020000020001030100020001030100020001030100020001"
    "03"
    "0101030100020001030100020001030100020000020001030101030100020000020000020000020001030101000203"
    "02"
    "0001030101030100020001030100020000020001030100020001030100020000020000020000020001030101030100"
    "02"
    "0000020001030100020000020000020000020001030100020001030100020001030101000203020001030101030100"
    "02"
    "0001030100020000020001030100020001030100020000020000020001030100020000020001030101030101030100"
    "02"
    "0001030101030101030101030101030101030101030101030101000203";

Bytes FromHex(const std::string& hex) {
  Bytes out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    out.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return out;
}

TEST(ClockBurst, StartUpBurstIsExactOnTheWire) {
  testing::Rig rig;
  rig.Start(false);
  const auto bursts = rig.Bursts();
  ASSERT_GE(bursts.size(), 1u);
  EXPECT_EQ(bursts[0], FromHex(kStartupBurst));
  EXPECT_EQ(bursts[0].size(), 317u);
  const auto d = bus::DecodeBurst(bursts[0], 0x00);
  EXPECT_TRUE(d.ok());
  ASSERT_EQ(d.messages.size(), 3u);
  EXPECT_EQ(d.messages[0].bytes, (Bytes{0xD2, 0x40, 0xD2, 0x5A, 0x30}));
  EXPECT_EQ(d.messages[1].bytes, (Bytes{0xD2, 0x0C, 0x0A}));
  EXPECT_EQ(d.messages[2].bytes, (Bytes{0xD2, 0x13, 0x7F}));
  // The pause comes before the burst is sent, not between its messages.
  EXPECT_EQ(rig.sleeper.pauses, (std::vector<int>{10}));
  EXPECT_TRUE(rig.reporter.boxes.empty());
}

TEST(ClockBurst, CarriesSelectionBitsInEveryStateAndRecordsTheRegisters) {
  testing::Rig rig;
  rig.Start();
  rig.bus.SetSelection(7, 2);  // bits 2-6: 0x5C; the bus lines stay high after the start-up
  rig.rx.ProgramClockGenerator(799, /*highBand=*/true, /*divider=*/4);
  ASSERT_EQ(rig.Bursts().size(), 1u);
  const Bytes burst = rig.Bursts()[0];
  EXPECT_EQ(burst.size(), 317u);
  for (auto s : burst) {
    EXPECT_EQ(s & 0x7C, 0x5C);
    EXPECT_EQ(s & 0x80, 0);
  }
  EXPECT_EQ(rig.Messages()[0][0], (Bytes{0xD2, 0x40, 0xCD, 0x8B, 0x97}));
  EXPECT_EQ(rig.Messages()[0][1], (Bytes{0xD2, 0x0C, 0x04}));
  EXPECT_EQ(rig.rx.TargetAddress(), 0xD2);
  EXPECT_EQ(rig.rx.OddBit(), 1);
}

}  // namespace
}  // namespace quarvel
