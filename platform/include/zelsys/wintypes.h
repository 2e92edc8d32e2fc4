//===- zelsys/wintypes.h - Windows types and constants, portably -----------===//
//
// The types and constants of the Windows calls the framework uses, with their
// Windows sizes and values, in portable C++. Text is UTF-16 in char16_t.
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
using LPVOID = void *;
using LPCVOID = const void *;
using SIZE_T = std::size_t;

// Opaque handles: each platform gives them its own meaning.
struct HINSTANCE__;
using HMODULE = HINSTANCE__ *;
using HANDLE = void *;

constexpr BOOL FALSE = 0;
constexpr BOOL TRUE = 1;

// Win32 error codes (winerror.h values).
constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_INVALID_FUNCTION = 1;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_OUTOFMEMORY = 14;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
constexpr DWORD ERROR_MOD_NOT_FOUND = 126;
constexpr DWORD ERROR_MORE_DATA = 234;

// Longest path the ANSI-era calls accept, terminator included.
constexpr DWORD MAX_PATH = 260;

} // namespace zelsys
