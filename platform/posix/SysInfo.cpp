//===- SysInfo.cpp - Machine names, folders, accounts on the substitute ----===//
//
// Names: the emulated machine's, where Windows keeps them, under
// HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet: the NetBIOS name in
// Control\ComputerName\ComputerName "ComputerName", the DNS host name and
// domain in Services\Tcpip\Parameters "Hostname" and "Domain". A machine
// that names none of them has the host's: the host name up to its first dot
// (the NetBIOS name is that, upper-cased and cut to 15 units) and what
// follows the dot as its domain.
//
// The common application-data folder is the one of the emulated Windows
// version: Vista and later keep it in the profile list's "ProgramData"
// (C:\ProgramData); XP has it as "All Users\Application Data" in the
// profiles folder (C:\Documents and Settings).
//
// Accounts (documented filter): the two every Windows machine has,
// Administrator and Guest, and the host's accounts of people: user id 1000
// or above, not the overflow user nobody (65534), with a login shell (not
// one ending in "nologin" or "false"). Groups: None, the one global group
// of a machine outside a domain, and the host's groups with a group id of
// 1000 or above, but not nogroup (65534). Names come sorted, without
// repeats; each call reads the host's databases afresh, so the resume
// handle (the index of the next entry) is only as stable as they are.
// Another server is taken as unreachable: ERROR_BAD_NETPATH, what Windows
// gives when it cannot find a server of that name on the network.
//
// WMI: the one class the framework asks for, Win32_ComputerSystemProduct in
// root\cimv2, with its properties from the host's firmware tables
// (/sys/class/dmi/id); an unreadable table fails the query with the
// Win32 error of the read as an HRESULT.
//
// Only code that works on every Unix.
//
//===----------------------------------------------------------------------===//
#include "zelsys/sysinfo.h"
#include "Errors.h"
#include "ProfileList.h"
#include "Utf.h"
#include "WindowsFacts.h"
#include "zelsys/files.h"
#include "zelsys/kernel.h"
#include "zelsys/registry.h"
#include "zelsys/winconst.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <grp.h>
#include <limits.h>
#include <mutex>
#include <optional>
#include <pwd.h>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

namespace zelsys {

namespace {

constexpr char16_t kComputerNameKey[] =
    u"SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName";
constexpr char16_t kTcpipKey[] = u"SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters";
constexpr char16_t kProfileListKey[] =
    u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
constexpr DWORD kFirstPersonId = 1000;
constexpr DWORD kOverflowId = 65534;

HRESULT hresultFromWin32(DWORD error) {
  return error == ERROR_SUCCESS ? S_OK : static_cast<HRESULT>(0x80070000u | (error & 0xFFFFu));
}

// A text value of HKEY_LOCAL_MACHINE's 64-bit view (the system's own
// keys), expanded when stored as REG_EXPAND_SZ; nothing when it is missing,
// empty or not text.
std::optional<std::u16string> machineText(const char16_t *pszKey, const char16_t *pszName) {
  HKEY hKey = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, pszKey, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &hKey) !=
      ERROR_SUCCESS)
    return std::nullopt;
  std::u16string text;
  const LSTATUS status = common::readRegistryText(hKey, pszName, text);
  RegCloseKey(hKey);
  if (status != ERROR_SUCCESS || text.empty())
    return std::nullopt;
  return text;
}

struct MachineNames {
  std::u16string netBios;
  std::u16string hostName;
  std::u16string domain;
};

MachineNames readMachineNames() {
  char host[HOST_NAME_MAX + 1] = {};
  if (::gethostname(host, sizeof host - 1) != 0)
    host[0] = '\0';
  const std::string hostText = host;
  const std::size_t dot = hostText.find('.');
  MachineNames names;
  names.hostName =
      machineText(kTcpipKey, u"Hostname").value_or(posix::utf8ToUtf16(hostText.substr(0, dot)));
  if (const auto domain = machineText(kTcpipKey, u"Domain"))
    names.domain = *domain;
  else if (dot != std::string::npos)
    names.domain = posix::utf8ToUtf16(hostText.substr(dot + 1));
  if (const auto netBios = machineText(kComputerNameKey, u"ComputerName"))
    names.netBios = *netBios;
  else
    names.netBios = posix::upcase(names.hostName).substr(0, MAX_COMPUTERNAME_LENGTH);
  return names;
}

