//===- ProfileList.h - The default user profile from the profile list ------===//
//
// Windows keeps its profile folders in the registry's profile list
// (HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\ProfileList): Vista and
// later name the default profile's folder in "Default"; XP names the profiles
// folder in "ProfilesDirectory" and the default profile's folder inside it in
// "DefaultUserProfile". Reading them goes through the platform interface
// only, so both platforms share this code.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "zelsys/registry.h"
#include "zelsys/wintypes.h"

#include <string>

namespace zelsys::common {

// GetDefaultUserProfileDirectoryW's contract, answered from the profile
// list: "Default" when the machine has it, else the join of
// "ProfilesDirectory" and "DefaultUserProfile" ("Default" where only the
// profiles folder is named), each expanded from the environment when stored
// as REG_EXPAND_SZ. A list naming no folder fails with the registry's error
// (ERROR_FILE_NOT_FOUND).
BOOL defaultUserProfileFromProfileList(LPWSTR lpProfileDir, DWORD *lpcchSize);

// The platform's own call without any fallback: the system's on Windows,
// the profile list on the substitute. Conformance tests compare it with
// the interface's answer.
BOOL systemDefaultUserProfileDirectory(LPWSTR lpProfileDir, DWORD *lpcchSize);

// A text value of an open key, expanded from the environment when stored as
// REG_EXPAND_SZ; a value of any other type is ERROR_FILE_NOT_FOUND. The
// substitute reads its machine's names with it too.
LSTATUS readRegistryText(HKEY hKey, const char16_t *pszName, std::u16string &text);

} // namespace zelsys::common
