// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated edition: in this process with its real message boxes, and as the program
// QuarvelSDR-sim watched from outside through its standard output.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "FormAccess.h"
#include "TempFiles.h"
#include "bus/TwoWireDecoder.h"
#include "ui/SimEdition.h"
#include "ui/TraceOutput.h"

namespace quarvel {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Closes every modal window as soon as it is up, remembering the message boxes it saw, so
// that a test never waits for a user.
class BoxCloser {
 public:
  struct Seen {
    QString caption;
    QString text;
    QMessageBox::Icon icon;
    int buttons;
    bool okIsDefaultAndEscape;
  };

  BoxCloser() {
    timer_.setInterval(2);
    QObject::connect(&timer_, &QTimer::timeout, [this] { CloseModal(); });
    timer_.start();
  }
  std::vector<Seen> seen;

 private:
  void CloseModal() {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr) return;
    auto* box = qobject_cast<QMessageBox*>(modal);
    if (box == nullptr) {
      modal->close();
      return;
    }
    QAbstractButton* ok = box->button(QMessageBox::Ok);
    seen.push_back({box->windowTitle(), box->text(), box->icon(),
                    static_cast<int>(box->buttons().size()),
                    ok != nullptr && box->defaultButton() == ok && box->escapeButton() == ok});
    QTest::keyClick(box, Qt::Key_Escape);
  }
  QTimer timer_;
};

TEST(SimEdition, AbsentBoardPrintsEachBoxBeforeShowingItAndBeforeTheWindow) {
  ui::SimOptions options;
  options.noDevice = true;
  std::ostringstream out;
  ui::SimEdition sim(options, out, "Quarvelsdr-sim");
  EXPECT_TRUE(sim.Driver().Calls().empty()) << "nothing is sent before the panel starts";

  BoxCloser closer;
  ui::TForm1& form = sim.Start();
  EXPECT_FALSE(form.isVisible());

  const std::vector<std::string> lines = Lines(out.str());
  ASSERT_GE(lines.size(), 10u);
  const std::vector<std::string> firstBurst(lines.begin(), lines.begin() + 10);
  ASSERT_TRUE(firstBurst[6].rfind("FT_Write count=317 data=", 0) == 0) << firstBurst[6];
  const std::vector<std::string> expected = {
      "FT_Open index=0 status=2",
      R"(MessageBox caption="Fehler" text="FT_Open - Device not found...")",
      "FT_SetBitMode mask=FF mode=01 status=1",
      R"(MessageBox caption="Fehler" text="FT_SetBitMode  - Invalid handle...")",
      "FT_SetBaudRate baud=38400 status=1",
      R"(MessageBox caption="Fehler" text="FT_SetBaudRate - Invalid handle...")",
      firstBurst[6],
      R"(MessageBox caption="Fehler" text="FT_Write - Invalid handle...")",
      "FT_Close status=1",
      R"(MessageBox caption="Fehler" text="FT_Close - Invalid handle...")",
  };
  EXPECT_EQ(firstBurst, expected);

  // The clock burst and the level burst: five real boxes each, all closed by Escape.
  ASSERT_EQ(closer.seen.size(), 10u);
  EXPECT_EQ(closer.seen[0].text, "FT_Open - Device not found...");
  EXPECT_EQ(closer.seen[4].text, "FT_Close - Invalid handle...");
  for (const auto& box : closer.seen) {
    EXPECT_EQ(box.caption, "Fehler");
    EXPECT_EQ(box.icon, QMessageBox::Critical);
    EXPECT_EQ(box.buttons, 1);
    EXPECT_TRUE(box.okIsDefaultAndEscape);
  }
}

TEST(SimEdition, DriverHooksSetBeforeStartSeeTheStartUpBursts) {
  std::ostringstream out;
  ui::SimEdition sim(ui::SimOptions{}, out, "Quarvelsdr-sim");
  std::vector<std::size_t> written;
  const port::Subscription writes = sim.Driver().OnBoardWrite(
      [&written](const std::uint8_t*, std::uint32_t count) { written.push_back(count); });
  BoxCloser closer;
  sim.Start();
  EXPECT_EQ(written, std::vector<std::size_t>({317, 89}));
  EXPECT_TRUE(closer.seen.empty());
  EXPECT_EQ(&sim.Form(), &sim.Start()) << "one window only";
}

// QuarvelSDR-sim run as a program on the offscreen platform. Every wait is bounded, and the
// process is killed at the end: its window would wait for a user for ever.
class SimProcess {
 public:
  // exitWhenShown: the value of QUARVEL_EXIT_WHEN_SHOWN, if any; shownAtFile: the value of
  // QUARVEL_SHOWN_AT_FILE, if any.
  explicit SimProcess(const QStringList& args, const QString& exitWhenShown = {},
                      const QString& shownAtFile = {}) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    if (!exitWhenShown.isEmpty()) env.insert("QUARVEL_EXIT_WHEN_SHOWN", exitWhenShown);
    if (!shownAtFile.isEmpty()) env.insert("QUARVEL_SHOWN_AT_FILE", shownAtFile);
    process_.setProcessEnvironment(env);
    process_.start(QStringLiteral(QUARVEL_SIM_EXE), args);
    started_ = process_.waitForStarted(10000);
  }
  ~SimProcess() {
    if (process_.state() != QProcess::NotRunning) {
      process_.kill();
      process_.waitForFinished(10000);
    }
  }
  bool Started() const { return started_; }
  QProcess& Process() { return process_; }

  // Standard output lines up to and including the first for which stop is true.
  std::vector<std::string> ReadUntil(const std::function<bool(const std::string&)>& stop) {
    std::vector<std::string> lines;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < kTimeoutMs) {
      while (process_.canReadLine()) {
        lines.push_back(process_.readLine().trimmed().toStdString());
        if (stop(lines.back())) return lines;
      }
      if (process_.state() == QProcess::NotRunning && !process_.canReadLine()) break;
      process_.waitForReadyRead(100);
    }
    ADD_FAILURE() << "the expected line did not come; got " << lines.size() << " lines";
    return lines;
  }

 private:
  static constexpr int kTimeoutMs = 30000;
  QProcess process_;
  bool started_ = false;
};

