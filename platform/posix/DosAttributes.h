//===- DosAttributes.h - The DOS attributes of host files ------------------===//
//
// Read-only, hidden, system and archive, kept beside each host file the way
// file servers and Windows emulators on Linux keep them, so the three agree
// on a shared folder.
//
// Where they live: the extended attribute user.DOSATTRIB holds the text
// "0x<hex>" (lower-case "0x", no terminator) of the attribute mask; readers
// take the hex digits after "0x" and ignore what follows, which also reads
// the longer binary form some servers write after a terminated "0x<hex>".
// Read-only also lives in the permission bits of a file: setting it clears
// every write bit, clearing it gives the owner the write bit back, and a
// file whose owner may not write reports read-only whatever the extended
// attribute says. A folder's read-only flag is kept in the extended
// attribute only (Windows gives it no meaning for folders).
//
// Without the extended attribute (a file made on the host, or a file system
// without user extended attributes) a file reports archive, a folder just
// the folder flag, and a name starting with "." reports hidden. On a file
// system without user extended attributes only read-only is stored: asking
// for hidden or system where that rule gives otherwise fails with
// ERROR_NOT_SUPPORTED, and archive stays as the rule gives it.
//
// FILE_ATTRIBUTE_NORMAL is reported when no other attribute is set. A
// symbolic link to a folder reports FILE_ATTRIBUTE_DIRECTORY |
// FILE_ATTRIBUTE_REPARSE_POINT, a link to a file the file it points to.
// Only code that works on every Unix.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "zelsys/wintypes.h"

#include <optional>
#include <string>
#include <string_view>

namespace zelsys::posix {

// The attributes the substitute keeps; the others are derived or ignored.
constexpr DWORD kKeptAttributes = 0x27; // read-only, hidden, system, archive

// The stored text and its reading (nullopt when it is not "0x<hex>...").
std::string formatDosAttrib(DWORD attributes);
std::optional<DWORD> parseDosAttrib(std::string_view value);

// What is known of a host file, and the attributes Windows reports for it.
struct HostFileFacts {
  bool folder = false;       // the name (or what it links to) is a folder
  bool link = false;         // the name is a symbolic link
  bool ownerWrites = true;   // the owner's write permission bit is set
  bool dotName = false;      // the name starts with "."
  std::optional<DWORD> kept; // the user.DOSATTRIB mask, when present
};
DWORD reportedAttributes(const HostFileFacts &facts);

// The attributes of the host file at path; false with a Win32 error when it
// cannot be examined.
bool readAttributes(const std::string &path, DWORD &attributes, DWORD &dwError);

// Stores the kept attributes of the file or folder at path.
bool writeAttributes(const std::string &path, DWORD attributes, DWORD &dwError);

} // namespace zelsys::posix
