//===- Profile.cpp - User profile folders on the substitute ----------------===//
//
// The emulated machine keeps its profile folders where Windows does, in the
// registry's profile list, so the answer is read from there: an XP machine
// built by a test answers with its own layout. Only code that works on every
// Unix.
//
//===----------------------------------------------------------------------===//
#include "zelsys/profile.h"
#include "ProfileList.h"

namespace zelsys {

BOOL GetDefaultUserProfileDirectoryW(LPWSTR lpProfileDir, DWORD *lpcchSize) {
  return common::defaultUserProfileFromProfileList(lpProfileDir, lpcchSize);
}

BOOL common::systemDefaultUserProfileDirectory(LPWSTR lpProfileDir, DWORD *lpcchSize) {
  return GetDefaultUserProfileDirectoryW(lpProfileDir, lpcchSize);
}

} // namespace zelsys
