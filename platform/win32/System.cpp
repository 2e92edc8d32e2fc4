//===- System.cpp - Facts about the running Windows on Windows -------------===//
//
// Thin forwarders to kernel32. Only code for Windows belongs here.
//
//===----------------------------------------------------------------------===//
#include "zelsys/system.h"
#include "WindowsSupport.h"

#include <cstddef>
#include <type_traits>

namespace zelsys {

namespace {

static_assert(sizeof(::OSVERSIONINFOW) == sizeof(OSVERSIONINFOW), "OSVERSIONINFOW size");
static_assert(sizeof(::OSVERSIONINFOEXW) == sizeof(OSVERSIONINFOEXW), "OSVERSIONINFOEXW size");
static_assert(offsetof(::OSVERSIONINFOEXW, szCSDVersion) ==
                  offsetof(OSVERSIONINFOEXW, szCSDVersion),
              "OSVERSIONINFOEXW layout");
static_assert(offsetof(::OSVERSIONINFOEXW, wServicePackMajor) ==
                  offsetof(OSVERSIONINFOEXW, wServicePackMajor),
              "OSVERSIONINFOEXW layout");
static_assert(offsetof(::OSVERSIONINFOEXW, wProductType) ==
                  offsetof(OSVERSIONINFOEXW, wProductType),
              "OSVERSIONINFOEXW layout");
static_assert(sizeof(::SYSTEM_INFO) == sizeof(SYSTEM_INFO), "SYSTEM_INFO size");
static_assert(offsetof(::SYSTEM_INFO, dwPageSize) == offsetof(SYSTEM_INFO, dwPageSize),
              "SYSTEM_INFO layout");
static_assert(offsetof(::SYSTEM_INFO, dwActiveProcessorMask) ==
                  offsetof(SYSTEM_INFO, dwActiveProcessorMask),
              "SYSTEM_INFO layout");
static_assert(offsetof(::SYSTEM_INFO, wProcessorRevision) ==
                  offsetof(SYSTEM_INFO, wProcessorRevision),
              "SYSTEM_INFO layout");
static_assert(std::is_same_v<::FARPROC, FARPROC>, "FARPROC is the system's");

} // namespace

BOOL GetVersionExW(OSVERSIONINFOW *lpVersionInformation) {
  return ::GetVersionExW(reinterpret_cast<::LPOSVERSIONINFOW>(lpVersionInformation));
}

void GetNativeSystemInfo(SYSTEM_INFO *lpSystemInfo) {
  ::GetNativeSystemInfo(reinterpret_cast<::LPSYSTEM_INFO>(lpSystemInfo));
}

HMODULE LoadLibraryW(LPCWSTR lpLibFileName) {
  return reinterpret_cast<HMODULE>(::LoadLibraryW(win32::wide(lpLibFileName)));
}

HMODULE LoadLibraryExW(LPCWSTR lpLibFileName, HANDLE hFile, DWORD dwFlags) {
  return reinterpret_cast<HMODULE>(::LoadLibraryExW(win32::wide(lpLibFileName), hFile, dwFlags));
}

FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
  return ::GetProcAddress(reinterpret_cast<::HMODULE>(hModule), lpProcName);
}

BOOL FreeLibrary(HMODULE hLibModule) {
  return ::FreeLibrary(reinterpret_cast<::HMODULE>(hLibModule));
}

BOOL IsWow64Process(HANDLE hProcess, BOOL *Wow64Process) {
  // Found at run time: Windows XP before Service Pack 2 lacks the export,
  // and a system without it runs no program under WoW64.
  using Function = ::BOOL(WINAPI *)(::HANDLE, ::PBOOL);
  const auto pIsWow64Process =
      win32::entryOf<Function>(::GetModuleHandleW(L"kernel32.dll"), "IsWow64Process");
  if (pIsWow64Process == nullptr) {
    if (Wow64Process == nullptr) {
      ::SetLastError(ERROR_NOACCESS);
      return FALSE;
    }
    *Wow64Process = FALSE;
    return TRUE;
  }
  return pIsWow64Process(static_cast<::HANDLE>(hProcess), reinterpret_cast<::PBOOL>(Wow64Process));
}

// The compiled bitness is the real one.
void declareProcessBitness(ProcessBitness) {}

} // namespace zelsys
