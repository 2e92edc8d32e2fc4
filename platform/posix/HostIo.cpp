//===- HostIo.cpp - Whole writes to host descriptors -----------------------===//
//
// Only code that works on every Unix.
//
//===----------------------------------------------------------------------===//
#include "HostIo.h"

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

} // namespace zelsys::posix
