// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/TraceOutput.h"

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <mutex>
#include <new>
#include <streambuf>
#include <string>
#include <string_view>
#include <thread>
#include <utility>

namespace quarvel::ui {

namespace {

std::uint64_t LinesIn(const std::string& text) {
  return static_cast<std::uint64_t>(std::count(text.begin(), text.end(), '\n'));
}

std::string DroppedNote(std::uint64_t lines) {
  return "QuarvelSDR-sim: " + std::to_string(lines) +
         " trace lines dropped: standard output was not being read\n";
}

std::string UnheldNote(std::uint64_t lines) {
  return "QuarvelSDR-sim: " + std::to_string(lines) + " trace lines dropped: out of memory\n";
}

std::string EndedNote(int error) {
  return std::string("QuarvelSDR-sim: trace ended: standard output refused a write (") +
         std::strerror(error) + ")\n";
}

// Waits until fd has room for a write (or will say what became of it), or until cancelFd (-1:
// none) has something to read: then false.
bool WaitForRoom(int fd, int cancelFd) {
  pollfd wanted[2] = {{fd, POLLOUT, 0}, {cancelFd, POLLIN, 0}};
  while (::poll(wanted, cancelFd >= 0 ? 2 : 1, -1) < 0 && errno == EINTR) {
  }
  return (wanted[1].revents & POLLIN) == 0;
}

// Writes all of text to fd; 0, or the error with which the file refused it, *written (when
// given) getting how much of the text it took before. A file in non-blocking mode (the flag
// goes with the open file, which the program may share with whoever started it) is waited for
// as a blocking one would be. With a cancelFd, each write waits for room first, and the wait
// ends with ECANCELED once cancelFd can be read: a pipe with room takes a write of at most
// PIPE_BUF bytes at once, so text that is not written then never arrives later.
int WriteAll(int fd, const char* next, std::size_t left, std::size_t* written = nullptr,
             int cancelFd = -1) {
  while (left > 0) {
    if (cancelFd >= 0 && !WaitForRoom(fd, cancelFd)) return ECANCELED;
    const ssize_t n = ::write(fd, next, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) {
        if (cancelFd < 0) WaitForRoom(fd, -1);  // then the write says what became of the file
        continue;
      }
      return errno;
    }
    next += n;
    left -= static_cast<std::size_t>(n);
    if (written != nullptr) *written += static_cast<std::size_t>(n);
  }
  return 0;
}

// A file that refused a write may have taken its first part (a full disk takes what still
// fits), ending in a cut line. In a regular file that ends there, the cut line is taken back
// out, so that whoever reads the file finds whole lines only; `landed` is the part taken.
void TakeBackCutLine(int fd, std::string_view landed) {
  const std::size_t lineEnd = landed.rfind('\n');
  const std::size_t cut = landed.size() - (lineEnd == std::string_view::npos ? 0 : lineEnd + 1);
  struct stat file {};
  if (cut == 0 || ::fstat(fd, &file) != 0 || !S_ISREG(file.st_mode)) return;
  const off_t end = ::lseek(fd, 0, SEEK_CUR);
  if (end != file.st_size || end < static_cast<off_t>(cut)) return;  // others wrote after it
  // Standard error may share the open file (`>trace 2>&1`): its note goes after the last line.
  if (::ftruncate(fd, end - static_cast<off_t>(cut)) == 0)
    ::lseek(fd, end - static_cast<off_t>(cut), SEEK_SET);
}

// A note on standard error, which may be the trace's own file (`>trace 2>&1`): on a full disk
// the part of it that fit is taken back out too.
void WriteNote(int fd, const std::string& note) {
  std::size_t written = 0;
  if (WriteAll(fd, note.data(), note.size(), &written) != 0 && written > 0)
    TakeBackCutLine(fd, std::string_view(note).substr(0, written));
}

// How long the end waits for the writer to stop once it has given up on the reader: the
// writer stops at once unless a write it cannot wait for room for holds it.
constexpr int kStopMs = 100;

// The most the writer hands to the file at once. A write of at most PIPE_BUF bytes to a pipe
// goes in whole or not at all, so a program that ends while its reader is behind leaves whole
// lines in the pipe, and the lines counted as lost are exactly the ones that never got there.
constexpr std::size_t kPieceBytes = PIPE_BUF;

// Where the piece of text that starts at `from` ends: after whole lines, at most kPieceBytes
// of them unless a single line is longer.
std::size_t PieceEnd(const std::string& text, std::size_t from) {
  if (text.size() - from <= kPieceBytes) return text.size();
  const std::size_t last = text.rfind('\n', from + kPieceBytes - 1);
  if (last != std::string::npos && last >= from) return last + 1;
  const std::size_t next = text.find('\n', from + kPieceBytes);
  return next == std::string::npos ? text.size() : next + 1;
}

}  // namespace

