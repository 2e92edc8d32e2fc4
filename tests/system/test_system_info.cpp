// test_system_info.cpp - the machine's names, its common storage folder,
// its accounts and groups and its system type: the platform calls' size and
// resume protocols, then CZELSystemInfo over them, with the entries it
// writes. The test's policy value and storage folder are removed before and
// after each test that makes them.
#include "zel_registry_key.h"
#include "zel_system_info.h"
#include "zel_test_support.h"

#include "zelsys/files.h"
#include "zelsys/kernel.h"
#include "zelsys/registry.h"
#include "zelsys/sysinfo.h"
#include "zelsys/winconst.h"

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

using namespace zelsys;

namespace {

constexpr DWORD SENTINEL = 0xdeadbeef;
// A name no resolver answers (the reserved top-level domain "invalid").
constexpr char16_t UNREACHABLE[] = u"\\\\zel-unreachable.invalid";
constexpr char16_t POLICY_KEY[] = u"Software\\Korvel\\ZEL Common";

std::u16string computerName(COMPUTER_NAME_FORMAT format) {
  DWORD dwSize = 0;
  GetComputerNameExW(format, nullptr, &dwSize);
  std::u16string name(dwSize, u'\0');
  if (!GetComputerNameExW(format, name.data(), &dwSize))
    return u"(failed)";
  name.resize(dwSize);
  return name;
}

std::vector<std::u16string> items(CZELWCharStringList &list) {
  std::vector<std::u16string> out;
  if (list.isEmpty())
    return out;
  list.begin();
  do {
    CZELWCharString item;
    list.getItem(item);
    out.push_back(zeltest::text(item.getBuffer()));
  } while (list.next());
  return out;
}

// Every name one enumeration (accounts or groups of this machine) gives,
// called with prefmaxlen until it reports success; the calls made, or 0
// when one failed.
std::size_t enumerateAll(bool bGroups, LPCWSTR pszServer, DWORD prefmaxlen,
                         std::vector<std::u16string> &names) {
  std::size_t calls = 0;
  DWORD dwResume = 0;
  DWORD_PTR dwGroupResume = 0;
  NET_API_STATUS status = ERROR_MORE_DATA;
  while (status == ERROR_MORE_DATA && calls < 10000) {
    LPBYTE pBuffer = nullptr;
    DWORD dwRead = 0, dwTotal = 0;
    status = bGroups ? NetGroupEnum(pszServer, 0, &pBuffer, prefmaxlen, &dwRead, &dwTotal,
                                    &dwGroupResume)
                     : NetUserEnum(pszServer, 0, FILTER_NORMAL_ACCOUNT, &pBuffer, prefmaxlen,
                                   &dwRead, &dwTotal, &dwResume);
    ++calls;
    if (status != NERR_Success && status != ERROR_MORE_DATA)
      return 0;
    EXPECT_GE(dwTotal, dwRead);
    // A partial answer without an entry could never end.
    if (status == ERROR_MORE_DATA && dwRead == 0) {
      NetApiBufferFree(pBuffer);
      return 0;
    }
    // Both level-0 structures are one name pointer.
    for (DWORD i = 0; i < dwRead; ++i)
      names.push_back(reinterpret_cast<USER_INFO_0 *>(pBuffer)[i].usri0_name);
    EXPECT_EQ(NetApiBufferFree(pBuffer), NERR_Success);
  }
  return calls;
}

// Stands in for the system's name call: the first call may succeed, the
// second may fail, as no healthy system answers.
class ScriptedSystemInfo : public CZELSystemInfo {
public:
  enum Script { sFirstSucceeds, sSecondFails };
  explicit ScriptedSystemInfo(Script eScript) : m_eScript(eScript) {}

protected:
  BOOL callGetComputerNameEx(COMPUTER_NAME_FORMAT eFormat, LPWSTR lpBuffer,
                             DWORD *pnSize) override {
    if (m_eScript == sFirstSucceeds)
      return TRUE;
    if (lpBuffer == nullptr)
      return CZELSystemInfo::callGetComputerNameEx(eFormat, lpBuffer, pnSize);
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }

private:
  Script m_eScript;
};

// Stores a text value of HKEY_LOCAL_MACHINE; an empty text removes it.
void setMachineText(const char16_t *pszKey, const char16_t *pszName, const std::u16string &value,
                    DWORD dwType = REG_SZ) {
  HKEY hKey = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, pszKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &hKey, nullptr),
            ERROR_SUCCESS);
  if (value.empty())
    RegDeleteValueW(hKey, pszName);
  else
    RegSetValueExW(hKey, pszName, 0, dwType, reinterpret_cast<const BYTE *>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(char16_t)));
  RegCloseKey(hKey);
}