std::optional<std::u16string> computerName(COMPUTER_NAME_FORMAT format) {
  const MachineNames names = readMachineNames();
  switch (format) {
  case ComputerNameNetBIOS:
  case ComputerNamePhysicalNetBIOS:
    return names.netBios;
  case ComputerNameDnsHostname:
  case ComputerNamePhysicalDnsHostname:
    return names.hostName;
  case ComputerNameDnsDomain:
  case ComputerNamePhysicalDnsDomain:
    return names.domain;
  case ComputerNameDnsFullyQualified:
  case ComputerNamePhysicalDnsFullyQualified:
    return names.domain.empty() ? names.hostName : names.hostName + u"." + names.domain;
  default:
    return std::nullopt;
  }
}

// The size protocol both name calls share; tooSmall is the error of a
// buffer that cannot hold the name and its terminator.
BOOL copyName(const std::u16string &name, LPWSTR lpBuffer, DWORD *nSize, DWORD tooSmall) {
  const auto length = static_cast<DWORD>(name.size());
  if (lpBuffer == nullptr || *nSize <= length) {
    *nSize = length + 1;
    return posix::failWith(tooSmall);
  }
  std::copy(name.begin(), name.end(), lpBuffer);
  lpBuffer[length] = u'\0';
  *nSize = length;
  return TRUE;
}

// ---- Shell folders --------------------------------------------------------

std::u16string commonAppDataFolder() {
  posix::WindowsFacts facts;
  (void)posix::readWindowsFacts(facts);
  if (facts.major >= 6)
    return machineText(kProfileListKey, u"ProgramData").value_or(u"C:\\ProgramData");
  std::u16string profiles =
      machineText(kProfileListKey, u"ProfilesDirectory").value_or(u"C:\\Documents and Settings");
  if (profiles.back() != u'\\')
    profiles += u'\\';
  return profiles + u"All Users\\Application Data";
}

