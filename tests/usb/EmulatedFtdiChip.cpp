// SPDX-License-Identifier: GPL-3.0-or-later
#include "EmulatedFtdiChip.h"

// <sys/ioctl.h> first: the usbfs header's request numbers are built with its macros.
#include <sys/ioctl.h>
// clang-format off
#include <linux/usbdevice_fs.h>
// clang-format on
#include <umockdev.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <span>
#include <stdexcept>

namespace quarvel::usb_test {

namespace {

constexpr std::uint8_t kBulkOut = 0x02;
constexpr std::uint8_t kSetBitMode = 0x0B;
// Mask 0xFF (all eight lines outputs), mode 1 (asynchronous bit-bang).
constexpr std::uint16_t kBitBangAllOutputs = 0x01FF;

constexpr std::uint8_t kGetDescriptor = 0x06;
constexpr std::uint8_t kStringDescriptor = 0x03;

// String descriptor `index`: 0 the languages (US English only), 1 the maker, 2 the product,
// 3 the serial number, as the device descriptor numbers them; UTF-16LE after the two-byte
// head. An index the chip does not have is answered with its head only.
Bytes StringDescriptor(int index, const std::string& serial) {
  if (index == 0) return {4, kStringDescriptor, 0x09, 0x04};
  const std::string text = index == 1   ? "FTDI"
                           : index == 2 ? "FT232R USB UART"
                           : index == 3 ? serial
                                        : "";
  Bytes out{static_cast<std::uint8_t>(2 + 2 * text.size()), kStringDescriptor};
  for (char c : text) {
    out.push_back(static_cast<std::uint8_t>(c));
    out.push_back(0);
  }
  return out;
}

// Device numbers the bus hands out to chips plugged in again; the chips made first take
// theirs from their makers (2, 3, ...).
int NextDevNum() {
  static int next = 64;
  return next < 127 ? next++ : (next = 64);
}

// The descriptors as the kernel keeps them in sysfs, in hex, field by field: the device
// (USB 2.0, EP0 of 8 bytes, 0403:6001, bcdDevice 0600, strings 1 2 3, one configuration),
// configuration 1 (32 bytes, bus powered, 90 mA) with its one vendor-specific interface
// (string 2) and the two 64-byte bulk endpoints 0x81 IN and 0x02 OUT.
std::string DescriptorsHex() {
  std::string hex;
  hex +=
      "12"
      "01"
      "0002"
      "00"
      "00"
      "00"
      "08"
      "0304"
      "0160"
      "0006"
      "01"
      "02"
      "03"
      "01";
  hex +=
      "09"
      "02"
      "2000"
      "01"
      "01"
      "00"
      "80"
      "2d";
  hex +=
      "09"
      "04"
      "00"
      "00"
      "02"
      "ff"
      "ff"
      "ff"
      "02";
  hex +=
      "07"
      "05"
      "81"
      "02"
      "4000"
      "00";
  hex +=
      "07"
      "05"
      "02"
      "02"
      "4000"
      "00";
  return hex;
}

std::string ThreeDigits(int n) {
  char text[8];
  std::snprintf(text, sizeof text, "%03d", n);
  return text;
}

}  // namespace

UsbTestbed::UsbTestbed() {
  bed_ = umockdev_testbed_new();
  // Asked only now: the answer is cached, and it is only true once a testbed exists under the
  // preload.
  if (!umockdev_in_mock_environment()) {
    g_object_unref(bed_);
    bed_ = nullptr;
    throw std::runtime_error(
        "not under umockdev's preload: run the program with umockdev-wrapper, so that no real "
        "USB device can be reached");
  }
}

UsbTestbed::~UsbTestbed() {
  if (bed_ != nullptr) g_object_unref(bed_);
}

std::string UsbTestbed::RootDir() const {
  gchar* dir = umockdev_testbed_get_root_dir(bed_);
  std::string out = dir;
  g_free(dir);
  return out;
}

struct EmulatedFtdiChip::Urb {
  explicit Urb(UMockdevIoctlData* d) : data(d) {}
  ~Urb() { umockdev_ioctl_data_unref(data); }
  Urb(const Urb&) = delete;
  Urb& operator=(const Urb&) = delete;
  UMockdevIoctlData* data;  // the usbdevfs_urb as resolved at submit time
  int status = 0;
  int actualLength = 0;
};

EmulatedFtdiChip::EmulatedFtdiChip(UsbTestbed& bed, int devnum, std::string serial, int port)
    : bed_(bed), devnum_(devnum), port_(port), serial_(std::move(serial)) {
  syspath_ = "/sys/devices/pci0000:00/0000:00:14.0/usb1/1-" + std::to_string(port_);
  handler_ = umockdev_ioctl_base_new();
  g_signal_connect_after(handler_, "handle-ioctl", G_CALLBACK(&EmulatedFtdiChip::HandleIoctl),
                         this);
  Plug();
}

EmulatedFtdiChip::~EmulatedFtdiChip() {
  if (listed_) umockdev_testbed_remove_device(bed_.Get(), syspath_.c_str());
  umockdev_testbed_detach_ioctl(bed_.Get(), DevNode().c_str(), nullptr);
  g_object_unref(handler_);
  DropUrbs();
}

std::string EmulatedFtdiChip::DevNode() const {
  return "/dev/bus/usb/001/" + ThreeDigits(devnum_);
}

void EmulatedFtdiChip::Plug() {
  if (listed_) return;
  {
    std::lock_guard lock(mutex_);
    if (pluggedBefore_) {
      devnum_ = NextDevNum();
      board_.PowerUp();
    }
    pluggedBefore_ = true;
    gone_ = false;
    vanishCountdown_ = 0;
    busy_ = serialDriver_ = stuck_ = bitBang_ = false;
    refused_ = 0;
  }
  // The handler first, so the node answers from the moment it exists.
  umockdev_testbed_attach_ioctl(bed_.Get(), DevNode().c_str(), handler_, nullptr);
  const std::string dev = ThreeDigits(devnum_);
  const std::string record = "P: " + syspath_.substr(4) + "\n" +  // without "/sys"
                             "N: bus/usb/001/" + dev + "\n" +
                             "E: SUBSYSTEM=usb\n"
                             "E: DEVTYPE=usb_device\n"
                             "E: DRIVER=usb\n"
                             "E: PRODUCT=403/6001/600\n"
                             "E: TYPE=0/0/0\n"
                             "E: BUSNUM=001\n"
                             "E: DEVNUM=" +
                             dev + "\n" + "E: DEVNAME=/dev/bus/usb/001/" + dev + "\n" +
                             "A: busnum=1\\n\n"
                             "A: devnum=" +
                             std::to_string(devnum_) + "\\n\n" +
                             "A: bConfigurationValue=1\\n\n"
                             "A: speed=12\\n\n"
                             "A: idVendor=0403\\n\n"
                             "A: idProduct=6001\\n\n"
                             "A: bcdDevice=0600\\n\n"
                             "A: manufacturer=FTDI\\n\n"
                             "A: product=FT232R USB UART\\n\n"
                             "A: serial=" +
                             serial_ + "\\n\n" + "H: descriptors=" + DescriptorsHex() + "\n";
  GError* error = nullptr;
  if (!umockdev_testbed_add_from_string(bed_.Get(), record.c_str(), &error)) {
    const std::string message = error != nullptr ? error->message : "unknown error";
    if (error != nullptr) g_error_free(error);
    throw std::runtime_error("cannot add the emulated chip: " + message);
  }
  listed_ = true;
  if (eventsSent_) umockdev_testbed_uevent(bed_.Get(), syspath_.c_str(), "add");
}

void EmulatedFtdiChip::Unplug() {
  {
    std::lock_guard lock(mutex_);
    gone_ = true;
  }
  if (!listed_) return;
  if (eventsSent_) umockdev_testbed_uevent(bed_.Get(), syspath_.c_str(), "remove");
  umockdev_testbed_remove_device(bed_.Get(), syspath_.c_str());
  umockdev_testbed_detach_ioctl(bed_.Get(), DevNode().c_str(), nullptr);
  // The kernel's device file system drops the node with the device, events or none.
  unlink((bed_.RootDir() + DevNode()).c_str());
  listed_ = false;
}

void EmulatedFtdiChip::VanishAtBulkWrite(int n) {
  std::lock_guard lock(mutex_);
  vanishCountdown_ = n;
}

bool EmulatedFtdiChip::Vanished() const {
  std::lock_guard lock(mutex_);
  return gone_;
}

void EmulatedFtdiChip::RemoveNode() {
  const std::string path = bed_.RootDir() + DevNode();
  if (unlink(path.c_str()) != 0)
    throw std::runtime_error("cannot remove " + path + ": " + std::strerror(errno));
}

void EmulatedFtdiChip::SetInterfaceBusy(bool busy) {
  std::lock_guard lock(mutex_);
  busy_ = busy;
}

void EmulatedFtdiChip::SetSerialDriverBound(bool bound) {
  std::lock_guard lock(mutex_);
  serialDriver_ = bound;
}

void EmulatedFtdiChip::SetStuck(bool stuck) {
  std::lock_guard lock(mutex_);
  stuck_ = stuck;
}

void EmulatedFtdiChip::SetRefusedRequest(std::uint8_t request) {
  std::lock_guard lock(mutex_);
  refused_ = request;
}

bool EmulatedFtdiChip::InBitBangMode() const {
  std::lock_guard lock(mutex_);
  return bitBang_;
}

std::vector<Transfer> EmulatedFtdiChip::Transfers() const {
  std::lock_guard lock(mutex_);
  return transfers_;
}

std::vector<ControlRequest> EmulatedFtdiChip::ControlRequests() const {
  std::vector<ControlRequest> out;
  for (const Transfer& t : Transfers())
    if (!t.bulk) out.push_back(t.control);
  return out;
}

std::vector<Bytes> EmulatedFtdiChip::BulkWrites() const {
  std::vector<Bytes> out;
  for (const Transfer& t : Transfers())
    if (t.bulk) out.push_back(t.data);
  return out;
}

int EmulatedFtdiChip::StringReads() const {
  std::lock_guard lock(mutex_);
  return stringReads_;
}

void EmulatedFtdiChip::Forget() {
  std::lock_guard lock(mutex_);
  transfers_.clear();
  stringReads_ = 0;
}

void EmulatedFtdiChip::DropUrbs() {
  std::lock_guard lock(mutex_);
  done_.clear();
  flying_.clear();
  cancelled_.clear();
}

int EmulatedFtdiChip::HandleIoctl(UMockdevIoctlBase* /*handler*/, UMockdevIoctlClient* client,
                                  void* self) {
  return static_cast<EmulatedFtdiChip*>(self)->Handle(client) ? TRUE : FALSE;
}

// Answers the usbfs requests libusb makes, as the kernel would for this chip. Runs on
// umockdev's thread; never blocks.
bool EmulatedFtdiChip::Handle(UMockdevIoctlClient* client) {
  const unsigned long request = umockdev_ioctl_client_get_request(client);
  UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
  std::lock_guard lock(mutex_);
  const auto fail = [client](int error) {
    umockdev_ioctl_client_complete(client, -1, error);
    return true;
  };
  const auto succeed = [client] {
    umockdev_ioctl_client_complete(client, 0, 0);
    return true;
  };

  switch (request) {
    case USBDEVFS_SUBMITURB:
      return SubmitUrb(client, arg);
    case USBDEVFS_REAPURB:
    case USBDEVFS_REAPURBNDELAY:
      return ReapUrb(client, arg);
    case USBDEVFS_DISCARDURB:
      return DiscardUrb(client, arg);
    default:
      break;
  }
  if (gone_) return fail(ENODEV);

  switch (request) {
    case USBDEVFS_GET_CAPABILITIES: {
      UMockdevIoctlData* caps = umockdev_ioctl_data_resolve(arg, 0, sizeof(std::uint32_t), nullptr);
      const std::uint32_t value = USBDEVFS_CAP_BULK_CONTINUATION | USBDEVFS_CAP_NO_PACKET_SIZE_LIM |
                                  USBDEVFS_CAP_REAP_AFTER_DISCONNECT | USBDEVFS_CAP_ZERO_PACKET;
      std::memcpy(caps->data, &value, sizeof value);
      succeed();
      umockdev_ioctl_data_unref(caps);
      return true;
    }
    case USBDEVFS_CLAIMINTERFACE:
      return busy_ || serialDriver_ ? fail(EBUSY) : succeed();
    case USBDEVFS_RELEASEINTERFACE:
    case USBDEVFS_CLEAR_HALT:
    case USBDEVFS_RESETEP:
    case USBDEVFS_RESET:
    case USBDEVFS_SETINTERFACE:
    case USBDEVFS_SETCONFIGURATION:
      return succeed();
    case USBDEVFS_GETDRIVER: {
      if (!serialDriver_) return fail(ENODATA);  // no kernel driver bound
      UMockdevIoctlData* d =
          umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_getdriver), nullptr);
      auto* getdriver = reinterpret_cast<usbdevfs_getdriver*>(d->data);
      std::snprintf(getdriver->driver, sizeof getdriver->driver, "%s", "ftdi_sio");
      succeed();
      umockdev_ioctl_data_unref(d);
      return true;
    }
    case USBDEVFS_IOCTL: {
      UMockdevIoctlData* d = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_ioctl), nullptr);
      const int code = reinterpret_cast<usbdevfs_ioctl*>(d->data)->ioctl_code;
      umockdev_ioctl_data_unref(d);
      if (code == static_cast<int>(USBDEVFS_DISCONNECT))
        return fail(serialDriver_ ? EPERM : ENODATA);
      if (code == static_cast<int>(USBDEVFS_CONNECT)) return succeed();
      return fail(ENOTTY);
    }
    default:
      return fail(ENOTTY);
  }
}

