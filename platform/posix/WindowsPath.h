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

} // namespace zelsys::posix
