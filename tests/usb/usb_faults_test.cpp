// SPDX-License-Identifier: GPL-3.0-or-later
// Faults at the kernel interface, under our FtdiDriver, libftdi1 and libusb: the boxes the user
// sees, in order, and the next action reaching the chip once the fault is gone.
#include <gtest/gtest.h>

#include <ftdi.h>
#include <libusb.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <vector>

#include <QScrollBar>

#include "TempFiles.h"
#include "UsbRig.h"
#include "bus/TwoWireDecoder.h"
#include "port/FtdiDriver.h"
#include "reliability/Wire.h"

namespace quarvel::usb_test {
namespace {

using Texts = std::vector<std::string>;

// After a fault is gone: one click, its burst on the chip, no box; after a burst that did not
// reach the board, the level follows it (the board may have lost it with its power).
void ExpectNextClickReachesTheChip(UsbRig& rig, EmulatedFtdiChip& chip, const char* button,
                                   std::size_t bursts = 1) {
  rig.Forget();
  rig.Click(button);
  EXPECT_EQ(rig.Boxes(), Texts()) << button;
  EXPECT_EQ(chip.BulkWrites().size(), bursts) << button;
  EXPECT_TRUE(ConfiguredBeforeEachWrite(chip.Transfers())) << button;
}

// Gone from the system, the next click finds no device; plugged back, the next one reaches it.
void ExpectUnplugSeenThenPlugBack(UsbRig& rig, EmulatedFtdiChip& chip) {
  chip.Unplug();
  rig.Forget();
  rig.Click("Mux4");
  EXPECT_EQ(rig.Boxes(), AbsentBoxes());

  chip.Plug();
  ExpectNextClickReachesTheChip(rig, chip, "Mux5", 2);
  EXPECT_EQ(chip.Board().Input(), 6);
  EXPECT_EQ(chip.Board().Level(), 77);
}

TEST(UsbFaults, NoDeviceAtAllShowsNotFoundThenInvalidHandles) {
  UsbRig rig(0);
  rig.Start();
  // Both start-up bursts, the clock's and the level's, before the window is shown.
  EXPECT_EQ(rig.Boxes(), AbsentBoxes(2));

  // The click's burst, then the level the board missed at start-up.
  EmulatedFtdiChip& chip = rig.AddChip();
  ExpectNextClickReachesTheChip(rig, chip, "Mux3", 2);
  EXPECT_EQ(chip.Board().Input(), 4);
  EXPECT_EQ(chip.Board().Level(), 77);
}

TEST(UsbFaults, OpenRefusedShowsDeviceNotOpenedUntilTheFaultIsGone) {
  UsbRig rig;
  rig.Start();
  EmulatedFtdiChip& chip = rig.Chip();
  const struct {
    const char* fault;
    std::function<void()> make, mend;
    Texts boxes;
  } rows[] = {
      {"interface claimed by another program (EBUSY)", [&] { chip.SetInterfaceBusy(true); },
       [&] { chip.SetInterfaceBusy(false); }, NotOpenedBoxes()},
      {"ftdi_sio bound and its detach refused (EPERM)", [&] { chip.SetSerialDriverBound(true); },
       [&] { chip.SetSerialDriverBound(false); }, NotOpenedBoxes()},
      {"device node missing though sysfs lists the device", [&] { chip.RemoveNode(); },
       [&] {
         chip.Unplug();
         chip.Plug();
       },
       NotOpenedBoxes()},
  };
  for (const auto& row : rows) {
    rig.Forget();
    row.make();
    rig.Click("Mux5");
    EXPECT_EQ(rig.Boxes(), row.boxes) << row.fault;
    EXPECT_TRUE(chip.BulkWrites().empty()) << row.fault;
    row.mend();
    ExpectNextClickReachesTheChip(rig, chip, "Mux2", 2);
  }
}

TEST(UsbFaults, UnpluggedBetweenOpenAndWrite) {
  UsbRig rig;
  rig.Start();
  EmulatedFtdiChip& chip = rig.Chip();
  rig.Forget();
  chip.VanishAtBulkWrite(1);
  const double busyMs = rig.Click("Mux3");
  EXPECT_EQ(rig.Boxes(),
            Texts({"FT_Write - General IO error...", "FT_Close - General IO error..."}));
  EXPECT_LT(busyMs, port::kWriteTimeoutMs) << "no hang";

  ExpectUnplugSeenThenPlugBack(rig, chip);
}

// Where no device manager runs, the system announces no board coming or going: the panel
// still tells a board pulled out from one it cannot open, and finds it again when it is back.
TEST(UsbFaults, WithoutDeviceEventsUnplugAndPlugBackAreStillSeen) {
  UsbRig rig;
  rig.Start();
  EmulatedFtdiChip& chip = rig.Chip();
  chip.SetEventsSent(false);
  ExpectUnplugSeenThenPlugBack(rig, chip);
  ExpectNextClickReachesTheChip(rig, chip, "Mux6");
  EXPECT_EQ(chip.Board().Input(), 7);
}

TEST(UsbFaults, UnpluggedDuringAnUploadThenThePlugBack) {
  testing::TempDir dir;
  const Bytes image = reliability::PatternImage(11);
  const std::string path = dir.File("image.bin", image);
  UsbRig rig;
  rig.Start();
  EmulatedFtdiChip& chip = rig.Chip();
  rig.Forget();

  // The cable comes out while page 6 is written; the system notices in the pause after it.
  chip.VanishAtBulkWrite(6);
  rig.sleeper.OnPause = [&](int) {
    if (chip.Vanished() && chip.Listed()) chip.Unplug();
  };
  rig.Upload("FlashBin", path);
  Texts expected = {"FT_Write - General IO error...", "FT_Close - General IO error..."};
  for (const std::string& box : AbsentBoxes(10)) expected.push_back(box);
  EXPECT_EQ(rig.Boxes(), expected);
  EXPECT_EQ(rig.sleeper.pauses, std::vector<int>(16, 200)) << "the upload runs to its end";
  EXPECT_EQ(chip.BulkWrites().size(), 5u);

  rig.sleeper.OnPause = nullptr;
  chip.Plug();
  rig.Forget();
  rig.Upload("FlashBin", path);
  EXPECT_EQ(rig.Boxes(), Texts());
  std::vector<Bytes> pages = chip.BulkWrites();
  ASSERT_EQ(pages.size(), 18u) << "the sixteen pages, then the clock burst and the level";
  EXPECT_EQ(chip.Board().Level(), 77);
  EXPECT_EQ(chip.Board().ClockGenerator().TunedKhz(), 6060.0);
  EXPECT_EQ(pages[16].size(), 317u);
  pages.resize(16);
  for (std::size_t page = 0; page < pages.size(); ++page) {
    const bus::DecodedBurst decoded = bus::DecodeBurst(pages[page]);
    ASSERT_EQ(decoded.messages.size(), 1u) << "page " << page;
    EXPECT_EQ(decoded.messages[0].bytes,
              reliability::PageMessage(0xD0, image, static_cast<int>(page)));
  }
  EXPECT_TRUE(std::equal(image.begin(), image.end(), chip.Board().Eeprom().begin()));
}

TEST(UsbFaults, StuckChipEndsTheBurstWithinTheWriteTimeout) {
  UsbRig rig;
  rig.Start();
  EmulatedFtdiChip& chip = rig.Chip();
  rig.Forget();
  chip.SetStuck(true);
  const double busyMs = rig.Click("Mux3");
  EXPECT_EQ(rig.Boxes(), Texts({"FT_Write - General IO error..."}));
  EXPECT_GE(busyMs, port::kWriteTimeoutMs * 0.9);
  // The rest of the burst (open, configure, close) and a busy machine's scheduling stay well
  // inside the second the window may at most be held.
  EXPECT_LT(busyMs, port::kWriteTimeoutMs + 300.0) << "the window is held no longer";
  EXPECT_EQ(chip.Board().BurstCount(), 2u) << "only the start-up bursts were played out";

  chip.SetStuck(false);
  ExpectNextClickReachesTheChip(rig, chip, "Mux4", 2);
}

// A chip that refuses bit-bang mode. From the moment it is plugged in: it stays a serial port,
// each start-up burst shows one box naming the call and goes on as after every failing call,
// and its bytes, sent out serially on one line, set none of the board's states; once it takes
// the mode, the level follows the first burst. Later, in the
// mode an earlier burst set: the burst still programs the 38400-baud divisor, and the board
// follows it.
TEST(UsbFaults, BitModeRefused) {
  UsbRig rig;
  EmulatedFtdiChip& chip = rig.Chip();
  chip.SetRefusedRequest(0x0B);
  rig.Start();
  EXPECT_EQ(rig.Boxes(), Texts(2, "FT_SetBitMode  - General IO error..."));
  EXPECT_EQ(chip.BulkWrites().size(), 2u) << "each write follows the failed call";
  EXPECT_FALSE(chip.InBitBangMode());
  EXPECT_EQ(chip.Board().BurstCount(), 0u);

  // Mended: the click's burst, then the level the board missed at start-up.
  chip.SetRefusedRequest(0);
  ExpectNextClickReachesTheChip(rig, chip, "Mux3", 2);
  EXPECT_EQ(chip.Board().Input(), 4);
  EXPECT_EQ(chip.Board().Level(), 77);

  rig.Forget();
  chip.SetRefusedRequest(0x0B);
  rig.Click("Mux4");
  EXPECT_EQ(rig.Boxes(), Texts({"FT_SetBitMode  - General IO error..."}));
  EXPECT_EQ(chip.ControlRequests(), kBurstConfiguration);
  EXPECT_EQ(chip.Board().Input(), 5);
}

// The device libftdi lists first among FTDI's standard IDs, as bus address, on a context made
// now. The context lists what the system lists; but libusb's device monitor is shared by every
// context of the process, so add and remove events that it has not handled yet are applied to
// this context too (the next listing handles them), and a device they bring back goes to the
// head of its list. Ask only once libusb has handled the events of a re-plug (ArrivalWatch).
int FirstListedAddress() {
  ftdi_context* ctx = ftdi_new();
  ftdi_device_list* list = nullptr;
  int address = -1;
  if (ftdi_usb_find_all(ctx, &list, 0, 0) > 0) address = libusb_get_device_address(list->dev);
  ftdi_list_free(&list);
  ftdi_free(ctx);
  return address;
}

// Sees FTDI devices arrive as libusb handles the system's "add" events. The events are handled
// in the order sent, for every context of the process at once, so once a device plugged back
// has arrived here, its "remove" has been handled too, and a context made from then on lists
// the devices in the system's order.
class ArrivalWatch {
 public:
  ArrivalWatch() {
    if (libusb_init(&ctx_) != 0) {
      ctx_ = nullptr;
      return;
    }
    if (libusb_hotplug_register_callback(ctx_, LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED,
                                         LIBUSB_HOTPLUG_NO_FLAGS, 0x0403, LIBUSB_HOTPLUG_MATCH_ANY,
                                         LIBUSB_HOTPLUG_MATCH_ANY, &ArrivalWatch::Arrived, this,
                                         &callback_) != LIBUSB_SUCCESS) {
      libusb_exit(ctx_);
      ctx_ = nullptr;
    }
  }
  ~ArrivalWatch() {
    if (ctx_ == nullptr) return;
    libusb_hotplug_deregister_callback(ctx_, callback_);
    libusb_exit(ctx_);
  }
  ArrivalWatch(const ArrivalWatch&) = delete;
  ArrivalWatch& operator=(const ArrivalWatch&) = delete;

