// SPDX-License-Identifier: GPL-3.0-or-later
// Line states on the wire and the decoder that reads them back.
#include <gtest/gtest.h>

#include "TestRig.h"
#include "bus/TwoWireDecoder.h"

namespace quarvel {
namespace {

using testing::Bytes;

// Every rising clock inside a byte samples the data line.
std::vector<int> SampledBits(const Bytes& states, std::uint8_t before) {
  std::vector<int> bits;
  std::uint8_t prev = before;
  for (auto s : states) {
    if ((s & 2) && !(prev & 2)) bits.push_back(s & 1);
    prev = s;
  }
  return bits;
}

Bytes Queue(const bus::TwoWireBus& b) {
  const auto states = b.Burst().WaveQueue();
  return Bytes(states.begin(), states.end());
}

TEST(Waveform, WriteByteSendsBitsMsbFirstThenReleasesTheAckSlot) {
  testing::Rig rig;
  rig.bus.BeginBurst();
  rig.bus.BusWriteByte(0xA5);
  const Bytes states = Queue(rig.bus);
  EXPECT_EQ(states.size(), 27u);
  EXPECT_EQ(SampledBits(states, 0), (std::vector<int>{1, 0, 1, 0, 0, 1, 0, 1, 1}));
}

TEST(Waveform, StateCountsFollowTheMessageShape) {
  testing::Rig rig;
  rig.bus.BeginBurst();
  rig.bus.BusIdle();
  rig.bus.BusMessage({0x90, 0x40, 0x4D});
  EXPECT_EQ(rig.bus.WaveLength(), 2 + 6 + 3 * 27);
  rig.bus.BusMessage({0xD2, 0x0C});
  EXPECT_EQ(rig.bus.WaveLength(), 89 + 6 + 2 * 27);
}

TEST(Waveform, EveryStateCarriesTheSelectionBitsAndBit7IsLow) {
  testing::Rig rig;
  rig.bus.SetSelection(7, 2);  // bits 2-6: 0x5C
  rig.bus.BeginBurst();
  rig.bus.BusIdle();
  rig.bus.BusMessage({0xFF, 0x00, 0xAA});
  rig.bus.SendWaveform();
  const auto bursts = rig.Bursts();
  ASSERT_EQ(bursts.size(), 1u);
  for (auto s : bursts[0]) {
    EXPECT_EQ(s & 0x7C, 0x5C);
    EXPECT_EQ(s & 0x80, 0);
  }
}

TEST(Waveform, SendWaveformMakesTheFiveCallsInOrderEvenWithAnEmptyQueue) {
  testing::Rig rig;
  rig.bus.BeginBurst();
  rig.bus.SendWaveform();
  const auto& calls = rig.driver.Calls();
  ASSERT_EQ(calls.size(), 5u);
  EXPECT_EQ(calls[0].call, port::DriverCall::Open);
  EXPECT_EQ(calls[0].index, 0);
  EXPECT_EQ(calls[1].call, port::DriverCall::SetBitMode);
  EXPECT_EQ(calls[1].mask, 0xFF);
  EXPECT_EQ(calls[1].mode, 0x01);
  EXPECT_EQ(calls[2].call, port::DriverCall::SetBaudRate);
  EXPECT_EQ(calls[2].baud, 38400u);
  EXPECT_EQ(calls[3].call, port::DriverCall::Write);
  EXPECT_TRUE(calls[3].data.empty());
  EXPECT_EQ(calls[4].call, port::DriverCall::Close);
  EXPECT_TRUE(rig.reporter.boxes.empty());
  EXPECT_EQ(rig.link.UsbBaudRate(), 38400u);
}

TEST(Waveform, ABurstPastTheQueueIsRefusedWholeAndTheNextOneGoesOut) {
  testing::Rig rig;
  rig.bus.BeginBurst();
  rig.bus.BusIdle();
  for (int i = 0; i < 2500; ++i) rig.bus.BusWriteByte(0x00);  // 67,502 states
  EXPECT_GT(rig.bus.WaveLength(), 65536);
  rig.bus.SendWaveform();
  EXPECT_TRUE(rig.driver.Calls().empty());  // nothing sent, not even an open
  ASSERT_EQ(rig.reporter.boxes.size(), 1u);
  EXPECT_EQ(rig.reporter.boxes[0].caption, "Fehler");
  EXPECT_NE(rig.reporter.boxes[0].text.find("nothing was sent"), std::string::npos);

  rig.bus.BeginBurst();
  rig.bus.BusIdle();
  rig.bus.SendWaveform();
  ASSERT_EQ(rig.Bursts().size(), 1u);
  EXPECT_EQ(rig.Bursts()[0].size(), 2u);
}

TEST(Waveform, ExactlyAFullQueueIsSent) {
  testing::Rig rig;
  rig.bus.BeginBurst();
  for (int i = 0; i < 65536; ++i) rig.bus.SetClockLine(i & 1);
  rig.bus.SendWaveform();
  ASSERT_EQ(rig.Bursts().size(), 1u);
  EXPECT_EQ(rig.Bursts()[0].size(), 65536u);
  EXPECT_TRUE(rig.reporter.boxes.empty());
}

// Builds a stream from a list of (SDA, SCL) states with optional selection bits.
Bytes Lines(std::initializer_list<std::pair<int, int>> s, std::uint8_t sel = 0) {
  Bytes out;
  for (auto [d, c] : s) out.push_back(static_cast<std::uint8_t>(sel | d | (c << 1)));
  return out;
}

TEST(Decoder, ReadsBackWhatTheBusWrote) {
  testing::Rig rig;
  rig.bus.BeginBurst();
  rig.bus.BusIdle();
  rig.bus.BusMessage({0xD2, 0x40, 0x01, 0xFF});
  rig.bus.BusMessage({0x90});
  const auto d = bus::DecodeBurst(Queue(rig.bus), 0x00);
  EXPECT_TRUE(d.ok());
  ASSERT_EQ(d.messages.size(), 2u);
  EXPECT_EQ(d.messages[0].bytes, (Bytes{0xD2, 0x40, 0x01, 0xFF}));
  EXPECT_EQ(d.messages[1].bytes, (Bytes{0x90}));
}

TEST(Decoder, ReportsEveryKindOfMalformedWaveform) {
  using V = bus::Violation;
  struct Case {
    const char* name;
    Bytes states;
    V expected;
  };
  // A good message start: idle, start, clock low.
  const std::initializer_list<std::pair<int, int>> kStart = {{1, 1}, {0, 1}, {0, 0}};
  Bytes clockAndDataTogether = Lines(kStart);
  clockAndDataTogether.push_back(0x03);  // both rise at once
  Bytes midByte = Lines({{1, 1}, {0, 1}, {0, 0}, {1, 0}, {1, 1}, {1, 0}, {0, 0}, {0, 1}, {1, 1}});
  Bytes repeated = Lines({{1, 1}, {0, 1}, {0, 0}, {1, 0}, {1, 1}, {0, 1}, {0, 0}, {1, 0}, {1, 1}});
  Bytes unclosed = Lines(kStart);
  Bytes bit7 = {0x83, 0x83};
  Bytes selection = {0x03, 0x07};
  Bytes attenuator = {0x03, 0x43};  // the selection's top line, bit 6
  // A whole byte 0x00 whose ninth clock sees the data line held low.
  Bytes ack = Lines(kStart);
  for (int i = 0; i < 9; ++i) {
    ack.push_back(0x00);
    ack.push_back(0x02);
    ack.push_back(0x00);
  }
  const Case cases[] = {
      {"clock and data together", clockAndDataTogether, V::DataChangeWithClock},
      {"data moves while clock high mid-byte", midByte, V::DataChangeInsideByte},
      {"repeated start", repeated, V::RepeatedStart},
      {"no stop", unclosed, V::MessageNotClosed},
      {"bit 7", bit7, V::Bit7Set},
      {"selection changes", selection, V::SelectionChanged},
      {"attenuator line changes", attenuator, V::SelectionChanged},
      {"ack held low", ack, V::AckNotReleased},
  };
  for (const auto& c : cases) {
    const auto d = bus::DecodeBurst(c.states);
    bool found = false;
    for (const auto& f : d.faults) found |= f.kind == c.expected;
    EXPECT_TRUE(found) << c.name << " not reported as " << bus::ViolationText(c.expected);
  }
}

}  // namespace
}  // namespace quarvel
