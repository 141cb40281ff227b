// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes the image-file reader, through "upload RAM", with an injected file layer so that no
// run touches the disk. The input chooses the file name and what the file layer does (a
// failing stat, open, fstat, read or close with any errno, interrupted reads, short reads, a
// file that is no regular file or changes its size between the checks) and ends with the
// file's bytes. The outcome is compared with a small model of the rules: either the sixteen
// pages carry the file's first 256 bytes, or nothing at all is sent and the right error is
// raised; the file is always released exactly once; no read past the image buffer; no endless
// loop.
#include <fcntl.h>
#include <fuzzer/FuzzedDataProvider.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "TestRig.h"
#include "bus/TwoWireDecoder.h"
#include "port/ErrorReporter.h"
#include "port/SimulatedDriver.h"
#include "receiver/ReceiverControl.h"

namespace {

using namespace quarvel;
using Bytes = std::vector<std::uint8_t>;

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "image reader invariant broken: %s\n", what.c_str());
  std::abort();
}

constexpr int kErrnos[] = {ENOENT, ENOTDIR, ENAMETOOLONG, EINVAL, ELOOP, EMFILE, ENFILE,
                           EACCES, EPERM,   EROFS,        ENOSPC, EIO,   ENXIO,  EBADF,
                           EAGAIN, ENODEV,  EOVERFLOW,    ESTALE, EINTR, 2,      3,
                           4,      5,       100,          101,    106,   EISDIR, ETXTBSY};

// The text the user sees for an errno: the runtime's own text where the cause has one, else
// "E/A-Fehler" with the number.
std::string ExpectedText(int err) {
  switch (err) {
    case ENOENT:
      return "Datei nicht gefunden";
    case ENOTDIR:
    case ENAMETOOLONG:
    case EINVAL:
    case ELOOP:
      return "Ungültiger Dateiname";
    case EMFILE:
    case ENFILE:
      return "Zu viele geöffnete Dateien";
    case EACCES:
    case EPERM:
    case EROFS:
      return "Dateizugriff verweigert";
    case ENOSPC:
      return "Zu wenig Speicherplatz";
    default:
      return "E/A-Fehler " + std::to_string(err);
  }
}

struct Plan {
  std::string path = "/images/board.bin";
  std::optional<int> statErr, openErr, fstatErr, closeErr;
  bool statRegular = true, fstatRegular = true;
  int fd = 3;
  long sizeDelta = 0;                    // the size fstat reports minus the bytes there are
  std::size_t chunk = 256;               // most bytes one read returns
  std::size_t interrupts = 0;            // reads answered EINTR before the first real one
  std::optional<std::size_t> readErrAt;  // the real read that fails
  int readErr = EIO;
  Bytes content;
};

Plan ReadPlan(FuzzedDataProvider& in) {
  auto maybeErr = [&](int oneIn) -> std::optional<int> {
    if (in.ConsumeIntegralInRange(0, oneIn - 1) != 0) return std::nullopt;
    return in.PickValueInArray(kErrnos);
  };
  Plan p;
  if (in.ConsumeIntegralInRange(0, 7) == 0) p.path = in.ConsumeRandomLengthString(8);
  p.statErr = maybeErr(8);
  p.statRegular = in.ConsumeIntegralInRange(0, 15) != 0;
  p.openErr = maybeErr(8);
  p.fd = in.PickValueInArray({0, 3, 1023});
  p.fstatErr = maybeErr(8);
  p.fstatRegular = in.ConsumeIntegralInRange(0, 15) != 0;
  p.sizeDelta = in.ConsumeIntegralInRange<long>(-3, 3);
  p.chunk = in.ConsumeIntegralInRange<std::size_t>(1, 300);
  p.interrupts = in.ConsumeIntegralInRange<std::size_t>(0, 3);
  if (in.ConsumeIntegralInRange(0, 3) == 0) {
    p.readErrAt = in.ConsumeIntegralInRange<std::size_t>(0, 4);
    p.readErr = in.PickValueInArray(kErrnos);
    if (p.readErr == EINTR) p.readErr = EIO;  // an interrupted read is retried, not an error
  }
  p.closeErr = maybeErr(8);
  p.content = in.ConsumeRemainingBytes<std::uint8_t>();
  return p;
}

// Serves the plan and records how it is used.
class PlannedFiles : public receiver::FileApi {
 public:
  explicit PlannedFiles(const Plan& p) : p_(p) {}

  int Stat(const char*, struct stat* st) override {
    if (p_.statErr) return Fail(*p_.statErr);
    return Fill(st, p_.statRegular);
  }
  int Open(const char*, int flags) override {
    if ((flags & O_ACCMODE) != O_RDONLY) ::Fail("the image is opened for writing");
    ++opens;
    if (p_.openErr) return Fail(*p_.openErr);
    open = true;
    return p_.fd;
  }
  int Fstat(int fd, struct stat* st) override {
    CheckFd(fd);
    if (p_.fstatErr) return Fail(*p_.fstatErr);
    return Fill(st, p_.fstatRegular);
  }
  ssize_t Read(int fd, void* buf, std::size_t count) override {
    CheckFd(fd);
    if (count == 0) ::Fail("a read of nothing");
    // At most one byte per read and every interruption retried: 256 + 3 calls at the most.
    if (++calls_ > 256 + 3) ::Fail("the reader does not stop reading");
    if (interrupted_ < p_.interrupts) {
      ++interrupted_;
      return Fail(EINTR);
    }
    if (p_.readErrAt && reads_ == *p_.readErrAt) return Fail(p_.readErr);
    ++reads_;
    const std::size_t n = std::min({count, p_.chunk, p_.content.size() - offset_});
    // Writes the whole requested range so that a reader asking past its buffer is caught.
    std::memset(buf, 0xEE, count);
    std::memcpy(buf, p_.content.data() + offset_, n);
    offset_ += n;
    return static_cast<ssize_t>(n);
  }
  int Close(int fd) override {
    CheckFd(fd);
    ++closes;
    open = false;
    return p_.closeErr ? Fail(*p_.closeErr) : 0;
  }

