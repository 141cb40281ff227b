// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated edition's trace when the memory to hold a line runs out: that line is lost and
// said on standard error, and the lines after it still reach standard output. In a program of
// its own, as it replaces the allocator to make one allocation fail.
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <new>
#include <string>

#include "ui/TraceOutput.h"

namespace {

// Set on the writing thread only: the trace's own writer thread allocates as usual.
thread_local bool failAllocations = false;

}  // namespace

void* operator new(std::size_t size) {
  if (failAllocations) throw std::bad_alloc();
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}

namespace quarvel {
namespace {

std::string ReadAll(int fd) {
  std::string text;
  char buf[4096];
  for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;)
    text.append(buf, static_cast<std::size_t>(n));
  return text;
}

// Lines longer than a string holds without the heap, as the trace's are.
std::string Line(int i) {
  return "FT_Write count=317 data=" + std::string(64, static_cast<char>('0' + i)) + "\n";
}

TEST(TraceOutput, ALineWithoutMemoryIsDroppedAndSaidAndTheNextOnesComeThrough) {
  int out[2], err[2];
  ASSERT_EQ(::pipe(out), 0);
  ASSERT_EQ(::pipe(err), 0);
  {
    ui::TraceOutput trace(out[1], ui::TraceOutput::kDefaultBacklogBytes, err[1]);
    std::ostream& stream = trace.Stream();
    stream << Line(1) << std::flush;
    const std::string second = Line(2), rest = Line(3) + Line(4);
    failAllocations = true;
    stream << second << std::flush;
    failAllocations = false;
    stream << rest << std::flush;
    EXPECT_TRUE(stream.good());
  }
  ::close(out[1]);
  ::close(err[1]);
  EXPECT_EQ(ReadAll(out[0]), Line(1) + Line(3) + Line(4));
  EXPECT_EQ(ReadAll(err[0]), "QuarvelSDR-sim: 1 trace lines dropped: out of memory\n");
  ::close(out[0]);
  ::close(err[0]);
}

// The last line lost, and nothing written after it: the note does not wait for another line,
// nor does the program's end, right after, cut it off.
TEST(TraceOutput, TheNoteOnALostLineComesWithoutAnotherLine) {
  for (const bool endAtOnce : {false, true}) {
    SCOPED_TRACE(endAtOnce ? "the trace ends at once" : "the trace goes on");
    int out[2], err[2];
    ASSERT_EQ(::pipe(out), 0);
    ASSERT_EQ(::pipe(err), 0);
    {
      ui::TraceOutput trace(out[1], ui::TraceOutput::kDefaultBacklogBytes, err[1]);
      const std::string line = Line(1);
      failAllocations = true;
      trace.Stream() << line << std::flush;
      failAllocations = false;
      pollfd said{err[0], POLLIN, 0};
      if (!endAtOnce) {
        EXPECT_EQ(::poll(&said, 1, 2000), 1) << "no note while the trace goes on";
      }
    }
    ::close(out[1]);
    ::close(err[1]);
    EXPECT_EQ(ReadAll(out[0]), "");
    EXPECT_EQ(ReadAll(err[0]), "QuarvelSDR-sim: 1 trace lines dropped: out of memory\n");
    ::close(out[0]);
    ::close(err[0]);
  }
}

// A line lost for lack of memory while the reader takes nothing, and then the end: both
// losses are said.
TEST(TraceOutput, ALineLostWhileTheReaderIsBehindIsSaidAtTheEnd) {
  int out[2], err[2];
  ASSERT_EQ(::pipe(out), 0);
  ASSERT_EQ(::pipe(err), 0);
  constexpr int kLines = 2000;  // more than the pipe holds
  {
    ui::TraceOutput trace(out[1], ui::TraceOutput::kDefaultBacklogBytes, err[1], 300);
    for (int i = 0; i < kLines; ++i) trace.Stream() << Line(i % 10) << std::flush;
    const std::string line = Line(1);
    failAllocations = true;
    trace.Stream() << line << std::flush;
    failAllocations = false;
  }
  ::close(err[1]);
  const std::string notes = ReadAll(err[0]);
  EXPECT_NE(notes.find(" trace lines dropped: standard output was not being read\n"),
            std::string::npos)
      << notes;
  EXPECT_NE(notes.find("QuarvelSDR-sim: 1 trace lines dropped: out of memory\n"), std::string::npos)
      << notes;
  // The writer may still be waiting to write into the pipe, and ends when its reader goes;
  // the program ignores the signal that would come with that, and so does this one.
  std::signal(SIGPIPE, SIG_IGN);
  for (int fd : {out[0], err[0]}) ::close(fd);
}

}  // namespace
}  // namespace quarvel
