//===- Resources.cpp - The program's string table on Windows --------------===//
//
// A thin forwarder to user32. Only code for Windows belongs here.
//
//===----------------------------------------------------------------------===//
#include "zelsys/resources.h"
#include "WindowsSupport.h"

namespace zelsys {

INT LoadStringW(HINSTANCE hInstance, UINT uID, LPWSTR lpBuffer, INT cchBufferMax) {
  // Windows would write through a null buffer or copy a negative count.
  if (lpBuffer == nullptr || cchBufferMax < 0) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const int copied = ::LoadStringW(reinterpret_cast<::HINSTANCE>(hInstance), uID,
                                   win32::wide(lpBuffer), cchBufferMax);
  // Windows leaves the buffer alone when the whole block is missing; callers
  // are promised an empty text for every missing one.
  if (copied == 0 && cchBufferMax > 0)
    lpBuffer[0] = u'\0';
  return copied;
}

} // namespace zelsys
