// SPDX-License-Identifier: GPL-3.0-or-later
// Reading a configuration image file: its first 256 bytes, raw.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace quarvel::receiver {

inline constexpr std::size_t kImageSize = 256;
using Image = std::array<std::uint8_t, kImageSize>;

// A file that could not be used. code is the platform errno of the cause (100 for reading
// past the end), or 0 for a file the panel refuses (wrong size, not a regular file).
class FileError : public std::runtime_error {
 public:
  FileError(int code, const std::string& message) : std::runtime_error(message), code_(code) {}
  int code() const { return code_; }

 private:
  int code_;
};

// A file's name as a message shows it, the characters that would hide or disguise it written
// as codes ("\0", "\u202E").
std::string ShownName(const std::string& path);

// The runtime's text for a file error: "Datei nicht gefunden" (2), ..., "E/A-Fehler <n>" for a
// number it has no text for.
std::string RuntimeErrorText(int runtimeCode);
// The runtime error number for a platform errno, 0 where the runtime has no number for it.
int RuntimeCodeFromErrno(int err);
// The text for a platform errno: the runtime's text where it has one, else "E/A-Fehler <errno>".
std::string ErrnoErrorText(int err);

// The file operations the reader uses, so that tests can inject failures.
class FileApi {
 public:
  virtual ~FileApi() = default;
  virtual int Stat(const char* path, struct stat* st) = 0;
  virtual int Open(const char* path, int flags) = 0;
  virtual int Fstat(int fd, struct stat* st) = 0;
  virtual ssize_t Read(int fd, void* buf, std::size_t count) = 0;
  virtual int Close(int fd) = 0;
};

class PosixFileApi : public FileApi {
 public:
  int Stat(const char* path, struct stat* st) override;
  int Open(const char* path, int flags) override;
  int Fstat(int fd, struct stat* st) override;
  ssize_t Read(int fd, void* buf, std::size_t count) override;
  int Close(int fd) override;
};

PosixFileApi& DefaultFileApi();

// Reads the image from path, opened for reading only (an image the user may read but not
// write, on a read-only medium say, uploads as well as any other). Refuses (FileError) a file that
// cannot be opened, that is not a regular file (a FIFO would block for ever), or that is shorter
// than an image; an input/output error while reading or closing throws "Cannot read" or
// "Cannot close", the file's name and the runtime's text ("Cannot read "x.bin": E/A-Fehler 5").
// The file is always released.
Image ReadImageFile(const std::string& path, FileApi& api = DefaultFileApi());

}  // namespace quarvel::receiver