Bytes HexBytes(const std::string& hex) {
  Bytes out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    out.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
  return out;
}

// The messages of the FT_Write line of one burst's trace.
std::vector<Bytes> DecodedWrite(const std::vector<std::string>& burst) {
  for (const std::string& line : burst) {
    const std::string prefix = "FT_Write count=";
    if (line.rfind(prefix, 0) != 0) continue;
    const std::size_t data = line.find(" data=");
    const std::size_t status = line.find(" status=");
    EXPECT_NE(data, std::string::npos);
    EXPECT_NE(status, std::string::npos);
    const Bytes states = HexBytes(line.substr(data + 6, status - data - 6));
    EXPECT_EQ(std::to_string(states.size()), line.substr(prefix.size(), data - prefix.size()));
    const bus::DecodedBurst decoded = bus::DecodeBurst(states);
    EXPECT_TRUE(decoded.ok());
    std::vector<Bytes> messages;
    for (const auto& m : decoded.messages) messages.push_back(m.bytes);
    return messages;
  }
  ADD_FAILURE() << "no FT_Write in the burst";
  return {};
}

bool IsClose(const std::string& line) {
  return line.rfind("FT_Close", 0) == 0;
}

// A click on a scroll bar's arrow with no board: the first burst's error box opens while the
// mouse button is still down, and the user lets go while the box is up, at once or after
// reading it for longer than the bar's auto-repeat delay. The release never reaches the
// blocked window, so the bar must not keep stepping on its own inside the box: one click, one
// step, one burst, five boxes in call order.
TEST(SimEdition, ArrowClickWithNoBoardStepsOnceWhileItsBoxesAreOpen) {
  for (const int holdMs : {0, 800}) {
    SCOPED_TRACE("button held " + std::to_string(holdMs) + " ms with the box up");
    ui::SimOptions options;
    options.noDevice = true;
    std::ostringstream out;
    ui::SimEdition sim(options, out, "Quarvelsdr-sim");
    ui::TForm1* form = nullptr;
    {
      BoxCloser startUp;
      form = &sim.Start();
    }
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form));
    QScrollBar* bar = ui_test::FindIn<QScrollBar>(*form, "ScrollBar1");
    const QPoint rightArrow(bar->width() - 5, bar->height() / 2);
    const int before = bar->value();
    out.str("");

    // The press and release go through the platform, as real ones would (the application then
    // knows the button is down); the release is blocked with the window. The first box stays
    // up well past the bar's auto-repeat delay.
    std::vector<std::string> texts;
    bool released = false;
    QElapsedTimer firstBoxUp;
    QTimer user;
    user.setInterval(20);
    QObject::connect(&user, &QTimer::timeout, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr) return;
      if (!firstBoxUp.isValid()) firstBoxUp.start();
      if (!released && firstBoxUp.elapsed() >= holdMs) {
        released = true;
        QTest::mouseRelease(form->windowHandle(), Qt::LeftButton, {}, bar->mapTo(form, rightArrow));
      }
      if (texts.empty() && firstBoxUp.elapsed() < 800 + holdMs) return;
      texts.push_back(box->text().toStdString());
      QTest::keyClick(box, Qt::Key_Escape);
    });
    user.start();
    QTest::mousePress(form->windowHandle(), Qt::LeftButton, {}, bar->mapTo(form, rightArrow));
    QTest::qWait(300);  // a runaway repeat would go on here
    user.stop();

    EXPECT_EQ(bar->value(), before + 1);
    EXPECT_EQ(texts, (std::vector<std::string>{
                         "FT_Open - Device not found...", "FT_SetBitMode  - Invalid handle...",
                         "FT_SetBaudRate - Invalid handle...", "FT_Write - Invalid handle...",
                         "FT_Close - Invalid handle..."}));
    int opens = 0;
    for (const std::string& line : Lines(out.str())) opens += line.rfind("FT_Open ", 0) == 0;
    EXPECT_EQ(opens, 1) << out.str();
  }
}

// A held arrow, then a menu opened by the keyboard (the Menu key) while the button is still
// down: the menu takes the pointer, so the release goes to the menu, or, once the menu has
// closed, perhaps to another program's window and never to the panel. The bar lets go when the
// menu opens: no step and no burst follow, whichever bar was held.
TEST(SimEdition, HeldArrowStopsWhenAMenuTakesThePointer) {
  const struct {
    const char* name;
    const char* bar;
    bool releaseToTheMenu;
  } rows[] = {{"tuning, released on the menu", "ScrollBar1", true},
              {"level, released on the menu", "ScrollBar4", true},
              {"tuning, released elsewhere after the menu", "ScrollBar1", false}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    std::ostringstream out;
    ui::SimEdition sim(ui::SimOptions{}, out, "Quarvelsdr-sim");
    ui::TForm1& form = sim.Start();
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    QScrollBar* bar = ui_test::FindIn<QScrollBar>(form, row.bar);
    const QPoint rightArrow(bar->width() - 5, bar->height() / 2);
    const int before = bar->value();
    // Through the platform, as a real press comes: the application then knows the button is
    // down.
    QTest::mousePress(form.windowHandle(), Qt::LeftButton, {}, bar->mapTo(&form, rightArrow));
    QTest::qWait(800);  // past the repeat's delay (500 ms): the bar is stepping
    ASSERT_GT(bar->value(), before + 1);

    QMenu menu;
    menu.addAction(QStringLiteral("Copy"));
    menu.popup(form.mapToGlobal(QPoint(20, 20)));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&menu));
    QTest::qWait(100);
    const int atTheMenu = bar->value();
    if (row.releaseToTheMenu)
      QTest::mouseRelease(menu.windowHandle(), Qt::LeftButton, {}, QPoint(-5, -5));
    QTest::qWait(100);
    menu.close();
    out.str("");
    QTest::qWait(400);  // a runaway repeat would go on stepping here

    EXPECT_LE(bar->value(), atTheMenu + 1);
    int bursts = 0;
    for (const std::string& line : Lines(out.str())) bursts += line.rfind("FT_Write ", 0) == 0;
    EXPECT_EQ(bursts, 0);
    if (!row.releaseToTheMenu)  // the button up again for what follows
      QTest::mouseRelease(form.windowHandle(), Qt::LeftButton, {}, QPoint(1, 1));
  }
}

