//===- zelsys/profilefiles.h - Profile (INI) file calls --------------------===//
//
// Reading and writing sections and entries of profile files, with the
// Windows names, argument order, results and last-error behaviour. A file
// name without a folder names a file in the Windows folder (C:\Windows).
// Section and key names compare case-insensitively and keep their case.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "zelsys/wintypes.h"

namespace zelsys {

// Copies the entry's text (lpDefault, or "" for a null one, when the file,
// the section or the entry is missing) into the buffer and returns its
// length without the terminator; a text cut to fit returns nSize - 1. With
// a null lpKeyName it lists the section's key names, with a null lpAppName
// the file's section names: each closed by a zero unit, the list by a
// second one; a list cut to fit returns nSize - 2.
DWORD GetPrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName, LPCWSTR lpDefault,
                               LPWSTR lpReturnedString, DWORD nSize, LPCWSTR lpFileName);

// The entry's text read as a signed decimal number (leading digits only),
// or nDefault when the entry is missing.
UINT GetPrivateProfileIntW(LPCWSTR lpAppName, LPCWSTR lpKeyName, INT nDefault, LPCWSTR lpFileName);

// The section's entries, each key "=" value closed by a zero unit, the list
// by a second one; returns the units copied without the final zero, nSize -
// 2 when the list was cut.
DWORD GetPrivateProfileSectionW(LPCWSTR lpAppName, LPWSTR lpReturnedString, DWORD nSize,
                                LPCWSTR lpFileName);

// The same for the file's section names.
DWORD GetPrivateProfileSectionNamesW(LPWSTR lpszReturnBuffer, DWORD nSize, LPCWSTR lpFileName);

// Creates the file, the section and the entry as needed and writes key "="
// value; a null value removes the entry, a null key the whole section.
// Non-zero on success.
BOOL WritePrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName, LPCWSTR lpString,
                                LPCWSTR lpFileName);

// Replaces the section's entries by lpString, a list of key "=" value lines
// each closed by a zero unit and the list by a second one; a null lpString
// removes the section. Non-zero on success.
BOOL WritePrivateProfileSectionW(LPCWSTR lpAppName, LPCWSTR lpString, LPCWSTR lpFileName);

} // namespace zelsys