  // Whether the device at this bus address has arrived since the watch began, waiting for it
  // at most limitMs.
  bool WaitFor(int address, int limitMs) {
    if (ctx_ == nullptr) return false;
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(limitMs);
    while (!Seen(address) && SteadyClock::now() < deadline) {
      timeval tick{0, 10000};  // 10 ms
      libusb_handle_events_timeout_completed(ctx_, &tick, nullptr);
    }
    return Seen(address);
  }

  // The first FTDI device this context lists, as bus address; -1 when none.
  int FirstListed() const {
    libusb_device** list = nullptr;
    const ssize_t count = ctx_ != nullptr ? libusb_get_device_list(ctx_, &list) : -1;
    int address = -1;
    for (ssize_t i = 0; i < count && address < 0; ++i) {
      libusb_device_descriptor descriptor{};
      if (libusb_get_device_descriptor(list[i], &descriptor) == 0 && descriptor.idVendor == 0x0403)
        address = libusb_get_device_address(list[i]);
    }
    if (count >= 0) libusb_free_device_list(list, 1);
    return address;
  }

 private:
  // Called from libusb_handle_events on the waiting thread.
  static int LIBUSB_CALL Arrived(libusb_context*, libusb_device* device, libusb_hotplug_event,
                                 void* self) {
    static_cast<ArrivalWatch*>(self)->arrived_.push_back(libusb_get_device_address(device));
    return 0;  // keep watching
  }
  bool Seen(int address) const {
    return std::find(arrived_.begin(), arrived_.end(), address) != arrived_.end();
  }

