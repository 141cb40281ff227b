// SPDX-License-Identifier: GPL-3.0-or-later
// Uploading a configuration image: what the board receives, and the files that are refused.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "TempFiles.h"
#include "TestRig.h"

namespace quarvel {
namespace {

using testing::Bytes;
using testing::Ramp;
using testing::Rig;
using testing::TempDir;

std::vector<Bytes> PageMessages(const Rig& rig) {
  std::vector<Bytes> pages;
  for (const auto& burst : rig.Messages())
    for (const auto& m : burst) pages.push_back(m);
  return pages;
}

// The sixteen page messages of an image's upload: address, offset, the page's 16 bytes.
std::vector<Bytes> ImagePages(std::uint8_t address, const Bytes& image) {
  std::vector<Bytes> pages;
  for (std::size_t offset = 0; offset < 256; offset += 16) {
    pages.push_back({address, static_cast<std::uint8_t>(offset)});
    pages.back().insert(pages.back().end(), image.begin() + static_cast<long>(offset),
                        image.begin() + static_cast<long>(offset + 16));
  }
  return pages;
}

TEST(Upload, SixteenPagedBurstsWithTheFileBytesInOrder) {
  TempDir dir;
  Rig rig;
  rig.Start();
  std::vector<std::int32_t> progress;
  rig.controls.ProgressBar1.OnView = [&] {
    progress.push_back(rig.controls.ProgressBar1.Position());
  };
  rig.chooser.next = dir.File("image.bin", Ramp(256, 7));
  rig.rx.RAMbinClick();

  EXPECT_EQ(rig.chooser.presets, (std::vector<std::string>{"*.bin"}));
  const auto bursts = rig.Bursts();
  ASSERT_EQ(bursts.size(), 16u);
  for (const auto& b : bursts) EXPECT_EQ(b.size(), 494u);
  EXPECT_EQ(PageMessages(rig), ImagePages(0xD2, Ramp(256, 7)));
  std::vector<std::int32_t> expectedProgress;
  for (int p = 0; p < 16; ++p) {
    expectedProgress.push_back(p * 16 + 15);
    expectedProgress.push_back(0);
  }
  EXPECT_EQ(progress, expectedProgress);
  EXPECT_EQ(rig.sleeper.pauses, std::vector<int>(16, 200));
  EXPECT_TRUE(rig.reporter.boxes.empty());
}

TEST(Upload, RamAndEepromDifferOnlyInTheAddressByte) {
  TempDir dir;
  const auto path = dir.File("image.bin", Ramp(256, 0x80));
  Rig ram, eeprom;
  ram.Start();
  eeprom.Start();
  ram.chooser.next = eeprom.chooser.next = path;
  ram.rx.RAMbinClick();
  eeprom.rx.FlashBinClick();
  const auto a = PageMessages(ram), b = PageMessages(eeprom);
  ASSERT_EQ(a.size(), 16u);
  ASSERT_EQ(b.size(), 16u);
  for (std::size_t p = 0; p < 16; ++p) {
    EXPECT_EQ(a[p][0], 0xD2);
    EXPECT_EQ(b[p][0], 0xD0);
    EXPECT_TRUE(std::equal(a[p].begin() + 1, a[p].end(), b[p].begin() + 1));
  }
}

TEST(Upload, LongAndReadOnlyFilesUploadTheirFirst256Bytes) {
  TempDir dir;
  Rig rig;
  rig.Start();
  rig.chooser.next = dir.File("long.bin", Ramp(300, 1));
  rig.rx.RAMbinClick();
  auto pages = PageMessages(rig);
  ASSERT_EQ(pages.size(), 16u);
  EXPECT_EQ(pages[15].back(), static_cast<std::uint8_t>(1 + 255));

  const auto ro = dir.File("readonly.bin", Ramp(256, 9));
  ASSERT_EQ(chmod(ro.c_str(), 0444), 0);
  rig.Forget();
  rig.chooser.next = ro;
  rig.rx.FlashBinClick();
  pages = PageMessages(rig);
  ASSERT_EQ(pages.size(), 16u);
  EXPECT_EQ(pages[0][2], 9);
}

TEST(Upload, CancelReadsAndSendsNothing) {
  Rig rig;
  rig.Start();
  rig.chooser.next.reset();
  rig.rx.RAMbinClick();
  EXPECT_TRUE(rig.driver.Calls().empty());
  EXPECT_TRUE(rig.reporter.boxes.empty());
}

// Serves a real file but fails one chosen operation with an errno.
class FailingFiles : public receiver::PosixFileApi {
 public:
  enum class Fail { None, Open, ReadMiddle, ReadShort, Close, Chunked };
  Fail fail = Fail::None;
  int err = EIO;
  int closes = 0;
  int opens = 0;

  int Open(const char* path, int flags) override {
    if (fail == Fail::Open) {
      errno = err;
      return -1;
    }
    ++opens;
    return PosixFileApi::Open(path, flags);
  }
  ssize_t Read(int fd, void* buf, std::size_t count) override {
    if (fail == Fail::ReadMiddle) {
      if (reads_++ == 0) return PosixFileApi::Read(fd, buf, count / 2);
      errno = err;
      return -1;
    }
    if (fail == Fail::ReadShort) return reads_++ == 0 ? PosixFileApi::Read(fd, buf, 100) : 0;
    if (fail == Fail::Chunked) {  // a network or FUSE file: short reads, one interrupted
      if (reads_++ == 1) {
        errno = EINTR;
        return -1;
      }
      return PosixFileApi::Read(fd, buf, std::min<std::size_t>(count, 100));
    }
    return PosixFileApi::Read(fd, buf, count);
  }
  int Close(int fd) override {
    ++closes;
    const int rc = PosixFileApi::Close(fd);
    if (fail == Fail::Close) {
      errno = err;
      return -1;
    }
    return rc;
  }