  int opens = 0, closes = 0;
  bool open = false;

 private:
  static int Fail(int err) {
    errno = err;
    return -1;
  }
  void CheckFd(int fd) const {
    if (!open || fd != p_.fd) ::Fail("a call on a descriptor that is not open");
  }
  int Fill(struct stat* st, bool regular) const {
    *st = {};
    st->st_mode = regular ? (S_IFREG | 0644) : (S_IFIFO | 0644);
    st->st_size = static_cast<off_t>(static_cast<long>(p_.content.size()) + p_.sizeDelta);
    return 0;
  }

  const Plan& p_;
  std::size_t calls_ = 0, interrupted_ = 0, reads_ = 0, offset_ = 0;
};

// What the reader must do with the plan: the error code and the end of its text, or success.
struct Outcome {
  bool ok = false;
  int code = 0;
  std::string textEnd;  // the message ends with this
  bool opened = false;  // the file was opened and so must be closed once
};

Outcome Expected(const Plan& p) {
  auto error = [](int code, std::string text, bool opened) {
    return Outcome{false, code, std::move(text), opened};
  };
  if (p.path.find('\0') != std::string::npos) return error(EINVAL, "Ungültiger Dateiname", false);
  if (p.statErr) return error(*p.statErr, ExpectedText(*p.statErr), false);
  if (!p.statRegular) return error(0, "cannot be an image", false);
  if (p.openErr) return error(*p.openErr, ExpectedText(*p.openErr), false);
  if (p.fstatErr) return error(*p.fstatErr, ExpectedText(*p.fstatErr), true);
  if (!p.fstatRegular) return error(0, "cannot be an image", true);
  if (static_cast<long>(p.content.size()) + p.sizeDelta < 256)
    return error(0, "an image needs 256 bytes", true);
  std::size_t got = 0, reads = 0;
  while (got < 256) {
    if (p.readErrAt && reads == *p.readErrAt)
      return error(p.readErr, ExpectedText(p.readErr), true);
    ++reads;
    const std::size_t n = std::min({256 - got, p.chunk, p.content.size() - got});
    if (n == 0) return error(100, "Versuch hinter dem Dateiende zu lesen", true);
    got += n;
  }
  if (p.closeErr) return error(*p.closeErr, ExpectedText(*p.closeErr), true);
  return Outcome{true, 0, {}, true};
}

bool EndsWith(const std::string& s, const std::string& end) {
  return s.size() >= end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
}

// Sixteen pages [D2, offset, 16 bytes] holding the file's first 256 bytes, nothing else.
void CheckPages(const port::SimulatedDriver& driver, const Bytes& content) {
  const auto bursts = driver.Writes();
  if (bursts.size() != 16) Fail(std::to_string(bursts.size()) + " pages sent");
  for (std::size_t page = 0; page < 16; ++page) {
    const auto decoded = bus::DecodeBurst(bursts[page]);
    if (!decoded.ok() || bursts[page].size() != 494 || decoded.messages.size() != 1)
      Fail("page " + std::to_string(page) + " is not one well-formed message");
    Bytes expected = {0xD2, static_cast<std::uint8_t>(page * 16)};
    for (std::size_t i = 0; i < 16; ++i) expected.push_back(content[page * 16 + i]);
    if (decoded.messages[0].bytes != expected) Fail("page " + std::to_string(page) + " content");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The panel's logic on the simulated board, set up once (the transmit buffer is 64 KiB);
  // each run brings its own file layer.
  static testing::Rig panel;
  FuzzedDataProvider in(data, size);
  const Plan plan = ReadPlan(in);
  PlannedFiles files(plan);
  panel.driver.ClearCalls();
  panel.chooser.next = plan.path;
  receiver::ReceiverControl rx(panel.bus, panel.controls, panel.sleeper, panel.chooser, files);

  if (plan.path.empty()) {  // the dialog gave no name: nothing is read or sent
    rx.RAMbinClick();
    if (files.opens != 0 || !panel.driver.Calls().empty()) Fail("an empty name was used");
    return 0;
  }
  const Outcome expected = Expected(plan);
  try {
    rx.RAMbinClick();
    if (!expected.ok) Fail("an image was sent where the reader had to stop: " + expected.textEnd);
    CheckPages(panel.driver, plan.content);
  } catch (const receiver::FileError& e) {
    if (expected.ok) Fail(std::string("refused a good file: ") + e.what());
    if (!panel.driver.Calls().empty()) Fail("pages were sent for a file that was refused");
    if (e.code() != expected.code)
      Fail("error code " + std::to_string(e.code()) + ", expected " +
           std::to_string(expected.code) + " (" + e.what() + ")");
    if (!EndsWith(e.what(), expected.textEnd))
      Fail(std::string("error text \"") + e.what() + "\", expected it to end in \"" +
           expected.textEnd + "\"");
  }
  if (files.closes != (expected.opened ? 1 : 0))
    Fail("the file was closed " + std::to_string(files.closes) + " times");
  return 0;
}