void removePolicyValue() {
  HKEY hKey = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, POLICY_KEY, 0, KEY_ALL_ACCESS, &hKey) == ERROR_SUCCESS) {
    RegDeleteValueW(hKey, u"SystemType");
    RegCloseKey(hKey);
  }
}

} // namespace

// ---- The platform calls ---------------------------------------------------------

TEST(SystemInfoCalls, ComputerNamesFollowTheSizeProtocolInEveryFormat) {
  for (int format = ComputerNameNetBIOS; format < ComputerNameMax; ++format) {
    SCOPED_TRACE(format);
    const auto eFormat = static_cast<COMPUTER_NAME_FORMAT>(format);
    DWORD dwNeeded = 0;
    SetLastError(SENTINEL);
    ASSERT_FALSE(GetComputerNameExW(eFormat, nullptr, &dwNeeded));
    EXPECT_EQ(GetLastError(), ERROR_MORE_DATA);
    ASSERT_GE(dwNeeded, 1u) << "the size counts the terminator";
    // One unit short, then exactly enough.
    std::u16string buffer(dwNeeded + 1, u'#');
    DWORD dwSize = dwNeeded - 1;
    if (dwSize > 0) {
      EXPECT_FALSE(GetComputerNameExW(eFormat, buffer.data(), &dwSize));
      EXPECT_EQ(GetLastError(), ERROR_MORE_DATA);
      EXPECT_EQ(dwSize, dwNeeded);
    }
    buffer.assign(dwNeeded + 1, u'#');
    dwSize = dwNeeded;
    ASSERT_TRUE(GetComputerNameExW(eFormat, buffer.data(), &dwSize));
    EXPECT_EQ(dwSize, dwNeeded - 1) << "the length leaves the terminator out";
    EXPECT_EQ(buffer[dwSize], u'\0');
    EXPECT_EQ(buffer[dwNeeded], u'#') << "nothing written past the buffer";
  }
  DWORD dwSize = 0;
  SetLastError(SENTINEL);
  EXPECT_FALSE(GetComputerNameExW(ComputerNameMax, nullptr, &dwSize));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

  // The names agree with one another and with the NetBIOS call.
  const std::u16string host = computerName(ComputerNameDnsHostname);
  const std::u16string domain = computerName(ComputerNameDnsDomain);
  EXPECT_EQ(computerName(ComputerNameDnsFullyQualified),
            domain.empty() ? host : host + u"." + domain);
  char16_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  dwSize = 1;
  SetLastError(SENTINEL);
  EXPECT_FALSE(GetComputerNameW(name, &dwSize));
  EXPECT_EQ(GetLastError(), ERROR_BUFFER_OVERFLOW);
  dwSize = MAX_COMPUTERNAME_LENGTH + 1;
  ASSERT_TRUE(GetComputerNameW(name, &dwSize));
  EXPECT_EQ(std::u16string(name, dwSize), computerName(ComputerNameNetBIOS));
}

// The machine's names come from its registry, where Windows keeps them; a
// machine without them has the host's. Only the substitute: renaming a real
// machine is not a test's business.
TEST(SystemInfoCalls, SubstituteNamesTheMachineFromItsRegistry) {
  if (CurrentHost() != HostKind::Substitute)
    GTEST_SKIP() << "the names of a real machine are its own";
  const char16_t *const computerKey =
      u"SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName";
  const char16_t *const tcpipKey = u"SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters";
  setMachineText(computerKey, u"ComputerName", u"ZELBOX");
  setMachineText(tcpipKey, u"Hostname", u"zelbox");
  setMachineText(tcpipKey, u"Domain", u"corp.example");
  EXPECT_EQ(computerName(ComputerNameNetBIOS), u"ZELBOX");
  EXPECT_EQ(computerName(ComputerNamePhysicalDnsHostname), u"zelbox");
  EXPECT_EQ(computerName(ComputerNameDnsFullyQualified), u"zelbox.corp.example");

  // Without them: the host's name, the NetBIOS form in capitals, at most
  // 15 units.
  setMachineText(computerKey, u"ComputerName", u"");
  setMachineText(tcpipKey, u"Hostname", u"a-very-long-host-name");
  setMachineText(tcpipKey, u"Domain", u"");
  EXPECT_EQ(computerName(ComputerNameNetBIOS), u"A-VERY-LONG-HOS");
  setMachineText(tcpipKey, u"Hostname", u"");
  const std::u16string host = computerName(ComputerNameDnsHostname);
  EXPECT_FALSE(host.empty());
  EXPECT_EQ(host.find(u'.'), std::u16string::npos);
}