  libusb_context* ctx_ = nullptr;
  libusb_hotplug_callback_handle callback_ = 0;
  std::vector<int> arrived_;
};

TEST(UsbFaults, TwoChipsTheFirstEnumeratedGetsEveryBurst) {
  UsbRig rig(2);
  const int first = FirstListedAddress();
  ASSERT_TRUE(first == rig.Chip(0).DevNum() || first == rig.Chip(1).DevNum()) << first;
  EmulatedFtdiChip& used = first == rig.Chip(0).DevNum() ? rig.Chip(0) : rig.Chip(1);
  EmulatedFtdiChip& other = first == rig.Chip(0).DevNum() ? rig.Chip(1) : rig.Chip(0);

  rig.Start();
  rig.Click("Mux3");
  EXPECT_EQ(used.BulkWrites().size(), 3u);
  EXPECT_TRUE(ConfiguredBeforeEachWrite(used.Transfers()));
  EXPECT_TRUE(other.Transfers().empty());
  EXPECT_EQ(rig.Boxes(), Texts());

  // The other one pulled out and plugged back while the program runs: still the same board,
  // for the click right after it (its burst's listing handles whatever events libusb's monitor
  // has not handled yet) and for one once the re-plug was handled, when a context that
  // followed the re-plug, as the program's does, lists the other one first.
  ArrivalWatch watch;
  other.Unplug();
  other.Plug();
  used.Forget();
  rig.Click("Mux4");
  EXPECT_EQ(used.BulkWrites().size(), 1u);
  EXPECT_TRUE(other.Transfers().empty());
  ASSERT_TRUE(watch.WaitFor(other.DevNum(), 5000)) << "libusb never handled the plugging back";
  ASSERT_EQ(FirstListedAddress(), used.DevNum()) << "as the system lists them";
  EXPECT_EQ(watch.FirstListed(), other.DevNum()) << "as a context that saw it come back lists";
  rig.Click("Mux5");
  EXPECT_EQ(used.BulkWrites().size(), 2u);
  EXPECT_EQ(used.Board().Input(), 6);
  EXPECT_TRUE(ConfiguredBeforeEachWrite(used.Transfers()));
  EXPECT_TRUE(other.Transfers().empty());
  EXPECT_EQ(rig.Boxes(), Texts());
}

// Another FTDI adapter plugged in while the panel runs, on a port that would list it first:
// the board keeps every burst, and an upload under way goes wholly to it.
TEST(UsbFaults, AnAdapterPluggedInWhileThePanelRunsTakesNothingFromTheBoard) {
  testing::TempDir dir;
  const Bytes image = reliability::PatternImage(5);
  const std::string path = dir.File("image.bin", image);
  UsbRig rig;
  rig.Start();
  EmulatedFtdiChip& board = rig.Chip(0);
  EmulatedFtdiChip& first = rig.AddChip();
  rig.Forget();
  rig.Click("Mux3");
  EXPECT_EQ(board.BulkWrites().size(), 1u);
  EXPECT_EQ(board.Board().Input(), 4);

  rig.sleeper.OnPause = [&](int) {
    if (rig.sleeper.pauses.size() == 8) rig.AddChip();
  };
  rig.Upload("FlashBin", path);
  EXPECT_EQ(rig.Boxes(), Texts());
  EXPECT_EQ(board.BulkWrites().size(), 1u + 16u);
  EXPECT_TRUE(std::equal(image.begin(), image.end(), board.Board().Eeprom().begin()));
  EXPECT_TRUE(first.Transfers().empty());
  EXPECT_TRUE(rig.Chip(2).Transfers().empty());
}

// The board pulled out and plugged in again while the panel runs: on its port or another
// (where the system gives it a new device number and it starts at its power-up state), with a
// serial adapter beside it, with clicks or half an upload while it is away. The adapter never
// takes a burst; what is sent while the board is away tells the user so; and the first click
// once it is back leaves it holding every setting the panel shows.
TEST(UsbFaults, TheBoardPluggedInAgainHoldsWhatThePanelShowsAndNoAdapterTakesItsBursts) {
  testing::TempDir dir;
  const std::string image = dir.File("image.bin", reliability::PatternImage(3));
  using Away = std::function<EmulatedFtdiChip*(UsbRig&, EmulatedFtdiChip & board)>;
  const auto replug = [](UsbRig&, EmulatedFtdiChip& board) {
    board.Unplug();
    board.Plug();
    return &board;
  };
  const auto inOtherSocket = [](UsbRig& rig, EmulatedFtdiChip& board, const char* serial) {
    board.Unplug();
    const int n = static_cast<int>(rig.chips.size());
    rig.chips.push_back(std::make_unique<EmulatedFtdiChip>(rig.bed, 40 + n, serial, 1 + n));
    return rig.chips.back().get();
  };
  struct Row {
    const char* name;
    int adapters;  // on the ports below the board's, listed after it
    Away away;
    bool levelStep;                // the click once back is a level-bar step, else In6
    const char* serial = nullptr;  // the board's; its rig's own when null
  } rows[] = {
      {"plugged in again, then a level step", 0, replug, true},
      {"plugged in again, then an input", 0, replug, false},
      {"plugged in again where no device events are sent", 0,
       [&](UsbRig& rig, EmulatedFtdiChip& board) {
         board.SetEventsSent(false);
         return replug(rig, board);
       },
       false},
      {"moved, then an adapter in its old socket, pulled out after page 8 of an upload", 0,
       [&](UsbRig& rig, EmulatedFtdiChip& board) {
         EmulatedFtdiChip* moved = inOtherSocket(rig, board, "QV000001");
         rig.Click("Mux4");
         rig.chips.push_back(std::make_unique<EmulatedFtdiChip>(rig.bed, 60, "AD000042", 1));
         EmulatedFtdiChip& adapter = *rig.chips.back();
         rig.Click("Mux5");
         rig.sleeper.OnPause = [&rig, moved](int) {
           if (rig.sleeper.pauses.size() == 8) moved->Unplug();
         };
         rig.Forget();
         rig.Upload("FlashBin", image);
         EXPECT_EQ(rig.Boxes(), AbsentBoxes(8));
         EXPECT_TRUE(adapter.Transfers().empty());
         moved->Plug();
         return moved;
       },
       false},
      {"away beside an adapter, a click meanwhile", 1,
       [](UsbRig& rig, EmulatedFtdiChip& board) {
         board.Unplug();
         rig.Forget();
         rig.Click("Mux4");
         EXPECT_EQ(rig.Boxes(), AbsentBoxes());
         board.Plug();
         return &board;
       },
       false},
      {"pulled out after page 8 of an upload beside an adapter", 1,
       [&](UsbRig& rig, EmulatedFtdiChip& board) {
         rig.sleeper.OnPause = [&](int) {
           if (rig.sleeper.pauses.size() == 8) board.Unplug();
         };
         rig.Forget();
         rig.Upload("FlashBin", image);
         EXPECT_EQ(rig.Boxes(), AbsentBoxes(8));
         EXPECT_EQ(board.BulkWrites().size(), 8u);
         board.Plug();
         return &board;
       },
       false},
      {"moved to another socket, then an adapter plugged in beside it", 0,
       [&](UsbRig& rig, EmulatedFtdiChip& board) {
         EmulatedFtdiChip* moved = inOtherSocket(rig, board, "QV000001");
         rig.Click("Mux4");
         rig.AddChip();  // on the highest port, listed first
         return moved;
       },
       false},
      {"swapped with an adapter between two clicks", 0,
       [&](UsbRig& rig, EmulatedFtdiChip& board) {
         board.Unplug();
         rig.chips.push_back(std::make_unique<EmulatedFtdiChip>(rig.bed, 60, "AD000042", 1));
         const int n = static_cast<int>(rig.chips.size());
         rig.chips.push_back(
             std::make_unique<EmulatedFtdiChip>(rig.bed, 40 + n, "QV000001", 1 + n));
         return rig.chips.back().get();
       },
       false},
      {"another board put in its socket", 0,
       [&](UsbRig& rig, EmulatedFtdiChip& board) {
         board.Unplug();
         rig.chips.push_back(std::make_unique<EmulatedFtdiChip>(rig.bed, 50, "QV009999", 1));
         return rig.chips.back().get();
       },
       false},
      {"beside a clone with its serial number, a click while away", 0,
       [&](UsbRig& rig, EmulatedFtdiChip& board) {
         rig.chips.push_back(std::make_unique<EmulatedFtdiChip>(rig.bed, 30, "QV000001", 2));
         board.Unplug();
         rig.Click("Mux4");  // the clone cannot be told from the board
         board.Plug();
         return &board;
       },
       false},
      {"without a serial number, moved to another socket", 0,
       [&](UsbRig& rig, EmulatedFtdiChip& board) { return inOtherSocket(rig, board, ""); }, false,
       ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    UsbRig rig(row.adapters);
    EmulatedFtdiChip& board = row.serial == nullptr
                                  ? rig.AddChip()
                                  : *rig.chips.emplace_back(std::make_unique<EmulatedFtdiChip>(
                                        rig.bed, 2 + row.adapters, row.serial, 1 + row.adapters));
    rig.Start();
    EmulatedFtdiChip* back = row.away(rig, board);
    rig.sleeper.OnPause = nullptr;
    for (int i = 0; i < row.adapters; ++i)
      EXPECT_TRUE(rig.Chip(static_cast<std::size_t>(i)).Transfers().empty()) << "while away";
    rig.Forget();
    if (row.levelStep)
      rig.Form()
          .findChild<QScrollBar*>("ScrollBar4")
          ->triggerAction(QScrollBar::SliderSingleStepAdd);
    else
      rig.Click("Mux6");

    EXPECT_EQ(rig.Boxes(), Texts());
    EXPECT_TRUE(ConfiguredBeforeEachWrite(back->Transfers()));
    EXPECT_EQ(back->Board().ClockGenerator().TunedKhz(), 6060.0);
    EXPECT_EQ(back->Board().ClockGenerator().CrystalTrim(), 127);
    EXPECT_EQ(back->Board().Level(), row.levelStep ? 78 : 77);
    EXPECT_EQ(back->Board().Input(), row.levelStep ? 1 : 7);
    for (const auto& chip : rig.chips) {
      if (chip.get() != back && chip.get() != &board) {
        EXPECT_TRUE(chip->Transfers().empty()) << "an adapter took a burst";
      }
    }
    for (int i = 0; i < row.adapters; ++i)
      EXPECT_FALSE(rig.Chip(static_cast<std::size_t>(i)).InBitBangMode());
    rig.Forget();
    rig.Click("Mux7");
    EXPECT_EQ(back->StringReads(), 0) << "a board that stayed plugged in is known without asking";
    EXPECT_EQ(back->Board().Input(), 8);
  }
}

// The driver itself, two handles on one chip at once (the panel never does this): the second
// open, whatever it answers, leaves the first handle writing to the chip.
TEST(UsbFaults, ASecondOpenLeavesTheFirstHandleWorking) {
  UsbRig rig;
  EmulatedFtdiChip& chip = rig.Chip();
  const std::unique_ptr<port::UsbDriver> driver = port::MakeFtdiDriver();
  port::FtHandle first = nullptr, second = nullptr;
  ASSERT_EQ(driver->Open(0, &first), port::FT_OK);
  if (driver->Open(0, &second) == port::FT_OK) {
    EXPECT_NE(second, first);
    EXPECT_EQ(driver->Close(second), port::FT_OK);
  }
  const std::uint8_t lines[] = {0x03, 0x01, 0x03};
  std::uint32_t written = 0;
  EXPECT_EQ(driver->Write(first, lines, 3, &written), port::FT_OK);
  EXPECT_EQ(written, 3u);
  EXPECT_EQ(driver->Close(first), port::FT_OK);
  ASSERT_FALSE(chip.BulkWrites().empty());
  EXPECT_EQ(chip.BulkWrites().back(), (Bytes{0x03, 0x01, 0x03}));
}

}  // namespace
}  // namespace quarvel::usb_test
