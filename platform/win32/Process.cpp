//===- Process.cpp - Processes on Windows ----------------------------------===//
//
// Thin forwarders to kernel32, shell32 and user32; the structures are the
// system's own, which the assertions below hold the interface's to. Only
// code for Windows belongs here.
//
//===----------------------------------------------------------------------===//
#include "zelsys/process.h"
#include "WindowsSupport.h"

#include <cstddef>
#include <shellapi.h>
#include <tlhelp32.h>

namespace zelsys {

namespace {

#define ZEL_SAME_LAYOUT(Ours, Theirs, Field)                                                       \
  static_assert(offsetof(Ours, Field) == offsetof(Theirs, Field), #Ours "::" #Field)

static_assert(sizeof(PROCESSENTRY32W) == sizeof(::PROCESSENTRY32W));
ZEL_SAME_LAYOUT(PROCESSENTRY32W, ::PROCESSENTRY32W, th32DefaultHeapID);
ZEL_SAME_LAYOUT(PROCESSENTRY32W, ::PROCESSENTRY32W, szExeFile);
static_assert(sizeof(MODULEENTRY32W) == sizeof(::MODULEENTRY32W));
ZEL_SAME_LAYOUT(MODULEENTRY32W, ::MODULEENTRY32W, modBaseAddr);
ZEL_SAME_LAYOUT(MODULEENTRY32W, ::MODULEENTRY32W, szModule);
ZEL_SAME_LAYOUT(MODULEENTRY32W, ::MODULEENTRY32W, szExePath);
static_assert(sizeof(STARTUPINFOW) == sizeof(::STARTUPINFOW));
ZEL_SAME_LAYOUT(STARTUPINFOW, ::STARTUPINFOW, wShowWindow);
ZEL_SAME_LAYOUT(STARTUPINFOW, ::STARTUPINFOW, hStdError);
static_assert(sizeof(PROCESS_INFORMATION) == sizeof(::PROCESS_INFORMATION));
static_assert(sizeof(SHELLEXECUTEINFOW) == sizeof(::SHELLEXECUTEINFOW));
ZEL_SAME_LAYOUT(SHELLEXECUTEINFOW, ::SHELLEXECUTEINFOW, nShow);
ZEL_SAME_LAYOUT(SHELLEXECUTEINFOW, ::SHELLEXECUTEINFOW, hkeyClass);
ZEL_SAME_LAYOUT(SHELLEXECUTEINFOW, ::SHELLEXECUTEINFOW, hProcess);
static_assert(sizeof(MSG) == sizeof(::MSG));
ZEL_SAME_LAYOUT(MSG, ::MSG, pt);

#undef ZEL_SAME_LAYOUT

::HWND window(HWND hWnd) { return reinterpret_cast<::HWND>(hWnd); }

} // namespace

HANDLE CreateToolhelp32Snapshot(DWORD dwFlags, DWORD th32ProcessID) {
  return ::CreateToolhelp32Snapshot(dwFlags, th32ProcessID);
}

BOOL Process32FirstW(HANDLE hSnapshot, PROCESSENTRY32W *lppe) {
  return ::Process32FirstW(hSnapshot, reinterpret_cast<::PROCESSENTRY32W *>(lppe));
}

BOOL Process32NextW(HANDLE hSnapshot, PROCESSENTRY32W *lppe) {
  return ::Process32NextW(hSnapshot, reinterpret_cast<::PROCESSENTRY32W *>(lppe));
}

BOOL Module32FirstW(HANDLE hSnapshot, MODULEENTRY32W *lpme) {
  return ::Module32FirstW(hSnapshot, reinterpret_cast<::MODULEENTRY32W *>(lpme));
}

BOOL Module32NextW(HANDLE hSnapshot, MODULEENTRY32W *lpme) {
  return ::Module32NextW(hSnapshot, reinterpret_cast<::MODULEENTRY32W *>(lpme));
}

HANDLE OpenProcess(DWORD dwDesiredAccess, BOOL bInheritHandle, DWORD dwProcessId) {
  return ::OpenProcess(dwDesiredAccess, bInheritHandle, dwProcessId);
}

BOOL TerminateProcess(HANDLE hProcess, UINT uExitCode) {
  return ::TerminateProcess(hProcess, uExitCode);
}

BOOL GetExitCodeProcess(HANDLE hProcess, DWORD *lpExitCode) {
  return ::GetExitCodeProcess(hProcess, reinterpret_cast<::LPDWORD>(lpExitCode));
}

BOOL SetPriorityClass(HANDLE hProcess, DWORD dwPriorityClass) {
  return ::SetPriorityClass(hProcess, dwPriorityClass);
}

BOOL CreateProcessW(LPCWSTR lpApplicationName, LPWSTR lpCommandLine,
                    SECURITY_ATTRIBUTES *lpProcessAttributes,
                    SECURITY_ATTRIBUTES *lpThreadAttributes, BOOL bInheritHandles,
                    DWORD dwCreationFlags, LPVOID lpEnvironment, LPCWSTR lpCurrentDirectory,
                    STARTUPINFOW *lpStartupInfo, PROCESS_INFORMATION *lpProcessInformation) {
  return ::CreateProcessW(win32::wide(lpApplicationName), win32::wide(lpCommandLine),
                          reinterpret_cast<::LPSECURITY_ATTRIBUTES>(lpProcessAttributes),
                          reinterpret_cast<::LPSECURITY_ATTRIBUTES>(lpThreadAttributes),
                          bInheritHandles, dwCreationFlags, lpEnvironment,
                          win32::wide(lpCurrentDirectory),
                          reinterpret_cast<::STARTUPINFOW *>(lpStartupInfo),
                          reinterpret_cast<::PROCESS_INFORMATION *>(lpProcessInformation));
}

BOOL ShellExecuteExW(SHELLEXECUTEINFOW *pExecInfo) {
  return ::ShellExecuteExW(reinterpret_cast<::SHELLEXECUTEINFOW *>(pExecInfo));
}

BOOL PeekMessageW(MSG *lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg) {
  return ::PeekMessageW(reinterpret_cast<::MSG *>(lpMsg), window(hWnd), wMsgFilterMin,
                        wMsgFilterMax, wRemoveMsg);
}

LRESULT DispatchMessageW(const MSG *lpMsg) {
  return ::DispatchMessageW(reinterpret_cast<const ::MSG *>(lpMsg));
}

} // namespace zelsys
