// SPDX-License-Identifier: GPL-3.0-or-later
// The harness itself on the simplest case: a band button clicked with the real mouse.
#include <gtest/gtest.h>

#include "PanelSession.h"

namespace quarvel::x11 {
namespace {

TEST(X11Panel, BandButtonClickedByMouseSendsTheBandsClockBurst) {
  PanelSession s;
  ASSERT_TRUE(s.Start());
  s.x.WaitQuiet(200, 2000);
  const std::size_t mark = s.x.LineCount();
  s.Click(kCMD1_4);
  ASSERT_TRUE(s.WaitForWrites(mark, 1));
  s.x.WaitQuiet(200, 2000);
  const auto bursts = s.Messages(mark);
  ASSERT_EQ(bursts.size(), 1u) << "one clock burst, the position stays in the band";
  ASSERT_EQ(bursts[0].size(), 3u);
  EXPECT_EQ(bursts[0][0][0], 0xD2);
  EXPECT_EQ(bursts[0][0][1], 0x40);
  EXPECT_EQ(bursts[0][1], (Bytes{0xD2, 0x0C, 100})) << "the band's output divider";
  EXPECT_EQ(bursts[0][2], (Bytes{0xD2, 0x13, 127})) << "the crystal trim at its start value";
  // Every call of the burst answered, in order.
  const auto& lines = s.x.Lines();
  ASSERT_GE(lines.size(), mark + 5);
  for (std::size_t i = mark; i < mark + 5; ++i)
    EXPECT_NE(lines[i].find("status=0"), std::string::npos);
  EXPECT_EQ(lines[mark].rfind("FT_Open ", 0), 0u);
  EXPECT_EQ(lines[mark + 4].rfind("FT_Close ", 0), 0u);
}

}  // namespace
}  // namespace quarvel::x11
