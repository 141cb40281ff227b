// SPDX-License-Identifier: GPL-3.0-or-later
#include "receiver/ImageFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string_view>

namespace quarvel::receiver {

std::string RuntimeErrorText(int code) {
  switch (code) {
    case 2:
      return "Datei nicht gefunden";
    case 3:
      return "Ungültiger Dateiname";
    case 4:
      return "Zu viele geöffnete Dateien";
    case 5:
      return "Dateizugriff verweigert";
    case 100:
      return "Versuch hinter dem Dateiende zu lesen";
    case 101:
      return "Zu wenig Speicherplatz";
    case 106:
      return "Ungültige numerische Eingabe";
    default:
      return "E/A-Fehler " + std::to_string(code);
  }
}

int RuntimeCodeFromErrno(int err) {
  switch (err) {
    case ENOENT:
      return 2;
    case ENOTDIR:
    case ENAMETOOLONG:
    case EINVAL:
    case ELOOP:
      return 3;
    case EMFILE:
    case ENFILE:
      return 4;
    case EACCES:
    case EPERM:
    case EROFS:
      return 5;
    case ENOSPC:
      return 101;
    default:
      return 0;
  }
}

std::string ErrnoErrorText(int err) {
  const int code = RuntimeCodeFromErrno(err);
  return code != 0 ? RuntimeErrorText(code) : "E/A-Fehler " + std::to_string(err);
}

int PosixFileApi::Stat(const char* path, struct stat* st) {
  return ::stat(path, st);
}
int PosixFileApi::Open(const char* path, int flags) {
  return ::open(path, flags);
}
int PosixFileApi::Fstat(int fd, struct stat* st) {
  return ::fstat(fd, st);
}
ssize_t PosixFileApi::Read(int fd, void* buf, std::size_t count) {
  return ::read(fd, buf, count);
}
int PosixFileApi::Close(int fd) {
  return ::close(fd);
}

PosixFileApi& DefaultFileApi() {
  static PosixFileApi api;
  return api;
}

namespace {

// The characters that set the direction of the text after them, with the code a message
// shows instead of each.
struct DirectionControl {
  std::string_view utf8;
  const char* shown;
};
constexpr DirectionControl kDirectionControls[] = {
    {"\u061C", "\\u061C"}, {"\u200E", "\\u200E"}, {"\u200F", "\\u200F"}, {"\u202A", "\\u202A"},
    {"\u202B", "\\u202B"}, {"\u202C", "\\u202C"}, {"\u202D", "\\u202D"}, {"\u202E", "\\u202E"},
    {"\u2066", "\\u2066"}, {"\u2067", "\\u2067"}, {"\u2068", "\\u2068"}, {"\u2069", "\\u2069"},
};

}  // namespace

// A NUL byte would end the message's text early and hide the cause, so it is written as "\0".
// A direction control would turn the rest of the message around (the cause unreadable, "256"
// shown as "652") and can disguise the name ("x<U+202E>nib.exe" shown as "xexe.bin"), so each
// is written as its code, "\u202E".
std::string ShownName(const std::string& path) {
  std::string shown;
  for (std::size_t i = 0; i < path.size(); ++i) {
    const auto control = std::find_if(
        std::begin(kDirectionControls), std::end(kDirectionControls),
        [&](const DirectionControl& c) { return path.compare(i, c.utf8.size(), c.utf8) == 0; });
    if (path[i] == '\0') {
      shown += "\\0";
    } else if (control != std::end(kDirectionControls)) {
      shown += control->shown;
      i += control->utf8.size() - 1;
    } else {
      shown += path[i];
    }
  }
  return shown;
}

namespace {

[[noreturn]] void ThrowCannotOpen(const std::string& path, int err) {
  throw FileError(err, "Cannot open \"" + ShownName(path) + "\": " + ErrnoErrorText(err));
}

[[noreturn]] void ThrowNotRegular(const std::string& path) {
  throw FileError(0, "\"" + ShownName(path) + "\" is not a regular file and cannot be an image");
}

// An input/output error after a successful open: what failed, on which file, and the
// runtime's text for the cause.
[[noreturn]] void ThrowIo(const char* what, const std::string& path, int code,
                          const std::string& text) {
  throw FileError(code, std::string(what) + " \"" + ShownName(path) + "\": " + text);
}
[[noreturn]] void ThrowReadError(const std::string& path, int err) {
  ThrowIo("Cannot read", path, err, ErrnoErrorText(err));
}
[[noreturn]] void ThrowReadPastEnd(const std::string& path) {
  ThrowIo("Cannot read", path, 100, RuntimeErrorText(100));
}

}  // namespace

Image ReadImageFile(const std::string& path, FileApi& api) {
  if (path.empty() || path.find('\0') != std::string::npos) ThrowCannotOpen(path, EINVAL);

  struct stat st {};
  if (api.Stat(path.c_str(), &st) != 0) ThrowCannotOpen(path, errno);
  // Checked before opening: opening a FIFO for reading blocks until a writer appears.
  if (!S_ISREG(st.st_mode)) ThrowNotRegular(path);

  const int fd = api.Open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) ThrowCannotOpen(path, errno);

  struct FdCloser {
    FileApi& api;
    int fd;
    bool closed = false;
    ~FdCloser() {
      if (!closed) api.Close(fd);
    }
  } closer{api, fd};

  if (api.Fstat(fd, &st) != 0) ThrowReadError(path, errno);
  if (!S_ISREG(st.st_mode)) ThrowNotRegular(path);  // replaced between the checks
  if (st.st_size < static_cast<off_t>(kImageSize)) {
    throw FileError(0, "\"" + ShownName(path) + "\" is " + std::to_string(st.st_size) +
                           (st.st_size == 1 ? " byte" : " bytes") + " long; an image needs " +
                           std::to_string(kImageSize) + " bytes");
  }

  Image image{};
  std::size_t got = 0;
  while (got < kImageSize) {
    const ssize_t n = api.Read(fd, image.data() + got, kImageSize - got);
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowReadError(path, errno);
    }
    if (n == 0) ThrowReadPastEnd(path);  // the file shrank after its size was read
    got += static_cast<std::size_t>(n);
  }
  closer.closed = true;
  if (api.Close(fd) != 0) ThrowIo("Cannot close", path, errno, ErrnoErrorText(errno));
  return image;
}

}  // namespace quarvel::receiver
