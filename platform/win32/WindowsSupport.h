//===- WindowsSupport.h - The one way into the Windows headers -------------===//
//
// Every platform/win32 source includes this instead of <windows.h>, so the
// target version and the lean header set are the same everywhere. Only code
// for Windows may include it.
//
//===----------------------------------------------------------------------===//
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0501 // Windows XP: the oldest system the patch supports
#endif
#include <windows.h>

#include "zelsys/wintypes.h"

namespace zelsys::win32 {

// char16_t and wchar_t are both UTF-16 units on Windows: the casts only
// change the type the compiler sees.
inline wchar_t *wide(char16_t *s) { return reinterpret_cast<wchar_t *>(s); }
inline const wchar_t *wide(const char16_t *s) { return reinterpret_cast<const wchar_t *>(s); }

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wchar_t expected");
static_assert(sizeof(::DWORD) == sizeof(zelsys::DWORD), "DWORD size");
static_assert(sizeof(::LONG) == sizeof(zelsys::LONG), "LONG size");

// A function of a loaded DLL found at run time, as type Fn; null when the
// module or the function is missing. For calls outside what the program
// imports (Windows XP lacks some, the headers declare others only apart).
template <class Fn> Fn entryOf(::HMODULE hModule, const char *pszName) {
  return hModule != nullptr ? reinterpret_cast<Fn>(
                                  reinterpret_cast<void (*)()>(::GetProcAddress(hModule, pszName)))
                            : nullptr;
}

} // namespace zelsys::win32
