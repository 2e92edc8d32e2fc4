//===- System.cpp - Facts about the running Windows on the substitute ------===//
//
// The version and the processor are the emulated machine's, read from its
// registry (WindowsFacts.h). The native processor is the machine's whatever
// the declared bitness of the process; the process runs under WoW64 when it
// is 32-bit on a 64-bit machine. Only code that works on every Unix.
//
// Libraries: the one built in is the shell's utility library,
// "shlwapi.dll" (any case, with or without the extension, bare or in
// C:\Windows\System32), whose only export is IsOS at ordinal 437, answered
// here; it exports nothing by name. Its handle counts loads and frees as
// Windows does and stops naming a module when the count reaches zero. Any
// other name loads a DLL from the emulated drives for its resources only
// (Modules.h): nothing in it runs, so it exports nothing.
//
// IsOS answers the queries the framework asks as the shell of each Windows
// version does; every other query answers FALSE:
// - OS_NT (1): always, every emulated Windows being of the NT line;
// - OS_XPORGREATER: version 5.1 or later;
// - OS_VISTAORGREATER (37): version 6.0 or later;
// - OS_DOMAINMEMBER: the machine is joined to a domain;
// - OS_FASTUSERSWITCHING: from Vista on, always (the licence of every
//   edition the machine can be allows several sessions); before, when the
//   logon setting AllowMultipleTSSessions is not 0;
// - OS_WELCOMELOGONUI: before Vista only (Vista replaced that logon screen),
//   on a workstation outside a domain whose logon dialog is not replaced
//   and whose logon setting LogonType is not 0.
//
//===----------------------------------------------------------------------===//
#include "zelsys/system.h"
#include "Errors.h"
#include "Modules.h"
#include "Utf.h"
#include "WindowsFacts.h"
#include "WindowsPath.h"
#include "zelsys/kernel.h"
#include "zelsys/security.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <unistd.h>