bool EmulatedFtdiChip::SubmitUrb(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
  if (gone_) {
    umockdev_ioctl_client_complete(client, -1, ENODEV);
    return true;
  }
  UMockdevIoctlData* urbData = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), nullptr);
  auto urb = std::make_unique<Urb>(urbData);
  auto* fields = reinterpret_cast<usbdevfs_urb*>(urbData->data);
  const int length = fields->buffer_length;
  UMockdevIoctlData* buffer = umockdev_ioctl_data_resolve(urbData, offsetof(usbdevfs_urb, buffer),
                                                          static_cast<gsize>(length), nullptr);
  std::span<std::uint8_t> bytes(buffer->data, static_cast<std::size_t>(length));
  const auto now = SteadyClock::now();
  int error = 0;

  if (fields->type == USBDEVFS_URB_TYPE_CONTROL && length >= 8) {
    ControlRequest setup;
    setup.requestType = bytes[0];
    setup.request = bytes[1];
    setup.value = static_cast<std::uint16_t>(bytes[2] | bytes[3] << 8);
    setup.index = static_cast<std::uint16_t>(bytes[4] | bytes[5] << 8);
    setup.length = static_cast<std::uint16_t>(bytes[6] | bytes[7] << 8);
    if (setup.requestType == 0x80 && setup.request == kGetDescriptor &&
        setup.value >> 8 == kStringDescriptor) {
      ++stringReads_;
      const Bytes text = StringDescriptor(setup.value & 0xFF, serial_);
      const int data = std::min<int>({setup.length, length - 8, static_cast<int>(text.size())});
      std::copy_n(text.begin(), data, bytes.begin() + 8);
      urb->actualLength = data;
      done_.push_back(std::move(urb));
      umockdev_ioctl_client_complete(client, 0, 0);
      umockdev_ioctl_data_unref(buffer);
      return true;
    }
    transfers_.push_back({false, setup, {}, now});
    const bool vendorOut = setup.requestType == 0x40;
    if (vendorOut && refused_ != 0 && setup.request == refused_) {
      urb->status = -EPIPE;  // a stalled control endpoint
    } else {
      // The bit mode: the mask in the low byte, the mode in the high one.
      if (vendorOut && setup.request == kSetBitMode) bitBang_ = setup.value == kBitBangAllOutputs;
      // Nothing on the panel's path reads from the chip; a read is answered with zeros.
      const int data = std::min<int>(setup.length, length - 8);
      if (setup.requestType & 0x80)
        std::memset(bytes.data() + 8, 0, static_cast<std::size_t>(data));
      urb->actualLength = data;
    }
    done_.push_back(std::move(urb));
  } else if (fields->type == USBDEVFS_URB_TYPE_BULK && fields->endpoint == kBulkOut) {
    if (vanishCountdown_ > 0 && --vanishCountdown_ == 0) gone_ = true;
    if (gone_) {
      error = ENODEV;
    } else {
      transfers_.push_back({true, {}, Bytes(bytes.begin(), bytes.end()), now});
      urb->actualLength = length;
      if (stuck_) {
        flying_.push_back(std::move(urb));  // taken, never played out
      } else {
        if (bitBang_) board_.FeedBurst(bytes);
        done_.push_back(std::move(urb));
      }
    }
  } else if (fields->type == USBDEVFS_URB_TYPE_BULK) {
    flying_.push_back(std::move(urb));  // reads wait for data that never comes
  } else {
    error = EINVAL;
  }
  if (error != 0)
    umockdev_ioctl_client_complete(client, -1, error);
  else
    umockdev_ioctl_client_complete(client, 0, 0);
  umockdev_ioctl_data_unref(buffer);
  return true;
}

