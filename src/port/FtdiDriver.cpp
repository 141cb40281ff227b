// SPDX-License-Identifier: GPL-3.0-or-later
#include "port/FtdiDriver.h"

#include <ftdi.h>
#include <libusb.h>

#include <algorithm>
#include <array>
#include <exception>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace quarvel::port {

namespace {

struct ErrorRow {
  FtdiFunction function;
  int code;
  FtStatus status;
};

// Every libftdi1 failure the backend can meet, and the D2XX status it stands for.
constexpr std::array<ErrorRow, 27> kErrorTable = {{
    // ftdi_new() returned NULL: out of memory.
    {FtdiFunction::New, -1, FT_INSUFFICIENT_RESOURCES},
    // ftdi_usb_find_all(): 0 devices with FTDI's standard vendor and product IDs.
    {FtdiFunction::FindAll, 0, FT_DEVICE_NOT_FOUND},
    // ftdi_usb_find_all(): out of memory while building the list.
    {FtdiFunction::FindAll, -3, FT_INSUFFICIENT_RESOURCES},
    // ftdi_usb_find_all(): libusb_init() failed, so no USB device can be seen at all.
    {FtdiFunction::FindAll, -4, FT_DEVICE_NOT_FOUND},
    // ftdi_usb_find_all(): libusb_get_device_list() failed.
    {FtdiFunction::FindAll, -5, FT_IO_ERROR},
    // ftdi_usb_find_all(): libusb_get_device_descriptor() failed.
    {FtdiFunction::FindAll, -6, FT_IO_ERROR},
    // ftdi_usb_open_dev(): the device went away before its configuration could be set.
    {FtdiFunction::OpenDev, -3, FT_DEVICE_NOT_FOUND},
    // ftdi_usb_open_dev(): libusb_open() failed, usually no permission on the device node.
    {FtdiFunction::OpenDev, -4, FT_DEVICE_NOT_OPENED},
    // ftdi_usb_open_dev(): claiming the interface failed; the kernel's serial driver or
    // another program holds the device.
    {FtdiFunction::OpenDev, -5, FT_DEVICE_NOT_OPENED},
    // ftdi_usb_open_dev(): the reset request was not transferred.
    {FtdiFunction::OpenDev, -6, FT_IO_ERROR},
    // ftdi_usb_open_dev(): the initial baud rate could not be set.
    {FtdiFunction::OpenDev, -7, FT_IO_ERROR},
    // ftdi_usb_open_dev(): inappropriate permissions (or an invalid context).
    {FtdiFunction::OpenDev, -8, FT_DEVICE_NOT_OPENED},
    // ftdi_usb_open_dev(): the device descriptor could not be read.
    {FtdiFunction::OpenDev, -9, FT_IO_ERROR},
    // ftdi_usb_open_dev(): the configuration descriptor could not be read.
    {FtdiFunction::OpenDev, -10, FT_IO_ERROR},
    // ftdi_usb_open_dev(): the kernel driver could not be detached.
    {FtdiFunction::OpenDev, -11, FT_DEVICE_NOT_OPENED},
    // ftdi_usb_open_dev(): the active configuration could not be read.
    {FtdiFunction::OpenDev, -12, FT_IO_ERROR},
    // ftdi_usb_open_dev(): the latency timer could not be read.
    {FtdiFunction::OpenDev, -13, FT_IO_ERROR},
    // ftdi_set_bitmode(): the control transfer failed.
    {FtdiFunction::SetBitMode, -1, FT_IO_ERROR},
    // ftdi_set_bitmode(): the device is not open.
    {FtdiFunction::SetBitMode, -2, FT_DEVICE_NOT_OPENED},
    // ftdi_set_baudrate(): the rate cannot be reached by any divisor.
    {FtdiFunction::SetBaudRate, -1, FT_INVALID_BAUD_RATE},
    // ftdi_set_baudrate(): the control transfer failed.
    {FtdiFunction::SetBaudRate, -2, FT_IO_ERROR},
    // ftdi_set_baudrate(): the device is not open.
    {FtdiFunction::SetBaudRate, -3, FT_DEVICE_NOT_OPENED},
    // ftdi_write_data(): the device is not open.
    {FtdiFunction::WriteData, -666, FT_DEVICE_NOT_OPENED},
    // ftdi_write_data(): a libusb bulk transfer failed (unplugged, timed out, stalled).
    {FtdiFunction::WriteData, -1, FT_IO_ERROR},
    // ftdi_write_data(): fewer bytes were taken than handed over (reported by the backend).
    {FtdiFunction::WriteData, -10, FT_FAILED_TO_WRITE_DEVICE},
    // ftdi_usb_close(): releasing the interface failed.
    {FtdiFunction::Close, -1, FT_IO_ERROR},
    // ftdi_usb_close(): invalid context.
    {FtdiFunction::Close, -3, FT_INVALID_HANDLE},
}};

ftdi_context* Context(FtHandle handle) {
  return static_cast<ftdi_context*>(handle);
}

}  // namespace

