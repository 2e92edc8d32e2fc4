//===- ProfileList.cpp - The default user profile from the profile list ----===//
//
// Reads the profile list through the platform interface, so the same code
// serves the substitute and the Windows fallback. Only code that works
// everywhere belongs here.
//
//===----------------------------------------------------------------------===//
#include "ProfileList.h"
#include "zelsys/kernel.h"
#include "zelsys/registry.h"
#include "zelsys/winconst.h"

#include <algorithm>
#include <string>
#include <vector>

namespace zelsys::common {

namespace {

constexpr char16_t kProfileList[] = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";

// Closes the key on every way out.
class OpenKey {
public:
  OpenKey() = default;
  OpenKey(const OpenKey &) = delete;
  OpenKey &operator=(const OpenKey &) = delete;
  ~OpenKey() {
    if (m_hKey != nullptr)
      RegCloseKey(m_hKey);
  }
  HKEY *out() { return &m_hKey; }
  HKEY get() const { return m_hKey; }

private:
  HKEY m_hKey = nullptr;
};

LSTATUS readDefaultProfile(std::u16string &folder) {
  OpenKey key;
  // The list belongs to the system: a 32-bit program reads the 64-bit view.
  LSTATUS status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kProfileList, 0,
                                 KEY_QUERY_VALUE | KEY_WOW64_64KEY, key.out());
  if (status != ERROR_SUCCESS)
    return status;
  status = readRegistryText(key.get(), u"Default", folder);
  if (status != ERROR_FILE_NOT_FOUND)
    return status;
  std::u16string profiles, name;
  status = readRegistryText(key.get(), u"ProfilesDirectory", profiles);
  if (status != ERROR_SUCCESS)
    return status;
  // A list that names the profiles folder alone (as Wine's prefixes keep
  // it) holds the default profile under the name Vista and later give it.
  status = readRegistryText(key.get(), u"DefaultUserProfile", name);
  if (status == ERROR_FILE_NOT_FOUND) {
    name = u"Default";
    status = ERROR_SUCCESS;
  }
  if (status != ERROR_SUCCESS)
    return status;
  if (!profiles.empty() && profiles.back() != u'\\')
    profiles += u'\\';
  folder = profiles + name;
  return ERROR_SUCCESS;
}

} // namespace

BOOL defaultUserProfileFromProfileList(LPWSTR lpProfileDir, DWORD *lpcchSize) {
  std::u16string folder;
  const LSTATUS status =
      lpcchSize == nullptr ? ERROR_INVALID_PARAMETER : readDefaultProfile(folder);
  if (status != ERROR_SUCCESS) {
    SetLastError(static_cast<DWORD>(status));
    return FALSE;
  }
  const auto needed = static_cast<DWORD>(folder.size() + 1);
  if (lpProfileDir == nullptr || *lpcchSize < needed) {
    *lpcchSize = needed;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::copy(folder.begin(), folder.end(), lpProfileDir);
  lpProfileDir[folder.size()] = u'\0';
  *lpcchSize = needed;
  return TRUE;
}

// A text value, expanded when stored as REG_EXPAND_SZ. Any other type
// counts as absent: the list holds no such value a caller could use.
LSTATUS readRegistryText(HKEY hKey, const char16_t *pszName, std::u16string &text) {
  DWORD dwType = REG_NONE;
  DWORD cbData = 0;
  LSTATUS status = RegQueryValueExW(hKey, pszName, nullptr, &dwType, nullptr, &cbData);
  std::vector<BYTE> data;
  // Another process may grow the value between the size and the read.
  while (status == ERROR_SUCCESS && data.size() < cbData) {
    data.resize(cbData);
    status = RegQueryValueExW(hKey, pszName, nullptr, &dwType, data.data(), &cbData);
    if (status == ERROR_MORE_DATA)
      status = ERROR_SUCCESS;
    else if (status == ERROR_SUCCESS)
      data.resize(cbData);
  }
  if (status != ERROR_SUCCESS)
    return status;
  if (dwType != REG_SZ && dwType != REG_EXPAND_SZ)
    return ERROR_FILE_NOT_FOUND;
  // Stored data need not end in a terminator, nor stop at the first one.
  std::u16string stored(data.size() / sizeof(char16_t), u'\0');
  std::copy(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(stored.size() * 2),
            reinterpret_cast<BYTE *>(stored.data()));
  stored.resize(std::min(stored.size(), stored.find(u'\0')));
  if (dwType == REG_SZ) {
    text = stored;
    return ERROR_SUCCESS;
  }
  std::u16string expanded;
  DWORD needed = ExpandEnvironmentStringsW(stored.c_str(), nullptr, 0);
  while (needed != 0 && needed > expanded.size()) {
    expanded.assign(needed, u'\0');
    needed = ExpandEnvironmentStringsW(stored.c_str(), expanded.data(),
                                       static_cast<DWORD>(expanded.size()));
  }
  if (needed == 0)
    return static_cast<LSTATUS>(GetLastError());
  expanded.resize(needed - 1);
  text = expanded;
  return ERROR_SUCCESS;
}

} // namespace zelsys::common