 private:
  int reads_ = 0;
};

struct RefusedCase {
  const char* name;
  std::string path;  // filled in per case
  FailingFiles::Fail fail;
  int err;
  std::string message;  // exact text, or a part of it when partial is set
  bool partial;
};

TEST(Upload, BadFilesAreRefusedWithATextAndNothingIsSent) {
  TempDir dir;
  const auto missing = dir.Path("missing.bin");
  const auto empty = dir.File("empty.bin", {});
  const auto tiny = dir.File("tiny.bin", Ramp(10));
  const auto one = dir.File("one.bin", Ramp(1));
  const auto good = dir.File("good.bin", Ramp(256, 50));
  const auto fifo = dir.Path("fifo.bin");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string folder = dir.Path("");

  const RefusedCase cases[] = {
      {"missing", missing, FailingFiles::Fail::None, 0,
       "Cannot open \"" + missing + "\": Datei nicht gefunden", false},
      {"empty", empty, FailingFiles::Fail::None, 0, "is 0 bytes long", true},
      {"short", tiny, FailingFiles::Fail::None, 0, "is 10 bytes long", true},
      {"one byte", one, FailingFiles::Fail::None, 0,
       "\"" + one + "\" is 1 byte long; an image needs 256 bytes", false},
      {"folder", folder, FailingFiles::Fail::None, 0, "is not a regular file", true},
      {"fifo", fifo, FailingFiles::Fail::None, 0, "is not a regular file", true},
      {"unreadable", good, FailingFiles::Fail::Open, EACCES,
       "Cannot open \"" + good + "\": Dateizugriff verweigert", false},
      {"name too long", good, FailingFiles::Fail::Open, ENAMETOOLONG, "Ungültiger Dateiname", true},
      {"i/o error mid-read", good, FailingFiles::Fail::ReadMiddle, EIO,
       "Cannot read \"" + good + "\": E/A-Fehler 5", false},
      {"disk gone mid-read", good, FailingFiles::Fail::ReadMiddle, ENODEV,
       "Cannot read \"" + good + "\": E/A-Fehler 19", false},
      {"file shrank", good, FailingFiles::Fail::ReadShort, 0,
       "Cannot read \"" + good + "\": Versuch hinter dem Dateiende zu lesen", false},
      {"close fails", good, FailingFiles::Fail::Close, EIO,
       "Cannot close \"" + good + "\": E/A-Fehler 5", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FailingFiles files;
    files.fail = c.fail;
    files.err = c.err;
    Rig rig;
    receiver::ReceiverControl rx(rig.bus, rig.controls, rig.sleeper, rig.chooser, files);
    // A first good upload, so that a refused file can be seen to leave the image alone.
    rig.chooser.next = good;
    files.fail = FailingFiles::Fail::None;
    rx.RAMbinClick();
    const auto before = rx.UploadImage();
    rig.Forget();
    files.fail = c.fail;
    files.closes = files.opens = 0;

    rig.chooser.next = c.path;
    try {
      rx.RAMbinClick();
      ADD_FAILURE() << "accepted";
    } catch (const receiver::FileError& e) {
      if (c.partial)
        EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
      else
        EXPECT_EQ(e.what(), c.message);
    }
    EXPECT_TRUE(rig.driver.Calls().empty());
    EXPECT_EQ(rx.UploadImage(), before);
    EXPECT_EQ(files.closes, files.opens) << "the file was not released";
  }
}

TEST(Upload, ShortAndInterruptedReadsStillSendTheFileBytesInOrder) {
  TempDir dir;
  FailingFiles files;
  files.fail = FailingFiles::Fail::Chunked;
  Rig rig;
  receiver::ReceiverControl rx(rig.bus, rig.controls, rig.sleeper, rig.chooser, files);
  rig.chooser.next = dir.File("image.bin", Ramp(256, 7));
  rx.FlashBinClick();
  EXPECT_EQ(PageMessages(rig), ImagePages(0xD0, Ramp(256, 7)));
  EXPECT_TRUE(rig.reporter.boxes.empty());
}

TEST(Upload, AbsentBoardFromPageFiveStillAttemptsEveryPage) {
  TempDir dir;
  Rig rig;
  rig.Start();
  int opens = 0;
  const port::Subscription unplug = rig.driver.BeforeCall([&](port::DriverCall call) {
    if (call == port::DriverCall::Open && ++opens == 6) rig.driver.SetPresent(false);
  });
  rig.chooser.next = dir.File("image.bin", Ramp(256));
  rig.rx.FlashBinClick();
  EXPECT_EQ(rig.driver.Calls().size(), 16u * 5);
  EXPECT_EQ(rig.driver.Writes().size(), 16u);
  ASSERT_EQ(rig.reporter.boxes.size(), 11u * 5);
  for (std::size_t page = 0; page < 11; ++page) {
    EXPECT_EQ(rig.reporter.boxes[page * 5].text, "FT_Open - Device not found...");
    for (std::size_t k = 1; k < 5; ++k)
      EXPECT_NE(rig.reporter.boxes[page * 5 + k].text.find("Invalid handle"), std::string::npos);
  }
  EXPECT_EQ(rig.sleeper.pauses.size(), 16u);
}

}  // namespace
}  // namespace quarvel