TEST(SystemInfoCalls, CommonAppDataFolder) {
  char16_t path[MAX_PATH] = {};
  ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path),
            S_OK);
  EXPECT_EQ(std::u16string(path), u"C:\\ProgramData") << "Windows 7's folder";
  const DWORD dwAttributes = GetFileAttributesW(path);
  EXPECT_NE(dwAttributes, INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(dwAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
  EXPECT_EQ(SHGetFolderPathW(nullptr, 0x00FF, nullptr, SHGFP_TYPE_CURRENT, path), E_INVALIDARG);

  // An XP machine keeps it in its profiles folder, made only when asked.
  if (CurrentHost() != HostKind::Substitute)
    return;
  const char16_t *const versionKey = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
  const char16_t *const listKey = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
  struct Restore {
    const char16_t *pszVersionKey, *pszListKey;
    ~Restore() {
      setMachineText(pszVersionKey, u"CurrentVersion", u"6.1");
      setMachineText(pszListKey, u"ProfilesDirectory", u"%SystemDrive%\\Users", REG_EXPAND_SZ);
      RemoveDirectoryW(u"C:\\Documents and Settings\\All Users\\Application Data");
      RemoveDirectoryW(u"C:\\Documents and Settings\\All Users");
      RemoveDirectoryW(u"C:\\Documents and Settings");
    }
  } restore{versionKey, listKey};
  setMachineText(versionKey, u"CurrentVersion", u"5.1");
  setMachineText(listKey, u"ProfilesDirectory", u"%SystemDrive%\\Documents and Settings",
                 REG_EXPAND_SZ);
  const std::u16string xp = u"C:\\Documents and Settings\\All Users\\Application Data";
  RemoveDirectoryW(xp.c_str());
  EXPECT_EQ(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path),
            E_FAIL);
  ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA | CSIDL_FLAG_CREATE, nullptr,
                             SHGFP_TYPE_CURRENT, path),
            S_OK);
  EXPECT_EQ(std::u16string(path), xp);
  EXPECT_NE(GetFileAttributesW(xp.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(SystemInfoCalls, AccountsAndGroupsFollowTheResumeProtocol) {
  std::vector<std::u16string> users, usersInSteps, groups, groupsInSteps;
  EXPECT_EQ(enumerateAll(false, nullptr, MAX_PREFERRED_LENGTH, users), 1u);
  EXPECT_FALSE(users.empty());
  // A small preferred length answers an entry or a few per call.
  const std::size_t calls = enumerateAll(false, u"", 1, usersInSteps);
  if (CurrentHost() == HostKind::Substitute) {
    EXPECT_EQ(calls, users.size()) << "one entry per call";
  }
  ZEL_EXPECT_GAP_ON_WINE(calls > 0 && usersInSteps == users,
                         "Wine answers a preferred length too small for one entry with "
                         "ERROR_MORE_DATA and no entry, so the enumeration cannot go on");
  ZEL_EXPECT_GAP_ON_WINE(enumerateAll(true, nullptr, MAX_PREFERRED_LENGTH, groups) == 1u &&
                             !groups.empty() && enumerateAll(true, u"", 1, groupsInSteps) > 0 &&
                             groupsInSteps == groups,
                         "Wine's NetGroupEnum is a stub that answers ERROR_ACCESS_DENIED");

  LPBYTE pBuffer = nullptr;
  DWORD dwRead = SENTINEL, dwTotal = SENTINEL, dwResume = 0;
  const NET_API_STATUS status = NetUserEnum(UNREACHABLE, 0, FILTER_NORMAL_ACCOUNT, &pBuffer,
                                            MAX_PREFERRED_LENGTH, &dwRead, &dwTotal, &dwResume);
  ZEL_EXPECT_GAP_ON_WINE(status == ERROR_BAD_NETPATH,
                         "Wine answers NERR_InvalidComputer (2351) for every other machine");
  EXPECT_EQ(NetApiBufferFree(pBuffer), NERR_Success);
  EXPECT_EQ(NetApiBufferFree(nullptr), NERR_Success);
}

// ---- CZELSystemInfo ---------------------------------------------------------------

TEST(SystemInfo, ComputerNameFailuresWriteOneLineEach) {
  const std::u16string prefix = u"Unable to obtain Windows computer name.  ";
  struct Case {
    const char *name;
    std::u16string reason;
    ZEL_LONG lValue;
  };
  const Case cases[] = {
      {"first call succeeds",
       u"GetComputerNameEx not expected to succeed with invalid output buffer", -1},
      {"first call fails otherwise",
       u"GetComputerNameEx failed with error other than ERROR_MORE_DATA",
       static_cast<ZEL_LONG>(ERROR_INVALID_PARAMETER)},
      {"second call fails", u"GetComputerNameEx failed",
       static_cast<ZEL_LONG>(ERROR_ACCESS_DENIED)},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].name);
    zeltest::RecordingSink sink;
    CZELWCharString name(u"unchanged");
    bool bResult = true;
    if (i == 1) {
      CZELSystemInfo info;
      bResult = info.getComputerName(ComputerNameMax, name);
    } else {
      ScriptedSystemInfo info(i == 0 ? ScriptedSystemInfo::sFirstSucceeds
                                     : ScriptedSystemInfo::sSecondFails);
      bResult = info.getHostName(name);
    }
    EXPECT_FALSE(bResult);
    EXPECT_EQ(zeltest::text(name.getBuffer()), u"unchanged");
    ASSERT_EQ(sink.count(), 1u);
    const zeltest::LoggedEntry &entry = sink.entries()[0];
    EXPECT_EQ(entry.message, prefix + cases[i].reason);
    EXPECT_EQ(entry.value, cases[i].lValue);
    EXPECT_EQ(entry.module, u"CZELSystemInfo");
    EXPECT_EQ(entry.function, u"getHostName");
    EXPECT_EQ(entry.sourceFile, u".\\zel_systeminfo");
  }
}

