// SPDX-License-Identifier: GPL-3.0-or-later
// Preloaded into the program by the x11 tests: read() on a file whose name contains "-eio"
// fails with EIO, the way a failing disk answers. Every other read goes through unchanged.
#include <dlfcn.h>
#include <errno.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

extern "C" ssize_t read(int fd, void* buf, size_t count) {
  using ReadFn = ssize_t (*)(int, void*, size_t);
  static const auto real = reinterpret_cast<ReadFn>(dlsym(RTLD_NEXT, "read"));
  char link[64];
  char target[4096];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  const ssize_t n = readlink(link, target, sizeof target - 1);
  if (n > 0) {
    target[n] = '\0';
    if (std::strstr(target, "-eio") != nullptr) {
      errno = EIO;
      return -1;
    }
  }
  return real(fd, buf, count);
}
