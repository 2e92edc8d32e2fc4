//===- Format.cpp - The formatter's variadic entry, for every platform -----===//
//
// wsprintfW is the same on both platforms: it hands its arguments to the
// platform's wvsprintfW. Only code that works everywhere belongs here.
//
//===----------------------------------------------------------------------===//
#include "zelsys/format.h"

namespace zelsys {

int wsprintfW(LPWSTR lpOut, LPCWSTR lpFmt, ...) {
  va_list args;
  va_start(args, lpFmt);
  const int written = wvsprintfW(lpOut, lpFmt, args);
  va_end(args);
  return written;
}

} // namespace zelsys