// Input, attenuator and "upload RAM" clicked in the simulated edition's window, read back from
// the trace it prints: what a tool watching the panel from outside sees.
// The line states of every FT_Write in a trace, in order.
std::vector<Bytes> WrittenStates(const std::string& trace) {
  std::vector<Bytes> writes;
  for (const std::string& line : Lines(trace)) {
    const std::size_t data = line.find(" data=");
    if (line.rfind("FT_Write ", 0) == 0 && data != std::string::npos)
      writes.push_back(HexBytes(line.substr(data + 6, line.find(" status=") - data - 6)));
  }
  return writes;
}

TEST(SimEdition, SelectionAndUploadClickedInTheWindowAppearInTheTrace) {
  testing::TempDir dir;
  const std::string image = dir.File("image.bin", testing::Ramp(256, 3));
  std::ostringstream out;
  ui::SimEdition sim(ui::SimOptions{}, out, "Quarvelsdr-sim");
  ui::TForm1& form = sim.Start();
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  out.str("");

  {
    const ui_test::FileDialogUser user(image);  // types the image's path into the file dialog
    QTest::mouseClick(ui_test::FindIn<QPushButton>(form, "Mux7"), Qt::LeftButton);
    QTest::mouseClick(ui_test::FindIn<QPushButton>(form, "db20"), Qt::LeftButton);
    QTest::mouseClick(ui_test::FindIn<QPushButton>(form, "RAMbin"), Qt::LeftButton);
  }

  for (const std::string& line : Lines(out.str()))
    EXPECT_EQ(line.rfind("MessageBox", 0), std::string::npos) << line;
  const std::vector<Bytes> writes = WrittenStates(out.str());
  ASSERT_EQ(writes.size(), 2u + 16u);
  EXPECT_EQ(writes[0].front() & 0x7C, 0x1C);  // In8 alone
  for (std::size_t b = 1; b < writes.size(); ++b)
    for (std::uint8_t state : writes[b]) ASSERT_EQ(state & 0xFC, 0x5C) << "burst " << b;
  for (std::size_t page = 0; page < 16; ++page) {
    const bus::DecodedBurst decoded = bus::DecodeBurst(writes[2 + page]);
    EXPECT_TRUE(decoded.ok());
    ASSERT_EQ(decoded.messages.size(), 1u);
    Bytes expected = {0xD2, static_cast<std::uint8_t>(page * 16)};
    for (std::size_t i = 0; i < 16; ++i)
      expected.push_back(static_cast<std::uint8_t>(3 + page * 16 + i));
    EXPECT_EQ(decoded.messages[0].bytes, expected) << "page " << page;
  }
}

