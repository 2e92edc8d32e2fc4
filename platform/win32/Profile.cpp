//===- Profile.cpp - User profile folders on Windows -----------------------===//
//
// Forwards to userenv. Only code for Windows belongs here.
//
//===----------------------------------------------------------------------===//
#include "zelsys/profile.h"
#include "ProfileList.h"
#include "WindowsSupport.h"

#include <userenv.h>

namespace zelsys {

BOOL common::systemDefaultUserProfileDirectory(LPWSTR lpProfileDir, DWORD *lpcchSize) {
  return ::GetDefaultUserProfileDirectoryW(win32::wide(lpProfileDir),
                                           reinterpret_cast<::DWORD *>(lpcchSize));
}

BOOL GetDefaultUserProfileDirectoryW(LPWSTR lpProfileDir, DWORD *lpcchSize) {
  // The last error is cleared first: a system that fails without setting it
  // (Wine's stub) must not pass for one reporting a short buffer.
  ::SetLastError(ERROR_SUCCESS);
  const BOOL bAnswered = common::systemDefaultUserProfileDirectory(lpProfileDir, lpcchSize);
  if (bAnswered || ::GetLastError() == ERROR_INSUFFICIENT_BUFFER)
    return bAnswered;
  // Where the system cannot answer, Windows' documented answer stands in:
  // the profile list's default profile under its profiles folder.
  return common::defaultUserProfileFromProfileList(lpProfileDir, lpcchSize);
}

} // namespace zelsys
