//===- zelsys/resources.h - Texts of the program's string table ------------===//
//
// LoadStringW with the Windows name, argument order, results and last-error
// behaviour. On Windows the texts are the module's string resources; the
// substitute holds a table compiled into the program from the same source
// (RegisterStringTable below), chosen by language as Windows' resource
// loader does.
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
