// SPDX-License-Identifier: GPL-3.0-or-later
// Long sessions through the real window on the simulated board. The user clicks every band,
// drags the tuning bar across each band's whole range with the thumb, the mouse and the keys,
// clicks every input and attenuator, moves the trim and level bars and uploads two images
// through the window's file dialog. Every burst the board receives is read back as the board
// reads it, following on from the previous burst's last line state, and compared with what the
// window shows at that moment. Then the board is unplugged in the middle of a drag.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTimer>

#include <cmath>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "PanelRig.h"
#include "reliability/Wire.h"

namespace quarvel::ui_test {
namespace {

using reliability::Bytes;
using reliability::Messages;
using reliability::MessagesOf;
using DriverCall = port::DriverCall;

// The kHz value of a frequency text ("6075 kHz", "145,5 kHz"); NaN when it is none.
double KhzOfText(QString text) {
  if (!text.endsWith(QStringLiteral(" kHz"))) return std::nan("");
  text.chop(4);
  text.replace(u',', u'.');
  bool ok = false;
  const double khz = text.toDouble(&ok);  // always the C locale's point
  return ok ? khz : std::nan("");
}

// Reads every burst back the moment it reaches the board and compares it with the window: the
// tuning position with the tuning bar, the frequency the registers give plus the offset with the
// Freq label, the trim with the trim bar, the level with the level bar and Edit1, and the input
// and attenuator lines with the buttons the script has clicked.
class WireAudit {
 public:
  explicit WireAudit(PanelRig& w) : w_(w) {
    for (const Bytes& states : w.driver.Writes()) Check(states);  // the start-up bursts
    writes_ = w.driver.OnBoardWrite(
        [this](const std::uint8_t* data, std::uint32_t n) { Check(Bytes(data, data + n)); });
  }

  std::string phase = "start-up";
  int input = 0;       // Mux0 ... Mux7
  int attenuator = 0;  // db0, db10, db20
  std::uint8_t uploadAddress = 0;
  Bytes uploadImage;

  std::map<std::size_t, int> bursts;  // by state count
  std::vector<std::string> problems;

  // The Freq label shows the last clock burst's frequency plus the offset (after an offset
  // change, which sends nothing).
  void CheckShown() {
    const double shown = KhzOfText(w_.Text("Freq"));
    const double expected = lastClockKhz_ + w_.Text("Offset").toInt();
    if (!(std::abs(shown - expected) < 1e-9))
      Problem("Freq shows \"" + w_.Text("Freq").toStdString() + "\", the board is tuned to " +
              QString::number(lastClockKhz_).toStdString() + " kHz, offset " +
              w_.Text("Offset").toStdString());
  }

 private:
  void Problem(const std::string& what) {
    if (problems.size() < 20)
      problems.push_back(phase + ", burst " + std::to_string(count_) + ": " + what);
  }

  void Check(const Bytes& states) {
    ++count_;
    ++bursts[states.size()];
    const bus::DecodedBurst decoded = bus::DecodeBurst(states, lastState_);
    if (!states.empty()) lastState_ = states.back();
    for (const bus::BusFault& f : decoded.faults)
      Problem(bus::ViolationText(f.kind) + " at state " + std::to_string(f.state));
    const int selection = 4 * input + 32 * attenuator;
    for (std::uint8_t s : states)
      if ((s & 0xFC) != selection) {
        Problem("a state without the selection bits " + std::to_string(selection));
        break;
      }

    const Messages m = MessagesOf(decoded);
    switch (states.size()) {
      case 317: {
        if (!reliability::HasClockBurstShape(m)) return Problem("clock burst of the wrong shape");
        const int position = reliability::TuningPositionOnWire(m[0]);
        if (position != w_.Bar("ScrollBar1")->value())
          Problem("tuning position " + std::to_string(position) + " sent, the bar shows " +
                  std::to_string(w_.Bar("ScrollBar1")->value()));
        if (m[2][2] != w_.Bar("ScrollBar3")->value()) Problem("crystal trim");
        lastClockKhz_ = reliability::TunedKhzOnWire(m);
        CheckShown();
        break;
      }
      case 89: {
        const int level = w_.Bar("ScrollBar4")->value();
        if (m != Messages{{0x90, 0x40, static_cast<std::uint8_t>(level)}})
          Problem("level burst of the wrong content");
        if (w_.Text("Edit1") != QString::number(level))
          Problem("Edit1 shows " + w_.Text("Edit1").toStdString());
        break;
      }
      case 494:
        if (m.size() != 1 || m[0].size() != 18 || m[0][0] != uploadAddress || m[0][1] % 16 != 0)
          return Problem("page burst of the wrong shape");
        if (m[0] != reliability::PageMessage(uploadAddress, uploadImage, m[0][1] / 16))
          Problem("page " + std::to_string(m[0][1] / 16) + " content");
        break;
      default:
        Problem(std::to_string(states.size()) + " line states");
    }
  }