// What the program's thread and the writer share.
struct TraceOutput::Shared {
  Shared(int out, int err, std::size_t limit) : fd(out), errorFd(err), backlogLimit(limit) {
    if (::pipe2(cancel, O_CLOEXEC | O_NONBLOCK) != 0) cancel[0] = cancel[1] = -1;
  }
  ~Shared() {
    for (const int end : cancel)
      if (end >= 0) ::close(end);
  }
  Shared(const Shared&) = delete;
  Shared& operator=(const Shared&) = delete;

  // The program's end gives up on a reader that takes nothing: the writer stops before its
  // next write, or as soon as it is waiting for room, and writes nothing more. Whether it has
  // stopped is in `stopped`.
  void Cancel() {
    cancelled = true;
    const char wake = 0;
    if (cancel[1] >= 0 && ::write(cancel[1], &wake, 1) != 1) {
      // A full pipe has been woken before.
    }
  }

  // Takes whole lines from the program's thread; never waits for the reader.
  void Hand(std::string text) {
    std::lock_guard lock(mutex);
    if (broken) return;  // nobody will ever read them
    if (queue.size() + inFlight + text.size() > backlogLimit) {
      dropped += LinesIn(text);
      return;
    }
    try {
      queue += text;
    } catch (const std::bad_alloc&) {
      unheld += LinesIn(text);
      wake.notify_one();
      return;
    }
    wake.notify_one();
  }

  // Lines the program's thread had no memory to hold.
  void Unheld(std::uint64_t lines) {
    std::lock_guard lock(mutex);
    unheld += lines;
    wake.notify_one();
  }

  // Whether lines were lost for lack of memory that standard error has not been told of.
  bool UnheldToSay() const { return unheld != unheldReported && !broken && !abandoned; }
  // The same for lines dropped while the reader was too far behind.
  bool DroppedToSay() const { return dropped != reported && !broken && !abandoned; }

  // Writes the note word() gives on standard error, if there is the memory to word it; with
  // the lock held, which it lets go while writing.
  template <class Word>
  void Note(std::unique_lock<std::mutex>& lock, const Word& word) {
    if (errorFd < 0) return;
    std::string note;
    try {
      note = word();
    } catch (const std::bad_alloc&) {
      return;
    }
    lock.unlock();
    WriteNote(errorFd, note);
    lock.lock();
  }

  // The lines lost for lack of memory, and those dropped for a reader too far behind, once
  // each, when the writer has nothing else to do. They count as said once the note is out,
  // so that the program does not end before it.
  void NoteUnheld(std::unique_lock<std::mutex>& lock) {
    if (!UnheldToSay()) return;
    const std::uint64_t lines = unheld - unheldReported;
    Note(lock, [lines] { return UnheldNote(lines); });
    unheldReported += lines;
  }
  void NoteDropped(std::unique_lock<std::mutex>& lock) {
    if (!DroppedToSay()) return;
    const std::uint64_t lines = dropped - reported;
    Note(lock, [lines] { return DroppedNote(lines); });
    reported += lines;
  }

