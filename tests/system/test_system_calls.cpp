// test_system_calls.cpp - conformance of the calls that tell which Windows
// runs: the version, the native processor, and the shell library's IsOS
// reached by ordinal. Natively the Windows is the emulated machine's
// first-use layout, under Wine the prefix's default version: Windows 7 SP1,
// 64-bit, in a workgroup, both.
#include "zel_test_support.h"

#include "zelsys/kernel.h"
#include "zelsys/security.h"
#include "zelsys/system.h"
#include "zelsys/winconst.h"

#include <algorithm>
#include <bitset>
#include <cstdlib>
#include <cstring>
#include <string>

using namespace zelsys;

namespace {

constexpr BYTE PATTERN = 0xA5;
constexpr DWORD SENTINEL = 0xdeadbeef;
constexpr WORD IS_OS = 437;
using IsOSFunction = BOOL(ZELSYS_WINAPI *)(DWORD);

// The extended version structure and a tail that no call may touch, all
// filled with the pattern but the size the call is told.
struct VersionBuffer {
  explicit VersionBuffer(DWORD dwSize) {
    std::memset(this, PATTERN, sizeof *this);
    info.dwOSVersionInfoSize = dwSize;
  }
  bool untouchedFrom(std::size_t offset) const {
    const auto *pBytes = reinterpret_cast<const BYTE *>(this);
    return std::all_of(pBytes + offset, pBytes + sizeof *this, [](BYTE b) { return b == PATTERN; });
  }
  OSVERSIONINFOEXW info;
  BYTE tail[16];
};

} // namespace

TEST(SystemCalls, VersionFillsEitherStructureUpToItsSizeOnly) {
  for (const DWORD dwSize : {DWORD{sizeof(OSVERSIONINFOW)}, DWORD{sizeof(OSVERSIONINFOEXW)}}) {
    SCOPED_TRACE(dwSize);
    VersionBuffer buffer(dwSize);
    ASSERT_TRUE(GetVersionExW(reinterpret_cast<OSVERSIONINFOW *>(&buffer.info)));
    const OSVERSIONINFOEXW &info = buffer.info;
    EXPECT_EQ(info.dwOSVersionInfoSize, dwSize);
    EXPECT_EQ(info.dwMajorVersion, 6u);
    EXPECT_EQ(info.dwMinorVersion, 1u);
    EXPECT_EQ(info.dwBuildNumber, 7601u);
    EXPECT_EQ(info.dwPlatformId, VER_PLATFORM_WIN32_NT);
    EXPECT_EQ(std::u16string(info.szCSDVersion), u"Service Pack 1");
    EXPECT_TRUE(buffer.untouchedFrom(dwSize)) << "nothing written past the size";
    if (dwSize == sizeof(OSVERSIONINFOEXW)) {
      EXPECT_EQ(info.wServicePackMajor, 1);
      EXPECT_EQ(info.wProductType, VER_NT_WORKSTATION);
    }
  }

  // Any other size is refused before anything is written.
  for (const DWORD dwSize : {0u, 1u, 275u, 277u, 283u, 285u, 0xFFFFFFFFu}) {
    SCOPED_TRACE(dwSize);
    VersionBuffer buffer(dwSize);
    SetLastError(SENTINEL);
    EXPECT_FALSE(GetVersionExW(reinterpret_cast<OSVERSIONINFOW *>(&buffer.info)));
    ZEL_EXPECT_GAP_ON_WINE(GetLastError() == ERROR_INSUFFICIENT_BUFFER,
                           "Wine 8 fails without setting the last error");
    EXPECT_TRUE(buffer.untouchedFrom(sizeof dwSize));
  }
}

// Under Wine the 32-bit test program runs on 64-bit Windows, so this also
// checks that the native processor is reported, not the program's.
TEST(SystemCalls, NativeSystemInfoNamesTheMachinesProcessor) {
  SYSTEM_INFO info;
  std::memset(&info, PATTERN, sizeof info);
  GetNativeSystemInfo(&info);
  EXPECT_EQ(info.wProcessorArchitecture, PROCESSOR_ARCHITECTURE_AMD64);
  EXPECT_EQ(info.dwPageSize, 0x1000u);
  EXPECT_EQ(info.dwAllocationGranularity, 0x10000u);
  EXPECT_EQ(std::bitset<64>(info.dwActiveProcessorMask).count(), info.dwNumberOfProcessors)
      << "one bit a processor";
}

// The machine is 64-bit, so the program runs under WoW64 exactly when it is
// 32-bit: the Windows build always is; natively the process is 64-bit unless
// ZEL_PROCESS_BITS=32 declares it 32-bit.
TEST(SystemCalls, CurrentProcessIsUnderWow64WhenItIs32Bit) {
  const char *pszBits = std::getenv("ZEL_PROCESS_BITS");
  const bool is32Bit = CurrentHost() == HostKind::Substitute
                           ? pszBits != nullptr && std::string(pszBits) == "32"
                           : sizeof(void *) == 4;
  BOOL wow64 = 2;
  ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
  EXPECT_EQ(wow64, is32Bit ? TRUE : FALSE);
}

TEST(SystemCalls, ShellLibraryAnswersIsOSAtOrdinal437) {
  const HMODULE hShell = LoadLibraryW(u"shlwapi.dll");
  ASSERT_NE(hShell, nullptr);
  for (const char16_t *pszName : {u"SHLWAPI.DLL", u"shlwapi", u"C:\\Windows\\System32\\shlwapi.dll",
                                  u"c:\\WINDOWS\\system32\\SHLWAPI"}) {
    EXPECT_EQ(LoadLibraryW(pszName), hShell) << "one module: " << zeltest::narrow(pszName);
    EXPECT_TRUE(FreeLibrary(hShell));
  }
  const FARPROC pIsOS = GetProcAddress(hShell, MAKEINTRESOURCEA(IS_OS));
  ASSERT_NE(pIsOS, nullptr);
  const auto isOS = functionCast<IsOSFunction>(pIsOS);
  EXPECT_TRUE(isOS(OS_XPORGREATER));
  EXPECT_TRUE(isOS(OS_VISTAORGREATER));
  ZEL_EXPECT_GAP_ON_WINE(isOS(OS_DOMAINMEMBER) == FALSE,
                         "Wine 8 says every machine is in a domain");
  EXPECT_FALSE(isOS(0)) << "OS_WINDOWS: never on a Windows NT system";
  SetLastError(SENTINEL);
  EXPECT_EQ(GetProcAddress(hShell, MAKEINTRESOURCEA(60000)), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);
  EXPECT_TRUE(FreeLibrary(hShell));

  // Other libraries, and the shell library outside the system folder, are
  // not found.
  for (const char16_t *pszName : {u"zelnosuch.dll", u"C:\\Windows\\System32\\zelnosuch.dll",
                                  u"C:\\Windows\\shlwapi.dll", u"C:\\shlwapi.dll"}) {
    SetLastError(SENTINEL);
    EXPECT_EQ(LoadLibraryW(pszName), nullptr) << zeltest::narrow(pszName);
    EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND) << zeltest::narrow(pszName);
  }
}