TEST(SystemInfo, NamesMatchThePlatform) {
  CZELSystemInfo info;
  CZELWCharString host, domain, machine;
  ASSERT_TRUE(info.getHostName(host));
  ASSERT_TRUE(info.getDomainName(domain));
  ASSERT_TRUE(info.getMachineName(machine));
  EXPECT_EQ(zeltest::text(host.getBuffer()), computerName(ComputerNameDnsFullyQualified));
  EXPECT_EQ(zeltest::text(domain.getBuffer()), computerName(ComputerNameDnsDomain));
  EXPECT_EQ(zeltest::text(machine.getBuffer()), computerName(ComputerNameNetBIOS));
}

TEST(SystemInfo, StoragePathIsCreatedOnFirstUse) {
  const std::u16string expected = u"C:\\ProgramData\\Korvel\\";
  RemoveDirectoryW(expected.c_str());
  zeltest::RecordingSink sink;
  CZELSystemInfo info(CZELSystemInfo::siKorvel);
  CZELWCharString path;
  ASSERT_TRUE(info.getStoragePath(path));
  EXPECT_EQ(zeltest::text(path.getBuffer()), expected);
  EXPECT_NE(GetFileAttributesW(expected.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
  EXPECT_EQ(GetFileAttributesW(expected.c_str()) == INVALID_FILE_ATTRIBUTES, false);
  // Again, with the folder there: the same answer.
  ASSERT_TRUE(info.getStoragePath(path));
  EXPECT_EQ(zeltest::text(path.getBuffer()), expected);
  EXPECT_EQ(sink.count(), 0u);
  EXPECT_TRUE(RemoveDirectoryW(expected.c_str()));

  CZELSystemInfo unnamed(2);
  CZELWCharString untouched(u"unchanged");
  EXPECT_FALSE(unnamed.getStoragePath(untouched));
  EXPECT_EQ(zeltest::text(untouched.getBuffer()), u"unchanged");
}

TEST(SystemInfo, SystemTypeFromTheCommonPolicy) {
  struct Case {
    const char *name;
    DWORD dwStored; // SENTINEL: no value
    bool bSkip;
    bool bResult;
    ZEL_ULONG ulType;
    std::size_t lines;
  };
  const Case cases[] = {
      {"no value: the default", SENTINEL, false, true, 0, 0},
      {"a valid type", 2, false, true, 2, 0},
      {"an invalid type", 3, false, true, 0, 1},
      {"skipped", 2, true, false, 77, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    removePolicyValue();
    if (c.dwStored != SENTINEL) {
      HKEY hKey = nullptr;
      ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, POLICY_KEY, 0, nullptr, 0, KEY_ALL_ACCESS,
                                nullptr, &hKey, nullptr),
                ERROR_SUCCESS);
      RegSetValueExW(hKey, u"SystemType", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&c.dwStored),
                     sizeof c.dwStored);
      RegCloseKey(hKey);
    }
    zeltest::RecordingSink sink;
    CZELSystemInfo info;
    ZEL_ULONG ulType = 77;
    EXPECT_EQ(info.getSystemType(ulType, c.bSkip), c.bResult);
    EXPECT_EQ(ulType, c.ulType);
    EXPECT_EQ(sink.count(), c.lines);
    EXPECT_EQ(sink.countMessage(u"Invalid system type specified in registry."), c.lines);
  }
  removePolicyValue();
}

