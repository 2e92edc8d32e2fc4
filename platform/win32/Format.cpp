//===- Format.cpp - wvsprintfW on Windows ----------------------------------===//
//
// Forwards to user32's formatter. Only code for Windows belongs here.
//
//===----------------------------------------------------------------------===//
#include "zelsys/format.h"
#include "WindowsSupport.h"

namespace zelsys {

int wvsprintfW(LPWSTR lpOut, LPCWSTR lpFmt, va_list arglist) {
  return ::wvsprintfW(win32::wide(lpOut), win32::wide(lpFmt), arglist);
}

} // namespace zelsys