bool isFolder(const std::u16string &path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Creates the folder and any missing parent; the Win32 error of the first
// level that could not be made, else ERROR_SUCCESS.
DWORD createFolders(const std::u16string &path) {
  for (std::size_t separator = path.find(u'\\', 3);; separator = path.find(u'\\', separator + 1)) {
    const std::u16string level = path.substr(0, separator);
    if (!isFolder(level) && !CreateDirectoryW(level.c_str(), nullptr) &&
        GetLastError() != ERROR_ALREADY_EXISTS)
      return GetLastError();
    if (separator == std::u16string::npos)
      return ERROR_SUCCESS;
  }
}

// ---- Accounts and groups ----------------------------------------------------

// Buffers handed out by the enumerations, so that freeing an unknown
// address is refused instead of corrupting the heap.
std::mutex gBufferLock;
std::set<void *> gBuffers;

// The host's account and group databases are read with the non-reentrant
// iteration calls; one reader at a time.
std::mutex gDatabaseLock;

bool hasLoginShell(const char *shell) {
  const std::string text = shell != nullptr ? shell : "";
  auto endsWith = [&](const char *suffix) {
    const std::size_t length = std::strlen(suffix);
    return text.size() >= length && text.compare(text.size() - length, length, suffix) == 0;
  };
  return !endsWith("nologin") && !endsWith("false");
}

std::vector<std::u16string> sortedNames(std::vector<std::u16string> names) {
  std::sort(names.begin(), names.end());
  names.erase(std::unique(names.begin(), names.end()), names.end());
  return names;
}

std::vector<std::u16string> accountNames() {
  std::vector<std::u16string> names = {u"Administrator", u"Guest"};
  const std::lock_guard<std::mutex> guard(gDatabaseLock);
  ::setpwent();
  while (const passwd *entry = ::getpwent())
    if (entry->pw_uid >= kFirstPersonId && entry->pw_uid != kOverflowId &&
        hasLoginShell(entry->pw_shell))
      names.push_back(posix::utf8ToUtf16(entry->pw_name));
  ::endpwent();
  return sortedNames(std::move(names));
}

std::vector<std::u16string> groupNames() {
  std::vector<std::u16string> names = {u"None"};
  const std::lock_guard<std::mutex> guard(gDatabaseLock);
  ::setgrent();
  while (const group *entry = ::getgrent())
    if (entry->gr_gid >= kFirstPersonId && entry->gr_gid != kOverflowId)
      names.push_back(posix::utf8ToUtf16(entry->gr_name));
  ::endgrent();
  return sortedNames(std::move(names));
}

// Whether servername names this machine.
bool isLocalServer(LPCWSTR servername) {
  if (servername == nullptr || servername[0] == u'\0')
    return true;
  std::u16string_view name = servername;
  if (name.substr(0, 2) == u"\\\\")
    name.remove_prefix(2);
  const MachineNames names = readMachineNames();
  const std::u16string fullName =
      names.domain.empty() ? names.hostName : names.hostName + u"." + names.domain;
  return posix::equalsIgnoreCase(name, names.netBios) ||
         posix::equalsIgnoreCase(name, names.hostName) || posix::equalsIgnoreCase(name, fullName);
}

// One level-0 buffer: the entries' pointers, then their texts. Info is
// USER_INFO_0 or GROUP_INFO_0, a single text pointer.
template <class Info>
NET_API_STATUS enumerateNames(LPBYTE *bufptr, DWORD prefmaxlen, DWORD *entriesread,
                              DWORD *totalentries, DWORD *resume,
                              const std::vector<std::u16string> &all) {
  const std::size_t first = resume != nullptr ? std::min<std::size_t>(*resume, all.size()) : 0;
  // Whatever fits in the preferred length, but always one entry.
  std::size_t end = first;
  std::size_t bytes = 0;
  while (end < all.size()) {
    const std::size_t entry = sizeof(Info) + (all[end].size() + 1) * sizeof(char16_t);
    if (end > first && prefmaxlen != MAX_PREFERRED_LENGTH && bytes + entry > prefmaxlen)
      break;
    bytes += entry;
    ++end;
  }
  *entriesread = static_cast<DWORD>(end - first);
  *totalentries = static_cast<DWORD>(all.size() - first);
  *bufptr = nullptr;
  if (end > first) {
    void *pBuffer = std::malloc(bytes);
    if (pBuffer == nullptr)
      return ERROR_NOT_ENOUGH_MEMORY;
    auto *pInfo = static_cast<Info *>(pBuffer);
    auto *pText = reinterpret_cast<char16_t *>(pInfo + (end - first));
    for (std::size_t i = first; i < end; ++i) {
      pInfo[i - first] = Info{pText};
      pText = std::copy(all[i].begin(), all[i].end(), pText);
      *pText++ = u'\0';
    }
    const std::lock_guard<std::mutex> guard(gBufferLock);
    gBuffers.insert(pBuffer);
    *bufptr = static_cast<LPBYTE>(pBuffer);
  }
  const bool more = end < all.size();
  if (resume != nullptr)
    *resume = more ? static_cast<DWORD>(end) : 0;
  return more ? ERROR_MORE_DATA : NERR_Success;
}

// What both enumerations check before they list anything.
NET_API_STATUS checkEnumeration(LPCWSTR servername, DWORD level, LPBYTE *bufptr, DWORD *entriesread,
                                DWORD *totalentries) {
  if (bufptr == nullptr || entriesread == nullptr || totalentries == nullptr)
    return ERROR_INVALID_PARAMETER;
  if (!isLocalServer(servername))
    return ERROR_BAD_NETPATH;
  if (level != 0)
    return ERROR_INVALID_LEVEL;
  return NERR_Success;
}

// ---- WMI ----------------------------------------------------------------------

// A firmware-table entry; the Win32 error of the read when it has none.
DWORD readFirmwareText(const char *name, std::u16string &value) {
  const std::string path = std::string("/sys/class/dmi/id/") + name;
  errno = 0;
  std::ifstream in(path);
  if (!in)
    return posix::win32ErrorFromErrno(errno != 0 ? errno : ENOENT);
  std::string line;
  std::getline(in, line);
  while (!line.empty() && (line.back() == '\n' || line.back() == ' '))
    line.pop_back();
  value = posix::utf8ToUtf16(line);
  return ERROR_SUCCESS;
}

} // namespace

BOOL GetComputerNameExW(COMPUTER_NAME_FORMAT NameType, LPWSTR lpBuffer, DWORD *nSize) {
  if (nSize == nullptr)
    return posix::failWith(ERROR_INVALID_PARAMETER);
  const std::optional<std::u16string> name = computerName(NameType);
  if (!name)
    return posix::failWith(ERROR_INVALID_PARAMETER);
  return copyName(*name, lpBuffer, nSize, ERROR_MORE_DATA);
}

BOOL GetComputerNameW(LPWSTR lpBuffer, DWORD *nSize) {
  if (nSize == nullptr)
    return posix::failWith(ERROR_INVALID_PARAMETER);
  return copyName(readMachineNames().netBios, lpBuffer, nSize, ERROR_BUFFER_OVERFLOW);
}

