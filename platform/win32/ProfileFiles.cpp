//===- ProfileFiles.cpp - Profile file calls on Windows --------------------===//
//
// Thin forwarders to kernel32. Only code for Windows belongs here.
//
//===----------------------------------------------------------------------===//
#include "zelsys/profilefiles.h"
#include "WindowsSupport.h"

namespace zelsys {

DWORD GetPrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName, LPCWSTR lpDefault,
                               LPWSTR lpReturnedString, DWORD nSize, LPCWSTR lpFileName) {
  return ::GetPrivateProfileStringW(win32::wide(lpAppName), win32::wide(lpKeyName),
                                    win32::wide(lpDefault), win32::wide(lpReturnedString), nSize,
                                    win32::wide(lpFileName));
}

UINT GetPrivateProfileIntW(LPCWSTR lpAppName, LPCWSTR lpKeyName, INT nDefault, LPCWSTR lpFileName) {
  return ::GetPrivateProfileIntW(win32::wide(lpAppName), win32::wide(lpKeyName), nDefault,
                                 win32::wide(lpFileName));
}

DWORD GetPrivateProfileSectionW(LPCWSTR lpAppName, LPWSTR lpReturnedString, DWORD nSize,
                                LPCWSTR lpFileName) {
  return ::GetPrivateProfileSectionW(win32::wide(lpAppName), win32::wide(lpReturnedString), nSize,
                                     win32::wide(lpFileName));
}

DWORD GetPrivateProfileSectionNamesW(LPWSTR lpszReturnBuffer, DWORD nSize, LPCWSTR lpFileName) {
  return ::GetPrivateProfileSectionNamesW(win32::wide(lpszReturnBuffer), nSize,
                                          win32::wide(lpFileName));
}

BOOL WritePrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName, LPCWSTR lpString,
                                LPCWSTR lpFileName) {
  return ::WritePrivateProfileStringW(win32::wide(lpAppName), win32::wide(lpKeyName),
                                      win32::wide(lpString), win32::wide(lpFileName));
}

BOOL WritePrivateProfileSectionW(LPCWSTR lpAppName, LPCWSTR lpString, LPCWSTR lpFileName) {
  return ::WritePrivateProfileSectionW(win32::wide(lpAppName), win32::wide(lpString),
                                       win32::wide(lpFileName));
}

} // namespace zelsys
