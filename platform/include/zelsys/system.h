//===- zelsys/system.h - Facts about the running Windows -------------------===//
//
// The version, the native processor, the calling process's bitness and the
// modules loaded at run time,
// with the Windows names, structure layouts, argument order, results and
// last-error behaviour. Constants are in winconst.h.
// This header may hold only declarations that compile on every platform.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "zelsys/wintypes.h"

// The calling convention of functions reached through GetProcAddress: the
// system's (stdcall) on 32-bit Windows, the compiler's default elsewhere.
#if defined(_WIN32) && !defined(_WIN64)
#define ZELSYS_WINAPI __attribute__((stdcall))
#else
#define ZELSYS_WINAPI
#endif

namespace zelsys {

// What GetVersionExW fills: 276 bytes.
struct OSVERSIONINFOW {
  DWORD dwOSVersionInfoSize; // set by the caller to the structure's size
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  WCHAR szCSDVersion[128]; // "Service Pack 3", or empty
};

// The extended form: 284 bytes. Passed to GetVersionExW as an
// OSVERSIONINFOW pointer with its own size in dwOSVersionInfoSize.
struct OSVERSIONINFOEXW {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  WCHAR szCSDVersion[128];
  WORD wServicePackMajor;
  WORD wServicePackMinor;
  WORD wSuiteMask;
  BYTE wProductType; // VER_NT_WORKSTATION, VER_NT_DOMAIN_CONTROLLER, VER_NT_SERVER
  BYTE wReserved;
};

static_assert(sizeof(OSVERSIONINFOW) == 276, "OSVERSIONINFOW has the Windows size");
static_assert(sizeof(OSVERSIONINFOEXW) == 284, "OSVERSIONINFOEXW has the Windows size");

// What GetNativeSystemInfo fills. Windows overlays the first two words with
// the obsolete dwOemId; the words alone give the same layout.
struct SYSTEM_INFO {
  WORD wProcessorArchitecture; // PROCESSOR_ARCHITECTURE_*
  WORD wReserved;
  DWORD dwPageSize;
  LPVOID lpMinimumApplicationAddress;
  LPVOID lpMaximumApplicationAddress;
  DWORD_PTR dwActiveProcessorMask;
  DWORD dwNumberOfProcessors;
  DWORD dwProcessorType;
  DWORD dwAllocationGranularity;
  WORD wProcessorLevel;
  WORD wProcessorRevision;
};

// An exported function as GetProcAddress returns it; cast it to its real
// type with functionCast before calling.
using FARPROC = std::intptr_t(ZELSYS_WINAPI *)();

// Converts between function pointer types through void (*)(), the one
// function type that converts to every other without a warning: both sides
// must name the same function type in the end.
template <class To, class From> To functionCast(From pFunction) {
  return reinterpret_cast<To>(reinterpret_cast<void (*)()>(pFunction));
}

// Fills the structure whose size the caller put in dwOSVersionInfoSize:
// sizeof(OSVERSIONINFOW) or sizeof(OSVERSIONINFOEXW). Any other size fails
// with ERROR_INSUFFICIENT_BUFFER and writes nothing.
BOOL GetVersionExW(OSVERSIONINFOW *lpVersionInformation);

// The machine's processor as a native program sees it, also when the
// calling program runs under 32-bit emulation on 64-bit Windows.
void GetNativeSystemInfo(SYSTEM_INFO *lpSystemInfo);

// Loading a library and finding its exports. lpProcName is a name, or an
// ordinal in its low word with a zero high word (MAKEINTRESOURCEA). A
// missing library fails with ERROR_MOD_NOT_FOUND, a missing export with
// ERROR_PROC_NOT_FOUND.
// On the substitute LoadLibraryW also loads any Windows DLL on the emulated
// drives for its resources only: nothing in it runs, and it exports nothing.
// Loading a module again gives the same handle; it stays loaded until as
// many FreeLibrary calls as loads.
HMODULE LoadLibraryW(LPCWSTR lpLibFileName);
// LoadLibraryW with flags. The substitute knows 0 and
// LOAD_WITH_ALTERED_SEARCH_PATH, the same for it (it finds a DLL in another
// folder only by its full path anyway); others fail with
// ERROR_INVALID_PARAMETER. hFile must be null.
HMODULE LoadLibraryExW(LPCWSTR lpLibFileName, HANDLE hFile, DWORD dwFlags);
// The handle of a module already loaded: null gives the program itself; a
// name without a folder matches a module's file name (".dll" added when it
// has no extension), a path its full path. Nothing is loaded and the load
// count stays; ERROR_MOD_NOT_FOUND when no loaded module matches.
HMODULE GetModuleHandleW(LPCWSTR lpModuleName);
FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName);
BOOL FreeLibrary(HMODULE hLibModule);

// Whether the process runs under WoW64, a 32-bit program on 64-bit Windows:
// TRUE there, FALSE for a native program. The substitute knows only the
// current process (GetCurrentProcess()); another handle fails with
// ERROR_INVALID_HANDLE.
BOOL IsWow64Process(HANDLE hProcess, BOOL *Wow64Process);

// The bitness of the Windows program the code stands in for. A notion of the
// substitute only: on Windows the bitness is the compiled one and
// declareProcessBitness does nothing. On the substitute it sets the registry
// views and IsWow64Process as that program sees them on the emulated
// machine. A program declares it once at start, before its first call; it
// wins over the environment variable ZEL_PROCESS_BITS ("32" or "64", read
// once at first use, anything else ignored), which sets it for a whole test
// run. Without either the process is 64-bit. On a 32-bit machine a 64-bit
// process cannot run: there the declaration is taken as the machine's own
// bitness, one registry view and no WoW64.
enum class ProcessBitness { Bits32, Bits64 };
void declareProcessBitness(ProcessBitness bitness);

} // namespace zelsys
