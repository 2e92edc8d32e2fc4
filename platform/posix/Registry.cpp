//===- Registry.cpp - The registry calls on the substitute -----------------===//
//
// Handles, views and access rights over the registry store. Only code that
// works on every Unix.
//
// - Handles are entries of a process-local table; their values start far
//   below the predefined roots (0x80000000...) and skip them, so the two
//   never collide. A handle remembers its machine folder, its key id, its
//   view and its granted access. A handle whose key was deleted reports
//   ERROR_KEY_DELETED.
// - Views: a 64-bit machine has two. In the 32-bit one, HKLM\SOFTWARE and
//   everything below it is reached under HKLM\SOFTWARE\Wow6432Node; naming
//   Wow6432Node explicitly in that view does not nest it. Unlike Windows, no
//   sub-key of SOFTWARE is shared between the views. A call sees the view
//   its KEY_WOW64_64KEY or KEY_WOW64_32KEY asks for, else the one the handle
//   it goes through remembers; a predefined root stands in the process's own
//   view, the 32-bit one for a 32-bit process (WoW64) and the 64-bit one for
//   a 64-bit process. A 32-bit machine has one view: no redirection, and the
//   flags are ignored, as 32-bit Windows ignores them. The machine's
//   processor is read in the call's own transaction, only when a call could
//   reach the 32-bit view.
// - Access: the emulated user is an administrator, so opening never fails
//   for rights; but a handle only does what it was opened for: setting and
//   deleting values needs KEY_SET_VALUE, reading values and key figures
//   KEY_QUERY_VALUE, listing sub-keys KEY_ENUMERATE_SUB_KEYS, as on Windows.
//   Creating and deleting keys is checked against the key's security, not the
//   handle's rights (so a KEY_READ handle may create sub-keys, as Windows
//   documents), and the administrator may. Predefined roots allow everything.
// - Limits: a path component over 255 characters or a value name over 16,383
//   is an invalid parameter; a path of more than 32 components is too long
//   for one call; a key more than 512 levels below its hive root cannot be
//   created, copied or restored (Windows runs out of resources there).
// - Save files (RegSaveKeyW, RegRestoreKeyW) have a format of our own
//   (RegistrySaveFile.h). Volatile sub-keys are not saved, as Windows leaves
//   them out of hive files.
//
//===----------------------------------------------------------------------===//
#include "zelsys/registry.h"
#include "Errors.h"
#include "HostPath.h"
#include "RegistrySaveFile.h"
#include "RegistryStore.h"
#include "Utf.h"
#include "WindowsFacts.h"

#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace zelsys {

using posix::KeyFigures;
using posix::KeyId;
using posix::KeyRecord;
using posix::KeyTree;
using posix::kMaxKeyNameLength;
using posix::kMaxPathComponents;
using posix::kMaxTreeDepth;
using posix::RegistryFailure;
using posix::RegistryTransaction;
using posix::ValueRecord;

namespace {

constexpr REGSAM GENERIC_EXECUTE = 0x20000000u;
constexpr REGSAM GENERIC_ALL = 0x10000000u;
constexpr REGSAM MAXIMUM_ALLOWED = 0x02000000u;

// What a handle stands for.
struct OpenKey {
  std::string machine;
  KeyId id = 0;
  bool view32 = false;
  REGSAM access = 0;
};

std::mutex gHandleLock;
std::unordered_map<std::uintptr_t, OpenKey> gHandles;
std::uintptr_t gNextHandle = 0x1000;

std::uint32_t low32(HKEY hKey) {
  return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(hKey));
}

bool isPredefinedValue(std::uint32_t value) { return value >= 0x80000000u && value < 0x80000100u; }

HKEY addHandle(const OpenKey &key) {
  std::lock_guard<std::mutex> lock(gHandleLock);
  std::uintptr_t value;
  do {
    value = gNextHandle;
    gNextHandle += 4;
  } while (value == 0 || isPredefinedValue(static_cast<std::uint32_t>(value)) ||
           gHandles.count(value) != 0);
  gHandles.emplace(value, key);
  return reinterpret_cast<HKEY>(value);
}

