//===- zelsys/kernel.h - Process-level kernel calls ------------------------===//
//
// The last-error value, the program's own path and sleeping, with the Windows names,
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

// Suspends the calling thread for at least dwMilliseconds (0 gives up the
// rest of its time slice).
void Sleep(DWORD dwMilliseconds);

} // namespace zelsys
