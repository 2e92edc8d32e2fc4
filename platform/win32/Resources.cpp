//===- Resources.cpp - String tables and module resources on Windows ------===//
//
// A thin forwarder to user32 and kernel32. Only code for Windows belongs
// here.
//
//===----------------------------------------------------------------------===//
#include "zelsys/resources.h"
#include "WindowsSupport.h"
#include "zelsys/system.h"

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

HMODULE GetModuleHandleW(LPCWSTR lpModuleName) {
  return reinterpret_cast<HMODULE>(::GetModuleHandleW(win32::wide(lpModuleName)));
}

HRSRC FindResourceW(HMODULE hModule, LPCWSTR lpName, LPCWSTR lpType) {
  return reinterpret_cast<HRSRC>(::FindResourceW(reinterpret_cast<::HMODULE>(hModule),
                                                 win32::wide(lpName), win32::wide(lpType)));
}

HGLOBAL LoadResource(HMODULE hModule, HRSRC hResInfo) {
  return ::LoadResource(reinterpret_cast<::HMODULE>(hModule), reinterpret_cast<::HRSRC>(hResInfo));
}

LPVOID LockResource(HGLOBAL hResData) { return ::LockResource(hResData); }

DWORD SizeofResource(HMODULE hModule, HRSRC hResInfo) {
  return ::SizeofResource(reinterpret_cast<::HMODULE>(hModule),
                          reinterpret_cast<::HRSRC>(hResInfo));
}

} // namespace zelsys
