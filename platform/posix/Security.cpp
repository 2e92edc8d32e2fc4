//===- Security.cpp - Process tokens and privileges on the substitute -----===//
//
// The emulated machine grants every privilege to the process, and, as on
// Windows, most of them start disabled: a program enables what it needs
// with AdjustTokenPrivileges, and calls that need a privilege (the shutdown
// calls) refuse while it is disabled. The process has one token, so every
// handle to it sees the same state. Only code that works on every Unix.
//
//===----------------------------------------------------------------------===//
#include "zelsys/security.h"
#include "Handles.h"
#include "Token.h"
#include "zelsys/kernel.h"
#include "zelsys/winconst.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <mutex>
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
bool sameName(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size())
    return false;
  auto fold = [](char16_t c) {
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
  };
  for (std::size_t i = 0; i < a.size(); ++i)
    if (fold(a[i]) != fold(b[i]))
      return false;
  return true;
}

// The index of a named privilege in kPrivilegeNames, or kPrivilegeCount.
DWORD privilegeIndex(std::u16string_view name) {
  for (DWORD i = 0; i < kPrivilegeCount; ++i)
    if (sameName(kPrivilegeNames[i], name))
      return i;
  return kPrivilegeCount;
}

// The process token's state: which privileges are enabled. An elevated
// administrator's token on Windows 7 starts with these three enabled.
class TokenState {
public:
  TokenState() {
    for (std::u16string_view name :
         {u"SeChangeNotifyPrivilege", u"SeImpersonatePrivilege", u"SeCreateGlobalPrivilege"})
      m_enabled[privilegeIndex(name)] = true;
  }
  std::mutex m_lock;
  std::array<bool, kPrivilegeCount> m_enabled{};
};

TokenState &tokenState() {
  static TokenState state;
  return state;
}

// A handle to the process token, with the access it was opened for.
class Token : public posix::KernelObject {
public:
  explicit Token(DWORD dwAccess) : m_dwAccess(dwAccess) {}
  bool allows(DWORD dwAccess) const { return (m_dwAccess & dwAccess) == dwAccess; }

private:
  DWORD m_dwAccess;
};

BOOL fail(DWORD dwError) {
  SetLastError(dwError);
  return FALSE;
}

} // namespace

HANDLE GetCurrentProcess() { return kCurrentProcess; }

BOOL OpenProcessToken(HANDLE ProcessHandle, DWORD DesiredAccess, HANDLE *TokenHandle) {
  if (TokenHandle == nullptr)
    return fail(ERROR_NOACCESS);
  // Only the calling process has a token the substitute knows.
  if (ProcessHandle != kCurrentProcess)
    return fail(ERROR_INVALID_HANDLE);
  // Every access is granted; the handle remembers which was asked for.
  *TokenHandle = posix::addHandle(std::make_shared<Token>(DesiredAccess));
  return TRUE;
}

BOOL LookupPrivilegeValueW(LPCWSTR lpSystemName, LPCWSTR lpName, LUID *lpLuid) {
  // The emulated machine is the only system there is.
  if (lpSystemName != nullptr && lpSystemName[0] != u'\0')
    return fail(ERROR_INVALID_COMPUTERNAME);
  if (lpName == nullptr || lpLuid == nullptr)
    return fail(ERROR_INVALID_PARAMETER);
  const DWORD i = privilegeIndex(lpName);
  if (i == kPrivilegeCount)
    return fail(ERROR_NO_SUCH_PRIVILEGE);
  lpLuid->LowPart = kFirstPrivilege + i;
  lpLuid->HighPart = 0;
  return TRUE;
}

BOOL AdjustTokenPrivileges(HANDLE TokenHandle, BOOL DisableAllPrivileges,
                           TOKEN_PRIVILEGES *NewState, DWORD BufferLength,
                           TOKEN_PRIVILEGES *PreviousState, DWORD *ReturnLength) {
  const std::shared_ptr<Token> token = posix::objectOf<Token>(TokenHandle);
  if (!token)
    return fail(ERROR_INVALID_HANDLE);
  if (!token->allows(TOKEN_ADJUST_PRIVILEGES) ||
      (PreviousState != nullptr && !token->allows(TOKEN_QUERY)))
    return fail(ERROR_ACCESS_DENIED);
  if (!DisableAllPrivileges && NewState == nullptr)
    return fail(ERROR_INVALID_PARAMETER);
  if (PreviousState != nullptr && ReturnLength == nullptr)
    return fail(ERROR_NOACCESS);

  TokenState &state = tokenState();
  const std::lock_guard<std::mutex> guard(state.m_lock);
  // The wanted state of each privilege; a privilege the token does not know
  // cannot be assigned, which Windows reports as success with
  // ERROR_NOT_ALL_ASSIGNED in the last error.
  std::array<bool, kPrivilegeCount> wanted = state.m_enabled;
  DWORD dwResult = ERROR_SUCCESS;
  if (DisableAllPrivileges) {
    wanted.fill(false);
  } else {
    // The entries run past the declared array, as the caller allocated them.
    const LUID_AND_ATTRIBUTES *pEntries = NewState->Privileges;
    for (DWORD i = 0; i < NewState->PrivilegeCount; ++i) {
      const LUID &luid = pEntries[i].Luid;
      if (luid.HighPart != 0 || luid.LowPart < kFirstPrivilege ||
          luid.LowPart >= kFirstPrivilege + kPrivilegeCount) {
        dwResult = ERROR_NOT_ALL_ASSIGNED;
        continue;
      }
      // Every privilege stays granted, so removing one only disables it.
      wanted[luid.LowPart - kFirstPrivilege] = (pEntries[i].Attributes & SE_PRIVILEGE_ENABLED) != 0;
    }
  }

  // The previous state lists exactly the privileges that change; when it
  // does not fit, nothing changes.
  DWORD dwChanged = 0;
  for (DWORD i = 0; i < kPrivilegeCount; ++i)
    dwChanged += wanted[i] != state.m_enabled[i] ? 1 : 0;
  if (PreviousState != nullptr) {
    const DWORD dwNeeded = static_cast<DWORD>(offsetof(TOKEN_PRIVILEGES, Privileges) +
                                              dwChanged * sizeof(LUID_AND_ATTRIBUTES));
    *ReturnLength = dwNeeded;
    if (BufferLength < dwNeeded)
      return fail(ERROR_INSUFFICIENT_BUFFER);
    LUID_AND_ATTRIBUTES *pPrevious = PreviousState->Privileges;
    DWORD dwAt = 0;
    for (DWORD i = 0; i < kPrivilegeCount; ++i) {
      if (wanted[i] == state.m_enabled[i])
        continue;
      pPrevious[dwAt].Luid.LowPart = kFirstPrivilege + i;
      pPrevious[dwAt].Luid.HighPart = 0;
      pPrevious[dwAt].Attributes = state.m_enabled[i] ? SE_PRIVILEGE_ENABLED : 0;
      ++dwAt;
    }
    PreviousState->PrivilegeCount = dwChanged;
  }
  state.m_enabled = wanted;
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

namespace posix {

bool isPrivilegeEnabled(std::u16string_view name) {
  const DWORD i = privilegeIndex(name);
  if (i == kPrivilegeCount)
    return false;
  TokenState &state = tokenState();
  const std::lock_guard<std::mutex> guard(state.m_lock);
  return state.m_enabled[i];
}

} // namespace posix

} // namespace zelsys
