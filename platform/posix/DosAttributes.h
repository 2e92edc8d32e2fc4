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
// symbolic link reports as a name of its own, as Windows reports one,
// whatever it points to: FILE_ATTRIBUTE_REPARSE_POINT with
// FILE_ATTRIBUTE_DIRECTORY for a link to a folder, with
// FILE_ATTRIBUTE_ARCHIVE otherwise (a link to nowhere too), hidden by the
// dot rule. The host keeps nothing on a link itself, so setting a link's
// attributes accepts only what it reports already (ERROR_NOT_SUPPORTED
// otherwise) and never reaches what it points to.
// Only code for Linux (extended attributes, descriptors as paths).
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

// The attributes of the name at path itself (a link as a link); false with
// a Win32 error when it cannot be examined.
bool readAttributes(const std::string &path, DWORD &attributes, DWORD &dwError);

// The attributes of the file open as fd, and of the file a name leads to
// through any links: what a handle opened by that name would report.
bool readOpenAttributes(int fd, DWORD &attributes, DWORD &dwError);
bool readTargetAttributes(const std::string &path, DWORD &attributes, DWORD &dwError);

// Stores the kept attributes of the file or folder at path, following a
// link there (for a file just opened or made through that name).
bool writeAttributes(const std::string &path, DWORD attributes, DWORD &dwError);

// The same for the file open as fd, which will be known as name (the
// name decides the hidden flag where nothing else can keep it).
bool writeOpenAttributes(int fd, const std::string &name, DWORD attributes, DWORD &dwError);

// SetFileAttributesW: stores them on the name at path itself. A link is not
// followed (see above), and a name swapped for a link meanwhile is not
// either: the change goes through a descriptor of what was looked at.
bool writeNameAttributes(const std::string &path, DWORD attributes, DWORD &dwError);

} // namespace zelsys::posix