REGSAM grantedAccess(REGSAM sam) {
  REGSAM access = sam & 0x00FFFFFFu;
  if (sam & (GENERIC_READ | GENERIC_EXECUTE))
    access |= KEY_READ;
  if (sam & GENERIC_WRITE)
    access |= KEY_WRITE;
  if (sam & (GENERIC_ALL | MAXIMUM_ALLOWED))
    access |= KEY_ALL_ACCESS;
  return access & ~(KEY_WOW64_32KEY | KEY_WOW64_64KEY);
}

// Whether the machine has a 32-bit view beside its native one: it is 64-bit.
bool machineHasViews(RegistryTransaction &tx) {
  return posix::runsUnderWow64(ProcessBitness::Bits32, posix::readMachineArchitecture(tx));
}

// The view of a predefined root: the process's own.
bool defaultView32(RegistryTransaction &tx) {
  return posix::processBitness() == ProcessBitness::Bits32 && machineHasViews(tx);
}

// The view a call asking for sam sees through a handle in the inherited one.
bool view32For(RegistryTransaction &tx, REGSAM sam, bool inherited) {
  if (sam & KEY_WOW64_64KEY)
    return false;
  if (sam & KEY_WOW64_32KEY)
    return machineHasViews(tx);
  return inherited;
}

// A handle resolved inside a transaction.
struct Base {
  KeyId id = 0;
  bool view32 = false;
  REGSAM access = 0;
  bool predefined = false;
};

// Throws the call's error for a bad or stale handle.
Base resolveHandle(RegistryTransaction &tx, HKEY hKey) {
  const std::uint32_t value = low32(hKey);
  if (isPredefinedValue(value)) {
    const std::optional<std::u16string_view> path = tx.predefinedPath(value);
    if (!path)
      throw RegistryFailure{ERROR_INVALID_HANDLE};
    const std::optional<KeyId> id = tx.keyAtPath(*path);
    if (!id)
      throw RegistryFailure{ERROR_BADDB};
    return Base{*id, defaultView32(tx), KEY_ALL_ACCESS, true};
  }
  OpenKey key;
  {
    std::lock_guard<std::mutex> lock(gHandleLock);
    auto found = gHandles.find(reinterpret_cast<std::uintptr_t>(hKey));
    if (found == gHandles.end())
      throw RegistryFailure{ERROR_INVALID_HANDLE};
    key = found->second;
  }
  // A handle belongs to the machine it was opened on.
  if (key.machine != tx.machine())
    throw RegistryFailure{ERROR_INVALID_HANDLE};
  if (!tx.key(key.id))
    throw RegistryFailure{ERROR_KEY_DELETED};
  return Base{key.id, key.view32, key.access, false};
}

void requireAccess(const Base &base, REGSAM right) {
  if ((base.access & right) != right)
    throw RegistryFailure{ERROR_ACCESS_DENIED};
}

std::u16string_view nameOf(LPCWSTR text) {
  return text ? std::u16string_view(text) : std::u16string_view();
}

bool isWow6432Node(std::u16string_view name) {
  return posix::equalsIgnoreCase(name, u"Wow6432Node");
}

// Walks a path below a base key in a view, creating what is missing when
// asked. The redirection applies to the key HKLM\SOFTWARE wherever the walk
// meets it.
class Walker {
public:
  Walker(RegistryTransaction &tx, bool view32) : m_tx(tx), m_view32(view32) {
    if (view32)
      m_software = tx.keyAtPath(u"MACHINE\\SOFTWARE");
  }

  // Wow6432Node is looked up only when a walk reaches SOFTWARE, so that a
  // SOFTWARE hive that cannot be read fails only the calls that go there.
  KeyId redirect(KeyId id) const {
    if (!m_view32 || !m_software || id != *m_software)
      return id;
    if (!m_wowLooked) {
      m_wow = m_tx.keyAtPath(u"MACHINE\\SOFTWARE\\Wow6432Node");
      m_wowLooked = true;
    }
    return m_wow ? *m_wow : id;
  }

  struct Options {
    bool create = false;
    bool isVolatile = false;
    std::u16string_view keyClass;
  };
  struct Result {
    KeyId id;
    bool created;
  };

