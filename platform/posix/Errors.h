//===- Errors.h - Win32 error codes for Unix failures ----------------------===//
//
// The substitute reports every failure in Win32's error space; errno values
// are translated here and nowhere else. Only code that works on every Unix.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "zelsys/winconst.h"

namespace zelsys::posix {

// The Win32 error code that stands for an errno value.
DWORD win32ErrorFromErrno(int error);

// Sets the last-error value from errno and returns FALSE, for the common
// "fail like Windows" path of a call.
BOOL failWithErrno();

} // namespace zelsys::posix