FtStatus MapFtdiError(FtdiFunction function, int code) {
  for (const auto& row : kErrorTable)
    if (row.function == function && row.code == code) return row.status;
  // Every other negative write result is a libusb transfer error.
  if (function == FtdiFunction::WriteData && code < 0) return FT_IO_ERROR;
  return FT_OTHER_ERROR;
}

std::optional<int> BaudArgument(std::uint32_t requestedRate, bool bitBangOn) {
  constexpr std::uint32_t kFastest = 3000000;
  const std::uint32_t argument = bitBangOn ? requestedRate / 4 : requestedRate;
  if (argument == 0 || requestedRate > kFastest) return std::nullopt;
  return static_cast<int>(argument);
}

namespace {

// Whether ftdi_usb_open_dev() failed before the device was reset: opening its node, reading its
// descriptors, setting its configuration or claiming it, all of which a device gone from the
// system fails. The failures after that (-6 the reset, -7 the initial baud rate) were answers
// of a device that is there.
constexpr bool FailedBeforeTheReset(int opened) {
  return opened < 0 && opened != -6 && opened != -7;
}

// Puts a kept context back into the state ftdi_new() leaves a context in, so that the next
// device opened on it is configured exactly as on a fresh one (opening sets the initial baud
// rate, which libftdi scales by four while bit-bang mode is noted as on).
void StartSession(ftdi_context* ctx) {
  ctx->type = TYPE_BM;
  ctx->baudrate = -1;
  ctx->bitbang_enabled = 0;
  ctx->bitbang_mode = 1;
  ctx->readbuffer_offset = 0;
  ctx->readbuffer_remaining = 0;
  ctx->max_packet_size = 0;
  ctx->usb_write_timeout = kWriteTimeoutMs;
}

// The five driver operations on libftdi1; a handle is the device's ftdi_context.
//
// Every burst opens and closes the device, but the USB library context under it (which
// enumerates the system's devices and then follows them as they come and go) is made once and
// kept: the first one on a thread of its own from the driver's construction on, while the
// window is being built; each burst then only finds and opens the device. A second device
// open at the same time gets a context of its own, made and freed with it.
class FtdiDriver final : public UsbDriver {
 public:
  FtdiDriver() {
    try {
      preparing_ = std::thread([this] { kept_ = ftdi_new(); });
    } catch (const std::exception&) {
      // No thread to spare: the first Open makes the context.
    }
  }

  ~FtdiDriver() override {
    KeptContextReady();
    if (kept_ != nullptr) ftdi_free(kept_);
  }

  FtStatus Open(int index, FtHandle* handle) override {
    ftdi_context* ctx = TakeContext();
    if (ctx == nullptr) return MapFtdiError(FtdiFunction::New, -1);
    int found = 0, opened = 0;
    bool ok = OpenOn(ctx, index, &found, &opened);
    if (!ok && ctx == kept_ && (found <= index || FailedBeforeTheReset(opened))) {
      // The kept context learns of devices coming and going from the system's device events;
      // where none are sent (no device manager running) its list can be out of date. Nothing
      // found, or a listed device that cannot be opened, is therefore asked again on a fresh
      // context, which looks at the system afresh, and that one is kept from now on.
      if (ftdi_context* fresh = ftdi_new(); fresh != nullptr) {
        ftdi_free(kept_);
        kept_ = ctx = fresh;
        StartSession(ctx);
        ok = OpenOn(ctx, index, &found, &opened);
      }
    }
    if (ok) {
      *handle = ctx;
      return FT_OK;
    }
    GiveBack(ctx);
    if (found <= index) return MapFtdiError(FtdiFunction::FindAll, found < 0 ? found : 0);
    return MapFtdiError(FtdiFunction::OpenDev, opened);
  }

  FtStatus SetBitMode(FtHandle handle, std::uint8_t mask, std::uint8_t mode) override {
    if (handle == nullptr) return FT_INVALID_HANDLE;
    const int rc = ftdi_set_bitmode(Context(handle), mask, mode);
    return rc < 0 ? MapFtdiError(FtdiFunction::SetBitMode, rc) : FT_OK;
  }

