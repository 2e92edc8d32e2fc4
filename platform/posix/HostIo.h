//===- HostIo.h - Whole writes to host descriptors -------------------------===//
//
// write(2) may write less than asked and may be interrupted; every caller
// that needs all its bytes written goes through here. Only code that works
// on every Unix.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <cstddef>

namespace zelsys::posix {

// Writes all size bytes, retrying after interruptions and short writes;
// false (errno set, or 0 when nothing more could be written) when they could
// not all be written.
bool writeAll(int fd, const void *data, std::size_t size);

} // namespace zelsys::posix
