//===- HostPath.h - Windows paths and host paths ---------------------------===//
//
// Drive C: is the machine folder's drive_c/ (or the installation itself, see
// Machine.h), drive Z: is the host's root, as
// under Wine; so every host file has a Windows path. Relative paths resolve
// against the process's Windows current folder, kept here. Only code that
// works on every Unix.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "FileNames.h"
#include "zelsys/wintypes.h"

#include <string>
#include <string_view>

namespace zelsys::posix {

// "/usr/bin/x" => u"Z:\\usr\\bin\\x"; a file inside the machine's drive_c
// gets its C: path. A relative host path is taken as it is, separators
// turned.
std::u16string windowsPathFromHost(std::string_view hostPath);

// The process's Windows current folder, a full path: what
// setCurrentFolder last stored, at first the host's working folder.
std::u16string currentFolder();
void setCurrentFolder(std::u16string folder);

// What a name given to a file call stands for on the host.
struct HostFile {
  std::string path;        // the host path; its last component as on disk
  std::string folder;      // the host path of the folder holding it
  std::u16string fullPath; // the full Windows path
  std::u16string name;     // the last component as given (empty for a root)
  DosDevice device = DosDevice::None;
  bool folderFound = false;       // the folder holding it exists
  bool trailingSeparator = false; // the name ends in "\" or "/"
  // A link as the last component is refused (ERROR_CANT_ACCESS_FILE), never
  // followed: for names inside a folder held open (filesbelow.h).
  bool noFollow = false;
};

// Opening takes the last component as a name, matched like the others; a
// search takes it as a pattern and leaves the matching to the caller.
enum class NameUse { Open, Search };

// Resolves a name with the Win32 rules: relative to the current folder;
// components trimmed and matched case-insensitively, keeping the case on
// disk (a missing one keeps the case given). Fails with a Win32 error:
// ERROR_PATH_NOT_FOUND for an empty name, a drive other than C: and Z: or a
// full path of MAX_PATH characters or more (without "\\?\"),
// ERROR_BAD_NETPATH for UNC paths, ERROR_INVALID_NAME for characters Windows
// refuses in names and for unpaired surrogates (no host name spells them).
bool resolveHostFile(std::u16string_view name, NameUse use, HostFile &file, DWORD &dwError);

// The host path of a Windows path, as resolveHostFile opens it.
bool hostPathFromWindows(std::u16string_view path, std::string &hostPath, DWORD &dwError);

} // namespace zelsys::posix
