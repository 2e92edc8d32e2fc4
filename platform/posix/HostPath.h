//===- HostPath.h - Windows paths and host paths ---------------------------===//
//
// Drive C: is the machine folder's drive_c/, drive Z: is the host's root, as
// under Wine; so every host file has a Windows path. Only code that works on
// every Unix.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "zelsys/wintypes.h"

#include <string>
#include <string_view>

namespace zelsys::posix {

// "/usr/bin/x" => u"Z:\\usr\\bin\\x"; a file inside the machine's drive_c
// gets its C: path. A relative host path is taken as it is, separators
// turned.
std::u16string windowsPathFromHost(std::string_view hostPath);

// The host path of a Windows path. Relative paths resolve against the
// current folder. Each existing component is matched case-insensitively and
// keeps the case it has on disk; missing ones keep the case given. Fails with
// a Win32 error: ERROR_PATH_NOT_FOUND for a drive other than C: and Z:,
// ERROR_BAD_NETPATH for UNC paths, ERROR_INVALID_NAME for characters Windows
// refuses in names.
bool hostPathFromWindows(std::u16string_view path, std::string &hostPath, DWORD &dwError);

} // namespace zelsys::posix