TEST(SystemInfo, AccountListsGrowOnlyOnSuccess) {
  CZELSystemInfo info;
  std::vector<std::u16string> platformUsers;
  enumerateAll(false, nullptr, MAX_PREFERRED_LENGTH, platformUsers);

  CZELWCharStringList list;
  list.add(CZELWCharString(u"before"));
  ASSERT_TRUE(info.enumerateLocalAccounts(list));
  std::vector<std::u16string> expected = {u"before"};
  expected.insert(expected.end(), platformUsers.begin(), platformUsers.end());
  EXPECT_EQ(items(list), expected);

  CZELWCharStringList groups;
  ZEL_EXPECT_GAP_ON_WINE(info.enumerateLocalGroups(groups) && !groups.isEmpty(),
                         "Wine's NetGroupEnum is a stub that answers ERROR_ACCESS_DENIED");

  for (const bool bGroups : {false, true}) {
    SCOPED_TRACE(bGroups ? "groups" : "users");
    zeltest::RecordingSink sink;
    const std::vector<std::u16string> before = items(list);
    EXPECT_FALSE(bGroups ? info.enumerateDomainGroups(CZELWCharString(UNREACHABLE), list)
                         : info.enumerateDomainAccounts(CZELWCharString(UNREACHABLE), list));
    EXPECT_EQ(items(list), before);
    ASSERT_EQ(sink.count(), 1u);
    EXPECT_EQ(sink.entries()[0].message, u"Unable to enumerate users ( net api )");
    ZEL_EXPECT_GAP_ON_WINE(sink.entries()[0].value == static_cast<ZEL_LONG>(ERROR_BAD_NETPATH),
                           "Wine answers NERR_InvalidComputer (2351) for every other machine, "
                           "and its group call always ERROR_ACCESS_DENIED");
  }
}

TEST(SystemInfo, SystemUUIDFromTheFirmware) {
  zeltest::RecordingSink sink;
  CZELSystemInfo info;
  CZELWCharString uuid(u"unchanged");
  const bool bResult = info.getSystemUUID(uuid);
  if (CurrentHost() == HostKind::Substitute) {
    EXPECT_EQ(bResult, std::ifstream("/sys/class/dmi/id/product_uuid").good());
  }
  if (bResult) {
    const std::u16string text = zeltest::text(uuid.getBuffer());
    ASSERT_EQ(text.size(), 36u) << zeltest::narrow(text);
    for (std::size_t i = 0; i < text.size(); ++i)
      EXPECT_TRUE((i == 8 || i == 13 || i == 18 || i == 23)
                      ? text[i] == u'-'
                      : (text[i] >= u'0' && text[i] <= u'9') ||
                            (text[i] >= u'A' && text[i] <= u'F'))
          << zeltest::narrow(text);
    EXPECT_EQ(sink.count(), 0u);
  } else {
    // A machine whose firmware tables cannot be read: one clean failure.
    EXPECT_EQ(zeltest::text(uuid.getBuffer()), u"unchanged");
    EXPECT_EQ(sink.count(), 1u);
  }
}