  // Throws 2 for a missing key when not creating, and Windows' codes for
  // names and paths beyond its limits before anything is created.
  Result walk(KeyId start, std::u16string_view path, const Options &options) {
    if (!path.empty() && path.front() == u'\\')
      throw RegistryFailure{ERROR_BAD_PATHNAME};
    const std::vector<std::u16string_view> parts = posix::pathComponents(path);
    checkLimits(parts);
    KeyId at = redirect(start);
    bool created = false;
    constexpr DWORD kUnknown = ~DWORD{0};
    DWORD depth = kUnknown; // of `at`, learnt when the first key is created
    for (std::size_t i = 0; i < parts.size(); ++i) {
      const std::u16string_view part = parts[i];
      if (m_view32 && m_wow && at == *m_wow && isWow6432Node(part))
        continue;
      if (std::optional<KeyId> next = m_tx.child(at, part)) {
        at = redirect(*next);
        depth = kUnknown;
        continue;
      }
      if (!options.create)
        throw RegistryFailure{ERROR_FILE_NOT_FOUND};
      const std::optional<KeyRecord> parent = m_tx.key(at);
      if (parent && parent->isVolatile && !options.isVolatile)
        throw RegistryFailure{ERROR_CHILD_MUST_BE_VOLATILE};
      depth = (depth == kUnknown ? m_tx.depth(at) : depth) + 1;
      if (depth > kMaxTreeDepth)
        throw RegistryFailure{ERROR_NO_SYSTEM_RESOURCES};
      const bool last = i + 1 == parts.size();
      at = redirect(m_tx.createChild(at, part, last ? options.keyClass : std::u16string_view(),
                                     options.isVolatile));
      created = true;
    }
    return {at, created};
  }

private:
  RegistryTransaction &m_tx;
  bool m_view32;

  static void checkLimits(const std::vector<std::u16string_view> &parts) {
    for (const std::u16string_view part : parts)
      if (part.size() > kMaxKeyNameLength)
        throw RegistryFailure{ERROR_INVALID_PARAMETER};
    if (parts.size() > kMaxPathComponents)
      throw RegistryFailure{ERROR_FILENAME_EXCED_RANGE};
  }

  std::optional<KeyId> m_software;
  mutable std::optional<KeyId> m_wow;
  mutable bool m_wowLooked = false;
};

// Runs a call over one handle: resolves it, then the body.
template <typename Body> LSTATUS onKey(HKEY hKey, bool write, Body body) {
  return static_cast<LSTATUS>(
      posix::runRegistryTransaction(write, [&](RegistryTransaction &tx) -> DWORD {
        const Base base = resolveHandle(tx, hKey);
        return body(tx, base);
      }));
}

// The key a path names below a handle, in the view sam asks for (else the
// handle's).
KeyId keyBelow(RegistryTransaction &tx, const Base &base, LPCWSTR lpSubKey, REGSAM sam = 0) {
  Walker walker(tx, view32For(tx, sam, base.view32));
  return walker.walk(base.id, nameOf(lpSubKey), {}).id;
}

// Copies a name into a caller's buffer of *lpcch characters; 234 when it
// does not fit with its terminator.
DWORD copyName(const std::u16string &name, LPWSTR buffer, DWORD *lpcch) {
  if (name.size() >= *lpcch)
    return ERROR_MORE_DATA;
  std::memcpy(buffer, name.data(), name.size() * sizeof(char16_t));
  buffer[name.size()] = u'\0';
  *lpcch = static_cast<DWORD>(name.size());
  return ERROR_SUCCESS;
}

DWORD hostPathOf(LPCWSTR lpFile, std::string &hostPath) {
  if (lpFile == nullptr || *lpFile == u'\0')
    return ERROR_INVALID_PARAMETER;
  DWORD error = ERROR_SUCCESS;
  if (!posix::hostPathFromWindows(lpFile, hostPath, error))
    return error;
  return ERROR_SUCCESS;
}