bool EmulatedFtdiChip::ReapUrb(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
  std::unique_ptr<Urb> urb;
  if (!done_.empty()) {
    urb = std::move(done_.front());
    done_.erase(done_.begin());
  } else if (!cancelled_.empty()) {
    urb = std::move(cancelled_.front());
    cancelled_.erase(cancelled_.begin());
    urb->status = -ENOENT;
    urb->actualLength = 0;
  } else {
    umockdev_ioctl_client_complete(client, -1, gone_ ? ENODEV : EAGAIN);
    return true;
  }
  auto* fields = reinterpret_cast<usbdevfs_urb*>(urb->data->data);
  fields->status = urb->status;
  fields->actual_length = urb->actualLength;
  UMockdevIoctlData* pointer = umockdev_ioctl_data_resolve(arg, 0, sizeof(void*), nullptr);
  umockdev_ioctl_data_set_ptr(pointer, 0, urb->data);
  umockdev_ioctl_client_complete(client, 0, 0);
  umockdev_ioctl_data_unref(pointer);
  return true;
}

bool EmulatedFtdiChip::DiscardUrb(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
  void* address = nullptr;
  std::memcpy(&address, arg->data, sizeof address);
  for (auto it = flying_.begin(); it != flying_.end(); ++it) {
    if ((*it)->data->client_addr != reinterpret_cast<gulong>(address)) continue;
    cancelled_.push_back(std::move(*it));
    flying_.erase(it);
    umockdev_ioctl_client_complete(client, 0, 0);
    return true;
  }
  umockdev_ioctl_client_complete(client, -1, EINVAL);
  return true;
}

}  // namespace quarvel::usb_test