  void Run() {
    std::unique_lock lock(mutex);
    for (;;) {
      wake.wait(lock, [this] { return stop || !queue.empty() || UnheldToSay(); });
      if (queue.empty()) {  // all is written: lines lost for lack of memory, or stopping
        NoteDropped(lock);
        NoteUnheld(lock);
        drained.notify_all();
        if (stop) break;
        continue;
      }
      std::string chunk;
      chunk.swap(queue);
      inFlight = chunk.size();
      inFlightLines = LinesIn(chunk);
      int error = 0;
      for (std::size_t from = 0; from < chunk.size() && error == 0 && !abandoned && !cancelled;) {
        const std::size_t end = PieceEnd(chunk, from);
        lock.unlock();
        std::size_t written = 0;
        error = WriteAll(fd, chunk.data() + from, end - from, &written, cancel[0]);
        if (error == ECANCELED) {
          // Stopped part-way through a piece (a terminal takes part of a write): the whole
          // lines it took are written, the line cut there counts with the rest.
          lock.lock();
          inFlight -= written;
          inFlightLines -= static_cast<std::uint64_t>(
              std::count(chunk.begin() + static_cast<std::ptrdiff_t>(from),
                         chunk.begin() + static_cast<std::ptrdiff_t>(from + written), '\n'));
          break;
        }
        if (error != 0 && written > 0)
          TakeBackCutLine(fd, std::string_view(chunk).substr(from, written));
        lock.lock();
        if (error == 0) {
          inFlight -= end - from;
          inFlightLines -= static_cast<std::uint64_t>(
              std::count(chunk.begin() + static_cast<std::ptrdiff_t>(from),
                         chunk.begin() + static_cast<std::ptrdiff_t>(end), '\n'));
        }
        from = end;
      }
      if (cancelled) {  // what is left is the program's end's to count: it stays as it is
        stopped = true;
        drained.notify_all();
        return;
      }
      inFlight = 0;
      inFlightLines = 0;
      // A reader gone away (`| head`) wants no more; any other refusal is said once, and the
      // program's end waits for that note as for the others.
      if (error != 0 && error != EPIPE) endedToSay = true;
      if (error != 0 || abandoned) {
        broken = broken || error != 0;
        queue.clear();  // nobody will read it, or it has been counted as lost
      }
      if (endedToSay) {
        Note(lock, [error] { return EndedNote(error); });
        endedToSay = false;
      }
      // The notes go out before anyone waiting for the backlog hears that it is written.
      if (queue.empty()) {
        NoteDropped(lock);
        NoteUnheld(lock);
      }
      drained.notify_all();
    }
    drained.notify_all();
  }

  const int fd;
  const int errorFd;
  const std::size_t backlogLimit;
  std::mutex mutex;
  std::condition_variable wake, drained;
  std::string queue;         // handed over, not yet taken by the writer
  std::size_t inFlight = 0;  // taken, being written
  std::uint64_t inFlightLines = 0;
  bool stop = false;
  bool broken = false;        // the file refused a write: everything from now on is dropped
  bool endedToSay = false;    // ... and standard error is still to be told why
  std::uint64_t dropped = 0;  // lines dropped for a reader too far behind
  std::uint64_t reported = 0;
  std::uint64_t unheld = 0;  // lines dropped for lack of memory to hold them
  std::uint64_t unheldReported = 0;
  bool abandoned = false;    // the program ended with lines unwritten, and counted them
  bool cancelled = false;    // see Cancel()
  bool stopped = false;      // the writer has stopped for it: what it did not write is as it was
  int cancel[2] = {-1, -1};  // a pipe whose read end wakes the writer while it waits for room
};

// Collects the text written to the stream and hands it over, whole lines at a time, at each
// flush.
class TraceOutput::Buffer : public std::streambuf {
 public:
  explicit Buffer(std::shared_ptr<Shared> shared) : shared_(std::move(shared)) {}

  // Hands over what is left, a last line without its newline included.
  void Finish() {
    sync();
    if (!pending_.empty()) shared_->Hand(std::exchange(pending_, {}));
  }

 protected:
  int_type overflow(int_type c) override {
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
      const char one = traits_type::to_char_type(c);
      Append(std::string_view(&one, 1));
    }
    return traits_type::not_eof(c);
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    Append(std::string_view(s, static_cast<std::size_t>(n)));
    return n;
  }
  int sync() override {
    const std::size_t end = pending_.rfind('\n');
    if (end == std::string::npos) return 0;
    std::string lines;
    try {
      lines = pending_.substr(0, end + 1);
    } catch (const std::bad_alloc&) {
      shared_->Unheld(LinesIn(pending_));
      pending_.erase(0, end + 1);
      return 0;
    }
    pending_.erase(0, end + 1);
    shared_->Hand(std::move(lines));
    return 0;
  }

 private:
  // Without the memory to hold it, the text and the lines it belongs to are dropped and
  // counted, and the rest of an unfinished line after it too; the stream itself never fails,
  // so the lines that follow still come through.
  void Append(std::string_view text) {
    if (skipping_) {
      const std::size_t end = text.find('\n');
      if (end == std::string_view::npos) return;
      skipping_ = false;
      text.remove_prefix(end + 1);
    }
    if (text.empty()) return;
    try {
      pending_.append(text);
    } catch (const std::bad_alloc&) {
      const bool unfinished = text.back() != '\n';
      shared_->Unheld(LinesIn(pending_) +
                      static_cast<std::uint64_t>(std::count(text.begin(), text.end(), '\n')) +
                      (unfinished ? 1 : 0));
      pending_.clear();
      skipping_ = unfinished;
    }
  }

  std::shared_ptr<Shared> shared_;
  std::string pending_;
  bool skipping_ = false;  // the rest of a line already counted as dropped
};

