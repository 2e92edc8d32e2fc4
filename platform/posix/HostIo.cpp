//===- HostIo.cpp - Whole reads and writes of host descriptors -------------===//
//
// Only code that works on every Unix.
//
//===----------------------------------------------------------------------===//
#include "HostIo.h"
#include "Errors.h"

#include <cerrno>
#include <unistd.h>

namespace zelsys::posix {

bool writeAll(int fd, const void *data, std::size_t size) {
  const char *bytes = static_cast<const char *>(data);
  while (size > 0) {
    const ssize_t written = ::write(fd, bytes, size);
    if (written < 0 && errno == EINTR)
      continue;
    if (written <= 0) {
      if (written == 0)
        errno = 0;
      return false;
    }
    bytes += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

DWORD readAll(int fd, std::string &bytes) {
  char chunk[65536];
  for (;;) {
    const ssize_t got = ::read(fd, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR)
      continue;
    if (got < 0)
      return win32ErrorFromErrno(errno);
    if (got == 0)
      return ERROR_SUCCESS;
    bytes.append(chunk, static_cast<std::size_t>(got));
  }
}

} // namespace zelsys::posix
