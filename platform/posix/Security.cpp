//===- Security.cpp - Process tokens and privileges on the substitute -----===//
//
// The emulated machine grants every privilege and keeps them all enabled:
// the calls check their arguments and handles as Windows does and then
// succeed without changing anything. Only code that works on every Unix.
//
//===----------------------------------------------------------------------===//
#include "zelsys/security.h"
#include "Handles.h"
#include "zelsys/kernel.h"
#include "zelsys/winconst.h"

#include <cstdint>
#include <iterator>
#include <string_view>

namespace zelsys {

namespace {

// Windows' pseudo-handle for the calling process.
const HANDLE kCurrentProcess = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));

// The privileges a Windows 7 token can hold, with the identifiers Windows
// gives them (the first is 2).
constexpr std::u16string_view kPrivilegeNames[] = {u"SeCreateTokenPrivilege",
                                                   u"SeAssignPrimaryTokenPrivilege",
                                                   u"SeLockMemoryPrivilege",
                                                   u"SeIncreaseQuotaPrivilege",
                                                   u"SeMachineAccountPrivilege",
                                                   u"SeTcbPrivilege",
                                                   u"SeSecurityPrivilege",
                                                   u"SeTakeOwnershipPrivilege",
                                                   u"SeLoadDriverPrivilege",
                                                   u"SeSystemProfilePrivilege",
                                                   u"SeSystemtimePrivilege",
                                                   u"SeProfileSingleProcessPrivilege",
                                                   u"SeIncreaseBasePriorityPrivilege",
                                                   u"SeCreatePagefilePrivilege",
                                                   u"SeCreatePermanentPrivilege",
                                                   u"SeBackupPrivilege",
                                                   u"SeRestorePrivilege",
                                                   u"SeShutdownPrivilege",
                                                   u"SeDebugPrivilege",
                                                   u"SeAuditPrivilege",
                                                   u"SeSystemEnvironmentPrivilege",
                                                   u"SeChangeNotifyPrivilege",
                                                   u"SeRemoteShutdownPrivilege",
                                                   u"SeUndockPrivilege",
                                                   u"SeSyncAgentPrivilege",
                                                   u"SeEnableDelegationPrivilege",
                                                   u"SeManageVolumePrivilege",
                                                   u"SeImpersonatePrivilege",
                                                   u"SeCreateGlobalPrivilege",
                                                   u"SeTrustedCredManAccessPrivilege",
                                                   u"SeRelabelPrivilege",
                                                   u"SeIncreaseWorkingSetPrivilege",
                                                   u"SeTimeZonePrivilege",
                                                   u"SeCreateSymbolicLinkPrivilege"};
constexpr DWORD kFirstPrivilege = 2;
constexpr DWORD kPrivilegeCount = static_cast<DWORD>(std::size(kPrivilegeNames));

// Privilege names compare case-insensitively (ASCII, as they all are).
bool sameName(std::u16string_view a, LPCWSTR b) {
  std::size_t i = 0;
  for (; i < a.size(); ++i) {
    char16_t ca = a[i];
    char16_t cb = b[i];
    if (cb == u'\0')
      return false;
    if (ca >= u'A' && ca <= u'Z')
      ca = static_cast<char16_t>(ca - u'A' + u'a');
    if (cb >= u'A' && cb <= u'Z')
      cb = static_cast<char16_t>(cb - u'A' + u'a');
    if (ca != cb)
      return false;
  }
  return b[i] == u'\0';
}

// The process token: it holds nothing, as every privilege stays enabled.
class Token : public posix::KernelObject {};

bool isToken(HANDLE hToken) { return posix::objectOf<Token>(hToken) != nullptr; }

BOOL fail(DWORD dwError) {
  SetLastError(dwError);
  return FALSE;
}

} // namespace

HANDLE GetCurrentProcess() { return kCurrentProcess; }

BOOL OpenProcessToken(HANDLE ProcessHandle, DWORD DesiredAccess, HANDLE *TokenHandle) {
  (void)DesiredAccess; // every access is granted
  if (TokenHandle == nullptr)
    return fail(ERROR_NOACCESS);
  // Only the calling process has a token the substitute knows.
  if (ProcessHandle != kCurrentProcess)
    return fail(ERROR_INVALID_HANDLE);
  *TokenHandle = posix::addHandle(std::make_shared<Token>());
  return TRUE;
}

BOOL LookupPrivilegeValueW(LPCWSTR lpSystemName, LPCWSTR lpName, LUID *lpLuid) {
  // The emulated machine is the only system there is.
  if (lpSystemName != nullptr && lpSystemName[0] != u'\0')
    return fail(ERROR_INVALID_COMPUTERNAME);
  if (lpName == nullptr || lpLuid == nullptr)
    return fail(ERROR_INVALID_PARAMETER);
  for (DWORD i = 0; i < kPrivilegeCount; ++i) {
    if (sameName(kPrivilegeNames[i], lpName)) {
      lpLuid->LowPart = kFirstPrivilege + i;
      lpLuid->HighPart = 0;
      return TRUE;
    }
  }
  return fail(ERROR_NO_SUCH_PRIVILEGE);
}

BOOL AdjustTokenPrivileges(HANDLE TokenHandle, BOOL DisableAllPrivileges,
                           TOKEN_PRIVILEGES *NewState, DWORD BufferLength,
                           TOKEN_PRIVILEGES *PreviousState, DWORD *ReturnLength) {
  if (!isToken(TokenHandle))
    return fail(ERROR_INVALID_HANDLE);
  if (!DisableAllPrivileges && NewState == nullptr)
    return fail(ERROR_INVALID_PARAMETER);
  // Every privilege is already enabled and stays so: nothing changes, and
  // the previous state of what changed is an empty list.
  if (PreviousState != nullptr) {
    constexpr DWORD dwNeeded = sizeof(DWORD);
    if (ReturnLength == nullptr)
      return fail(ERROR_NOACCESS);
    *ReturnLength = dwNeeded;
    if (BufferLength < dwNeeded)
      return fail(ERROR_INSUFFICIENT_BUFFER);
    PreviousState->PrivilegeCount = 0;
  }
  // A privilege the token does not know cannot be assigned; Windows still
  // reports success and says so in the last error.
  DWORD dwResult = ERROR_SUCCESS;
  if (!DisableAllPrivileges) {
    // The entries run past the declared array, as the caller allocated them.
    const LUID_AND_ATTRIBUTES *pEntries = NewState->Privileges;
    for (DWORD i = 0; i < NewState->PrivilegeCount; ++i) {
      const LUID &luid = pEntries[i].Luid;
      if (luid.HighPart != 0 || luid.LowPart < kFirstPrivilege ||
          luid.LowPart >= kFirstPrivilege + kPrivilegeCount)
        dwResult = ERROR_NOT_ALL_ASSIGNED;
    }
  }
  SetLastError(dwResult);
  return TRUE;
}

// Closes tokens and files alike; searches close with FindClose only.
BOOL CloseHandle(HANDLE hObject) {
  // Closing the process pseudo-handle is allowed and does nothing.
  if (hObject == kCurrentProcess)
    return TRUE;
  if (!posix::removeHandle(hObject, posix::Closer::CloseHandle))
    return fail(ERROR_INVALID_HANDLE);
  return TRUE;
}

} // namespace zelsys
