//===- zelsys/kernel.h - Process-level kernel calls ------------------------===//
//
// The last-error value and the program's own path, with the Windows names,
// argument order, results and error behaviour.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "zelsys/wintypes.h"

namespace zelsys {

// The calling thread's last-error value.
DWORD GetLastError();
void SetLastError(DWORD dwErrCode);

// Full path of a loaded module (null: the program itself). Copies at most
// nSize - 1 characters and a terminator; returns the characters copied, or
// nSize with ERROR_INSUFFICIENT_BUFFER when the path had to be cut.
DWORD GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize);

} // namespace zelsys
