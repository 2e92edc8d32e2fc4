//===- Version.cpp - Version-resource calls on Windows ---------------------===//
//
// Thin forwarders to version.dll. Only code for Windows belongs here.
//
//===----------------------------------------------------------------------===//
#include "WindowsSupport.h"
#include "zelsys/files.h"

#include <winver.h>

namespace zelsys {

DWORD GetFileVersionInfoSizeW(LPCWSTR lptstrFilename, DWORD *lpdwHandle) {
  return ::GetFileVersionInfoSizeW(win32::wide(lptstrFilename),
                                   reinterpret_cast<::DWORD *>(lpdwHandle));
}

BOOL GetFileVersionInfoW(LPCWSTR lptstrFilename, DWORD dwHandle, DWORD dwLen, LPVOID lpData) {
  return ::GetFileVersionInfoW(win32::wide(lptstrFilename), dwHandle, dwLen, lpData);
}

BOOL VerQueryValueW(LPCVOID pBlock, LPCWSTR lpSubBlock, LPVOID *lplpBuffer, UINT *puLen) {
  return ::VerQueryValueW(pBlock, win32::wide(lpSubBlock), lplpBuffer, puLen);
}

} // namespace zelsys
