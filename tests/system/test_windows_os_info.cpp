// test_windows_os_info.cpp - CZELWindowsOSInfo on the Windows the tests run
// on and, natively, on emulated machines of every supported version, each
// made by writing the registry values where Windows keeps its facts.
#include "zel_exceptions.h"
#include "zel_test_support.h"
#include "zel_windows_os_info.h"

#include "zelsys/environment.h"
#include "zelsys/registry.h"
#include "zelsys/system.h"
#include "zelsys/winconst.h"

#include <string>
#include <vector>

#ifndef _WIN32
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>
#endif

using namespace zelsys;

// Natively the emulated machine's first-use layout, under Wine the prefix's
// default version: Windows 7 SP1, 64-bit, in a workgroup, both.
TEST(WindowsOSInfo, AnswersForTheRunningWindows) {
  const CZELWindowsOSInfo info;
  EXPECT_TRUE(info.isWindows7());
  EXPECT_TRUE(info.getOSQuery37());
  EXPECT_EQ(info.getPlatform(), 2) << "a 64-bit machine, whatever the program";
  ZEL_ULONG ulServicePack = 99;
  EXPECT_TRUE(info.getServicePackLevel(&ulServicePack));
  EXPECT_EQ(ulServicePack, 1u);
  ZEL_EXPECT_GAP_ON_WINE(!info.isComputerOnDomain(), "Wine 8 says every machine is in a domain");
  EXPECT_FALSE(info.isWelcomeScreenEnabled()) << "Vista replaced that logon screen";
  EXPECT_TRUE(info.isFastUserSwitchingEnabled());

  // A preinstallation environment names its drive; an empty name is none.
  for (const char16_t *pszDrive : {u"", u"X:"}) {
    SetEnvironmentVariableW(u"ZELDrive", pszDrive);
    EXPECT_EQ(info.performPECheck(), *pszDrive != u'\0');
  }
  SetEnvironmentVariableW(u"ZELDrive", nullptr);
  EXPECT_FALSE(info.performPECheck());

  // Missing places for an answer are refused and logged, never written.
  zeltest::RecordingSink sink;
  EXPECT_FALSE(info.getServicePackLevel(nullptr));
  EXPECT_FALSE(info.performOSQueryFunction(OS_XPORGREATER, nullptr));
  EXPECT_EQ(sink.count(), 2u);
}

#ifndef _WIN32

namespace {

// A new emulated machine in a temporary folder, current (ZEL_MACHINE) for
// this object's life; the tests' own machine comes back afterwards.
struct FreshMachine {
  const char *pszPrevious = std::getenv("ZEL_MACHINE");
  const std::string previous = pszPrevious ? pszPrevious : "";
  std::string folder = (std::filesystem::temp_directory_path() / "zel-os-info-XXXXXX").string();

  FreshMachine() {
    EXPECT_NE(::mkdtemp(folder.data()), nullptr);
    ::setenv("ZEL_MACHINE", folder.c_str(), 1);
  }
  ~FreshMachine() {
    ::setenv("ZEL_MACHINE", previous.c_str(), 1);
    std::filesystem::remove_all(folder);
  }
};

const char16_t CURRENT_VERSION[] = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
const char16_t WINLOGON[] = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
const char16_t POLICIES[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
const char16_t CONTROL_WINDOWS[] = u"SYSTEM\\CurrentControlSet\\Control\\Windows";
const char16_t ENVIRONMENT[] = u"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
const char16_t PRODUCT_OPTIONS[] = u"SYSTEM\\CurrentControlSet\\Control\\ProductOptions";
const char16_t TCPIP[] = u"SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters";

// One value under HKEY_LOCAL_MACHINE to write (REG_SZ, REG_DWORD) or, with
// REG_NONE, to delete.
struct Setting {
  DWORD type;
  const char16_t *key, *name;
  std::u16string text;
  DWORD number;
};
using Text = const char16_t *;
Setting text(Text key, Text name, Text value) { return {REG_SZ, key, name, value, 0}; }
Setting number(Text key, Text name, DWORD value) { return {REG_DWORD, key, name, u"", value}; }
Setting removed(Text key, Text name) { return {REG_NONE, key, name, u"", 0}; }

void apply(const Setting &setting) {
  HKEY hKey = nullptr;
  // The facts live in the machine's native view, which a 32-bit process
  // reaches only by asking for it.
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, setting.key, 0, nullptr, 0,
                            KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &hKey, nullptr),
            0);
  const bool bText = setting.type == REG_SZ;
  const auto *pData = bText ? reinterpret_cast<const BYTE *>(setting.text.c_str())
                            : reinterpret_cast<const BYTE *>(&setting.number);
  const auto cbData = static_cast<DWORD>(bText ? (setting.text.size() + 1) * 2 : 4);
  EXPECT_EQ(setting.type == REG_NONE
                ? RegDeleteValueW(hKey, setting.name)
                : RegSetValueExW(hKey, setting.name, 0, setting.type, pData, cbData),
            0)
      << zeltest::narrow(setting.name);
  RegCloseKey(hKey);
}

} // namespace

