// SPDX-License-Identifier: GPL-3.0-or-later
// The names of chosen files as the refusal's message shows them. A NUL byte (found by the
// image-file fuzz target) ended the text early: "Cannot open "a", the cause lost. A direction
// control (U+202E and its kind) turned the rest of the box around: the cause unreadable,
// "256" shown as "652", and a name "x<U+202E>nib.exe" shown as "xexe.bin".
#include <gtest/gtest.h>

#include "TempFiles.h"
#include "Wire.h"

namespace quarvel::reliability {
namespace {

TEST(UploadFileName, EveryCharacterThatWouldHideTheCauseOrTheNameIsShownAsItsCode) {
  const testing::TempDir dir;
  const std::string shortFile = dir.File("abc\u202E.bin", testing::Ramp(10));
  const struct {
    std::string chosen;
    std::string message;
  } rows[] = {
      {std::string("a\0b.bin", 7), "Cannot open \"a\\0b.bin\": Ungültiger Dateiname"},
      {shortFile,
       "\"" + dir.Path("abc\\u202E.bin") + "\" is 10 bytes long; an image needs 256 bytes"},
      {dir.Path("x\u2067y\u2069\u200F\u061C.bin"),
       "Cannot open \"" + dir.Path("x\\u2067y\\u2069\\u200F\\u061C.bin") +
           "\": Datei nicht gefunden"},
      // Other characters outside ASCII stay as they are.
      {dir.Path("Ölfilter-画像.bin"),
       "Cannot open \"" + dir.Path("Ölfilter-画像.bin") + "\": Datei nicht gefunden"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.message);
    testing::Rig rig;
    rig.Start();
    rig.chooser.next = row.chosen;
    try {
      rig.rx.RAMbinClick();
      ADD_FAILURE() << "the upload went on";
    } catch (const receiver::FileError& e) {
      EXPECT_EQ(e.what(), row.message);
    }
    EXPECT_TRUE(rig.driver.Calls().empty());
    EXPECT_TRUE(rig.reporter.boxes.empty());
  }
}

}  // namespace
}  // namespace quarvel::reliability
