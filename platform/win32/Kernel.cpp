//===- Kernel.cpp - Process-level kernel calls on Windows ------------------===//
//
// Thin forwarders to kernel32. Only code for Windows belongs here.
//
//===----------------------------------------------------------------------===//
#include "zelsys/kernel.h"
// The interface's constants before the system's macros of the same names.
#include "zelsys/process.h"

#include "WindowsSupport.h"

namespace zelsys {

DWORD GetLastError() { return ::GetLastError(); }

void SetLastError(DWORD dwErrCode) { ::SetLastError(dwErrCode); }

DWORD GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize) {
  return ::GetModuleFileNameW(reinterpret_cast<::HMODULE>(hModule), win32::wide(lpFilename), nSize);
}

void Sleep(DWORD dwMilliseconds) { ::Sleep(dwMilliseconds); }

// Declared with the process calls; here, so that a program asking for its
// own id does not link them all.
DWORD GetCurrentProcessId() { return ::GetCurrentProcessId(); }

} // namespace zelsys
