//===- HostIo.h - Whole reads and writes of host descriptors ---------------===//
//
// read(2) and write(2) may move less than asked and may be interrupted;
// every caller that needs all the bytes goes through here. Only code that works
// on every Unix.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "zelsys/wintypes.h"

#include <cstddef>
#include <string>

namespace zelsys::posix {

// Writes all size bytes, retrying after interruptions and short writes;
// false (errno set, or 0 when nothing more could be written) when they could
// not all be written.
bool writeAll(int fd, const void *data, std::size_t size);

// Appends everything from the descriptor's position to its end to bytes,
// retrying after interruptions; a Win32 error code.
DWORD readAll(int fd, std::string &bytes);

} // namespace zelsys::posix