namespace zelsys {

using posix::WindowsFacts;

namespace {

constexpr WORD kIsOSOrdinal = 437;

BOOL IsOS(DWORD dwOS) {
  WindowsFacts facts;
  if (posix::readWindowsFacts(facts) != ERROR_SUCCESS)
    return FALSE;
  const bool vistaOrLater = facts.major >= 6;
  switch (dwOS) {
  case OS_NT:
    return TRUE;
  case OS_XPORGREATER:
    return facts.major > 5 || (facts.major == 5 && facts.minor >= 1);
  case OS_VISTAORGREATER:
    return vistaOrLater;
  case OS_DOMAINMEMBER:
    return facts.domainMember;
  case OS_FASTUSERSWITCHING:
    return vistaOrLater || facts.allowMultipleSessions != 0;
  case OS_WELCOMELOGONUI:
    return !vistaOrLater && facts.productType == VER_NT_WORKSTATION && !facts.domainMember &&
           !facts.replacedLogonDialog && facts.logonType != 0;
  default:
    return FALSE;
  }
}

// The shell library's load count; the address of gShellModule is its handle.
std::mutex gModuleLock;
std::size_t gShellLoads = 0;
char gShellModule;

HMODULE shellHandle() { return reinterpret_cast<HMODULE>(&gShellModule); }

bool namesShellLibrary(std::u16string_view name) {
  const posix::WindowsPath path = posix::parseWindowsPath(name);
  const std::vector<std::u16string> &parts = path.components;
  const bool bare =
      path.kind == posix::WindowsPath::Kind::Relative && path.climbs == 0 && parts.size() == 1;
  const bool inSystemFolder = path.kind == posix::WindowsPath::Kind::Absolute &&
                              path.drive == u'C' && parts.size() == 3 &&
                              posix::equalsIgnoreCase(parts[0], u"Windows") &&
                              posix::equalsIgnoreCase(parts[1], u"System32");
  return (bare || inSystemFolder) && (posix::equalsIgnoreCase(parts.back(), u"shlwapi.dll") ||
                                      posix::equalsIgnoreCase(parts.back(), u"shlwapi"));
}

// Whether hModule names the loaded shell library. The caller holds
// gModuleLock.
bool isLoadedShell(HMODULE hModule) { return hModule == shellHandle() && gShellLoads > 0; }

} // namespace

BOOL GetVersionExW(OSVERSIONINFOW *lpVersionInformation) {
  // Where Windows would fault on the address, the substitute refuses it.
  if (lpVersionInformation == nullptr)
    return posix::failWith(ERROR_NOACCESS);
  // The caller's structure may be either form: it is read and written as
  // bytes, never beyond the size it gives.
  DWORD size = 0;
  std::memcpy(&size, lpVersionInformation, sizeof size);
  if (size != sizeof(OSVERSIONINFOW) && size != sizeof(OSVERSIONINFOEXW))
    return posix::failWith(ERROR_INSUFFICIENT_BUFFER);
  WindowsFacts facts;
  if (const DWORD error = posix::readWindowsFacts(facts))
    return posix::failWith(error);
  OSVERSIONINFOEXW info{};
  info.dwOSVersionInfoSize = size;
  info.dwMajorVersion = facts.major;
  info.dwMinorVersion = facts.minor;
  info.dwBuildNumber = facts.build;
  info.dwPlatformId = VER_PLATFORM_WIN32_NT;
  std::copy_n(facts.servicePackText.begin(),
              std::min<std::size_t>(facts.servicePackText.size(), std::size(info.szCSDVersion) - 1),
              info.szCSDVersion);
  info.wServicePackMajor = static_cast<WORD>((facts.servicePack >> 8) & 0xFF);
  info.wServicePackMinor = static_cast<WORD>(facts.servicePack & 0xFF);
  // Workstations offer one remote session; servers Terminal Services too.
  info.wSuiteMask = facts.productType == VER_NT_WORKSTATION
                        ? VER_SUITE_SINGLEUSERTS
                        : static_cast<WORD>(VER_SUITE_SINGLEUSERTS | VER_SUITE_TERMINAL);
  info.wProductType = facts.productType;
  std::memcpy(lpVersionInformation, &info, size);
  return TRUE;
}

void GetNativeSystemInfo(SYSTEM_INFO *lpSystemInfo) {
  if (lpSystemInfo == nullptr)
    return;
  // The call cannot fail: an unreadable registry gives the defaults.
  WindowsFacts facts;
  (void)posix::readWindowsFacts(facts);
  const WORD architecture = facts.architecture;
  const bool is32Bit = architecture == PROCESSOR_ARCHITECTURE_INTEL;
  SYSTEM_INFO info{};
  info.wProcessorArchitecture = architecture;
  info.dwPageSize = architecture == PROCESSOR_ARCHITECTURE_IA64 ? 0x2000 : 0x1000;
  info.lpMinimumApplicationAddress = reinterpret_cast<LPVOID>(std::uintptr_t{0x10000});
  info.lpMaximumApplicationAddress = reinterpret_cast<LPVOID>(
      is32Bit ? std::uintptr_t{0x7FFEFFFF} : std::uintptr_t{0x7FFFFFEFFFF});
  // The host's processors, as many as the processor mask can name.
  const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
  const DWORD processors = static_cast<DWORD>(std::clamp(online, 1L, is32Bit ? 32L : 64L));
  info.dwActiveProcessorMask = processors >= 64 ? ~DWORD_PTR{0} : (DWORD_PTR{1} << processors) - 1;
  info.dwNumberOfProcessors = processors;
  info.dwProcessorType = architecture == PROCESSOR_ARCHITECTURE_AMD64  ? 8664
                         : architecture == PROCESSOR_ARCHITECTURE_IA64 ? 2200
                                                                       : 586;
  info.dwAllocationGranularity = 0x10000;
  info.wProcessorLevel = architecture == PROCESSOR_ARCHITECTURE_IA64 ? 1 : 6;
  *lpSystemInfo = info;
}

BOOL IsWow64Process(HANDLE hProcess, BOOL *Wow64Process) {
  if (hProcess != GetCurrentProcess())
    return posix::failWith(ERROR_INVALID_HANDLE);
  if (Wow64Process == nullptr)
    return posix::failWith(ERROR_NOACCESS);
  WindowsFacts facts;
  if (const DWORD error = posix::readWindowsFacts(facts))
    return posix::failWith(error);
  *Wow64Process = posix::runsUnderWow64(posix::processBitness(), facts.architecture);
  return TRUE;
}

HMODULE LoadLibraryW(LPCWSTR lpLibFileName) {
  if (lpLibFileName == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (!namesShellLibrary(lpLibFileName))
    return posix::loadImageModule(lpLibFileName);
  const std::lock_guard<std::mutex> lock(gModuleLock);
  ++gShellLoads;
  return shellHandle();
}

HMODULE LoadLibraryExW(LPCWSTR lpLibFileName, HANDLE hFile, DWORD dwFlags) {
  if (hFile != nullptr || (dwFlags != 0 && dwFlags != LOAD_WITH_ALTERED_SEARCH_PATH)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return LoadLibraryW(lpLibFileName);
}

FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
  {
    const std::lock_guard<std::mutex> lock(gModuleLock);
    if (!isLoadedShell(hModule)) {
      SetLastError(posix::isImageModule(hModule) ? ERROR_PROC_NOT_FOUND : ERROR_MOD_NOT_FOUND);
      return nullptr;
    }
  }
  // An ordinal travels in the low word of a pointer whose high word is 0;
  // the library has no named exports, so a name is never read.
  const auto value = reinterpret_cast<std::uintptr_t>(lpProcName);
  if (value == kIsOSOrdinal)
    return functionCast<FARPROC>(&IsOS);
  SetLastError(ERROR_PROC_NOT_FOUND);
  return nullptr;
}

BOOL FreeLibrary(HMODULE hLibModule) {
  const std::lock_guard<std::mutex> lock(gModuleLock);
  if (!isLoadedShell(hLibModule))
    return posix::freeImageModule(hLibModule) ? TRUE : posix::failWith(ERROR_MOD_NOT_FOUND);
  --gShellLoads;
  return TRUE;
}

} // namespace zelsys