// Names as they are on disk. The name box reads quotes as a list of names; a name with a
// quote in it is the one file or folder it names (never a folder its pieces name), several
// names upload nothing, and a name that looks like markup or holds line breaks reaches the box
// as it stands and the trace as one line.
TEST(SimEdition, FileNamesAreTakenAndShownAsTheyStand) {
  testing::TempDir dir;
  dir.File("my\"x.bin", Bytes(256, 0x66));
  dir.File("x.bin", Bytes(256, 0x77));
  dir.File("x.bin\"", Bytes(256, 0x33));
  std::filesystem::create_directory(dir.Path("my\"dir"));
  std::filesystem::create_directory(dir.Path("dir"));
  dir.File("my\"dir/in.bin", Bytes(256, 0x55));
  dir.File("dir/in.bin", Bytes(256, 0x44));
  std::filesystem::create_directory(dir.Path("\"qdir"));
  dir.File("\"qdir/in.bin", Bytes(256, 0x22));
  dir.File("qdir", Bytes(256, 0x21));
  const std::string oddName =
      "a<b>b\n\"c\\d\xC2\x85"
      "e\xE2\x80\xA8"
      "f.bin";
  const std::string odd = dir.File(oddName, Bytes(3, 0x11));
  const std::string tooShort = "\" is 3 bytes long; an image needs 256 bytes.";
  const std::string tooShortLine = "\\\" is 3 bytes long; an image needs 256 bytes.";
  struct Row {
    std::vector<std::string> typed;  // into the name box, one after the other
    int pageFill;                    // the byte every page carries; -1: nothing sent
    std::string box;                 // the one box shown, empty for none
    std::string boxLine;             // its text on the trace
  };
  const Row rows[] = {
      {{"my\"x.bin"}, 0x66, "", ""},
      {{"x.bin\""}, 0x33, "", ""},
      {{R"("x.bin" "my"x.bin")"}, -1, "", ""},
      {{"my\"dir", "in.bin"}, 0x55, "", ""},
      {{"\"qdir", "in.bin"}, 0x22, "", ""},
      {{odd},
       -1,
       "\"" + odd + tooShort,
       "\\\"" + dir.Path(R"(a<b>b\n\"c\\d\xC2\x85e\xE2\x80\xA8f.bin)") + tooShortLine},
  };
  std::ostringstream out;
  ui::SimEdition sim(ui::SimOptions{}, out, "Quarvelsdr-sim");
  ui::TForm1& form = sim.Start();
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  for (const Row& row : rows) {
    SCOPED_TRACE(row.typed.front());
    out.str("");
    std::size_t typed = 0;
    int idle = 0;
    std::vector<QString> boxes;  // what a screen reader reads on each box
    QTimer user;
    user.setInterval(5);
    QObject::connect(&user, &QTimer::timeout, [&] {
      QWidget* modal = QApplication::activeModalWidget();
      auto* dialog = qobject_cast<QFileDialog*>(modal);
      if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
        boxes.push_back(QAccessible::queryAccessibleInterface(label)->text(QAccessible::Name));
        QTest::keyClick(box, Qt::Key_Escape);
      } else if (dialog && !dialog->isActiveWindow()) {
        dialog->activateWindow();
      } else if (dialog && (typed == 0 || ++idle > 20)) {  // the dialog is still open
        idle = 0;
        if (typed == row.typed.size()) {
          dialog->reject();  // the user gives up
          return;
        }
        if (typed == 0) dialog->setDirectory(QString::fromStdString(dir.Path("")));
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        name->setFocus();  // the user types into the box (which keeps what is typed there)
        name->setText(QString::fromStdString(row.typed[typed++]));
        QTest::keyClick(name, Qt::Key_Return);
      }
    });
    user.start();
    QTest::mouseClick(ui_test::FindIn<QPushButton>(form, "RAMbin"), Qt::LeftButton);
    user.stop();

    const std::vector<Bytes> writes = WrittenStates(out.str());
    if (row.pageFill < 0) {
      EXPECT_TRUE(writes.empty());
    } else {
      EXPECT_EQ(writes.size(), 16u);
      for (const Bytes& page : writes) {
        const bus::DecodedBurst decoded = bus::DecodeBurst(page);
        EXPECT_EQ(decoded.messages.size(), 1u);
        if (!decoded.messages.empty()) {
          EXPECT_EQ(decoded.messages[0].bytes.back(), row.pageFill);
        }
      }
    }
    std::vector<std::string> boxLines;
    for (const std::string& line : Lines(out.str()))
      if (line.rfind("MessageBox", 0) == 0) boxLines.push_back(line);
    std::vector<std::string> shown;
    for (const QString& box : boxes) shown.push_back(box.toStdString());
    EXPECT_EQ(shown, row.box.empty() ? std::vector<std::string>{} : std::vector{row.box});
    EXPECT_EQ(boxLines, row.box.empty() ? std::vector<std::string>{}
                                        : std::vector<std::string>{
                                              "MessageBox caption=\"Quarvelsdr-sim\" text=\"" +
                                              row.boxLine + "\""});
  }
}

TEST(SimProgram, PrintsTheStartUpBurstsOnItsTrace) {
  SimProcess sim({});
  ASSERT_TRUE(sim.Started());
  const std::vector<std::string> clock = sim.ReadUntil(IsClose);
  ASSERT_EQ(clock.size(), 5u);
  EXPECT_EQ(clock[0], "FT_Open index=0 status=0");
  EXPECT_EQ(clock[1], "FT_SetBitMode mask=FF mode=01 status=0");
  EXPECT_EQ(clock[2], "FT_SetBaudRate baud=38400 status=0");
  EXPECT_EQ(clock[4], "FT_Close status=0");
  const std::vector<Bytes> expectedClock = {
      {0xD2, 0x40, 0xD2, 0x5A, 0x30}, {0xD2, 0x0C, 0x0A}, {0xD2, 0x13, 0x7F}};
  EXPECT_EQ(DecodedWrite(clock), expectedClock);

  const std::vector<std::string> level = sim.ReadUntil(IsClose);
  EXPECT_EQ(DecodedWrite(level), std::vector<Bytes>({{0x90, 0x40, 0x4D}}));
}

TEST(SimProgram, FailingCallsPrintTheirBoxAfterTheirTraceLine) {
  const struct {
    QStringList args;
    const char* failingCall;
    const char* box;
  } rows[] = {
      {{"--no-device"},
       "FT_Open index=0 status=2",
       R"(MessageBox caption="Fehler" text="FT_Open - Device not found...")"},
      {{"--status", "FT_SetBaudRate=7"},
       "FT_SetBaudRate baud=38400 status=7",
       R"(MessageBox caption="Fehler" text="FT_SetBaudRate - Invalid baud rate...")"},
      {{"--status", "FT_Close=18", "--status", "FT_Open=0"},
       "FT_Close status=18",
       R"(MessageBox caption="Fehler" text="")"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.failingCall);
    SimProcess sim(row.args);
    ASSERT_TRUE(sim.Started());
    // The box is modal: the burst stops there until someone closes it.
    const std::vector<std::string> lines =
        sim.ReadUntil([](const std::string& l) { return l.rfind("MessageBox", 0) == 0; });
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], row.failingCall);
    EXPECT_EQ(lines.back(), row.box);
  }
}

