// SPDX-License-Identifier: GPL-3.0-or-later
// An FT232R bridge emulated where the kernel would be: the device in sysfs and its usbfs node
// /dev/bus/usb/BBB/DDD answered by an ioctl handler (umockdev), so that our FtdiDriver,
// libftdi1 and libusb run unchanged against it. The chip records every vendor control request
// and every byte written to its bulk OUT endpoint 0x02, and plays the bytes into a model of
// the board, so a test reads back what the board would do. The board's lines follow the bytes
// only while the chip is in asynchronous bit-bang mode with all eight lines outputs; otherwise
// the chip is a serial port, whose bytes leave one after another on a single line and set none
// of the board's states. Faults of the kernel interface can be switched on: unplugged, the
// interface held by another program, the serial driver bound, a bulk write that never
// completes, a vendor request the chip refuses.
//
// The process must run under umockdev's preload (umockdev-wrapper); UsbTestbed refuses to run
// otherwise, so nothing here can reach the machine's real USB devices. One testbed per process
// at a time, created before libusb is initialised.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sim/SimulatedBoard.h"

typedef struct _UMockdevTestbed UMockdevTestbed;
typedef struct _UMockdevIoctlBase UMockdevIoctlBase;
typedef struct _UMockdevIoctlClient UMockdevIoctlClient;
typedef struct _UMockdevIoctlData UMockdevIoctlData;

namespace quarvel::usb_test {

using Bytes = std::vector<std::uint8_t>;
using SteadyClock = std::chrono::steady_clock;

// The emulated system's sysfs and /dev.
class UsbTestbed {
 public:
  // Throws std::runtime_error when the process is not under umockdev's preload.
  UsbTestbed();
  ~UsbTestbed();
  UsbTestbed(const UsbTestbed&) = delete;
  UsbTestbed& operator=(const UsbTestbed&) = delete;

  UMockdevTestbed* Get() const { return bed_; }
  // The testbed's root: its sys/ and dev/ are what the process sees as /sys and /dev.
  std::string RootDir() const;

 private:
  UMockdevTestbed* bed_ = nullptr;
};

// One control transfer's setup packet.
struct ControlRequest {
  std::uint8_t requestType = 0;
  std::uint8_t request = 0;
  std::uint16_t value = 0;
  std::uint16_t index = 0;
  std::uint16_t length = 0;
  bool operator==(const ControlRequest&) const = default;
};

// One transfer that reached the chip: a control request, or the bytes of one bulk URB to 0x02.
struct Transfer {
  bool bulk = false;
  ControlRequest control;  // control transfers
  Bytes data;              // bulk transfers
  SteadyClock::time_point time;
};

class EmulatedFtdiChip {
 public:
  // An FT232R (0403:6001, bcdDevice 0x0600) on bus 1 with the given device number and serial;
  // plugged in at once.
  EmulatedFtdiChip(UsbTestbed& bed, int devnum = 2, std::string serial = "QV000001", int port = 1);
  ~EmulatedFtdiChip();
  EmulatedFtdiChip(const EmulatedFtdiChip&) = delete;
  EmulatedFtdiChip& operator=(const EmulatedFtdiChip&) = delete;

  // The system sends no "add" and "remove" events for the chip from now on, as where no device
  // manager runs (some containers): programs only see it come and go by looking afresh.
  void SetEventsSent(bool sent) { eventsSent_ = sent; }

  // Plugs the chip in: sysfs entry, device node, "add" event. Clears the fault switches.
  // Plugged in again, it gets the bus's next device number, as the kernel gives, and the board
  // behind it starts at its power-up state (its EEPROM keeps what it holds).
  void Plug();
  // Unplugs it: every call on an open handle answers ENODEV from now on, a "remove" event is
  // sent and the device leaves sysfs and /dev.
  void Unplug();
  bool Listed() const { return listed_; }
  // The chip vanishes at the n-th bulk write from now (1 = the next): that write and every
  // call after it answer ENODEV, as the kernel does the moment the cable is pulled. Unplug()
  // then takes it out of sysfs.
  void VanishAtBulkWrite(int n);
  bool Vanished() const;
  // sysfs lists the chip but its device node is gone.
  void RemoveNode();

  // The interface is claimed by another program: claiming answers EBUSY.
  void SetInterfaceBusy(bool busy);
  // The kernel's ftdi_sio driver holds the interface and refuses to let go: the driver query
  // names it, the disconnect answers EPERM and claiming EBUSY.
  void SetSerialDriverBound(bool bound);
  // Bulk writes are taken but never completed (until cancelled).
  void SetStuck(bool stuck);
  // The chip answers this vendor request (0x0B: the bit mode) with a stall from now on and
  // does not act on it; 0 refuses none.
  void SetRefusedRequest(std::uint8_t request);
  // Whether the board's lines follow the bytes written: the last bit mode the chip took since
  // it was plugged in was asynchronous bit-bang on all eight lines. The mode outlasts closing
  // and reopening; only another bit-mode request or unplugging ends it.
  bool InBitBangMode() const;

  // Everything that reached the chip, in order; Forget() starts afresh.
  std::vector<Transfer> Transfers() const;
  std::vector<ControlRequest> ControlRequests() const;
  // The data of each bulk URB to 0x02.
  std::vector<Bytes> BulkWrites() const;
  // String descriptors read (language list, serial number, ...). They are answered and, as
  // they change nothing on the chip, not counted among the Transfers().
  int StringReads() const;
  void Forget();
  // The board behind the chip; it has taken every byte written to 0x02. Read it between
  // bursts only.
  sim::SimulatedBoard& Board() { return board_; }

  std::string SysPath() const { return syspath_; }
  std::string DevNode() const;
  int DevNum() const { return devnum_; }

 private:
  struct Urb;
  static int HandleIoctl(UMockdevIoctlBase* handler, UMockdevIoctlClient* client, void* self);
  bool Handle(UMockdevIoctlClient* client);
  bool SubmitUrb(UMockdevIoctlClient* client, UMockdevIoctlData* arg);
  bool ReapUrb(UMockdevIoctlClient* client, UMockdevIoctlData* arg);
  bool DiscardUrb(UMockdevIoctlClient* client, UMockdevIoctlData* arg);
  void DropUrbs();

  UsbTestbed& bed_;
  int devnum_;
  int port_;
  std::string serial_;
  std::string syspath_;
  UMockdevIoctlBase* handler_ = nullptr;
  bool listed_ = false;
  bool pluggedBefore_ = false;
  int stringReads_ = 0;
  bool eventsSent_ = true;

  mutable std::mutex mutex_;  // the handler runs on umockdev's own thread
  bool gone_ = false;
  int vanishCountdown_ = 0;
  bool busy_ = false;
  bool serialDriver_ = false;
  bool stuck_ = false;
  std::uint8_t refused_ = 0;
  bool bitBang_ = false;
  std::vector<Transfer> transfers_;
  std::vector<std::unique_ptr<Urb>> done_, flying_, cancelled_;
  sim::SimulatedBoard board_;
};

}  // namespace quarvel::usb_test
