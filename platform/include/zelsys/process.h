//===- zelsys/process.h - Processes: snapshots, start, end and exit codes ===//
//
// Listing processes and a process's modules, opening, ending and starting
// processes (directly or through the shell), their exit codes, and the
// window-message calls a wait keeps flowing, with the Windows names,
// argument order, structure layouts, results and last-error behaviour.
// Waiting on a process handle is WaitForSingleObject or
// MsgWaitForMultipleObjects (sync.h); CloseHandle (security.h) closes it.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "zelsys/registry.h"
#include "zelsys/winconst.h"
#include "zelsys/wintypes.h"

#include <cstdint>

namespace zelsys {

struct HWND__;
using HWND = HWND__ *;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

// Snapshots.
constexpr DWORD TH32CS_SNAPPROCESS = 0x2;
constexpr DWORD TH32CS_SNAPMODULE = 0x8;
constexpr DWORD MAX_MODULE_NAME32 = 255;

// Process access rights.
constexpr DWORD PROCESS_TERMINATE = 0x0001;
constexpr DWORD PROCESS_SET_INFORMATION = 0x0200;
constexpr DWORD PROCESS_QUERY_INFORMATION = 0x0400;
constexpr DWORD PROCESS_ALL_ACCESS = 0x001F0FFF; // as on Windows XP

// Creation flags and priority classes.
constexpr DWORD DETACHED_PROCESS = 0x00000008;
constexpr DWORD CREATE_NO_WINDOW = 0x08000000;
constexpr DWORD NORMAL_PRIORITY_CLASS = 0x00000020;
constexpr DWORD IDLE_PRIORITY_CLASS = 0x00000040;
constexpr DWORD HIGH_PRIORITY_CLASS = 0x00000080;
constexpr DWORD REALTIME_PRIORITY_CLASS = 0x00000100;
constexpr DWORD BELOW_NORMAL_PRIORITY_CLASS = 0x00004000;
constexpr DWORD ABOVE_NORMAL_PRIORITY_CLASS = 0x00008000;

// Start-up record flags and show commands.
constexpr DWORD STARTF_USESHOWWINDOW = 0x00000001;
constexpr WORD SW_HIDE = 0;
constexpr WORD SW_SHOWNORMAL = 1;
constexpr WORD SW_SHOWDEFAULT = 10;
constexpr WORD SW_MAX = 11; // 14 is past every show command

// Shell execution.
constexpr ULONG SEE_MASK_NOCLOSEPROCESS = 0x00000040;
constexpr ULONG SEE_MASK_FLAG_NO_UI = 0x00000400;
constexpr ULONG SEE_MASK_NO_CONSOLE = 0x00008000;

// Messages.
constexpr UINT PM_REMOVE = 0x0001;
constexpr UINT WM_QUIT = 0x0012;

struct PROCESSENTRY32W {
  DWORD dwSize;
  DWORD cntUsage;
  DWORD th32ProcessID;
  std::uintptr_t th32DefaultHeapID;
  DWORD th32ModuleID;
  DWORD cntThreads;
  DWORD th32ParentProcessID;
  LONG pcPriClassBase;
  DWORD dwFlags;
  WCHAR szExeFile[MAX_PATH];
};

struct MODULEENTRY32W {
  DWORD dwSize;
  DWORD th32ModuleID;
  DWORD th32ProcessID;
  DWORD GlblcntUsage;
  DWORD ProccntUsage;
  BYTE *modBaseAddr;
  DWORD modBaseSize;
  HMODULE hModule;
  WCHAR szModule[MAX_MODULE_NAME32 + 1];
  WCHAR szExePath[MAX_PATH];
};

struct STARTUPINFOW {
  DWORD cb;
  LPWSTR lpReserved;
  LPWSTR lpDesktop;
  LPWSTR lpTitle;
  DWORD dwX;
  DWORD dwY;
  DWORD dwXSize;
  DWORD dwYSize;
  DWORD dwXCountChars;
  DWORD dwYCountChars;
  DWORD dwFillAttribute;
  DWORD dwFlags;
  WORD wShowWindow;
  WORD cbReserved2;
  BYTE *lpReserved2;
  HANDLE hStdInput;
  HANDLE hStdOutput;
  HANDLE hStdError;
};

struct PROCESS_INFORMATION {
  HANDLE hProcess;
  HANDLE hThread;
  DWORD dwProcessId;
  DWORD dwThreadId;
};

struct SHELLEXECUTEINFOW {
  DWORD cbSize;
  ULONG fMask;
  HWND hwnd;
  LPCWSTR lpVerb;
  LPCWSTR lpFile;
  LPCWSTR lpParameters;
  LPCWSTR lpDirectory;
  INT nShow;
  HINSTANCE hInstApp;
  void *lpIDList;
  LPCWSTR lpClass;
  HKEY hkeyClass;
  DWORD dwHotKey;
  HANDLE hIcon;
  HANDLE hProcess;
};

struct POINT {
  LONG x;
  LONG y;
};

struct MSG {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  DWORD time;
  POINT pt;
};

// TH32CS_SNAPPROCESS lists every process (th32ProcessID ignored);
// TH32CS_SNAPMODULE lists the modules of process th32ProcessID (0: the
// caller), the executable first. INVALID_HANDLE_VALUE on failure.
HANDLE CreateToolhelp32Snapshot(DWORD dwFlags, DWORD th32ProcessID);
// dwSize must be set to the structure's size first. FALSE with
// ERROR_NO_MORE_FILES past the last entry.
BOOL Process32FirstW(HANDLE hSnapshot, PROCESSENTRY32W *lppe);
BOOL Process32NextW(HANDLE hSnapshot, PROCESSENTRY32W *lppe);
BOOL Module32FirstW(HANDLE hSnapshot, MODULEENTRY32W *lpme);
BOOL Module32NextW(HANDLE hSnapshot, MODULEENTRY32W *lpme);

DWORD GetCurrentProcessId();
// Null with ERROR_INVALID_PARAMETER for an identifier no process has and
// ERROR_ACCESS_DENIED where the access is refused.
HANDLE OpenProcess(DWORD dwDesiredAccess, BOOL bInheritHandle, DWORD dwProcessId);
// Ends the process at once; a wait on it then ends and its exit code is
// uExitCode.
BOOL TerminateProcess(HANDLE hProcess, UINT uExitCode);
// STILL_ACTIVE while the process runs.
BOOL GetExitCodeProcess(HANDLE hProcess, DWORD *lpExitCode);
BOOL SetPriorityClass(HANDLE hProcess, DWORD dwPriorityClass);

// lpApplicationName null: the program is the first word of lpCommandLine,
// which a program splits into its arguments by the Windows rules. The
// caller closes both handles of lpProcessInformation. The substitute gives
// every child the caller's environment (lpEnvironment must be null) and
// makes hThread a second handle to the process.
BOOL CreateProcessW(LPCWSTR lpApplicationName, LPWSTR lpCommandLine,
                    SECURITY_ATTRIBUTES *lpProcessAttributes,
                    SECURITY_ATTRIBUTES *lpThreadAttributes, BOOL bInheritHandles,
                    DWORD dwCreationFlags, LPVOID lpEnvironment, LPCWSTR lpCurrentDirectory,
                    STARTUPINFOW *lpStartupInfo, PROCESS_INFORMATION *lpProcessInformation);
// The substitute takes the open verb (or none) on a program; with
// SEE_MASK_NOCLOSEPROCESS hProcess receives the new process's handle.
BOOL ShellExecuteExW(SHELLEXECUTEINFOW *pExecInfo);

// The calling thread's window messages. The substitute has no windows:
// PeekMessageW never finds a message there.
BOOL PeekMessageW(MSG *lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg);
LRESULT DispatchMessageW(const MSG *lpMsg);

} // namespace zelsys