TraceOutput::TraceOutput(int fd, std::size_t backlogBytes, int errorFd, int drainMs)
    : drainMs_(drainMs),
      shared_(std::make_shared<Shared>(fd, errorFd, backlogBytes)),
      buffer_(std::make_unique<Buffer>(shared_)),
      stream_(std::make_unique<std::ostream>(buffer_.get())) {
  try {
    // The thread keeps the shared part alive for as long as it may still be writing.
    std::thread([shared = shared_] { shared->Run(); }).detach();
  } catch (const std::exception&) {
    // No thread to spare: nothing would ever write, so the trace is left out.
    std::lock_guard lock(shared_->mutex);
    shared_->broken = true;
  }
}

namespace {

// The trace exit() finishes. Where exit() is called on another thread than the one that
// destroys the trace, whichever comes second waits for the first to have finished it. The
// stream itself belongs to the thread that writes it: exit() is to be called on that one
// (the toolkit calls it on the window's thread, which writes the trace).
std::mutex atExitMutex;
TraceOutput* atExitTrace = nullptr;

}  // namespace

void TraceOutput::FinishAtExit() {
  constexpr auto finishProgramTrace = [] {
    std::lock_guard lock(atExitMutex);
    if (atExitTrace != nullptr) std::exchange(atExitTrace, nullptr)->Finish();
  };
  static const bool registered = std::atexit(finishProgramTrace) == 0;  // once per program
  std::lock_guard lock(atExitMutex);
  if (registered) atExitTrace = this;
}

TraceOutput::~TraceOutput() {
  std::lock_guard lock(atExitMutex);
  if (atExitTrace == this) atExitTrace = nullptr;
  Finish();
}

void TraceOutput::Finish() {
  if (std::exchange(finished_, true)) return;
  buffer_->Finish();
  std::unique_lock lock(shared_->mutex);
  shared_->stop = true;
  shared_->wake.notify_one();
  const bool drained = shared_->drained.wait_for(lock, std::chrono::milliseconds(drainMs_), [this] {
    return !shared_->endedToSay &&
           (shared_->broken || (shared_->queue.empty() && shared_->inFlight == 0 &&
                                !shared_->DroppedToSay() && !shared_->UnheldToSay()));
  });
  if (drained) return;
  // The reader still takes nothing: what is left goes with the program. The writer stops
  // first, so that the lines counted as lost are exactly those that never get there (unless
  // it is held in a write that cannot wait for room: a line longer than PIPE_BUF, a terminal).
  shared_->Cancel();
  shared_->drained.wait_for(lock, std::chrono::milliseconds(kStopMs),
                            [this] { return shared_->stopped; });
  if (shared_->errorFd < 0) return;
  // Standard error says how much, if it takes the note without waiting.
  const std::uint64_t lost =
      shared_->dropped - shared_->reported + LinesIn(shared_->queue) + shared_->inFlightLines;
  const std::uint64_t unheld = shared_->unheld - shared_->unheldReported;
  shared_->abandoned = true;
  const std::string note =
      (lost > 0 ? DroppedNote(lost) : std::string()) + (unheld > 0 ? UnheldNote(unheld) : "");
  pollfd error{shared_->errorFd, POLLOUT, 0};
  // A note shorter than PIPE_BUF goes into a pipe that has room whole, without waiting.
  if (::poll(&error, 1, 0) == 1 && (error.revents & POLLOUT) != 0)
    WriteNote(shared_->errorFd, note);
}

std::uint64_t TraceOutput::DroppedLines() const {
  std::lock_guard lock(shared_->mutex);
  return shared_->dropped;
}

}  // namespace quarvel::ui
