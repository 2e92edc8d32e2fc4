//===- Kernel.cpp - Process-level kernel calls on Windows ------------------===//
//
// Thin forwarders to kernel32. Only code for Windows belongs here.
//
//===----------------------------------------------------------------------===//
#include "zelsys/kernel.h"
#include "WindowsSupport.h"

namespace zelsys {

DWORD GetLastError() { return ::GetLastError(); }

void SetLastError(DWORD dwErrCode) { ::SetLastError(dwErrCode); }

DWORD GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize) {
  return ::GetModuleFileNameW(reinterpret_cast<::HMODULE>(hModule), win32::wide(lpFilename), nSize);
}

void Sleep(DWORD dwMilliseconds) { ::Sleep(dwMilliseconds); }

} // namespace zelsys
