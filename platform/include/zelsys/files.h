//===- zelsys/files.h - File calls -----------------------------------------===//
//
// Files by Windows path, with the Windows names, argument order, results and
// last-error behaviour.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "zelsys/wintypes.h"

namespace zelsys {

// Deletes one file (not a folder: that fails with ERROR_ACCESS_DENIED).
BOOL DeleteFileW(LPCWSTR lpFileName);

} // namespace zelsys
