//===- Shutdown.cpp - Shutdown requests on Windows -------------------------===//
//
// Thin forwarders to user32 and advapi32, with one seam for tests: while
// ZEL_SHUTDOWN_RECORD names a file, requests are checked and recorded there
// (ShutdownRecord.h) instead of being made: a test run must not restart
// Windows, and under Wine a real request succeeds without any privilege
// check and ends the session of the whole prefix. Only code for Windows
// belongs here.
//
//===----------------------------------------------------------------------===//
#include "zelsys/shutdown.h"
#include "ShutdownRecord.h"
#include "WindowsSupport.h"

#include <string>

namespace zelsys {

namespace {

// The record file tests asked for; empty when requests are to be made.
std::wstring recordFile() {
  const wchar_t *const name = L"ZEL_SHUTDOWN_RECORD";
  const ::DWORD dwError = ::GetLastError();
  std::wstring path(::GetEnvironmentVariableW(name, nullptr, 0), L'\0');
  const ::DWORD dwLength =
      path.empty()
          ? 0
          : ::GetEnvironmentVariableW(name, path.data(), static_cast<::DWORD>(path.size()));
  path.resize(dwLength < path.size() ? dwLength : 0);
  // Asking must not disturb what the caller sees of the last error.
  ::SetLastError(dwError);
  return path;
}

// A token handle closed on every way out.
class TokenHandle {
public:
  TokenHandle() = default;
  ~TokenHandle() {
    if (m_hToken != nullptr)
      ::CloseHandle(m_hToken);
  }
  TokenHandle(const TokenHandle &) = delete;
  TokenHandle &operator=(const TokenHandle &) = delete;
  ::HANDLE *out() { return &m_hToken; }
  ::HANDLE get() const { return m_hToken; }

private:
  ::HANDLE m_hToken = nullptr;
};

} // namespace

namespace common {

// Windows checks the token the caller acts with: the thread's while it
// impersonates, the process's otherwise.
bool shutdownPrivilegeEnabled() {
  TokenHandle token;
  if (!::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, TRUE, token.out()) &&
      !::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.out()))
    return false;
  ::PRIVILEGE_SET privileges{};
  privileges.PrivilegeCount = 1;
  privileges.Control = PRIVILEGE_SET_ALL_NECESSARY;
  if (!::LookupPrivilegeValueW(nullptr, L"SeShutdownPrivilege", &privileges.Privilege[0].Luid))
    return false;
  ::BOOL bHeld = FALSE;
  return ::PrivilegeCheck(token.get(), &privileges, &bHeld) && bHeld;
}

DWORD appendShutdownRecord(const std::string &line) {
  const std::wstring path = recordFile();
  const ::HANDLE hFile =
      ::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (hFile == INVALID_HANDLE_VALUE)
    return ::GetLastError();
  ::DWORD dwWritten = 0;
  DWORD dwError = ERROR_SUCCESS;
  if (!::WriteFile(hFile, line.data(), static_cast<::DWORD>(line.size()), &dwWritten, nullptr))
    dwError = ::GetLastError();
  else if (dwWritten != line.size())
    dwError = ERROR_DISK_FULL;
  ::CloseHandle(hFile);
  return dwError;
}

} // namespace common

BOOL ExitWindowsEx(UINT uFlags, DWORD dwReason) {
  if (!recordFile().empty())
    return common::recordExitWindows(uFlags, dwReason);
  return ::ExitWindowsEx(uFlags, dwReason);
}

BOOL InitiateSystemShutdownW(LPWSTR lpMachineName, LPWSTR lpMessage, DWORD dwTimeout,
                             BOOL bForceAppsClosed, BOOL bRebootAfterShutdown) {
  if (!recordFile().empty())
    return common::recordSystemShutdown(lpMachineName, lpMessage, dwTimeout, bForceAppsClosed,
                                        bRebootAfterShutdown);
  return ::InitiateSystemShutdownW(win32::wide(lpMachineName), win32::wide(lpMessage), dwTimeout,
                                   bForceAppsClosed, bRebootAfterShutdown);
}

} // namespace zelsys
