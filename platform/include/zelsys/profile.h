//===- zelsys/profile.h - User profile folders -----------------------------===//
//
// The folder of the default user profile, the one new users' profiles are
// copied from, with the Windows name, argument order, results and error
// behaviour.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "zelsys/wintypes.h"

namespace zelsys {

// Copies the default user profile's full path and a terminator into
// lpProfileDir and sets *lpcchSize to the units used, terminator included.
// A null lpProfileDir or a buffer of fewer units than that gives FALSE with
// ERROR_INSUFFICIENT_BUFFER, *lpcchSize set to the size needed and the
// buffer untouched; a null lpcchSize gives ERROR_INVALID_PARAMETER.
BOOL GetDefaultUserProfileDirectoryW(LPWSTR lpProfileDir, DWORD *lpcchSize);

} // namespace zelsys