// The start-up timing's convention: 1 quits once the panel has painted, 2 once the bus
// monitor, opened after the panel, has painted too. Either way the start-up bursts are out,
// and the moment of showing (wall-clock nanoseconds) is in the file named for it: after the
// start, before the end.
TEST(SimProgram, QuitsOnceItsWindowsAreShownWhenAsked) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString shownAt = dir.filePath(QStringLiteral("shown-at"));
  const auto now = [] {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
  };
  for (const char* when : {"1", "2"}) {
    SCOPED_TRACE(when);
    QFile::remove(shownAt);
    const long long started = now();
    SimProcess sim({}, QString::fromLatin1(when), shownAt);
    ASSERT_TRUE(sim.Started());
    ASSERT_TRUE(sim.Process().waitForFinished(30000));
    const long long ended = now();
    EXPECT_EQ(sim.Process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(sim.Process().exitCode(), 0);
    EXPECT_EQ(sim.Process().readAllStandardOutput().count("FT_Write"), 2);
    QFile file(shownAt);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << "no time of showing was written";
    const QByteArray text = file.readAll();
    bool number = false;
    const long long shown = text.trimmed().toLongLong(&number);
    ASSERT_TRUE(number && text.endsWith('\n')) << text.constData();
    EXPECT_GT(shown, started);
    EXPECT_LT(shown, ended);
  }
}