  FtStatus SetBaudRate(FtHandle handle, std::uint32_t baud) override {
    if (handle == nullptr) return FT_INVALID_HANDLE;
    const auto argument = BaudArgument(baud, Context(handle)->bitbang_enabled != 0);
    if (!argument) return FT_INVALID_BAUD_RATE;
    const int rc = ftdi_set_baudrate(Context(handle), *argument);
    return rc < 0 ? MapFtdiError(FtdiFunction::SetBaudRate, rc) : FT_OK;
  }

  FtStatus Write(FtHandle handle, const std::uint8_t* data, std::uint32_t count,
                 std::uint32_t* written) override {
    *written = 0;
    if (handle == nullptr) return FT_INVALID_HANDLE;
    if (count == 0) return FT_OK;
    const int rc = ftdi_write_data(Context(handle), data, static_cast<int>(count));
    if (rc < 0) return MapFtdiError(FtdiFunction::WriteData, rc);
    *written = static_cast<std::uint32_t>(rc);
    return *written == count ? FT_OK : MapFtdiError(FtdiFunction::WriteData, -10);
  }

  std::uint32_t Connection() const override { return connection_; }

  FtStatus Close(FtHandle handle) override {
    if (handle == nullptr) return FT_INVALID_HANDLE;
    ftdi_context* ctx = Context(handle);
    const int rc = ftdi_usb_close(ctx);
    GiveBack(ctx);
    return rc < 0 ? MapFtdiError(FtdiFunction::Close, rc) : FT_OK;
  }

 private:
  void KeptContextReady() {
    if (preparing_.joinable()) preparing_.join();
  }

  // The kept context when no device is open on it (made now if it could not be made before),
  // else a new one; null when none can be made.
  ftdi_context* TakeContext() {
    KeptContextReady();
    if (kept_ == nullptr) kept_ = ftdi_new();
    if (kept_ == nullptr) return nullptr;
    ftdi_context* ctx = keptInUse_ ? ftdi_new() : kept_;
    if (ctx == nullptr) return nullptr;
    if (ctx == kept_) keptInUse_ = true;
    StartSession(ctx);
    return ctx;
  }

  // Finds the devices on ctx and opens the board; false with what failed when it cannot (a
  // board away is reported as nothing found). Before any device was opened, the board is the
  // index-th device listed; from then on it is the device opened last (see FindBoard), and no
  // other device is opened in its place: a serial adapter plugged in beside the board takes
  // none of its bursts, nor part of an upload, while the board is away.
  bool OpenOn(ftdi_context* ctx, int index, int* found, int* opened) {
    *opened = 0;
    ftdi_device_list* list = nullptr;
    // Vendor and product 0 select FTDI's standard product IDs.
    *found = ftdi_usb_find_all(ctx, &list, 0, 0);
    if (*found <= index) {
      if (list != nullptr) ftdi_list_free(&list);
      return false;
    }
    std::vector<libusb_device*> devices;
    for (ftdi_device_list* entry = list; entry != nullptr; entry = entry->next)
      devices.push_back(entry->dev);
    // A context lists the devices it learnt of last first. They are put in one fixed order,
    // the highest bus and port numbers first, so that the same devices give the same choice.
    std::stable_sort(devices.begin(), devices.end(),
                     [](libusb_device* a, libusb_device* b) { return PlaceOf(a) > PlaceOf(b); });
    Found board{devices[static_cast<std::size_t>(index)], true, false};
    if (board_) board = FindBoard(devices);
    if (board.device == nullptr) {
      ftdi_list_free(&list);
      *found = 0;
      return false;
    }
    *opened = ftdi_usb_open_dev(ctx, board.device);
    if (*opened >= 0 && board.arrived) {
      const std::vector<int> place = PlaceOf(board.device);
      board_ = Identity{
          board.elsewhere ? board_->home : place, place, libusb_get_bus_number(board.device),
          libusb_get_device_address(board.device), SerialOf(board.device, ctx->usb_dev)};
      strangers_.clear();
      ++connection_;
    }
    ftdi_list_free(&list);
    if (*opened >= 0) return true;
    // Some failures leave the device handle open; ftdi_free() would close it.
    if (ctx->usb_dev != nullptr) {
      libusb_close(ctx->usb_dev);
      ctx->usb_dev = nullptr;
    }
    return false;
  }

  struct Found {
    libusb_device* device = nullptr;  // null: the board is away
    bool arrived = false;             // plugged in (again) since it was last opened
    bool elsewhere = false;           // found by its serial number away from its own socket
  };