// Every call's outer shell: no exception leaves the interface.
template <typename Call> LSTATUS guarded(Call call) {
  try {
    return call();
  } catch (const std::bad_alloc &) {
    return static_cast<LSTATUS>(ERROR_OUTOFMEMORY);
  } catch (...) {
    return static_cast<LSTATUS>(ERROR_INVALID_FUNCTION);
  }
}

} // namespace

LSTATUS RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, REGSAM samDesired, HKEY *phkResult) {
  return guarded([&]() -> LSTATUS {
    if (phkResult == nullptr)
      return static_cast<LSTATUS>(ERROR_INVALID_PARAMETER);
    *phkResult = nullptr;
    OpenKey opened;
    bool samePredefined = false;
    const LSTATUS result = onKey(hKey, false, [&](RegistryTransaction &tx, const Base &base) {
      // An empty path on a predefined root gives back the root itself.
      if (base.predefined && nameOf(lpSubKey).empty()) {
        samePredefined = true;
        return ERROR_SUCCESS;
      }
      const bool view32 = view32For(tx, samDesired, base.view32);
      Walker walker(tx, view32);
      opened = OpenKey{tx.machine(), walker.walk(base.id, nameOf(lpSubKey), {}).id, view32,
                       grantedAccess(samDesired)};
      return ERROR_SUCCESS;
    });
    if (result == 0)
      *phkResult = samePredefined ? hKey : addHandle(opened);
    return result;
  });
}

LSTATUS RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, LPWSTR lpClass, DWORD dwOptions,
                        REGSAM samDesired, const SECURITY_ATTRIBUTES *, HKEY *phkResult,
                        DWORD *lpdwDisposition) {
  return guarded([&]() -> LSTATUS {
    if (phkResult == nullptr)
      return static_cast<LSTATUS>(ERROR_INVALID_PARAMETER);
    *phkResult = nullptr;
    OpenKey opened;
    bool created = false;
    const LSTATUS result = onKey(hKey, true, [&](RegistryTransaction &tx, const Base &base) {
      const bool view32 = view32For(tx, samDesired, base.view32);
      Walker walker(tx, view32);
      Walker::Options options;
      options.create = true;
      options.isVolatile = (dwOptions & REG_OPTION_VOLATILE) != 0;
      options.keyClass = nameOf(lpClass);
      const Walker::Result walked = walker.walk(base.id, nameOf(lpSubKey), options);
      created = walked.created;
      opened = OpenKey{tx.machine(), walked.id, view32, grantedAccess(samDesired)};
      return ERROR_SUCCESS;
    });
    if (result == 0) {
      *phkResult = addHandle(opened);
      if (lpdwDisposition)
        *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    }
    return result;
  });
}

LSTATUS RegCloseKey(HKEY hKey) {
  return guarded([&]() -> LSTATUS {
    if (isPredefinedValue(low32(hKey)))
      return posix::predefinedRootPath(low32(hKey)) ? 0
                                                    : static_cast<LSTATUS>(ERROR_INVALID_HANDLE);
    std::lock_guard<std::mutex> lock(gHandleLock);
    return gHandles.erase(reinterpret_cast<std::uintptr_t>(hKey)) != 0
               ? 0
               : static_cast<LSTATUS>(ERROR_INVALID_HANDLE);
  });
}

LSTATUS RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey) { return RegDeleteKeyExW(hKey, lpSubKey, 0, 0); }

LSTATUS RegDeleteKeyExW(HKEY hKey, LPCWSTR lpSubKey, REGSAM samDesired, DWORD) {
  return guarded([&]() -> LSTATUS {
    if (lpSubKey == nullptr)
      return static_cast<LSTATUS>(ERROR_INVALID_PARAMETER);
    return onKey(hKey, true, [&](RegistryTransaction &tx, const Base &base) -> DWORD {
      const KeyId target = keyBelow(tx, base, lpSubKey, samDesired);
      // Windows deletes only leaves; a key with sub-keys is refused.
      if (tx.hasChildren(target) || tx.isProtected(target))
        return ERROR_ACCESS_DENIED;
      tx.deleteKey(target);
      return ERROR_SUCCESS;
    });
  });
}

