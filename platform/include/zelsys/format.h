//===- zelsys/format.h - The system's printf for wide text -----------------===//
//
// wsprintfW and wvsprintfW: %s takes wide (char16_t) text, %c a wide
// character, %d %i %u %x %X numbers, with flags '-' and '0', a width and, for
// text, a precision. The output is cut to fit a 1024-character buffer.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "zelsys/wintypes.h"

#include <cstdarg>

namespace zelsys {

// Capacity of the output buffer the formatter may fill, terminator included.
constexpr int WSPRINTF_BUFFER_CHARS = 1024;

int wvsprintfW(LPWSTR lpOut, LPCWSTR lpFmt, va_list arglist);
int wsprintfW(LPWSTR lpOut, LPCWSTR lpFmt, ...);

} // namespace zelsys
