//===- zelsys/security.h - Process tokens and privileges -------------------===//
//
// Enabling a privilege in the process's own token, with the Windows names,
// argument order, results and last-error behaviour. CloseHandle lives here
// for the token handle; the process pseudo-handle needs no closing.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "zelsys/wintypes.h"

namespace zelsys {

// A locally unique identifier, as privileges are named inside a token.
struct LUID {
  DWORD LowPart;
  LONG HighPart;
};

struct LUID_AND_ATTRIBUTES {
  LUID Luid;
  DWORD Attributes;
};

// Variable length on Windows: PrivilegeCount entries follow; callers that
// change one privilege use it as it is.
struct TOKEN_PRIVILEGES {
  DWORD PrivilegeCount;
  LUID_AND_ATTRIBUTES Privileges[1];
};

// The pseudo-handle of the calling process (no closing needed).
HANDLE GetCurrentProcess();
BOOL OpenProcessToken(HANDLE ProcessHandle, DWORD DesiredAccess, HANDLE *TokenHandle);
// lpSystemName null: the local system.
BOOL LookupPrivilegeValueW(LPCWSTR lpSystemName, LPCWSTR lpName, LUID *lpLuid);
// Succeeds also when not every privilege could be changed: the last error
// is then ERROR_NOT_ALL_ASSIGNED, otherwise ERROR_SUCCESS.
BOOL AdjustTokenPrivileges(HANDLE TokenHandle, BOOL DisableAllPrivileges,
                           TOKEN_PRIVILEGES *NewState, DWORD BufferLength,
                           TOKEN_PRIVILEGES *PreviousState, DWORD *ReturnLength);
BOOL CloseHandle(HANDLE hObject);

} // namespace zelsys