  PanelRig& w_;
  std::uint8_t lastState_ = 0;  // the lines start low
  double lastClockKhz_ = 0;
  int count_ = 0;
  port::Subscription writes_;  // last, so that it ends first
};

// Holds the thumb and moves it through every position up to `to`, one at a time, as a slow
// drag does; tracking turns each into a change.
void DragThumbThroughEveryPosition(QScrollBar* bar, int to) {
  bar->setSliderDown(true);
  const int dir = to > bar->sliderPosition() ? 1 : -1;
  while (bar->sliderPosition() != to) bar->setSliderPosition(bar->sliderPosition() + dir);
  bar->setSliderDown(false);
}

// Presses the mouse on the thumb, moves it pixel by pixel past the bar's end in direction dir
// and releases it there.
void DragThumbWithTheMouse(QScrollBar* bar, int dir) {
  QPoint at = ThumbRect(bar).center();
  QTest::mousePress(bar, Qt::LeftButton, {}, at);
  for (int px = 0; px < bar->width(); ++px) {
    at.rx() += dir;
    QTest::mouseMove(bar, at);
  }
  QTest::mouseRelease(bar, Qt::LeftButton, {}, at);
}

// Answers the window's file dialog with a path, typed into its name box, as the user would.
// Gives up (and cancels the dialog) after a bounded number of looks, so the test cannot hang.
class DialogAnswer {
 public:
  explicit DialogAnswer(QString path) : path_(std::move(path)) {
    QObject::connect(&timer_, &QTimer::timeout, [this] { Look(); });
    timer_.start(5);
  }
  int answered = 0;
  bool gaveUp = false;

 private:
  void Look() {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return;
    auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (name == nullptr || ++looks_ > 50) {
      gaveUp = true;
      dialog->reject();
      return;
    }
    name->setText(path_);
    QTest::keyClick(name, Qt::Key_Return);
    ++answered;
  }

