// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated edition's trace on standard output, written without ever holding the panel.
//
// Whatever reads the trace (a terminal, `less`, a script) may stop reading for a while or for
// good. Written directly, a full pipe would stop the window at its next driver call. Here each
// flushed piece of text is handed to a thread of its own that writes it out; while the reader
// is behind by more than the backlog limit, further lines are dropped whole and counted, and
// once it has caught up the writer says on standard error how many were lost. A reader gone
// for good ends the trace; a file that refuses a write otherwise (a full disk) ends it with a
// note on standard error, after the last whole line (a regular file does not keep the part of
// a line that still fit). A line there is no memory to hold (the system is out of it) is
// dropped and said on standard error too; the lines after it still come through.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <ostream>

namespace quarvel::ui {

class TraceOutput {
 public:
  static constexpr std::size_t kDefaultBacklogBytes = 8u << 20;
  // How long the destructor waits for the backlog to be written before giving up on it.
  static constexpr int kDrainMs = 2000;

  // Writes to the open file descriptor fd (not taken over, not closed). Text reaches the
  // writer at each flush of Stream(). errorFd receives the note on dropped lines (-1: none).
  explicit TraceOutput(int fd, std::size_t backlogBytes = kDefaultBacklogBytes, int errorFd = 2,
                       int drainMs = kDrainMs);
  // Waits up to drainMs for what is queued to be written. What a reader that takes nothing
  // leaves unwritten then is counted with the dropped lines in the note on errorFd.
  ~TraceOutput();
  TraceOutput(const TraceOutput&) = delete;
  TraceOutput& operator=(const TraceOutput&) = delete;

  std::ostream& Stream() { return *stream_; }
  // Has exit() finish this trace as the destructor would (the wait and the note), when the
  // program ends without returning from main: the toolkit ends it so when the X server goes
  // away. For one trace at a time, the program's own, and for exit() called on the thread
  // that writes it; the destructor undoes it.
  void FinishAtExit();
  // Lines dropped so far because the reader was too far behind.
  std::uint64_t DroppedLines() const;
  // The destructor's work, done once: by this call, the destructor or exit(), whichever comes
  // first. Nothing written to Stream() afterwards is traced.
  void Finish();

 private:
  struct Shared;
  class Buffer;

  int drainMs_;
  bool finished_ = false;
  std::shared_ptr<Shared> shared_;
  std::unique_ptr<Buffer> buffer_;
  std::unique_ptr<std::ostream> stream_;
};

}  // namespace quarvel::ui