HRESULT SHGetFolderPathW(HWND, int csidl, HANDLE, DWORD dwFlags, LPWSTR pszPath) {
  if (pszPath == nullptr || dwFlags > SHGFP_TYPE_DEFAULT)
    return E_INVALIDARG;
  pszPath[0] = u'\0';
  if ((csidl & ~CSIDL_FLAG_MASK) != CSIDL_COMMON_APPDATA)
    return E_INVALIDARG;
  const std::u16string folder = commonAppDataFolder();
  if (folder.size() >= MAX_PATH)
    return hresultFromWin32(ERROR_FILENAME_EXCED_RANGE);
  if ((csidl & CSIDL_FLAG_CREATE) != 0) {
    if (const DWORD error = createFolders(folder))
      return hresultFromWin32(error);
  } else if ((csidl & CSIDL_FLAG_DONT_VERIFY) == 0 && !isFolder(folder)) {
    return E_FAIL;
  }
  std::copy(folder.begin(), folder.end(), pszPath);
  pszPath[folder.size()] = u'\0';
  return S_OK;
}

NET_API_STATUS NetUserEnum(LPCWSTR servername, DWORD level, DWORD filter, LPBYTE *bufptr,
                           DWORD prefmaxlen, DWORD *entriesread, DWORD *totalentries,
                           DWORD *resume_handle) {
  if (const NET_API_STATUS status =
          checkEnumeration(servername, level, bufptr, entriesread, totalentries))
    return status;
  // Every account here is an ordinary one: a filter that leaves those out
  // (trust accounts only) lists nothing.
  const bool normal = filter == 0 || (filter & FILTER_NORMAL_ACCOUNT) != 0;
  return enumerateNames<USER_INFO_0>(bufptr, prefmaxlen, entriesread, totalentries, resume_handle,
                                     normal ? accountNames() : std::vector<std::u16string>{});
}

NET_API_STATUS NetGroupEnum(LPCWSTR servername, DWORD level, LPBYTE *bufptr, DWORD prefmaxlen,
                            DWORD *entriesread, DWORD *totalentries, DWORD_PTR *resume_handle) {
  if (const NET_API_STATUS status =
          checkEnumeration(servername, level, bufptr, entriesread, totalentries))
    return status;
  DWORD resume = resume_handle != nullptr ? static_cast<DWORD>(*resume_handle) : 0;
  const NET_API_STATUS status =
      enumerateNames<GROUP_INFO_0>(bufptr, prefmaxlen, entriesread, totalentries,
                                   resume_handle ? &resume : nullptr, groupNames());
  if (resume_handle != nullptr)
    *resume_handle = resume;
  return status;
}

NET_API_STATUS NetApiBufferFree(LPVOID Buffer) {
  if (Buffer == nullptr)
    return NERR_Success;
  {
    const std::lock_guard<std::mutex> guard(gBufferLock);
    if (gBuffers.erase(Buffer) == 0)
      return ERROR_INVALID_PARAMETER;
  }
  std::free(Buffer);
  return NERR_Success;
}

HRESULT queryWmiString(LPCWSTR lpNamespace, LPCWSTR lpClass, LPCWSTR lpProperty,
                       std::u16string &value, WmiStep *pFailedStep) {
  auto fail = [&](WmiStep step, HRESULT result) {
    if (pFailedStep != nullptr)
      *pFailedStep = step;
    return result;
  };
  if (lpNamespace == nullptr || lpClass == nullptr || lpProperty == nullptr)
    return fail(WmiStep::Connect, E_INVALIDARG);
  std::u16string_view space = lpNamespace;
  if (space.substr(0, 4) == u"\\\\.\\")
    space.remove_prefix(4);
  if (!posix::equalsIgnoreCase(space, u"root\\cimv2"))
    return fail(WmiStep::Connect, WBEM_E_INVALID_NAMESPACE);
  if (!posix::equalsIgnoreCase(lpClass, u"Win32_ComputerSystemProduct"))
    return fail(WmiStep::Query, WBEM_E_INVALID_CLASS);
  struct Property {
    const char16_t *name;
    const char *table;
  };
  static const Property kProperties[] = {
      {u"UUID", "product_uuid"},
      {u"Name", "product_name"},
      {u"Vendor", "sys_vendor"},
      {u"Version", "product_version"},
      {u"IdentifyingNumber", "product_serial"},
  };
  for (const Property &property : kProperties) {
    if (!posix::equalsIgnoreCase(lpProperty, property.name))
      continue;
    std::u16string text;
    if (const DWORD error = readFirmwareText(property.table, text))
      return fail(WmiStep::Get, hresultFromWin32(error));
    // Windows shows the UUID in capitals; the kernel prints it in small
    // letters.
    value = property.table == kProperties[0].table ? posix::upcase(text) : text;
    return S_OK;
  }
  return fail(WmiStep::Get, WBEM_E_NOT_FOUND);
}

} // namespace zelsys