  QString path_;
  QTimer timer_;
  int looks_ = 0;
};

struct BandVisit {
  const char* button;
  Qt::Key offsetKey;  // moves the offset bar before the drags
};

TEST(WindowSession, EveryBurstIsWellFormedAndTheWindowShowsWhatTheBoardIsTunedTo) {
  PanelRig w;
  WireAudit audit(w);

  // Every band, into the high band and out again, each tuned across its whole range.
  const BandVisit bands[] = {
      {"CMD1_4", Qt::Key_Home},  {"CMD2_8", Qt::Key_Right},   {"Cmd4_16", Qt::Key_PageDown},
      {"Cmd10_40", Qt::Key_End}, {"Cmd25_100", Qt::Key_Left}, {"Cmdhigh", Qt::Key_PageUp},
      {"CMD1_4", Qt::Key_Right},
  };
  int clockBurstsBefore = 0;
  for (const BandVisit& band : bands) {
    audit.phase = band.button;
    w.Click(band.button);
    QScrollBar* tuning = w.Bar("ScrollBar1");
    const int min = tuning->minimum(), max = tuning->maximum();

    const auto sent = w.driver.Calls().size();
    w.Key(w.Bar("ScrollBar2"), band.offsetKey);
    EXPECT_EQ(w.driver.Calls().size(), sent) << band.button << ": the offset sent something";
    audit.CheckShown();

    w.Key(tuning, Qt::Key_Home);
    DragThumbThroughEveryPosition(tuning, max);
    EXPECT_EQ(tuning->value(), max) << band.button;
    DragThumbWithTheMouse(tuning, -1);
    EXPECT_EQ(tuning->value(), min) << band.button << ": the mouse drag reaches the minimum";
    for (Qt::Key key :
         {Qt::Key_End, Qt::Key_Left, Qt::Key_Up, Qt::Key_PageUp, Qt::Key_PageUp, Qt::Key_Right,
          Qt::Key_Down, Qt::Key_PageDown, Qt::Key_Home, Qt::Key_PageDown, Qt::Key_Right})
      w.Key(tuning, key);
    DragThumbWithTheMouse(tuning, +1);
    EXPECT_EQ(tuning->value(), max) << band.button << ": the mouse drag reaches the maximum";
    DragThumbThroughEveryPosition(tuning, (min + max) / 2);

    // Each position of the slow drag up was one clock burst.
    EXPECT_GT(audit.bursts[317] - clockBurstsBefore, max - min) << band.button;
    clockBurstsBefore = audit.bursts[317];
    EXPECT_TRUE(reliability::FiveCallsPerBurst(w.driver.Calls())) << band.button;
    w.driver.ClearCalls();
  }

  // Every input with every attenuator step, each followed by a tuning step.
  audit.phase = "selection";
  const char* const attenuators[] = {"db0", "db10", "db20"};
  const char* const inputs[] = {"Mux0", "Mux1", "Mux2", "Mux3", "Mux4", "Mux5", "Mux6", "Mux7"};
  for (int a = 0; a < 3; ++a) {
    audit.attenuator = a;
    w.Click(attenuators[a]);
    for (int i = 0; i < 8; ++i) {
      audit.input = i;
      w.Click(inputs[i]);
      w.Key(w.Bar("ScrollBar1"), i % 2 == 0 ? Qt::Key_Right : Qt::Key_Left);
    }
  }
  audit.attenuator = 1;
  w.Click("db10");
  audit.input = 2;
  w.Click("Mux2");

  // The crystal trim and the level across their whole ranges, both ways.
  audit.phase = "crystal trim";
  w.Key(w.Bar("ScrollBar3"), Qt::Key_End);
  DragThumbThroughEveryPosition(w.Bar("ScrollBar3"), 0);
  w.Key(w.Bar("ScrollBar3"), Qt::Key_PageDown);
  audit.phase = "level";
  w.Key(w.Bar("ScrollBar4"), Qt::Key_Home);
  DragThumbThroughEveryPosition(w.Bar("ScrollBar4"), 255);
  DragThumbWithTheMouse(w.Bar("ScrollBar4"), -1);
  EXPECT_EQ(w.Bar("ScrollBar4")->value(), 0);
  DragThumbThroughEveryPosition(w.Bar("ScrollBar4"), 128);

  // Both uploads, each file chosen in the window's own dialog.
  const testing::TempDir dir;
  const struct {
    const char* button;
    std::uint8_t address;
    std::uint8_t seed;
  } uploads[] = {{"RAMbin", 0xD2, 3}, {"FlashBin", 0xD0, 190}};
  for (const auto& upload : uploads) {
    audit.phase = upload.button;
    audit.uploadAddress = upload.address;
    audit.uploadImage = reliability::PatternImage(upload.seed);
    const int pagesBefore = audit.bursts[494];
    DialogAnswer user(
        QString::fromStdString(dir.File(std::string(upload.button) + ".bin", audit.uploadImage)));
    w.Click(upload.button);
    EXPECT_FALSE(user.gaveUp) << upload.button;
    EXPECT_EQ(user.answered, 1) << upload.button;
    EXPECT_EQ(audit.bursts[494] - pagesBefore, 16) << upload.button;
  }
  // After an upload the next tuning step programs the clock generator again.
  audit.phase = "after the uploads";
  w.Key(w.Bar("ScrollBar1"), Qt::Key_Right);

  EXPECT_EQ(audit.problems, std::vector<std::string>());
  EXPECT_EQ(w.reporter.boxes, std::vector<port::RecordingReporter::Box>());
  EXPECT_TRUE(reliability::FiveCallsPerBurst(w.driver.Calls()));
  // Only the three shapes, each well represented.
  EXPECT_EQ(audit.bursts.size(), 3u);
  EXPECT_GT(audit.bursts[317], 10000);
  EXPECT_GT(audit.bursts[89], 500);
}

// The user drags the tuning thumb; the board disappears at one call of the 11th burst, while
// the thumb is held. Away, the user lets go, picks "In6" and "-10 dB", and drags on; the board
// comes back and the drag goes on. The level converter missed the levels sent while it was
// away: the level the panel shows follows the first burst that reaches the board again.
struct UnplugCase {
  const char* name;
  DriverCall call;                 // the call at which the board goes away
  std::vector<std::string> boxes;  // the boxes of the burst it leaves in
  friend void PrintTo(const UnplugCase& c, std::ostream* os) { *os << c.name; }
};

class UnpluggedDuringWindowDrag : public ::testing::TestWithParam<UnplugCase> {};

constexpr int kDragStart = 1212;
constexpr int kDragSteps = 60, kSelectAtStep = 30, kReplugAtStep = 45;
constexpr std::size_t kUnplugBurst = 10;
constexpr int kSelectionBits = 4 * 5 + 32 * 1;  // "In6", "-10 dB"

// The script, the same with and without the board going away.
void DragWithSelectionInBetween(PanelRig& w, const std::function<void(int step)>& beforeStep) {
  QScrollBar* tuning = w.Bar("ScrollBar1");
  tuning->setFocus();
  tuning->setSliderDown(true);
  for (int step = 1; step <= kDragSteps; ++step) {
    beforeStep(step);
    if (step == kSelectAtStep) {
      tuning->setSliderDown(false);
      w.Click("Mux5");
      w.Click("db10");
      tuning->setSliderDown(true);
    }
    tuning->setSliderPosition(kDragStart + step);
  }
  tuning->setSliderDown(false);
}

TEST_P(UnpluggedDuringWindowDrag, EveryCallIsMadeAndReportedAndTheBoardGetsTheSelectionBack) {
  const UnplugCase& tc = GetParam();

  // The board that stays: what the window sends for this script.
  PanelRig reference;
  reference.Forget();
  DragWithSelectionInBetween(reference, [](int) {});
  ASSERT_TRUE(reliability::FiveCallsPerBurst(reference.driver.Calls()));

  PanelRig w;
  w.Forget();
  std::size_t calls = 0;
  const std::size_t unplugAt =
      kUnplugBurst * reliability::kBurstCalls.size() + static_cast<std::size_t>(tc.call);
  const port::Subscription unplug = w.driver.BeforeCall([&](DriverCall) {
    if (calls++ == unplugAt) w.driver.SetPresent(false);
  });
  std::size_t burstsAway = 0;
  struct Delivered {
    Bytes states;
    int bar;    // the tuning bar when it arrived
    int level;  // the level bar when it arrived
  };
  std::vector<Delivered> back;  // bursts that reached the board after its return
  port::Subscription replugged;
  DragWithSelectionInBetween(w, [&](int step) {
    if (step == kSelectAtStep) {
      ASSERT_FALSE(w.driver.Present()) << "gone by now";
    }
    if (step != kReplugAtStep) return;
    burstsAway = w.driver.Calls().size() / reliability::kBurstCalls.size();
    w.driver.SetPresent(true);
    replugged = w.driver.OnBoardWrite([&](const std::uint8_t* data, std::uint32_t n) {
      back.push_back(
          {Bytes(data, data + n), w.Bar("ScrollBar1")->value(), w.Bar("ScrollBar4")->value()});
    });
  });

  // Every call was made, with the arguments and data of the board that stayed, and one burst
  // more: the level again, after the first burst back.
  auto made = w.driver.Calls();
  const auto& expected = reference.driver.Calls();
  const std::size_t burstCalls = reliability::kBurstCalls.size();
  ASSERT_EQ(made.size(), expected.size() + burstCalls);
  EXPECT_TRUE(reliability::FiveCallsPerBurst(made));
  const auto resent = made.begin() + static_cast<std::ptrdiff_t>((burstsAway + 1) * burstCalls);
  made.erase(resent, resent + static_cast<std::ptrdiff_t>(burstCalls));
  for (std::size_t i = 0; i < made.size(); ++i) {
    ASSERT_EQ(made[i].call, expected[i].call) << "call " << i;
    ASSERT_EQ(made[i].data, expected[i].data) << "call " << i;
  }

  // The boxes of every burst sent while it was away, in call order, and none after its return.
  std::vector<std::string> boxes = tc.boxes;
  for (std::size_t b = kUnplugBurst + 1; b < burstsAway; ++b)
    for (const std::string& box : reliability::AbsentBoardBoxes()) boxes.push_back(box);
  EXPECT_EQ(w.reporter.Texts(), boxes);
  for (const auto& box : w.reporter.boxes) EXPECT_EQ(box.caption, "Fehler");

  // Back: the next burst and every later one reached the board whole, with the selection made
  // while it was away and the position the bar shows.
  ASSERT_FALSE(back.empty());
  EXPECT_EQ(back.size(), made.size() / burstCalls + 1 - burstsAway);
  for (const Delivered& d : back) {
    for (std::uint8_t s : d.states) ASSERT_EQ(s & 0xFC, kSelectionBits);
    const bus::DecodedBurst decoded = bus::DecodeBurst(d.states);
    EXPECT_TRUE(decoded.ok());
    if (d.states.size() == 317) {
      ASSERT_EQ(decoded.messages.size(), 3u);
      EXPECT_EQ(reliability::TuningPositionOnWire(decoded.messages[0].bytes), d.bar);
    } else {
      ASSERT_EQ(d.states.size(), 89u);
      ASSERT_EQ(decoded.messages.size(), 1u);
      EXPECT_EQ(decoded.messages[0].bytes, Bytes({0x90, 0x40, static_cast<std::uint8_t>(d.level)}));
    }
  }
  ASSERT_GE(back.size(), 2u);
  EXPECT_EQ(back[0].states.size(), 317u);
  EXPECT_EQ(back[0].bar, kDragStart + kReplugAtStep);
  EXPECT_EQ(back[1].states.size(), 89u) << "the level the converter missed";
  EXPECT_EQ(w.Bar("ScrollBar1")->value(), kDragStart + kDragSteps);
  EXPECT_EQ(w.Text("Freq"), reference.Text("Freq"));
}

INSTANTIATE_TEST_SUITE_P(
    AtEachCallOfABurst, UnpluggedDuringWindowDrag,
    ::testing::Values(
        UnplugCase{"Open", DriverCall::Open, reliability::AbsentBoardBoxes()},
        UnplugCase{"SetBitMode",
                   DriverCall::SetBitMode,
                   {"FT_SetBitMode  - General IO error...", "FT_SetBaudRate - General IO error...",
                    "FT_Write - General IO error..."}},
        UnplugCase{"SetBaudRate",
                   DriverCall::SetBaudRate,
                   {"FT_SetBaudRate - General IO error...", "FT_Write - General IO error..."}},
        UnplugCase{"Write", DriverCall::Write, {"FT_Write - General IO error..."}},
        // The handle still closes: nothing to show for this burst.
        UnplugCase{"Close", DriverCall::Close, {}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quarvel::ui_test