// Every machine starts as the first-use layout (Windows 7 SP1 64-bit).
TEST(WindowsOSInfo, EmulatedMachinesOfEveryVersion) {
  // What the class and GetVersionExW answer on a machine.
  struct Answers {
    bool xp, vista, windows7;
    ZEL_ULONG servicePack;
    ZEL_LONG platform;
    bool query37, welcome, fastSwitching, domain;
    WORD versionServicePack; // GetVersionExW's wServicePackMajor
    BYTE productType;
  };
  struct MachineCase {
    const char *name;
    std::vector<Setting> settings;
    Answers expected;
  };
  // xp, vista, 7, service pack, platform, query 37, welcome screen, fast user
  // switching, domain, GetVersionExW's service pack and product type
  const MachineCase cases[] = {
      {"XP SP3, 32-bit, workgroup, the policy allowing fast switching",
       {text(CURRENT_VERSION, u"CurrentVersion", u"5.1"),
        text(CURRENT_VERSION, u"CSDVersion", u"Service Pack 3"),
        number(CONTROL_WINDOWS, u"CSDVersion", 0x300),
        text(ENVIRONMENT, u"PROCESSOR_ARCHITECTURE", u"x86"), number(WINLOGON, u"LogonType", 1),
        number(WINLOGON, u"AllowMultipleTSSessions", 0),
        number(POLICIES, u"AllowMultipleTSSessions", 1)},
       {true, false, false, 3, 1, false, true, true, false, 3, VER_NT_WORKSTATION}},
      {"XP SP3 on a 64-bit processor, in a domain",
       {text(CURRENT_VERSION, u"CurrentVersion", u"5.1"),
        number(CONTROL_WINDOWS, u"CSDVersion", 0x300), number(WINLOGON, u"LogonType", 1),
        text(TCPIP, u"Domain", u"corp.example")},
       {true, false, false, 3, 2, false, false, false, true, 3, VER_NT_WORKSTATION}},
      {"Server 2003 SP2 on Itanium",
       {text(CURRENT_VERSION, u"CurrentVersion", u"5.2"),
        number(CONTROL_WINDOWS, u"CSDVersion", 0x200),
        text(ENVIRONMENT, u"PROCESSOR_ARCHITECTURE", u"IA64"),
        text(PRODUCT_OPTIONS, u"ProductType", u"ServerNT"), number(WINLOGON, u"LogonType", 1)},
       {true, false, false, 2, 2, false, false, false, false, 2, VER_NT_SERVER}},
      {"Vista SP2, 64-bit",
       {text(CURRENT_VERSION, u"CurrentVersion", u"6.0"),
        number(CONTROL_WINDOWS, u"CSDVersion", 0x200), number(WINLOGON, u"LogonType", 1)},
       {false, true, false, 2, 2, true, false, true, false, 2, VER_NT_WORKSTATION}},
      {"Windows 7, 32-bit, no service pack, domain controller",
       {number(CONTROL_WINDOWS, u"CSDVersion", 0),
        text(ENVIRONMENT, u"PROCESSOR_ARCHITECTURE", u"x86"),
        text(PRODUCT_OPTIONS, u"ProductType", u"LanmanNT")},
       {false, false, true, 0, 1, true, false, true, true, 0, VER_NT_DOMAIN_CONTROLLER}},
      // A machine older than its layout: the calls fall back to Windows 7
      // SP1 64-bit, while the service pack read straight from the registry
      // is 0.
      {"every fact missing",
       {removed(CURRENT_VERSION, u"CurrentVersion"), removed(CURRENT_VERSION, u"CSDVersion"),
        removed(CONTROL_WINDOWS, u"CSDVersion"), removed(ENVIRONMENT, u"PROCESSOR_ARCHITECTURE"),
        removed(PRODUCT_OPTIONS, u"ProductType")},
       {false, false, true, 0, 2, true, false, true, false, 1, VER_NT_WORKSTATION}},
  };
  for (const MachineCase &machineCase : cases) {
    SCOPED_TRACE(machineCase.name);
    const FreshMachine machine;
    for (const Setting &setting : machineCase.settings)
      apply(setting);
    const Answers &expected = machineCase.expected;
    const CZELWindowsOSInfo info;
    EXPECT_EQ(info.isXP(), expected.xp);
    EXPECT_EQ(info.isVista(), expected.vista);
    EXPECT_EQ(info.isWindows7(), expected.windows7);
    ZEL_ULONG ulServicePack = 99;
    EXPECT_TRUE(info.getServicePackLevel(&ulServicePack));
    EXPECT_EQ(ulServicePack, expected.servicePack);
    EXPECT_EQ(info.getPlatform(), expected.platform);
    EXPECT_EQ(info.getOSQuery37(), expected.query37);
    EXPECT_EQ(info.isWelcomeScreenEnabled(), expected.welcome);
    EXPECT_EQ(info.isFastUserSwitchingEnabled(), expected.fastSwitching);
    EXPECT_EQ(info.isComputerOnDomain(), expected.domain);
    OSVERSIONINFOEXW version{};
    version.dwOSVersionInfoSize = sizeof version;
    ASSERT_TRUE(GetVersionExW(reinterpret_cast<OSVERSIONINFOW *>(&version)));
    EXPECT_EQ(version.wServicePackMajor, expected.versionServicePack);
    EXPECT_EQ(version.wProductType, expected.productType);
  }
}

// A machine whose registry cannot be read has no version: construction
// fails, logged with the class's message.
TEST(WindowsOSInfo, NoVersionNoObject) {
  const FreshMachine machine;
  std::ofstream(machine.folder + "/registry.db") << std::string(4096, 'x');
  zeltest::RecordingSink sink;
  EXPECT_THROW({ const CZELWindowsOSInfo info; }, CZELWindowsOSInfoInitNeededException);
  EXPECT_EQ(sink.countMessage(CZELWindowsOSInfoInitNeededException::MESSAGE), 1u);
}

#endif
