//===- zelsys/wintypes.h - Windows types and constants, portably -----------===//
//
// The types of the Windows calls the framework uses, with their Windows sizes,
// in portable C++. Text is UTF-16 in char16_t. The constants are in
// winconst.h, which the Windows implementation does not include (there the
// system headers define them as macros).
// This header may hold only declarations that compile on every platform.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <cstdint>

namespace zelsys {

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using BOOL = std::int32_t;
using UINT = std::uint32_t;
using INT = std::int32_t;
using WCHAR = char16_t;
using LPWSTR = char16_t *;
using LPCWSTR = const char16_t *;
using LPCSTR = const char *;
using LPVOID = void *;
using LPCVOID = const void *;
using SIZE_T = std::size_t;
using DWORD_PTR = std::uintptr_t;

// 100-nanosecond intervals since 1601-01-01 (UTC).
struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};

// Always passed as null: objects get their default security.
struct SECURITY_ATTRIBUTES;

// Opaque handles: each platform gives them its own meaning.
struct HINSTANCE__;
using HMODULE = HINSTANCE__ *;
using HINSTANCE = HMODULE;
using HANDLE = void *;

} // namespace zelsys
