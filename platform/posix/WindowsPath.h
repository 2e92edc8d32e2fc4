//===- WindowsPath.h - Windows path rules as pure functions ----------------===//
//
// Parsing of Windows paths (drive letters, both separators, "." and "..")
// without touching any file system, so the rules are tested from tables.
// Only code that works on every Unix.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zelsys::posix {

struct WindowsPath {
  enum class Kind {
    Absolute,      // "C:\a\b"
    DriveRelative, // "C:a" (relative to the drive's current folder)
    Rooted,        // "\a" (on the current drive)
    Relative,      // "a\b"
    Unsupported    // UNC and device paths ("\\server\share", "\\.\pipe")
  };
  Kind kind = Kind::Relative;
  char16_t drive = 0; // upper case; 0 when the path names none
  // The components, with "." removed and ".." applied ("..\" above the
  // root stays at the root, as on Windows).
  std::vector<std::u16string> components;
  // Leading ".." that a relative path keeps (they climb from the base).
  unsigned climbs = 0;
};

// "\\?\" in front of an absolute path is dropped, as the system does.
WindowsPath parseWindowsPath(std::u16string_view path);

// The path relative to base (an absolute path): the result is absolute.
WindowsPath resolveAgainst(const WindowsPath &path, const WindowsPath &base);

// "C:\a\b"; a drive root is "C:\".
std::u16string formatWindowsPath(const WindowsPath &path);

// Whether the path carries the "\\?\" prefix that turns off the Win32 name
// rules (trimming, device names, MAX_PATH).
bool isExtendedPath(std::u16string_view path);

// A path as the file calls take it: made absolute against currentFolder and,
// unless extended, with each component's trailing dots and spaces dropped
// (all but a last component that holds wildcards, which is a pattern).
WindowsPath absoluteFilePath(std::u16string_view path, std::u16string_view currentFolder);

// GetFullPathNameW's arithmetic: the absolute path as text, keeping a
// trailing separator and the drive letter as written; a device name as the
// last component gives "\\.\NAME". filePart is the offset of the last
// component, or npos when the path ends in a separator or is a root.
std::u16string fullPathName(std::u16string_view path, std::u16string_view currentFolder,
                            std::size_t &filePart);

} // namespace zelsys::posix
