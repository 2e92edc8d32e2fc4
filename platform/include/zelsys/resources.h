//===- zelsys/resources.h - String tables and resources of modules ---------===//
//
// LoadStringW and the resource calls (FindResourceW, LoadResource,
// LockResource, SizeofResource) with the Windows names, argument order,
// results and last-error behaviour. On Windows the texts are the module's
// string resources; on the substitute the program's own texts are a table
// compiled into it from the same source (RegisterStringTable below), chosen
// by language as Windows' resource loader does, and a DLL that LoadLibraryW
// loaded has its resources read from the file's resource section.
// Resource types and MAKEINTRESOURCEW are in winconst.h.
// This header may hold only declarations that compile on every platform.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "zelsys/wintypes.h"

#include <cstddef>

namespace zelsys {

// Loads text uID of hInstance's string table (null: the program itself) in
// the user's interface language. Texts live in blocks of sixteen ids (block
// uID / 16 + 1) and each block is taken whole from one language, so an id
// that the chosen block lacks is missing even where another language has it.
// - cchBufferMax > 0: copies at most cchBufferMax - 1 characters and a
//   terminator and returns the characters copied. A missing text gives 0 and
//   an empty buffer.
// - cchBufferMax == 0: lpBuffer is really an LPCWSTR * and receives a
//   read-only pointer to the text in the table, which need not be
//   terminated; the result is the text's length.
// A missing block fails with ERROR_RESOURCE_NAME_NOT_FOUND (a module without
// any string table with ERROR_RESOURCE_TYPE_NOT_FOUND or
// ERROR_RESOURCE_DATA_NOT_FOUND); a missing id inside a block that exists
// leaves the last-error value alone. A null lpBuffer or a negative
// cchBufferMax fails with ERROR_INVALID_PARAMETER.
INT LoadStringW(HINSTANCE hInstance, UINT uID, LPWSTR lpBuffer, INT cchBufferMax);

// A found resource, and its loaded data.
struct HRSRC__;
using HRSRC = HRSRC__ *;
using HGLOBAL = void *;

// The resource of type lpType named lpName in hModule (null: the program),
// in the user's interface language or the nearest one the module holds.
// Both names are numbers (MAKEINTRESOURCEW), "#<number>" or names. Fails
// with ERROR_RESOURCE_DATA_NOT_FOUND for a module without resources,
// ERROR_RESOURCE_TYPE_NOT_FOUND or ERROR_RESOURCE_NAME_NOT_FOUND.
HRSRC FindResourceW(HMODULE hModule, LPCWSTR lpName, LPCWSTR lpType);
// The resource's data, valid as long as the module stays loaded; null for a
// null hResInfo.
HGLOBAL LoadResource(HMODULE hModule, HRSRC hResInfo);
// The address of the loaded data (for a module resource, hResData itself).
LPVOID LockResource(HGLOBAL hResData);
// The resource's size in bytes; 0 for a null hResInfo.
DWORD SizeofResource(HMODULE hModule, HRSRC hResInfo);

// The fixed part of a version resource: its root value "\\" as
// VerQueryValueW gives it. 52 bytes.
struct VS_FIXEDFILEINFO {
  DWORD dwSignature; // 0xFEEF04BD
  DWORD dwStrucVersion;
  DWORD dwFileVersionMS;
  DWORD dwFileVersionLS;
  DWORD dwProductVersionMS;
  DWORD dwProductVersionLS;
  DWORD dwFileFlagsMask;
  DWORD dwFileFlags;
  DWORD dwFileOS;
  DWORD dwFileType;
  DWORD dwFileSubtype;
  DWORD dwFileDateMS;
  DWORD dwFileDateLS;
};
static_assert(sizeof(VS_FIXEDFILEINFO) == 52, "VS_FIXEDFILEINFO has the Windows size");

#ifndef _WIN32
// The substitute's way to compile a string table into a program; a Windows
// build links real string resources instead and has no such call. The
// generated source of a program's table (cmake/ZelStringTable.cmake) calls it
// during static initialisation, so LoadStringW sees the table from main on.
// The entries and their texts must live as long as the program (string
// literals do). An id a language already holds keeps its first text.
struct STRINGTABLE_ENTRY {
  WORD wLanguage; // a Windows language id: 0x409 English (US), 0x7 German, ...
  UINT uID;       // 0 to 65535
  LPCWSTR lpText; // terminated; at most 65535 characters are kept
};
void RegisterStringTable(const STRINGTABLE_ENTRY *pEntries, std::size_t count);
#endif

} // namespace zelsys
