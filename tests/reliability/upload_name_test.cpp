// SPDX-License-Identifier: GPL-3.0-or-later
// Regression found by the image-file fuzz target: a chosen name with a NUL byte in it is
// refused as an invalid name, but the name was put into the message as it was, so the text
// the user saw stopped at the NUL ("Cannot open "a) and the cause was lost.
#include <gtest/gtest.h>

#include "Wire.h"

namespace quarvel::reliability {
namespace {

TEST(UploadFileName, ANameWithANulByteIsRefusedWithTheWholeMessageAndNothingSent) {
  testing::Rig rig;
  rig.Start();
  rig.chooser.next = std::string("a\0b.bin", 7);
  try {
    rig.rx.RAMbinClick();
    ADD_FAILURE() << "the upload went on";
  } catch (const receiver::FileError& e) {
    EXPECT_STREQ(e.what(), "Cannot open \"a\\0b.bin\": Ungültiger Dateiname");
  }
  EXPECT_TRUE(rig.driver.Calls().empty());
  EXPECT_TRUE(rig.reporter.boxes.empty());
}

}  // namespace
}  // namespace quarvel::reliability