// Started from the desktop menu, standard output is the session's log: with --no-trace the
// program prints nothing there, and still opens both its windows.
TEST(SimProgram, NoTracePrintsNothing) {
  SimProcess sim({QStringLiteral("--no-trace")}, QStringLiteral("2"));
  ASSERT_TRUE(sim.Started());
  ASSERT_TRUE(sim.Process().waitForFinished(30000));
  EXPECT_EQ(sim.Process().exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(sim.Process().exitCode(), 0);
  EXPECT_EQ(sim.Process().readAllStandardOutput(), QByteArray());
}

// A script that reads the trace and stops early (`QuarvelSDR-sim | head`) leaves standard output
// a pipe nobody reads; a file under a size limit (`ulimit -f`) stops taking lines. Either way
// the program must carry on, with the signal at its default action as a shell gives it: show
// its window and end normally, saying on standard error when the trace ended early.
TEST(SimProgram, KeepsRunningWhenNothingTakesItsTrace) {
  testing::TempDir dir;
  const std::string file = dir.Path("trace.txt");
  struct Case {
    const char* name;
    std::function<void()> inChild;
    QByteArray note;
  };
  const Case cases[] = {
      {"reader gone",
       [] {
         int ends[2];
         if (pipe(ends) != 0 || dup2(ends[1], STDOUT_FILENO) < 0) _exit(99);
         close(ends[0]);
         signal(SIGPIPE, SIG_DFL);
       },
       {}},
      {"file at its size limit",
       [&file] {
         const int out = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
         const rlimit limit{100, 100};
         if (out < 0 || dup2(out, STDOUT_FILENO) < 0 || setrlimit(RLIMIT_FSIZE, &limit) != 0)
           _exit(99);
         signal(SIGXFSZ, SIG_DFL);
       },
       "QuarvelSDR-sim: trace ended: standard output refused a write (" +
           QByteArray(std::strerror(EFBIG)) + ")\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QProcess sim;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("QUARVEL_EXIT_WHEN_SHOWN", "1");
    sim.setProcessEnvironment(env);
    sim.setChildProcessModifier(c.inChild);  // in the child, after its channels are set up
    sim.start(QStringLiteral(QUARVEL_SIM_EXE), {});
    ASSERT_TRUE(sim.waitForFinished(30000));
    EXPECT_EQ(sim.exitStatus(), QProcess::NormalExit) << "ended by a signal";
    EXPECT_EQ(sim.exitCode(), 0);
    // Only the toolkit's own warnings besides (a session without a runtime folder, say).
    const QByteArray said = sim.readAllStandardError();
    EXPECT_EQ(said.count("QuarvelSDR-sim:"), c.note.isEmpty() ? 0 : 1) << said.constData();
    EXPECT_TRUE(said.contains(c.note)) << said.constData();
  }
}

// Everything readable on fd until nothing more arrives for quietMs.
std::string ReadUntilQuiet(int fd, int quietMs) {
  std::string text;
  char chunk[65536];
  pollfd p{fd, POLLIN, 0};
  while (poll(&p, 1, quietMs) > 0) {
    const ssize_t n = read(fd, chunk, sizeof chunk);
    if (n <= 0) break;
    text.append(chunk, static_cast<std::size_t>(n));
  }
  return text;
}

// A reader that stops reading (`QuarvelSDR-sim | less`, left waiting) holds nothing up: the
// trace goes on at once, lines beyond the backlog are dropped whole, and once the reader reads
// again it gets the lines kept, in order, and standard error says how many were dropped.
TEST(SimProgram, TraceToAReaderThatStopsReadingNeverWaits) {
  int out[2], err[2];
  ASSERT_EQ(pipe(out), 0);
  ASSERT_EQ(pipe(err), 0);
  constexpr int kLines = 20000;
  std::uint64_t dropped = 0;
  std::string read;
  {
    ui::TraceOutput trace(out[1], 256 * 1024, err[1]);
    QElapsedTimer clock;
    clock.start();
    // Two lines to a flush: lines handed on together and dropped together count each.
    for (int i = 0; i < kLines; i += 2)
      trace.Stream() << "FT_Write count=317 line " << i << " " << std::string(80, 'x') << "\n"
                     << "FT_Write count=317 line " << i + 1 << " " << std::string(80, 'x')
                     << std::endl;
    EXPECT_LT(clock.elapsed(), 2000) << "the program waited for the reader";
    dropped = trace.DroppedLines();
    EXPECT_GT(dropped, 0u);
    read = ReadUntilQuiet(out[0], 500);
  }
  std::istringstream lines(read);
  std::string line;
  int kept = 0, last = -1;
  while (std::getline(lines, line)) {
    int number = -1;
    ASSERT_EQ(std::sscanf(line.c_str(), "FT_Write count=317 line %d ", &number), 1) << line;
    ASSERT_EQ(line.size(),
              std::string("FT_Write count=317 line  ").size() + std::to_string(number).size() + 80)
        << "a line cut short";
    ASSERT_GT(number, last) << "out of order";
    if (kept == 0) {
      EXPECT_EQ(number, 0) << "the first lines are kept";
    }
    last = number;
    ++kept;
  }
  EXPECT_EQ(static_cast<std::uint64_t>(kept) + dropped, static_cast<std::uint64_t>(kLines));
  EXPECT_EQ(ReadUntilQuiet(err[0], 100),
            "QuarvelSDR-sim: " + std::to_string(dropped) +
                " trace lines dropped: standard output was not being read\n");
  for (int fd : {out[0], out[1], err[0], err[1]}) close(fd);
}

// The program ends while its reader still takes nothing: after a short wait, the lines left
// unwritten are counted on standard error, so that none goes missing unsaid, and what the
// reader gets afterwards is whole lines, exactly the ones not counted. The trace runs in a
// process of its own that lives on a while after it (the program's own end takes some
// milliseconds more), and the reader starts reading as soon as the note is out: no line
// counted as lost may arrive then. A terminal in non-blocking mode may take part of a line
// before the end stops the writer: that line is cut, and counted.
TEST(SimProgram, TraceLeftUnwrittenAtTheEndIsCountedAndLeavesWholeLines) {
  constexpr int kLines =
      5000;  // 500 kB: more than a pipe or a terminal holds, less than the backlog
  constexpr std::size_t kLineBytes = 100;
  const std::string line = std::string(kLineBytes - 1, 'x') + "\n";
  for (const bool terminal : {false, true}) {
    SCOPED_TRACE(terminal ? "non-blocking terminal" : "pipe");
    int out[2], err[2];  // read end, write end
    if (terminal) {
      ASSERT_EQ(openpty(&out[0], &out[1], nullptr, nullptr, nullptr), 0);
      termios raw{};
      ASSERT_EQ(tcgetattr(out[1], &raw), 0);
      cfmakeraw(&raw);
      ASSERT_EQ(tcsetattr(out[1], TCSANOW, &raw), 0);
      ASSERT_EQ(fcntl(out[1], F_SETFL, O_NONBLOCK), 0);
    } else {
      ASSERT_EQ(pipe(out), 0);
    }
    ASSERT_EQ(pipe(err), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      close(out[0]);
      close(err[0]);
      {
        ui::TraceOutput trace(out[1], 1024 * 1024, err[1], 200);
        for (int i = 0; i < kLines; ++i) trace.Stream() << line << std::flush;
      }
      usleep(500 * 1000);
      _exit(0);
    }
    close(out[1]);
    close(err[1]);
    std::string note;
    for (char c = 0; note.find('\n') == std::string::npos && read(err[0], &c, 1) == 1;) note += c;
    const std::string arrived = ReadUntilQuiet(out[0], 200);  // to its end, with the process's
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    unsigned long lost = 0;
    ASSERT_EQ(std::sscanf(note.c_str(),
                          "QuarvelSDR-sim: %lu trace lines dropped: standard output "
                          "was not being read\n",
                          &lost),
              1)
        << note;
    const std::size_t whole = arrived.size() - arrived.size() % kLineBytes;
    if (!terminal) {
      EXPECT_EQ(whole, arrived.size()) << "a line cut short";
    }
    EXPECT_EQ(arrived.find_first_not_of(line), std::string::npos);
    EXPECT_EQ(arrived.substr(whole), line.substr(0, arrived.size() - whole));
    const auto lines = static_cast<unsigned long>(whole / kLineBytes);
    EXPECT_GT(lost, 0u);
    EXPECT_EQ(lines + lost, static_cast<unsigned long>(kLines));
    for (int fd : {out[0], err[0]}) close(fd);
  }
}

// Fills the pipe whose write end is fd with `filler` (no newline in it); the end stays blocking.
void FillPipe(int fd, char filler) {
  fcntl(fd, F_SETFL, O_NONBLOCK);
  for (const std::string block(4096, filler); write(fd, block.data(), block.size()) > 0;) {
  }
  fcntl(fd, F_SETFL, 0);
}

// A disk that fills up ends the trace with a note on standard error; when standard error is
// slow to take it (a terminal scrolled back, a full pipe), the program's end waits for that
// note instead of cutting it off.
TEST(SimProgram, TheNoteOnARefusedWriteIsNotCutOffByTheEnd) {
  int err[2];
  ASSERT_EQ(pipe(err), 0);
  FillPipe(err[1], '~');
  const int full = open("/dev/full", O_WRONLY | O_CLOEXEC);
  ASSERT_GE(full, 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    {
      ui::TraceOutput trace(full, 16 * 1024, err[1], 2000);
      trace.Stream() << "FT_Open index=0 status=0" << std::endl;
      usleep(100 * 1000);  // the writer meets the full disk and waits to say so
    }
    _exit(0);
  }
  close(full);
  close(err[1]);
  usleep(300 * 1000);  // the program is ending by now
  std::string notes = ReadUntilQuiet(err[0], 3000);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  notes.erase(std::remove(notes.begin(), notes.end(), '~'), notes.end());
  EXPECT_EQ(notes, "QuarvelSDR-sim: trace ended: standard output refused a write (" +
                       std::string(std::strerror(ENOSPC)) + ")\n");
  close(err[0]);
}

// Closed by SIGTERM or SIGHUP while its reader takes nothing, the program waits for the reader
// before it ends; the same signal once more in that wait (a closing terminal sends SIGHUP
// twice) does not end it before it has said how many trace lines were not taken: the ten of
// the start-up bursts.
TEST(SimProgram, ASignalAgainWhileTheTraceWaitsForItsReaderLosesNoLineUnsaid) {
  for (const int again : {SIGTERM, SIGHUP}) {
    SCOPED_TRACE(strsignal(again));
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString shownAt = dir.filePath(QStringLiteral("shown-at"));
    int out[2];
    ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
    FillPipe(out[1], 'f');  // a reader that takes nothing
    QProcess sim;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("QUARVEL_EXIT_WHEN_SHOWN", "1");
    env.insert("QUARVEL_SHOWN_AT_FILE", shownAt);
    sim.setProcessEnvironment(env);
    const int trace = out[1];
    sim.setChildProcessModifier([trace] {  // in the child, after its channels are set up
      if (dup2(trace, STDOUT_FILENO) < 0) _exit(99);
      for (const int s : {SIGTERM, SIGHUP}) signal(s, SIG_DFL);
    });
    sim.start(QStringLiteral(QUARVEL_SIM_EXE), {});
    ASSERT_TRUE(sim.waitForStarted(10000));
    close(out[1]);
    // Once the panel is shown the program quits, as when closed, and waits for its reader.
    QElapsedTimer clock;
    clock.start();
    while (!QFile::exists(shownAt) && clock.elapsed() < 30000) usleep(10 * 1000);
    ASSERT_TRUE(QFile::exists(shownAt)) << "the panel was never shown";
    kill(static_cast<pid_t>(sim.processId()), again);
    usleep(300 * 1000);
    kill(static_cast<pid_t>(sim.processId()), again);
    ASSERT_TRUE(sim.waitForFinished(30000));
    close(out[0]);
    EXPECT_EQ(sim.exitStatus(), QProcess::NormalExit) << "ended by the signal";
    EXPECT_EQ(sim.exitCode(), 0);
    const QByteArray said = sim.readAllStandardError();
    EXPECT_TRUE(said.contains(
        "QuarvelSDR-sim: 10 trace lines dropped: standard output was not being read\n"))
        << said.constData();
  }
}

// The reader catches up just before the program ends, while standard error is slow to take
// the note on the lines dropped meanwhile (a terminal scrolled back, a full pipe): the end
// waits for that note instead of cutting it off.
TEST(SimProgram, TheNoteOnDroppedLinesIsNotCutOffByTheEnd) {
  constexpr int kLines = 2000;
  int out[2], err[2], written[2], caughtUp[2];
  for (int* fds : {out, err, written, caughtUp}) ASSERT_EQ(pipe(fds), 0);
  // The reader far behind from the first line on, and standard error full: the note has to
  // wait until it is read.
  FillPipe(out[1], 'f');
  FillPipe(err[1], 'f');
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    char sync = 0;
    {
      ui::TraceOutput trace(out[1], 16 * 1024, err[1], 2000);
      for (int i = 0; i < kLines; ++i) trace.Stream() << std::string(99, 'x') << std::endl;
      // Once the reader has caught up, the writer waits to say how many lines were dropped;
      // then the program ends.
      if (write(written[1], &sync, 1) != 1 || read(caughtUp[0], &sync, 1) != 1) _exit(2);
      usleep(100 * 1000);
    }
    _exit(0);
  }
  for (int fd : {out[1], err[1], written[1], caughtUp[0]}) close(fd);
  char sync = 0;
  ASSERT_EQ(read(written[0], &sync, 1), 1);
  std::string arrived = ReadUntilQuiet(out[0], 150);
  ASSERT_EQ(write(caughtUp[1], &sync, 1), 1);
  usleep(300 * 1000);  // the program is ending by now
  std::string notes = ReadUntilQuiet(err[0], 3000);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  arrived += ReadUntilQuiet(out[0], 100);
  for (std::string* text : {&arrived, &notes})
    text->erase(std::remove(text->begin(), text->end(), 'f'), text->end());
  const unsigned long dropped = kLines - arrived.size() / 100;
  EXPECT_GT(dropped, 0u);
  EXPECT_EQ(notes, "QuarvelSDR-sim: " + std::to_string(dropped) +
                       " trace lines dropped: standard output was not being read\n");
  for (int fd : {out[0], err[0], written[0], caughtUp[1]}) close(fd);
}

// A reader gone for good (`| head` done): the trace ends, the program goes on at once.
TEST(SimProgram, TraceToAReaderThatIsGoneEndsAtOnce) {
  const auto previous = std::signal(SIGPIPE, SIG_IGN);  // as the program does
  int out[2];
  ASSERT_EQ(pipe(out), 0);
  close(out[0]);
  QElapsedTimer clock;
  clock.start();
  {
    ui::TraceOutput trace(out[1], 256 * 1024, -1);
    for (int i = 0; i < 20000; ++i) trace.Stream() << std::string(100, 'x') << std::endl;
  }
  EXPECT_LT(clock.elapsed(), 2000);
  close(out[1]);
  std::signal(SIGPIPE, previous);
}

// Standard output in non-blocking mode (set by whoever shares it) is waited for like any
// other: a reader that falls behind by more than a pipe-full and catches up gets every line.
// A file that refuses a write for good ends the trace with a note, never in silence.
TEST(SimProgram, TraceThroughNonBlockingOrRefusingOutput) {
  int out[2], err[2];
  ASSERT_EQ(pipe(out), 0);
  ASSERT_EQ(pipe(err), 0);
  fcntl(out[1], F_SETFL, fcntl(out[1], F_GETFL) | O_NONBLOCK);
  std::string read;
  {
    ui::TraceOutput trace(out[1], 1024 * 1024, err[1]);
    for (int i = 0; i < 2000; ++i) trace.Stream() << std::string(99, 'x') << std::endl;
    QTest::qWait(100);  // the reader is away while the pipe fills
    read = ReadUntilQuiet(out[0], 300);
    trace.Stream() << "after" << std::endl;
    read += ReadUntilQuiet(out[0], 300);
  }
  EXPECT_EQ(read.size(), 2000u * 100 + 6);
  EXPECT_EQ(read.substr(read.size() - 6), "after\n");
  EXPECT_EQ(ReadUntilQuiet(err[0], 100), "");
  for (int fd : {out[0], out[1], err[0], err[1]}) close(fd);

  ASSERT_EQ(pipe(err), 0);
  const int full = open("/dev/full", O_WRONLY | O_CLOEXEC);
  ASSERT_GE(full, 0);
  {
    ui::TraceOutput trace(full, 1024 * 1024, err[1]);
    for (int i = 0; i < 3; ++i) trace.Stream() << "FT_Close status=0" << std::endl;
  }
  EXPECT_EQ(ReadUntilQuiet(err[0], 100),
            "QuarvelSDR-sim: trace ended: standard output refused a write (" +
                std::string(std::strerror(ENOSPC)) + ")\n");
  for (int fd : {full, err[0], err[1]}) close(fd);
}

// Standard output on a full disk (here a file at the process's size limit): the trace ends
// with its note after the last line that fit whole; the piece of the next line that still
// landed is taken back, so that whoever reads the file never meets a cut line. Standard error
// may be the same file (`>trace 2>&1`): a note that does not fit whole is taken back too.
TEST(SimProgram, TraceToAFullFileEndsAfterItsLastWholeLine) {
  std::string line = "FT_Write count=89 data=";
  for (int i = 0; i < 33; ++i) line += "03";
  line += "\n";
  constexpr std::size_t kLines = 100;
  constexpr std::size_t kWholeLinesThatFit = 55;
  const rlim_t fileBytes = kWholeLinesThatFit * line.size() + line.size() / 2;
  std::string whole;
  for (std::size_t i = 0; i < kWholeLinesThatFit; ++i) whole += line;
  const std::string note = "QuarvelSDR-sim: trace ended: standard output refused a write (" +
                           std::string(std::strerror(EFBIG)) + ")\n";
  for (const bool sameFile : {false, true}) {
    SCOPED_TRACE(sameFile ? "standard error the same file" : "standard error apart");
    testing::TempDir dir;
    const std::string path = dir.Path("trace.txt");
    const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ASSERT_GE(file, 0);
    int err[2];
    ASSERT_EQ(pipe(err), 0);
    rlimit previous{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
    rlimit limited = previous;
    limited.rlim_cur = fileBytes;
    // Past the limit a write fails with EFBIG, as one on a full disk fails with ENOSPC,
    // instead of the signal ending the process.
    const auto previousSignal = std::signal(SIGXFSZ, SIG_IGN);
    const bool isLimited = setrlimit(RLIMIT_FSIZE, &limited) == 0;
    if (isLimited) {
      ui::TraceOutput trace(file, 1024 * 1024, sameFile ? file : err[1]);
      for (std::size_t i = 0; i < kLines; ++i) trace.Stream() << line << std::flush;
    }
    setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousSignal);
    ASSERT_TRUE(isLimited);

    std::ifstream in(path, std::ios::binary);
    const std::string written{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    // Here the note does not fit after the last whole line either.
    EXPECT_EQ(written.size(), whole.size())
        << "the file ends in: " << written.substr(written.rfind('\n', written.size() - 2) + 1);
    EXPECT_TRUE(written == whole) << "not the lines written, in order";
    EXPECT_EQ(ReadUntilQuiet(err[0], 100), sameFile ? "" : note);
    for (int fd : {file, err[0], err[1]}) close(fd);
  }
}

TEST(SimProgram, UsageOnRequestOrForABadOption) {
  struct Case {
    QStringList args;
    int exitCode;
    bool usageOnStandardOutput;  // asked for: standard output, nothing on standard error
  };
  for (const Case& c : {Case{{"--bogus"}, 2, false}, Case{{"--status", "FT_Read=1"}, 2, false},
                        Case{{"--status"}, 2, false}, Case{{"--help"}, 0, true},
                        Case{{"--no-device", "-h", "--bogus"}, 0, true}}) {
    SCOPED_TRACE(c.args.join(' ').toStdString());
    SimProcess sim(c.args);
    ASSERT_TRUE(sim.Started());
    ASSERT_TRUE(sim.Process().waitForFinished(30000));
    EXPECT_EQ(sim.Process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(sim.Process().exitCode(), c.exitCode);
    const QByteArray out = sim.Process().readAllStandardOutput();
    const QByteArray err = sim.Process().readAllStandardError();
    // The usage only: no trace line, so no burst was sent and no window was opened.
    EXPECT_TRUE(
        (c.usageOnStandardOutput ? out : err)
            .startsWith(c.usageOnStandardOutput ? "usage: QuarvelSDR-sim" : "QuarvelSDR-sim: "));
    EXPECT_TRUE((c.usageOnStandardOutput ? out : err).contains("  --help, -h"));
    EXPECT_TRUE((c.usageOnStandardOutput ? err : out).isEmpty());
  }
}

// The usage asked for but not written (a full disk, no standard output at all) is an error, not
// a success.
TEST(SimProgram, UsageThatCannotBeWrittenIsAnError) {
  for (const char* output : {">/dev/full", ">&-"}) {
    SCOPED_TRACE(output);
    QProcess sim;
    sim.start(QStringLiteral("sh"),
              {QStringLiteral("-c"), QStringLiteral("exec \"$0\" --help %1").arg(output),
               QStringLiteral(QUARVEL_SIM_EXE)});
    ASSERT_TRUE(sim.waitForFinished(30000));
    EXPECT_EQ(sim.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(sim.exitCode(), 1);
    EXPECT_TRUE(sim.readAllStandardError().contains("could not be written"));
  }
}

}  // namespace
}  // namespace quarvel
