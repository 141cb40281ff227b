// SPDX-License-Identifier: GPL-3.0-or-later
// Uploads through the real file dialog: chosen by typing the name or by double-clicking it, the
// click right after, the windows painting while the pages go out, a close in the middle, and
// a file the disk fails to read.
#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <optional>
#include <thread>

#include "PanelSession.h"

namespace quarvel::x11 {
namespace {

Bytes Ramp(std::uint8_t start) {
  Bytes bytes(256);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(start + i);
  return bytes;
}

// Opens the upload dialog with the given button and returns its window.
WindowId OpenDialog(PanelSession& s, Spot button) {
  s.Click(button);
  const WindowId dialog = s.x.WaitForOtherWindow({s.panel, s.monitor}, kWindowMs);
  if (dialog != 0) s.x.Activate(dialog);
  return dialog;
}

// Starts the program with image.bin (holding the image) in its working directory, opens the
// dialog with the button, types the name and presses Return. Returns the output line the
// upload's trace starts at, nothing when a step failed; *dialog gets the dialog's window.
std::optional<std::size_t> StartTypedUpload(PanelSession& s, Spot button, const Bytes& image,
                                            WindowId* dialog = nullptr,
                                            const std::function<bool()>& start = {}) {
  WriteFile(s.x.WorkDir() + "/image.bin", image);
  if (!(start ? start() : s.Start())) return std::nullopt;
  const WindowId opened = OpenDialog(s, button);
  if (dialog != nullptr) *dialog = opened;
  if (opened == 0) {
    ADD_FAILURE() << "no dialog";
    return std::nullopt;
  }
  const std::size_t mark = s.x.LineCount();
  s.x.Type("image.bin");
  s.x.Key({"Return"});
  return mark;
}

// The centre of the first entry of the dialog's file list, in client coordinates: the list is
// the widest white area across the middle of the dialog; the entry is its first row that is
// not plain white.
std::optional<Spot> FirstFileEntry(PanelSession& s, WindowId dialog) {
  const Rect area = s.x.ClientGeometry(dialog);
  const std::vector<std::uint8_t> px = s.x.Pixels(area);
  if (px.empty()) {
    ADD_FAILURE() << "no picture of the dialog at " << ToString(area);
    return std::nullopt;
  }
  auto white = [&](int x, int y) {
    const std::size_t i = (static_cast<std::size_t>(y) * area.width + x) * 3;
    return px[i] >= 250 && px[i + 1] >= 250 && px[i + 2] >= 250;
  };
  const int middle = area.height / 2;
  int bestStart = 0, bestLength = 0;
  for (int x = 0; x < area.width;) {
    if (!white(x, middle)) {
      ++x;
      continue;
    }
    int end = x;
    while (end < area.width && white(end, middle)) ++end;
    if (end - x > bestLength) bestStart = x, bestLength = end - x;
    x = end;
  }
  if (bestLength < 100) {
    ADD_FAILURE() << "no list in the dialog at " << ToString(area) << ", widest " << bestLength;
    return std::nullopt;
  }
  // The list's top edge: the highest white pixel above the middle over its columns (text in
  // some columns stops the climb early, not in all).
  int top = middle;
  for (int probe = bestStart + 1; probe < bestStart + bestLength; probe += 3) {
    int y = middle;
    while (y > 0 && white(probe, y - 1)) --y;
    top = std::min(top, y);
  }
  auto rowPlain = [&](int y) {
    for (int x = bestStart + 2; x < bestStart + bestLength / 2; ++x)
      if (!white(x, y)) return false;
    return true;
  };
  int first = top;
  while (first < middle && rowPlain(first)) ++first;
  int last = first;
  while (last < middle && !rowPlain(last)) ++last;
  if (first >= middle) return std::nullopt;
  return Spot{bestStart + 60, (first + last) / 2};
}

// After an upload chosen either way, the very next click reaches its button: In2 is selected
// at once (the burst carries input 1 on the selection lines).
void ExpectNextClickWorks(PanelSession& s) {
  const std::size_t mark = s.x.LineCount();
  s.Click(kMux1);
  ASSERT_TRUE(s.WaitForWrites(mark, 1, 3000)) << "the first click after the upload was lost";
  const auto writes = s.Writes(mark);
  EXPECT_EQ(bus::DecodeBurst(writes.front()).selectionBits, 1 << 2);
}

// All 16 pages of the chosen file reach the address, the dialog is gone, and the very next
// click on the panel works.
void ExpectUploadedThenNextClickWorks(PanelSession& s, WindowId dialog, std::size_t mark,
                                      std::uint8_t address, const Bytes& image) {
  ASSERT_TRUE(s.x.WaitForLines(IsPage, mark, 16, kUploadMs));
  s.x.WaitQuiet(300, 2000);
  EXPECT_EQ(UploadedImage(s, mark, address), image);
  EXPECT_TRUE(s.x.WaitForWindowGone(dialog, 2000));
  ExpectNextClickWorks(s);
}

TEST(X11Upload, TypedNameAndReturnThenTheNextClickWorks) {
  PanelSession s;
  WindowId dialog = 0;
  const std::optional<std::size_t> mark = StartTypedUpload(s, kRAMbin, Ramp(7), &dialog);
  ASSERT_TRUE(mark.has_value());
  ExpectUploadedThenNextClickWorks(s, dialog, *mark, 0xD2, Ramp(7));
}

TEST(X11Upload, DoubleClickedFileThenTheNextClickWorks) {
  PanelSession s;
  WriteFile(s.x.WorkDir() + "/image.bin", Ramp(90));
  ASSERT_TRUE(s.Start());
  const WindowId dialog = OpenDialog(s, kFlashBin);
  ASSERT_NE(dialog, 0u);
  s.x.WaitQuiet(300, 2000);  // the folder is listed
  const std::optional<Spot> entry = FirstFileEntry(s, dialog);
  ASSERT_TRUE(entry.has_value()) << "no file entry found in the dialog";
  const std::size_t mark = s.x.LineCount();
  s.x.Click(dialog, entry->x, entry->y, 1, 2);
  ExpectUploadedThenNextClickWorks(s, dialog, mark, 0xD0, Ramp(90));
}

// While the pages go out, the bus monitor shows them: two pictures of it taken during one
// upload differ. The progress bar moves too. The rest of the panel shows the panel, as it does
// once the upload is over, not what the closed file dialog left on the screen (without a
// compositing window manager, the server keeps that until the window paints over it).
TEST(X11Upload, MonitorAndPanelRepaintDuringTheUpload) {
  PanelSession s;
  const std::optional<std::size_t> started = StartTypedUpload(s, kRAMbin, Ramp(1));
  ASSERT_TRUE(started.has_value());
  const std::size_t mark = *started;
  const Rect monitor = s.x.ClientGeometry(s.monitor);
  const Rect panel = s.x.ClientGeometry(s.panel);
  const Rect bar{panel.x + 16, panel.y + 40, 425, 17};
  // Below the progress bar: where the dialog was, away from the button under the pointer.
  const Rect belowBar{panel.x, panel.y + 57, panel.width, panel.height - 57};

  ASSERT_TRUE(s.x.WaitForLines(IsPage, mark, 3, kUploadMs));
  s.x.WaitQuiet(60, 150);  // the pause after the page has begun
  const auto monitorEarly = s.x.Pixels(monitor);
  const auto barEarly = s.x.Pixels(bar);
  ASSERT_TRUE(s.x.WaitForLines(IsPage, mark, 9, kUploadMs));
  s.x.WaitQuiet(60, 150);
  const auto monitorLate = s.x.Pixels(monitor);
  const auto barLate = s.x.Pixels(bar);
  const auto panelDuring = s.x.Pixels(belowBar);
  ASSERT_TRUE(s.x.WaitForLines(IsPage, mark, 15, kUploadMs)) << "the pictures took too long";
  ASSERT_FALSE(monitorEarly.empty());
  EXPECT_TRUE(monitorEarly != monitorLate) << "the bus monitor did not repaint during the upload";
  EXPECT_TRUE(barEarly != barLate) << "the progress bar did not move";
  ASSERT_TRUE(s.x.WaitForLines(IsPage, mark, 16, kUploadMs));
  s.x.WaitQuiet(500, 3000);
  EXPECT_TRUE(panelDuring == s.x.Pixels(belowBar))
      << "during the upload the panel showed something else than itself";
}

// Closing the panel in the middle of an upload: every page still goes out, then the program
// ends normally.
TEST(X11Upload, CloseDuringTheUploadSendsEveryPageThenEnds) {
  // A click made during the upload is held back until it is over; one before or after the
  // close must not start another upload (or open its dialog) behind the closing window, nor
  // keep the close from ending the program. A signal to end (kill, Ctrl+C, a closed terminal)
  // closes the window the same way. When the X server goes away (a logout, a dropped remote link),
  // the pages still go out; the toolkit then ends the program with its exit code 1.
  const auto altF4 = [](PanelSession& s) {
    s.x.Activate(s.panel);
    s.x.Key({"alt+F4"});
  };
  const auto signal = [](int number) {
    return [number](PanelSession& s) { kill(s.x.Pid(), number); };
  };
  const auto twice = [](int number, int gapMs) {
    return [number, gapMs](PanelSession& s) {
      kill(s.x.Pid(), number);
      std::this_thread::sleep_for(std::chrono::milliseconds(gapMs));
      kill(s.x.Pid(), number);
    };
  };
  const struct {
    const char* name;
    std::function<void(PanelSession&)> close;
    bool clickAfter;
    int exitCode = 0;
  } rows[] = {
      {"alt+F4", altF4, false},
      {"alt+F4, then upload RAM clicked", altF4, true},
      {"upload RAM clicked, then alt+F4",
       [&altF4](PanelSession& s) {
         s.Click(kRAMbin);
         altF4(s);
       },
       false},
      {"SIGTERM", signal(SIGTERM), false},
      {"upload RAM clicked, then SIGTERM",
       [](PanelSession& s) {
         s.Click(kRAMbin);
         kill(s.x.Pid(), SIGTERM);
       },
       false},
      {"SIGINT, then upload RAM clicked", signal(SIGINT), true},
      {"SIGHUP", signal(SIGHUP), false},
      // A closing terminal: the hang-up, then the terminal's shell passing it on to its jobs.
      {"SIGHUP twice", twice(SIGHUP, 1), false},
      {"SIGTERM twice", twice(SIGTERM, 300), false},
      {"the X server ends", [](PanelSession& s) { s.x.EndServer(); }, false, 1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    PanelSession s({.windowManager = true});
    const std::optional<std::size_t> started = StartTypedUpload(s, kFlashBin, Ramp(33));
    ASSERT_TRUE(started.has_value());
    const std::size_t mark = *started;
    ASSERT_TRUE(s.x.WaitForLines(IsPage, mark, 3, kUploadMs));
    row.close(s);
    if (row.clickAfter) s.Click(kRAMbin);
    const std::optional<int> code = s.x.WaitForExit(kUploadMs);
    ASSERT_TRUE(code.has_value()) << "the program is still running";
    EXPECT_EQ(*code, row.exitCode);
    EXPECT_EQ(UploadedImage(s, mark, 0xD0), Ramp(33)) << "all 16 pages, in order";
    EXPECT_EQ(s.Messages(mark).size(), 16u) << "nothing after them";
  }
}

// The X server goes away during an upload while the trace's reader is behind (a script that
// reads the program's output once it has ended, here through a pipe that holds a few pages):
// the toolkit ends the program without returning from main, and the trace still gets its
// wait and its note. Either every page reaches the reader, or standard error counts exactly
// the lines that did not: nothing goes missing unsaid.
TEST(X11Upload, XServerGoneWhileTheTraceIsBehindLosesNoLineUnsaid) {
  // The start-up's clock and level bursts, then the pages; five driver calls to a burst.
  constexpr std::size_t kTraceLines = (2 + 16) * 5;
  PanelSession s;
  s.x.HoldOutput(4096);
  const std::string errors = s.x.Scratch() + "/stderr";
  s.x.SetErrorFile(errors);
  ASSERT_TRUE(StartTypedUpload(s, kFlashBin, Ramp(7)).has_value());
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // some pages out
  s.x.EndServer();
  const std::optional<int> code = s.x.WaitForExit(kUploadMs);
  ASSERT_TRUE(code.has_value()) << "the program is still running";
  EXPECT_EQ(*code, 1);

  const std::vector<std::string>& lines = s.x.Lines();
  const std::size_t pages =
      static_cast<std::size_t>(std::count_if(lines.begin(), lines.end(), IsPage));
  const Bytes sent = Ramp(7);
  const auto arrived = static_cast<std::ptrdiff_t>(std::min<std::size_t>(pages, 16) * 16);
  EXPECT_EQ(UploadedImage(s, 0, 0xD0), Bytes(sent.begin(), sent.begin() + arrived))
      << "the pages that arrived are the first ones, in order";
  std::ifstream in(errors);
  const std::string notes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (pages == 16) {
    EXPECT_EQ(lines.size(), kTraceLines);
    return;
  }
  unsigned long lost = 0;
  const std::size_t at = notes.find("QuarvelSDR-sim: ");
  ASSERT_NE(at, std::string::npos) << pages << " pages arrived, and no note: " << notes;
  ASSERT_EQ(std::sscanf(notes.c_str() + at,
                        "QuarvelSDR-sim: %lu trace lines dropped: standard output was not "
                        "being read\n",
                        &lost),
            1)
      << notes;
  EXPECT_EQ(lines.size() + lost, kTraceLines) << lines.size() << " lines arrived";
}

// A long session's worth of uploads cancelled with Escape costs no memory (every file dialog
// built and destroyed under X left some 20 kB behind), sends nothing, and the dialog then still
// takes a typed name: the whole image goes out.
TEST(X11Upload, HundredDialogsCancelledLeaveMemoryFlatAndTheNextUploadWorks) {
  constexpr long kLimitKb = 500;
  PanelSession s;
  WriteFile(s.x.WorkDir() + "/image.bin", Ramp(9));
  ASSERT_TRUE(s.Start());
  const std::size_t start = s.x.LineCount();
  auto cancelled = [&](int count) {
    for (int i = 0; i < count; ++i) {
      const WindowId dialog = OpenDialog(s, i % 2 == 0 ? kRAMbin : kFlashBin);
      if (dialog == 0) return false;
      s.x.Key({"Escape"});
      if (!s.x.WaitForWindowGone(dialog, 3000)) return false;
    }
    return true;
  };
  ASSERT_TRUE(cancelled(20)) << "warm-up";
  s.x.WaitQuiet(300, 3000);
  const long warm = s.x.ResidentKb();
  ASSERT_TRUE(cancelled(100));
  s.x.WaitQuiet(300, 3000);
  const long after = s.x.ResidentKb();
  std::cout << "VmRSS after 20 dialogs " << warm << " kB, after 100 more " << after
            << " kB: " << (after - warm) << " kB\n";
  RecordProperty("rss_growth_kb", std::to_string(after - warm));
  EXPECT_LE(after - warm, kLimitKb);
  EXPECT_TRUE(s.Writes(start).empty()) << "a cancelled upload sent something";

  const WindowId dialog = OpenDialog(s, kRAMbin);
  ASSERT_NE(dialog, 0u);
  const std::size_t mark = s.x.LineCount();
  s.x.Type("image.bin");
  s.x.Key({"Return"});
  ExpectUploadedThenNextClickWorks(s, dialog, mark, 0xD2, Ramp(9));
}

// A signal to end while the upload still asks for its file cancels it, as Cancel would:
// nothing is sent, the program ends. (alt+F4 cannot reach the panel behind the modal dialog.)
TEST(X11Upload, SignalWhileTheDialogIsOpenCancelsTheUpload) {
  PanelSession s({.windowManager = true});
  WriteFile(s.x.WorkDir() + "/image.bin", Ramp(5));
  ASSERT_TRUE(s.Start());
  const std::size_t mark = s.x.LineCount();
  ASSERT_NE(OpenDialog(s, kRAMbin), 0u);
  kill(s.x.Pid(), SIGTERM);
  const std::optional<int> code = s.x.WaitForExit(5000);
  ASSERT_TRUE(code.has_value()) << "the dialog kept the program running";
  EXPECT_EQ(*code, 0);
  EXPECT_TRUE(s.Writes(mark).empty());
}

// A read error names the file and keeps the runtime's text; the box goes with Return and the
// panel works on.
TEST(X11Upload, ReadErrorBoxNamesTheFile) {
  PanelSession s;
  const std::string path = s.x.WorkDir() + "/image-eio.bin";
  WriteFile(path, Ramp(0));
  // The loader splits LD_PRELOAD at spaces, which a build folder's path may hold.
  const std::string preload = s.x.WorkDir() + "/libfail_read.so";
  std::filesystem::create_symlink(QUARVEL_FAIL_READ_LIB, preload);
  ASSERT_TRUE(s.Start({}, {"LD_PRELOAD=" + preload}));
  ASSERT_NE(OpenDialog(s, kRAMbin), 0u);
  const std::size_t mark = s.x.LineCount();
  s.x.Type("image-eio.bin");
  s.x.Key({"Return"});
  const auto box = s.x.WaitForLineStarting("MessageBox ", mark, 5000);
  ASSERT_TRUE(box.has_value());
  EXPECT_EQ(s.x.Lines()[*box], "MessageBox caption=\"Quarvelsdr-sim\" text=\"Cannot read \\\"" +
                                   path + "\\\": E/A-Fehler 5.\"");
  EXPECT_TRUE(s.Writes(mark).empty()) << "nothing is sent";
  const WindowId boxWindow = s.x.WaitForOtherWindow({s.panel, s.monitor}, kWindowMs);
  ASSERT_NE(boxWindow, 0u);
  s.x.Activate(boxWindow);
  s.x.Key({"Return"});
  ASSERT_TRUE(s.x.WaitForWindowGone(boxWindow, 3000));
  ExpectNextClickWorks(s);
}

// With no board, each burst's five error boxes go one after the other with Return.
TEST(X11Upload, NoBoardBoxesGoWithReturnAndASignalEndsThem) {
  PanelSession s;
  ASSERT_TRUE(s.x.Launch(QUARVEL_SIM_EXE, {"--no-device"}));
  // Start-up sends two bursts (clock and level): ten boxes before the panel shows.
  std::size_t from = 0;
  for (int box = 0; box < 10; ++box) {
    const auto line = s.x.WaitForLineStarting("MessageBox ", from, kWindowMs);
    ASSERT_TRUE(line.has_value()) << "box " << box;
    from = *line + 1;
    const WindowId w = s.x.WaitForWindow("Fehler", kWindowMs);
    ASSERT_NE(w, 0u) << "box " << box;
    s.x.Activate(w);
    s.x.Key({"Return"});
    ASSERT_TRUE(s.x.WaitForWindowGone(w, 3000)) << "box " << box;
  }
  const auto boxes = BoxLines(s.x.Lines());
  ASSERT_GE(boxes.size(), 10u);
  EXPECT_EQ(boxes[0], "MessageBox caption=\"Fehler\" text=\"FT_Open - Device not found...\"");
  s.panel = s.x.WaitForWindow(kPanelTitle, kWindowMs);
  ASSERT_NE(s.panel, 0u);

  // A signal to end (Ctrl+C) at the first of a click's five boxes closes it and shows none of
  // the other four: the burst's calls run on and the program ends, with no key pressed. Every
  // box is still printed.
  const std::size_t mark = s.x.LineCount();
  s.Click(kMux1);
  ASSERT_TRUE(s.x.WaitForLineStarting("MessageBox ", mark, kWindowMs).has_value());
  kill(s.x.Pid(), SIGINT);
  const std::optional<int> code = s.x.WaitForExit(5000);
  ASSERT_TRUE(code.has_value()) << "the program waits with a box up";
  EXPECT_EQ(*code, 0);
  EXPECT_EQ(BoxLines(s.x.Lines(), mark).size(), 5u);
}

// Starts the program with every write failing (status 4), closing the start-up bursts' boxes
// with Return, and waits for both windows.
bool StartWithFailingWrites(PanelSession& s) {
  if (!s.x.Ready() || !s.x.Launch(QUARVEL_SIM_EXE, {"--status", "FT_Write=4"})) {
    ADD_FAILURE() << "the program did not start";
    return false;
  }
  for (int box = 0; box < 8 && s.x.WaitForWindow(kPanelTitle, 300) == 0; ++box) {
    const WindowId w = s.x.WaitForWindow("Fehler", kWindowMs);
    if (w == 0) break;
    s.x.Activate(w);
    s.x.Key({"Return"});
    s.x.WaitForWindowGone(w, 3000);
  }
  s.panel = s.x.WaitForWindow(kPanelTitle, kWindowMs);
  s.monitor = s.x.WaitForWindow(kMonitorTitle, kWindowMs);
  if (s.panel == 0 || s.monitor == 0) ADD_FAILURE() << "windows missing";
  return s.panel != 0 && s.monitor != 0;
}

// The panel's close button clicked while an operation's error box is up does nothing, as the box
// holds every window until its OK: after it, the program runs on and the panel takes clicks. The
// same button, with no box up, ends the program.
TEST(X11Upload, ThePanelsCloseButtonBehindAnErrorBoxDoesNothing) {
  PanelSession s({.windowManager = true});
  ASSERT_TRUE(StartWithFailingWrites(s));
  const Rect frame = s.x.SettledFrameGeometry(s.panel);
  const int titleHeight = s.x.ClientGeometry(s.panel).y - frame.y;
  const auto clickCloseButton = [&] {  // the title bar's rightmost button
    s.x.MoveToScreen(frame.Right() - titleHeight / 2 - 2, frame.y + titleHeight / 2);
    s.x.ButtonDown();
    s.x.ButtonUp();
  };
  const auto okTheBox = [&](WindowId box) {
    s.x.Activate(box);
    s.x.Key({"Return"});
    return s.x.WaitForWindowGone(box, 3000);
  };
  s.Click(kMux1);
  const WindowId box = s.x.WaitForOtherWindow({s.panel, s.monitor}, kWindowMs);
  ASSERT_NE(box, 0u) << "no box";
  clickCloseButton();
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  ASSERT_TRUE(okTheBox(box));
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  ASSERT_TRUE(s.x.Running()) << "a close clicked behind the box ended the program after its OK";
  const std::size_t mark = s.x.LineCount();
  s.Click(kMux2);
  EXPECT_TRUE(s.WaitForWrites(mark, 1)) << "the panel stopped taking clicks";
  const WindowId next = s.x.WaitForOtherWindow({s.panel, s.monitor}, kWindowMs);
  ASSERT_NE(next, 0u) << "no box";
  ASSERT_TRUE(okTheBox(next));
  clickCloseButton();
  const std::optional<int> code = s.x.WaitForExit(5000);
  ASSERT_TRUE(code.has_value()) << "the close button was missed: the program runs on";
  EXPECT_EQ(*code, 0);
}

// A signal to end while an operation's error box is up (each burst's write fails): the box
// closes as with OK, no later box shows, the operation sends every burst it would have sent
// (all 16 pages of an upload, in order) and the program ends by itself within seconds. Every
// box is still printed on the trace, one after each write. A second Ctrl+C ends the program
// at once.
TEST(X11Upload, SignalAtAnErrorBoxEndsTheProgramAfterTheOperationWithoutOK) {
  const struct {
    const char* name;
    bool upload;  // else the highest band's button (two bursts or more from the start)
    bool secondSignal;
  } rows[] = {
      {"band button", false, false},
      {"upload", true, false},
      {"upload, a second Ctrl+C during its pages", true, true},
  };
  // Each row on its own: a failed step ends only its row.
  for (const auto& row : rows)
    [&] {
      SCOPED_TRACE(row.name);
      PanelSession s({.windowManager = true});
      std::size_t mark = 0;
      if (row.upload) {
        const std::optional<std::size_t> started = StartTypedUpload(
            s, kFlashBin, Ramp(61), nullptr, [&s] { return StartWithFailingWrites(s); });
        ASSERT_TRUE(started.has_value());
        mark = *started;
      } else {
        ASSERT_TRUE(StartWithFailingWrites(s));
        mark = s.x.LineCount();
        s.Click(kCmdhigh);
      }
      const auto firstBox = s.x.WaitForLineStarting("MessageBox ", mark, kWindowMs);
      ASSERT_TRUE(firstBox.has_value()) << "no box";
      ASSERT_NE(s.x.WaitForOtherWindow({s.panel, s.monitor}, kWindowMs), 0u) << "no box shown";
      // Ctrl+C twice where a second is asked for; one SIGTERM else.
      kill(s.x.Pid(), row.secondSignal ? SIGINT : SIGTERM);
      if (row.secondSignal) {
        ASSERT_TRUE(s.x.WaitForLines(IsPage, mark, 4, kUploadMs));
        kill(s.x.Pid(), SIGINT);
        const std::optional<int> code = s.x.WaitForExit(2000);
        ASSERT_TRUE(code.has_value()) << "the second Ctrl+C did not end it";
        EXPECT_EQ(*code, 128 + SIGINT);
        EXPECT_LT(s.Writes(mark).size(), 16u);
        return;
      }
      const std::optional<int> code = s.x.WaitForExit(row.upload ? kUploadMs : 5000);
      ASSERT_TRUE(code.has_value()) << "the program waits for OK";
      EXPECT_EQ(*code, 0);
      const std::vector<std::string> boxes = BoxLines(s.x.Lines(), mark);
      const std::size_t writes = s.Writes(mark).size();
      EXPECT_EQ(boxes.size(), writes) << "one box line per failed write";
      for (const std::string& box : boxes)
        EXPECT_EQ(box, boxes.front()) << "every box is the write's";
      if (row.upload) {
        EXPECT_EQ(UploadedImage(s, mark, 0xD0), Ramp(61)) << "all 16 pages, in order";
        EXPECT_EQ(s.Messages(mark).size(), 16u) << "nothing after them";
      } else {
        EXPECT_GE(writes, 2u) << "a box after the signal was needed to see it skipped";
      }
    }();
}

}  // namespace
}  // namespace quarvel::x11