  // The board among the listed devices:
  // 1. still plugged in where it was last opened (the same place and bus address), unless a
  //    device new to its own socket is the board put back there: nothing is read;
  // 2. a device new to its own socket, when it has the board's serial number, or the board has
  //    none, or it cannot be read (no permission yet: opening it tells the user why);
  // 3. away from its socket, the device with its serial number wherever it is plugged in;
  // 4. another board put in its socket (not one found earlier not to be the board);
  // 5. a board without a serial number is known by its socket only: away from it, the first
  //    device listed, as before any device was reached.
  // Otherwise it is away. Clone chips may share a serial number: a twin taken while the board
  // was away gives way to the board once it is back in its socket.
  Found FindBoard(const std::vector<libusb_device*>& devices) {
    const bool named = board_->serial && !board_->serial->empty();
    libusb_device *current = nullptr, *atHome = nullptr;
    for (libusb_device* device : devices) {
      const std::vector<int> place = PlaceOf(device);
      if (place == board_->place && libusb_get_bus_number(device) == board_->bus &&
          libusb_get_device_address(device) == board_->address)
        current = device;
      if (place == board_->home) atHome = device;
    }
    if (current != nullptr && (atHome == nullptr || atHome == current || Stranger(atHome)))
      return {current, false, false};
    if (atHome != nullptr && !Stranger(atHome)) {
      const std::optional<std::string> serial = named ? ReadSerial(atHome) : std::nullopt;
      if (!named || serial == board_->serial || (!serial && current == nullptr))
        return {atHome, true, false};
      if (current != nullptr) {
        // Not the board, or not readable yet (asked again at the next burst).
        if (serial)
          strangers_.emplace_back(libusb_get_bus_number(atHome), libusb_get_device_address(atHome));
        return {current, false, false};
      }
    }
    if (named) {
      for (libusb_device* device : devices)
        if (device != atHome && ReadSerial(device) == board_->serial) return {device, true, true};
    }
    if (atHome != nullptr && !Stranger(atHome)) return {atHome, true, false};
    if (!named) return {devices.front(), true, false};
    return {};
  }

  // A device in the board's socket found not to be the board while the board is elsewhere.
  bool Stranger(libusb_device* device) const {
    return std::find(strangers_.begin(), strangers_.end(),
                     std::pair<int, int>(libusb_get_bus_number(device),
                                         libusb_get_device_address(device))) != strangers_.end();
  }

  // The serial number of a device not open yet; nothing when it cannot be opened or read.
  static std::optional<std::string> ReadSerial(libusb_device* device) {
    libusb_device_handle* handle = nullptr;
    if (libusb_open(device, &handle) != 0) return std::nullopt;
    std::optional<std::string> serial = SerialOf(device, handle);
    libusb_close(handle);
    return serial;
  }

  // A device's serial number, read on an open handle (reading takes no interface, so a device
  // held by the serial driver is not disturbed); empty when it has none, nothing when it
  // cannot be read.
  static std::optional<std::string> SerialOf(libusb_device* device, libusb_device_handle* handle) {
    libusb_device_descriptor descriptor{};
    if (libusb_get_device_descriptor(device, &descriptor) != 0) return std::nullopt;
    if (descriptor.iSerialNumber == 0) return std::string();
    std::array<unsigned char, 128> text{};
    const int length = libusb_get_string_descriptor_ascii(handle, descriptor.iSerialNumber,
                                                          text.data(), text.size());
    if (length < 0) return std::nullopt;
    return std::string(text.begin(), text.begin() + length);
  }

  // Where a device is plugged in: its bus, then the port numbers from the root hub down.
  static std::vector<int> PlaceOf(libusb_device* device) {
    std::array<std::uint8_t, 8> ports{};
    const int depth = libusb_get_port_numbers(device, ports.data(), static_cast<int>(ports.size()));
    std::vector<int> place{libusb_get_bus_number(device)};
    for (int i = 0; i < depth; ++i) place.push_back(ports[static_cast<std::size_t>(i)]);
    return place;
  }

  // Ends the use of a context whose device is closed (or was never opened).
  void GiveBack(ftdi_context* ctx) {
    if (ctx == kept_) {
      keptInUse_ = false;
    } else {
      ftdi_free(ctx);
    }
  }

  // The board: the device opened last. Its bus address stays the same while it stays plugged
  // in; its serial number, wherever it is plugged in again.
  struct Identity {
    std::vector<int> home;   // its own socket: bus, then ports
    std::vector<int> place;  // where it was opened last
    int bus = 0;
    int address = 0;
    std::optional<std::string> serial;  // empty: none; nothing: could not be read
  };

  std::thread preparing_;
  std::optional<Identity> board_;
  std::vector<std::pair<int, int>> strangers_;  // bus and address
  std::uint32_t connection_ = 0;                // counts the board's arrivals
  ftdi_context* kept_ = nullptr;
  bool keptInUse_ = false;
};

}  // namespace

std::unique_ptr<UsbDriver> MakeFtdiDriver() {
  return std::make_unique<FtdiDriver>();
}

}  // namespace quarvel::port