LSTATUS SHDeleteKeyW(HKEY hKey, LPCWSTR pszSubKey) {
  return guarded([&]() -> LSTATUS {
    return onKey(hKey, true, [&](RegistryTransaction &tx, const Base &base) -> DWORD {
      const KeyId target = keyBelow(tx, base, pszSubKey);
      if (tx.isProtected(target))
        return ERROR_ACCESS_DENIED;
      tx.deleteKey(target);
      return ERROR_SUCCESS;
    });
  });
}

LSTATUS SHCopyKeyW(HKEY hkeySrc, LPCWSTR pszSrcSubKey, HKEY hkeyDest, DWORD) {
  return guarded([&]() -> LSTATUS {
    return onKey(hkeySrc, true, [&](RegistryTransaction &tx, const Base &source) -> DWORD {
      const Base dest = resolveHandle(tx, hkeyDest);
      if (nameOf(pszSrcSubKey).empty()) // read through the source handle itself
        requireAccess(source, KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS);
      // The whole source is read before anything is written, so copying a
      // key into its own subtree ends.
      const KeyTree tree = tx.load(keyBelow(tx, source, pszSrcSubKey), true);
      if (!tree.front().values.empty()) // they are set through the destination handle
        requireAccess(dest, KEY_SET_VALUE);
      tx.merge(Walker(tx, dest.view32).redirect(dest.id), tree);
      return ERROR_SUCCESS;
    });
  });
}

LSTATUS RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, DWORD *lpcchName, DWORD *,
                      LPWSTR lpClass, DWORD *lpcchClass, FILETIME *lpftLastWriteTime) {
  return guarded([&]() -> LSTATUS {
    if (lpName == nullptr || lpcchName == nullptr || (lpClass && !lpcchClass))
      return static_cast<LSTATUS>(ERROR_INVALID_PARAMETER);
    return onKey(hKey, false, [&](RegistryTransaction &tx, const Base &base) -> DWORD {
      requireAccess(base, KEY_ENUMERATE_SUB_KEYS);
      const KeyId at = Walker(tx, base.view32).redirect(base.id);
      const std::optional<KeyRecord> sub = tx.childAt(at, dwIndex);
      if (!sub)
        return ERROR_NO_MORE_ITEMS;
      if (lpClass && sub->keyClass.size() >= *lpcchClass)
        return ERROR_MORE_DATA;
      if (const DWORD error = copyName(sub->name, lpName, lpcchName))
        return error;
      if (lpClass)
        copyName(sub->keyClass, lpClass, lpcchClass);
      else if (lpcchClass)
        *lpcchClass = static_cast<DWORD>(sub->keyClass.size());
      if (lpftLastWriteTime)
        *lpftLastWriteTime = {static_cast<DWORD>(sub->written),
                              static_cast<DWORD>(sub->written >> 32)};
      return ERROR_SUCCESS;
    });
  });
}

namespace {

// Hands a value's type and data to the caller as the query calls do: the
// size is always reported, the data only when the buffer holds it.
DWORD copyValue(const ValueRecord &value, DWORD *lpType, BYTE *lpData, DWORD *lpcbData) {
  if (lpType)
    *lpType = value.type;
  if (lpcbData) {
    const auto size = static_cast<DWORD>(value.data.size());
    if (lpData && size > *lpcbData) {
      *lpcbData = size;
      return ERROR_MORE_DATA;
    }
    if (lpData && size)
      std::memcpy(lpData, value.data.data(), size);
    *lpcbData = size;
  }
  return ERROR_SUCCESS;
}

} // namespace

LSTATUS RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, DWORD *lpcchValueName, DWORD *,
                      DWORD *lpType, BYTE *lpData, DWORD *lpcbData) {
  return guarded([&]() -> LSTATUS {
    if (lpValueName == nullptr || lpcchValueName == nullptr || (lpData && !lpcbData))
      return static_cast<LSTATUS>(ERROR_INVALID_PARAMETER);
    return onKey(hKey, false, [&](RegistryTransaction &tx, const Base &base) -> DWORD {
      requireAccess(base, KEY_QUERY_VALUE);
      const KeyId at = Walker(tx, base.view32).redirect(base.id);
      const std::optional<ValueRecord> value = tx.valueAt(at, dwIndex);
      if (!value)
        return ERROR_NO_MORE_ITEMS;
      if (const DWORD error = copyName(value->name, lpValueName, lpcchValueName))
        return error;
      return copyValue(*value, lpType, lpData, lpcbData);
    });
  });
}

