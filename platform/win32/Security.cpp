//===- Security.cpp - Process tokens and privileges on Windows -------------===//
//
// Thin forwarders to advapi32 and kernel32. Only code for Windows belongs
// here.
//
//===----------------------------------------------------------------------===//
#include "zelsys/security.h"
#include "WindowsSupport.h"

#include <cstddef>

namespace zelsys {

namespace {

::PTOKEN_PRIVILEGES native(TOKEN_PRIVILEGES *pPrivileges) {
  return reinterpret_cast<::PTOKEN_PRIVILEGES>(pPrivileges);
}

static_assert(sizeof(::LUID) == sizeof(LUID), "LUID size");
static_assert(offsetof(::LUID, HighPart) == offsetof(LUID, HighPart), "LUID layout");
static_assert(sizeof(::TOKEN_PRIVILEGES) == sizeof(TOKEN_PRIVILEGES), "TOKEN_PRIVILEGES size");
static_assert(offsetof(::TOKEN_PRIVILEGES, Privileges) == offsetof(TOKEN_PRIVILEGES, Privileges),
              "TOKEN_PRIVILEGES layout");
static_assert(offsetof(::LUID_AND_ATTRIBUTES, Attributes) ==
                  offsetof(LUID_AND_ATTRIBUTES, Attributes),
              "LUID_AND_ATTRIBUTES layout");

} // namespace

HANDLE GetCurrentProcess() { return ::GetCurrentProcess(); }

BOOL OpenProcessToken(HANDLE ProcessHandle, DWORD DesiredAccess, HANDLE *TokenHandle) {
  return ::OpenProcessToken(ProcessHandle, DesiredAccess, TokenHandle);
}

BOOL LookupPrivilegeValueW(LPCWSTR lpSystemName, LPCWSTR lpName, LUID *lpLuid) {
  return ::LookupPrivilegeValueW(win32::wide(lpSystemName), win32::wide(lpName),
                                 reinterpret_cast<::PLUID>(lpLuid));
}

BOOL AdjustTokenPrivileges(HANDLE TokenHandle, BOOL DisableAllPrivileges,
                           TOKEN_PRIVILEGES *NewState, DWORD BufferLength,
                           TOKEN_PRIVILEGES *PreviousState, DWORD *ReturnLength) {
  return ::AdjustTokenPrivileges(TokenHandle, DisableAllPrivileges, native(NewState), BufferLength,
                                 native(PreviousState), reinterpret_cast<::PDWORD>(ReturnLength));
}

BOOL CloseHandle(HANDLE hObject) { return ::CloseHandle(hObject); }

} // namespace zelsys
