//===- Errors.h - Win32 error codes for Unix failures ----------------------===//
//
// The substitute reports every failure in Win32's error space; errno values
// are translated here and nowhere else. Only code that works on every Unix.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "zelsys/winconst.h"

namespace zelsys::posix {

// Win32 codes winconst.h does not name.
constexpr DWORD kErrorNotSupported = 50;

// The Win32 error code that stands for an errno value.
DWORD win32ErrorFromErrno(int error);

// Sets the last-error value from errno and returns FALSE, for the common
// "fail like Windows" path of a call.
BOOL failWithErrno();

// Sets the last-error value and returns FALSE.
BOOL failWith(DWORD dwError);

} // namespace zelsys::posix