LSTATUS RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, DWORD *lpcchClass, DWORD *, DWORD *lpcSubKeys,
                         DWORD *lpcbMaxSubKeyLen, DWORD *lpcbMaxClassLen, DWORD *lpcValues,
                         DWORD *lpcbMaxValueNameLen, DWORD *lpcbMaxValueLen,
                         DWORD *lpcbSecurityDescriptor, FILETIME *lpftLastWriteTime) {
  return guarded([&]() -> LSTATUS {
    if (lpClass && !lpcchClass)
      return static_cast<LSTATUS>(ERROR_INVALID_PARAMETER);
    return onKey(hKey, false, [&](RegistryTransaction &tx, const Base &base) -> DWORD {
      requireAccess(base, KEY_QUERY_VALUE);
      const KeyId at = Walker(tx, base.view32).redirect(base.id);
      const std::optional<KeyRecord> record = tx.key(at);
      if (!record)
        return ERROR_KEY_DELETED;
      const KeyFigures figures = tx.figures(at);
      if (lpcSubKeys)
        *lpcSubKeys = figures.subKeys;
      if (lpcbMaxSubKeyLen)
        *lpcbMaxSubKeyLen = figures.maxSubKeyLen;
      if (lpcbMaxClassLen)
        *lpcbMaxClassLen = figures.maxClassLen;
      if (lpcValues)
        *lpcValues = figures.values;
      if (lpcbMaxValueNameLen)
        *lpcbMaxValueNameLen = figures.maxValueNameLen;
      if (lpcbMaxValueLen)
        *lpcbMaxValueLen = figures.maxValueLen;
      // The substitute keeps no security descriptors.
      if (lpcbSecurityDescriptor)
        *lpcbSecurityDescriptor = 0;
      if (lpftLastWriteTime)
        *lpftLastWriteTime = {static_cast<DWORD>(record->written),
                              static_cast<DWORD>(record->written >> 32)};
      if (lpClass) {
        if (copyName(record->keyClass, lpClass, lpcchClass) != ERROR_SUCCESS) {
          *lpcchClass = static_cast<DWORD>(record->keyClass.size());
          return ERROR_MORE_DATA;
        }
      } else if (lpcchClass) {
        *lpcchClass = static_cast<DWORD>(record->keyClass.size());
      }
      return ERROR_SUCCESS;
    });
  });
}

LSTATUS RegQueryMultipleValuesW(HKEY hKey, VALENTW *val_list, DWORD num_vals, LPWSTR lpValueBuf,
                                DWORD *ldwTotsize) {
  return guarded([&]() -> LSTATUS {
    if (ldwTotsize == nullptr || (val_list == nullptr && num_vals != 0))
      return static_cast<LSTATUS>(ERROR_INVALID_PARAMETER);
    return onKey(hKey, false, [&](RegistryTransaction &tx, const Base &base) -> DWORD {
      requireAccess(base, KEY_QUERY_VALUE);
      const KeyId at = Walker(tx, base.view32).redirect(base.id);
      std::vector<ValueRecord> values;
      std::size_t total = 0;
      for (DWORD i = 0; i < num_vals; ++i) {
        std::optional<ValueRecord> value = tx.value(at, nameOf(val_list[i].ve_valuename));
        if (!value)
          return ERROR_FILE_NOT_FOUND;
        total += value->data.size();
        values.push_back(std::move(*value));
      }
      if (total > 0xFFFFFFFFu)
        return ERROR_INVALID_PARAMETER;
      const DWORD available = *ldwTotsize;
      *ldwTotsize = static_cast<DWORD>(total);
      if (lpValueBuf == nullptr || total > available)
        return ERROR_MORE_DATA;
      BYTE *out = reinterpret_cast<BYTE *>(lpValueBuf);
      for (DWORD i = 0; i < num_vals; ++i) {
        const std::vector<BYTE> &data = values[i].data;
        if (!data.empty())
          std::memcpy(out, data.data(), data.size());
        val_list[i].ve_valuelen = static_cast<DWORD>(data.size());
        val_list[i].ve_valueptr = reinterpret_cast<DWORD_PTR>(out);
        val_list[i].ve_type = values[i].type;
        out += data.size();
      }
      return ERROR_SUCCESS;
    });
  });
}

