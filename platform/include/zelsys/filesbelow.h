//===- zelsys/filesbelow.h - Files inside a folder held open ---------------===//
//
// Working inside folders that other users control, as an administrator,
// without ever being led outside them. A folder handle pins the folder
// itself, wherever its name goes afterwards; each call below takes one name
// inside a held folder (no separator, not "." or "..") and never follows a
// symbolic link, junction or other reparse point in that name: such a name
// fails with ERROR_CANT_ACCESS_FILE (1920). So a walk that opens each folder
// below the one before it, and acts only below the folders it holds, cannot
// be turned elsewhere by names swapped while it runs. On Windows these are
// the native calls that take a root folder (XP has them); on the substitute
// the host's calls relative to a folder descriptor.
//
// With hFolder null, lpName is a full path, opened as CreateFileW opens it:
// only for the first folder of a walk, which administrators control.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "zelsys/wintypes.h"

namespace zelsys {

// Opens lpName in hFolder as CreateFileW would: a folder with
// FILE_FLAG_BACKUP_SEMANTICS (then only OPEN_EXISTING), a file otherwise.
// Only FILE_FLAG_BACKUP_SEMANTICS and the attributes are taken from
// dwFlagsAndAttributes.
HANDLE CreateFileBelowW(HANDLE hFolder, LPCWSTR lpName, DWORD dwDesiredAccess, DWORD dwShareMode,
                        DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes);

// Makes the folder lpName in hFolder, as CreateDirectoryW makes one; a name
// already taken, by a link too, fails with ERROR_ALREADY_EXISTS.
BOOL CreateDirectoryBelowW(HANDLE hFolder, LPCWSTR lpName);

// Renames lpExistingName to lpNewName in hFolder; dwFlags 0 or
// MOVEFILE_REPLACE_EXISTING. A link under either name is moved or replaced
// as a name of its own, never followed.
BOOL MoveFileBelowW(HANDLE hFolder, LPCWSTR lpExistingName, LPCWSTR lpNewName, DWORD dwFlags);

// Deletes the file (or the link itself) lpName in hFolder; not a folder.
BOOL DeleteFileBelowW(HANDLE hFolder, LPCWSTR lpName);

// ReplaceFileW inside one folder, without a moment in which lpReplaced is
// missing: lpReplacement takes lpReplaced's place in one step, with its
// attributes, owner, group and access list. With lpBackup, a copy of the
// old file (content, attributes, owner, group, access list) is first put in
// place as lpBackup, replacing what was there; the copy is written as
// lpReplacement + "-bak" and renamed. lpReplaced must be a plain file with
// one name (ERROR_ACCESS_DENIED otherwise, as for a read-only one: its
// other names could lie outside the folder).
BOOL ReplaceFileBelowW(HANDLE hFolder, LPCWSTR lpReplaced, LPCWSTR lpReplacement, LPCWSTR lpBackup);

} // namespace zelsys
