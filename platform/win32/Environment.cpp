//===- Environment.cpp - The process environment on Windows ----------------===//
//
// Thin forwarders to kernel32. Only code for Windows belongs here.
//
//===----------------------------------------------------------------------===//
#include "zelsys/environment.h"
#include "WindowsSupport.h"

namespace zelsys {

DWORD GetEnvironmentVariableW(LPCWSTR lpName, LPWSTR lpBuffer, DWORD nSize) {
  return ::GetEnvironmentVariableW(win32::wide(lpName), win32::wide(lpBuffer), nSize);
}

BOOL SetEnvironmentVariableW(LPCWSTR lpName, LPCWSTR lpValue) {
  return ::SetEnvironmentVariableW(win32::wide(lpName), win32::wide(lpValue));
}

} // namespace zelsys