LSTATUS RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD *, DWORD *lpType, BYTE *lpData,
                         DWORD *lpcbData) {
  return guarded([&]() -> LSTATUS {
    if (lpData && !lpcbData)
      return static_cast<LSTATUS>(ERROR_INVALID_PARAMETER);
    return onKey(hKey, false, [&](RegistryTransaction &tx, const Base &base) -> DWORD {
      requireAccess(base, KEY_QUERY_VALUE);
      const KeyId at = Walker(tx, base.view32).redirect(base.id);
      const std::optional<ValueRecord> value = tx.value(at, nameOf(lpValueName));
      if (!value)
        return ERROR_FILE_NOT_FOUND;
      return copyValue(*value, lpType, lpData, lpcbData);
    });
  });
}

LSTATUS RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD, DWORD dwType, const BYTE *lpData,
                       DWORD cbData) {
  return guarded([&]() -> LSTATUS {
    if (lpData == nullptr && cbData != 0)
      return static_cast<LSTATUS>(ERROR_NOACCESS);
    if (nameOf(lpValueName).size() > posix::kMaxValueNameLength)
      return static_cast<LSTATUS>(ERROR_INVALID_PARAMETER);
    return onKey(hKey, true, [&](RegistryTransaction &tx, const Base &base) -> DWORD {
      requireAccess(base, KEY_SET_VALUE);
      const KeyId at = Walker(tx, base.view32).redirect(base.id);
      tx.setValue(at, nameOf(lpValueName), dwType, lpData, cbData);
      return ERROR_SUCCESS;
    });
  });
}

LSTATUS RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) {
  return guarded([&]() -> LSTATUS {
    return onKey(hKey, true, [&](RegistryTransaction &tx, const Base &base) -> DWORD {
      requireAccess(base, KEY_SET_VALUE);
      const KeyId at = Walker(tx, base.view32).redirect(base.id);
      return tx.deleteValue(at, nameOf(lpValueName)) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    });
  });
}

LSTATUS RegSaveKeyW(HKEY hKey, LPCWSTR lpFile, const SECURITY_ATTRIBUTES *) {
  return guarded([&]() -> LSTATUS {
    std::string hostPath;
    if (const DWORD error = hostPathOf(lpFile, hostPath))
      return static_cast<LSTATUS>(error);
    std::string bytes;
    const LSTATUS read = onKey(hKey, false, [&](RegistryTransaction &tx, const Base &base) {
      bytes = posix::encodeSaveFile(tx.load(Walker(tx, base.view32).redirect(base.id), false));
      return ERROR_SUCCESS;
    });
    if (read != 0)
      return read;
    return static_cast<LSTATUS>(posix::writeNewFile(hostPath, bytes));
  });
}

LSTATUS RegRestoreKeyW(HKEY hKey, LPCWSTR lpFile, DWORD) {
  return guarded([&]() -> LSTATUS {
    std::string hostPath;
    if (const DWORD error = hostPathOf(lpFile, hostPath))
      return static_cast<LSTATUS>(error);
    std::string bytes;
    if (const DWORD error = posix::readWholeFile(hostPath, bytes))
      return static_cast<LSTATUS>(error);
    KeyTree tree;
    try {
      tree = posix::decodeSaveFile(bytes);
    } catch (const RegistryFailure &failure) {
      return static_cast<LSTATUS>(failure.code);
    }
    return onKey(hKey, true, [&](RegistryTransaction &tx, const Base &base) -> DWORD {
      const KeyId at = Walker(tx, base.view32).redirect(base.id);
      if (tx.isProtected(at, false))
        return ERROR_ACCESS_DENIED;
      tx.clearKey(at);
      tx.merge(at, tree);
      return ERROR_SUCCESS;
    });
  });
}

} // namespace zelsys
