//===- Environment.cpp - The process environment on Windows ----------------===//
//
// Thin forwarders to kernel32. Only code for Windows belongs here.
//
//===----------------------------------------------------------------------===//
#include "zelsys/environment.h"
#include "WindowsSupport.h"
#include "zelsys/registry.h"

namespace zelsys {

DWORD GetEnvironmentVariableW(LPCWSTR lpName, LPWSTR lpBuffer, DWORD nSize) {
  return ::GetEnvironmentVariableW(win32::wide(lpName), win32::wide(lpBuffer), nSize);
}

BOOL SetEnvironmentVariableW(LPCWSTR lpName, LPCWSTR lpValue) {
  return ::SetEnvironmentVariableW(win32::wide(lpName), win32::wide(lpValue));
}

DWORD ExpandEnvironmentStringsW(LPCWSTR lpSrc, LPWSTR lpDst, DWORD nSize) {
  return ::ExpandEnvironmentStringsW(win32::wide(lpSrc), win32::wide(lpDst), nSize);
}

} // namespace zelsys
