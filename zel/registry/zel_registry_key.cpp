// zel_registry_key.cpp - CZELRegistryKey, one registry key named by a root
// and a path, and every key-level operation on it.
//
// Each operation runs its body under the framework's two handlers: a failing
// call becomes an entry of the log hierarchy, is written once and gives
// false. Operations open the key on demand and close it again on every way
// out (only open and enumSubKeys leave it open), so the closing is done
// after the body, outside its handlers, and never decides the result. Keys
// are reached through openPath alone: in steps of the levels one call may
// name, every call with the key's view flags, since the view a handle was
// opened in does not carry over to the calls made through it.
#include "zel_registry_key.h"

#include "zel_catch.h"
#include "zel_function_trace.h"
#include "zel_registry_file.h"

#include "zelsys/files.h"
#include "zelsys/kernel.h"
#include "zelsys/security.h"

#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

static const ZEL_USHORT ZEL_SOURCE[] = u".\\zel_registry_key";
static const ZEL_USHORT ZEL_CLASS[] = u"CZELRegistryKey";

namespace {

// The registry classes are too busy for ENTRY and EXIT lines.
typedef CZELNullTrace Trace;

template <class Body>
bool runOperation(const ZEL_USHORT *pszMethod, ZEL_ULONG ulLine, Body &&body,
                  CZELErrorSource eSource = CZELErrorSource::esLastError) {
  return zelTracedAbsorb<Trace>(ZEL_CLASS, pszMethod, ZEL_SOURCE, ulLine, eSource, body);
}

// The value-name enumerations catch everything with the catch-all alone, so
// their own entry (written when raised) is followed by an unhandled-exception
// entry; log readers know that pair.
template <class Body> bool runCatchAll(const ZEL_USHORT *pszMethod, ZEL_ULONG ulLine, Body &&body) {
  Trace trace(ZEL_CLASS, pszMethod, ZEL_SOURCE, ulLine);
  bool bResult = false;
  try {
    bResult = body();
  } catch (...) {
    zelLogUnhandled(CZELErrorSource::esLastError, ZEL_SOURCE, ulLine);
  }
  trace.setResult(bResult);
  return bResult;
}

// More than any class string the registry stores.
constexpr ZEL_ULONG MAX_CLASS_UNITS = 0x8000;

ZEL_LONG code(zelsys::LSTATUS lStatus) { return static_cast<ZEL_LONG>(lStatus); }

// Enables one privilege in the process token. Where the system has no such
// privileges the substitute grants them, so this simply succeeds there. The
// privilege stays enabled: later saves and restores need it again.
bool enablePrivilege(const ZEL_USHORT *pszPrivilege) {
  zelsys::HANDLE hToken = nullptr;
  if (!zelsys::OpenProcessToken(zelsys::GetCurrentProcess(),
                                zelsys::TOKEN_ADJUST_PRIVILEGES | zelsys::TOKEN_QUERY, &hToken))
    return false;
  zelsys::TOKEN_PRIVILEGES privileges{};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = zelsys::SE_PRIVILEGE_ENABLED;
  bool bEnabled = zelsys::LookupPrivilegeValueW(nullptr, pszPrivilege,
                                                &privileges.Privileges[0].Luid) != zelsys::FALSE;
  // The call succeeds even when the token lacks the privilege; only the
  // last error tells.
  if (bEnabled)
    bEnabled = zelsys::AdjustTokenPrivileges(hToken, zelsys::FALSE, &privileges, sizeof privileges,
                                             nullptr, nullptr) != zelsys::FALSE &&
               zelsys::GetLastError() == zelsys::ERROR_SUCCESS;
  zelsys::CloseHandle(hToken);
  return bEnabled;
}

constexpr zelsys::REGSAM VIEW_FLAGS = zelsys::KEY_WOW64_64KEY | zelsys::KEY_WOW64_32KEY;
// Windows creates at most 32 levels in one call (and the substitute lets a
// call name no more), while a tree may be 512 levels deep.
constexpr ZEL_ULONG LEVELS_PER_CALL = 32;
// The longest key name, 255 characters, and its terminator.
constexpr zelsys::DWORD KEY_NAME_UNITS = 256;

// A key handle, closed when it goes out of scope unless it is borrowed (the
// root a path starts from).
class CKeyHandle {
public:
  CKeyHandle() = default;
  CKeyHandle(zelsys::HKEY hKey, bool bOwned) : m_hKey(hKey), m_bOwned(bOwned) {}
  CKeyHandle(CKeyHandle &&other) noexcept : m_hKey(other.release()), m_bOwned(other.m_bOwned) {}
  CKeyHandle &operator=(CKeyHandle &&) = delete;
  ~CKeyHandle() { reset(nullptr); }

  zelsys::HKEY get() const { return m_hKey; }
  zelsys::HKEY release() { return std::exchange(m_hKey, nullptr); }
  // Closes what this owns and takes over hKey.
  void reset(zelsys::HKEY hKey) {
    if (m_hKey != nullptr && m_bOwned)
      zelsys::RegCloseKey(m_hKey);
    m_hKey = hKey;
    m_bOwned = true;
  }

private:
  zelsys::HKEY m_hKey = nullptr;
  bool m_bOwned = true;
};

// Copies into step the first LEVELS_PER_CALL components of pszPath (with the
// separators between them) and returns where the rest begins; null when the
// whole path fits into one call.
const ZEL_USHORT *splitStep(const ZEL_USHORT *pszPath, std::u16string &step) {
  ZEL_ULONG ulLevels = 0;
  const ZEL_USHORT *pEnd = pszPath;
  for (const ZEL_USHORT *p = pszPath; *p != 0; ++p) {
    if (*p == u'\\')
      continue;
    if ((p == pszPath || p[-1] == u'\\') && ++ulLevels > LEVELS_PER_CALL) {
      step.assign(pszPath, pEnd);
      return p;
    }
    pEnd = p + 1;
  }
  return nullptr;
}

// Opens pszPath below hRoot with sam into rKey; with bCreate creates what is
// missing, with dwOptions. Every step but the last is opened for reaching
// the keys below it.
zelsys::LSTATUS openPath(zelsys::HKEY hRoot, const ZEL_USHORT *pszPath, zelsys::REGSAM sam,
                         CKeyHandle &rKey, bool bCreate = false, ZEL_ULONG dwOptions = 0) {
  const zelsys::REGSAM samStep =
      (bCreate ? zelsys::KEY_CREATE_SUB_KEY : zelsys::KEY_ENUMERATE_SUB_KEYS) | (sam & VIEW_FLAGS);
  CKeyHandle base(hRoot, false);
  std::u16string step;
  for (const ZEL_USHORT *pszLeft = pszPath;;) {
    const ZEL_USHORT *pszRest = pszLeft != nullptr ? splitStep(pszLeft, step) : nullptr;
    const ZEL_USHORT *pszStep = pszRest != nullptr ? step.c_str() : pszLeft;
    const zelsys::REGSAM samNow = pszRest != nullptr ? samStep : sam;
    zelsys::HKEY hKey = nullptr;
    const zelsys::LSTATUS lStatus =
        bCreate ? zelsys::RegCreateKeyExW(base.get(), pszStep, 0, nullptr, dwOptions, samNow,
                                          nullptr, &hKey, nullptr)
                : zelsys::RegOpenKeyExW(base.get(), pszStep, 0, samNow, &hKey);
    if (lStatus != zelsys::ERROR_SUCCESS)
      return lStatus;
    if (pszRest == nullptr) {
      rKey.reset(hKey);
      return lStatus;
    }
    base.reset(hKey);
    pszLeft = pszRest;
  }
}

// Splits a path into its parent's path and its last component; false when
// it has no component (it names the root).
bool splitLast(const std::u16string &path, std::u16string &parent, std::u16string &name) {
  const std::size_t ulEnd = path.find_last_not_of(u'\\');
  if (ulEnd == std::u16string::npos)
    return false;
  const std::size_t ulSeparator = path.find_last_of(u'\\', ulEnd);
  const std::size_t ulStart = ulSeparator == std::u16string::npos ? 0 : ulSeparator + 1;
  name = path.substr(ulStart, ulEnd + 1 - ulStart);
  if (ulSeparator == std::u16string::npos) {
    parent.clear();
    return true;
  }
  // A leading separator stays, so that the parent fails as the whole path
  // would.
  const std::size_t ulParentEnd = path.find_last_not_of(u'\\', ulSeparator);
  parent = path.substr(0, ulParentEnd == std::u16string::npos ? ulStart : ulParentEnd + 1);
  return true;
}

// Deletes every key below hKey, the deepest first. A stack of open keys, one
// a level, stands in for recursion (a tree may be 512 levels deep); each key
// is opened and deleted through its parent's handle.
zelsys::LSTATUS deleteSubKeys(zelsys::HKEY hKey, zelsys::REGSAM samView) {
  struct Level {
    CKeyHandle key;
    std::u16string name;
  };
  std::vector<Level> below;
  for (;;) {
    const zelsys::HKEY hAt = below.empty() ? hKey : below.back().key.get();
    ZEL_USHORT szName[KEY_NAME_UNITS];
    zelsys::DWORD cchName = KEY_NAME_UNITS;
    zelsys::LSTATUS lStatus =
        zelsys::RegEnumKeyExW(hAt, 0, szName, &cchName, nullptr, nullptr, nullptr, nullptr);
    if (lStatus == zelsys::ERROR_SUCCESS) {
      Level level{CKeyHandle(), std::u16string(szName, cchName)};
      lStatus =
          openPath(hAt, level.name.c_str(), zelsys::KEY_ENUMERATE_SUB_KEYS | samView, level.key);
      if (lStatus != zelsys::ERROR_SUCCESS)
        return lStatus;
      below.push_back(std::move(level));
      continue;
    }
    if (lStatus != zelsys::ERROR_NO_MORE_ITEMS || below.empty())
      return lStatus == zelsys::ERROR_NO_MORE_ITEMS ? zelsys::ERROR_SUCCESS : lStatus;
    // The key on top has no sub-keys left; one deleted meanwhile is gone too.
    const std::u16string name = std::move(below.back().name);
    below.pop_back();
    lStatus = zelsys::RegDeleteKeyExW(below.empty() ? hKey : below.back().key.get(), name.c_str(),
                                      samView, 0);
    if (lStatus != zelsys::ERROR_SUCCESS && lStatus != zelsys::ERROR_FILE_NOT_FOUND)
      return lStatus;
  }
}

// Whether inner names the key outer or one below it (same root; names
// compare without regard to ASCII case, as the registry compares them).
bool isSameOrBelow(const CZELRegistryKey &outer, const CZELRegistryKey &inner) {
  if (outer.getKeyRoot() != inner.getKeyRoot())
    return false;
  const CZELWCharString &outerPath = outer.getSubKey();
  const CZELWCharString &innerPath = inner.getSubKey();
  const ZEL_ULONG ulOuter = outerPath.getLength();
  const ZEL_ULONG ulInner = innerPath.getLength();
  if (ulOuter == 0)
    return true; // the root holds everything
  if (ulInner < ulOuter)
    return false;
  auto fold = [](ZEL_USHORT c) {
    return c >= u'A' && c <= u'Z' ? static_cast<ZEL_USHORT>(c - u'A' + u'a') : c;
  };
  for (ZEL_ULONG i = 0; i < ulOuter; ++i)
    if (fold(outerPath(i)) != fold(innerPath(i)))
      return false;
  return ulInner == ulOuter || innerPath(ulOuter) == u'\\';
}

// The entry array of a multiple-value query with the name copies it points
// to, released together however the query ends.
class CValentArray {
public:
  explicit CValentArray(ZEL_ULONG ulCount)
      : m_pEntries(new (std::nothrow) zelsys::VALENTW[ulCount]()), m_ulCount(ulCount) {}
  ~CValentArray() {
    if (m_pEntries == nullptr)
      return;
    for (ZEL_ULONG i = 0; i < m_ulCount; ++i)
      delete[] m_pEntries[i].ve_valuename;
    delete[] m_pEntries;
  }
  CValentArray(const CValentArray &) = delete;
  CValentArray &operator=(const CValentArray &) = delete;

  zelsys::VALENTW *get() const { return m_pEntries; }

private:
  zelsys::VALENTW *m_pEntries;
  ZEL_ULONG m_ulCount;
};

// A terminated copy of name, or null when memory is short.
ZEL_USHORT *copyName(const CZELWCharString &name) {
  const ZEL_ULONG ulLength = name.getLength();
  ZEL_USHORT *pszCopy = new (std::nothrow) ZEL_USHORT[ulLength + 1ULL]();
  if (pszCopy != nullptr)
    for (ZEL_ULONG i = 0; i < ulLength; ++i)
      pszCopy[i] = name(i);
  return pszCopy;
}

} // namespace

// ---- Construction, copy and comparison ---------------------------------------

CZELRegistryKey::CZELRegistryKey()
    : m_samDesired(zelsys::KEY_ALL_ACCESS), m_dwOptions(zelsys::REG_OPTION_NON_VOLATILE),
      m_hKey(nullptr), m_bCreate(false), m_bOpen(false), m_hKeyRoot(nullptr) {}

CZELRegistryKey::CZELRegistryKey(zelsys::HKEY hKeyRoot, const CZELWCharString &szSubKey,
                                 zelsys::REGSAM samDesired, bool bCreate, ZEL_ULONG dwOptions)
    : m_samDesired(samDesired), m_dwOptions(dwOptions), m_hKey(nullptr), m_bCreate(bCreate),
      m_bOpen(false), m_hKeyRoot(hKeyRoot) {
  zelTranslate<CZELRegKeyInitException>(
      ZEL_SOURCE, __LINE__, CZELErrorSource::esLastError,
      [&] {
        // The string's copy constructor throws where its assignment would
        // only log, so copy first and then assign the copy.
        CZELWCharString copy(szSubKey);
        m_szSubKey = copy;
        if (m_szSubKey != copy)
          throw CZELBufferInitException(ZEL_SOURCE, __LINE__, false);
      },
      ZEL_CLASS, u"CZELRegistryKey", ZEL_SOURCE, static_cast<ZEL_ULONG>(__LINE__), ZEL_WORD{1},
      true, false);
}

CZELRegistryKey::CZELRegistryKey(const CZELRegistryKey &other) : CZELRegistryKey() {
  *this = other;
}

CZELRegistryKey &CZELRegistryKey::operator=(const CZELRegistryKey &other) {
  if (&other == this)
    return *this;
  close();
  m_hKeyRoot = other.m_hKeyRoot;
  m_szSubKey = other.m_szSubKey;
  m_samDesired = other.m_samDesired;
  m_dwOptions = other.m_dwOptions;
  m_bCreate = other.m_bCreate;
  // A handle this object could not close is left behind rather than
  // closed twice; the copy itself always starts closed.
  m_hKey = nullptr;
  m_bOpen = false;
  return *this;
}

CZELRegistryKey::~CZELRegistryKey() { close(); }

bool CZELRegistryKey::operator==(const CZELRegistryKey &other) const {
  return m_hKeyRoot == other.m_hKeyRoot && m_samDesired == other.m_samDesired &&
         m_dwOptions == other.m_dwOptions && m_szSubKey == other.m_szSubKey;
}

bool CZELRegistryKey::operator!=(const CZELRegistryKey &other) const { return !(*this == other); }

// ---- Setters -------------------------------------------------------------------

void CZELRegistryKey::setKeyRoot(zelsys::HKEY hKeyRoot) {
  close();
  m_hKeyRoot = hKeyRoot;
}

void CZELRegistryKey::setSubKey(const CZELWCharString &szSubKey) {
  close();
  m_szSubKey = szSubKey;
}

void CZELRegistryKey::setRegSam(zelsys::REGSAM samDesired) {
  close();
  m_samDesired = samDesired;
}

void CZELRegistryKey::setOptions(ZEL_ULONG dwOptions) {
  close();
  m_dwOptions = dwOptions;
}

// ---- Open, close, create ----------------------------------------------------------

bool CZELRegistryKey::open() {
  return runOperation(u"open", __LINE__, [&] {
    if (m_bOpen) {
      // Written at once and not thrown: reopening is allowed.
      CZELRegKeyAlreadyOpenWarning(getSubKeyPath(), ZEL_CLASS, u"open", ZEL_SOURCE, __LINE__, 1,
                                   true, false);
      close();
    }
    CKeyHandle key;
    zelsys::LSTATUS lStatus = openPath(m_hKeyRoot, getSubKeyPath(), m_samDesired, key);
    // Only a missing key or a bad root make the key absent; any other
    // failure (access denied, say) means the key is there, and the calls
    // made on it report their own failures.
    if (lStatus != zelsys::ERROR_FILE_NOT_FOUND && lStatus != zelsys::ERROR_INVALID_HANDLE) {
      m_hKey = key.release();
      m_bOpen = true;
      return true;
    }
    if (!m_bCreate || !create())
      return false;
    lStatus = openPath(m_hKeyRoot, getSubKeyPath(), m_samDesired, key);
    if (lStatus != zelsys::ERROR_SUCCESS)
      return false;
    m_hKey = key.release();
    m_bOpen = true;
    return true;
  });
}

bool CZELRegistryKey::ensureOpen() { return m_bOpen || open(); }

bool CZELRegistryKey::close() {
  return runOperation(u"close", __LINE__, [&] {
    if (!m_bOpen)
      return true;
    // A key counted as open without a handle (it exists but could not be
    // opened) has nothing to close.
    if (m_hKey != nullptr) {
      const zelsys::LSTATUS lStatus = zelsys::RegCloseKey(m_hKey);
      if (lStatus != zelsys::ERROR_SUCCESS)
        throw CZELRegCloseKeyWarning(getSubKeyPath(), code(lStatus), ZEL_CLASS, u"close",
                                     ZEL_SOURCE, __LINE__, 1, true, false);
    }
    m_hKey = nullptr;
    m_bOpen = false;
    return true;
  });
}

bool CZELRegistryKey::create() {
  return runOperation(u"create", __LINE__, [&] {
    // A handle that will not close must not be overwritten and lost.
    if (!close())
      return false;
    // The create call takes no null path: the root itself is named by an
    // empty one.
    const ZEL_USHORT *pszPath = m_szSubKey.isValid() ? m_szSubKey.getBuffer() : u"";
    CKeyHandle key;
    const zelsys::LSTATUS lStatus =
        openPath(m_hKeyRoot, pszPath, m_samDesired, key, true, m_dwOptions);
    if (lStatus != zelsys::ERROR_SUCCESS)
      throw CZELRegKeyCreateException(getSubKeyPath(), code(lStatus), ZEL_CLASS, u"create",
                                      ZEL_SOURCE, __LINE__, 1, true, false);
    m_hKey = key.release();
    m_bOpen = true;
    return close();
  });
}

// ---- Remove, copy, move -----------------------------------------------------------

bool CZELRegistryKey::remove(bool bRecursive) {
  return runOperation(u"remove", __LINE__, [&] {
    close();
    // Deleting "the root itself" would, recursively, empty a whole hive.
    std::u16string parentPath, name;
    if (!m_szSubKey.isValid() ||
        !splitLast(std::u16string(m_szSubKey.getBuffer(), m_szSubKey.getLength()), parentPath,
                   name))
      throw CZELRegKeyDeleteException(getSubKeyPath(), code(zelsys::ERROR_ACCESS_DENIED), ZEL_CLASS,
                                      u"remove", ZEL_SOURCE, __LINE__, 1, true, false);
    // The key is deleted through its parent, the tree from the bottom up,
    // all in this key's view (the system's tree deletion would go through
    // the process's own view below the first level).
    const zelsys::REGSAM samView = m_samDesired & VIEW_FLAGS;
    const zelsys::REGSAM samWalk = zelsys::KEY_ENUMERATE_SUB_KEYS | samView;
    CKeyHandle parent(m_hKeyRoot, false), key;
    zelsys::LSTATUS lStatus = parentPath.empty()
                                  ? zelsys::ERROR_SUCCESS
                                  : openPath(m_hKeyRoot, parentPath.c_str(), samWalk, parent);
    if (lStatus == zelsys::ERROR_SUCCESS && bRecursive)
      lStatus = openPath(parent.get(), name.c_str(), samWalk, key);
    if (lStatus == zelsys::ERROR_FILE_NOT_FOUND)
      return true; // a missing key counts as deleted
    if (lStatus == zelsys::ERROR_SUCCESS && bRecursive)
      lStatus = deleteSubKeys(key.get(), samView);
    key.reset(nullptr);
    if (lStatus == zelsys::ERROR_SUCCESS) {
      lStatus = zelsys::RegDeleteKeyExW(parent.get(), name.c_str(), samView, 0);
      if (lStatus == zelsys::ERROR_FILE_NOT_FOUND)
        lStatus = zelsys::ERROR_SUCCESS;
    }
    if (lStatus != zelsys::ERROR_SUCCESS)
      throw CZELRegKeyDeleteException(getSubKeyPath(), code(lStatus), ZEL_CLASS, u"remove",
                                      ZEL_SOURCE, __LINE__, 1, true, false);
    return true;
  });
}

bool CZELRegistryKey::copy(CZELRegistryKey &source) {
  const bool bResult = runOperation(u"copy", __LINE__, [&] {
    // A tree copied into itself would grow while it is being walked.
    if (&source != this && isSameOrBelow(source, *this) && !isSameOrBelow(*this, source))
      throw CZELBadArgException(u"source", u"the destination lies inside the source key",
                                ZEL_SOURCE, __LINE__, 1, true, false);
    if (!m_bOpen)
      open();
    if (!source.m_bOpen)
      source.open();
    if (!m_bOpen || !source.m_bOpen)
      return false;
    const zelsys::LSTATUS lStatus = zelsys::SHCopyKeyW(source.m_hKey, nullptr, m_hKey, 0);
    if (lStatus != zelsys::ERROR_SUCCESS)
      throw CZELSHCopyKeyException(code(lStatus), ZEL_CLASS, u"copy", ZEL_SOURCE, __LINE__, 1,
                                   true);
    return true;
  });
  source.close();
  close();
  return bResult;
}

bool CZELRegistryKey::move(CZELRegistryKey &destination) {
  return runOperation(u"move", __LINE__, [&] {
    // Removing the source afterwards would take the copy with it.
    if (isSameOrBelow(*this, destination))
      throw CZELBadArgException(u"destination", u"the destination lies inside the key moved",
                                ZEL_SOURCE, __LINE__, 1, true, false);
    return destination.copy(*this) && remove(true);
  });
}

// ---- Existence, export, import ---------------------------------------------------

bool CZELRegistryKey::doesRegistryKeyExist() {
  const bool bResult = runOperation(
      u"doesRegistryKeyExist", __LINE__, [&] { return open(); }, CZELErrorSource::esErrno);
  close();
  return bResult;
}

bool CZELRegistryKey::exportKey(const CZELWCharString &szExportFileName, ZEL_ULONG dwFormat,
                                bool bOverwrite) {
  const bool bResult = runOperation(u"export", __LINE__, [&] {
    if (!szExportFileName.isValid())
      throw CZELBadArgException(u"szExportFileName", u"filename must be non-null", ZEL_SOURCE,
                                __LINE__, 1, true, false);
    if (dwFormat == EXPORT_TEXT_FORMAT)
      return CZELRegistryFile(szExportFileName).exportKey(m_hKeyRoot, m_szSubKey, bOverwrite);
    if (bOverwrite)
      zelsys::DeleteFileW(szExportFileName.getBuffer()); // a missing file is fine
    if (!enablePrivilege(zelsys::SE_BACKUP_NAME) || !ensureOpen())
      return false;
    const zelsys::LSTATUS lStatus =
        zelsys::RegSaveKeyW(m_hKey, szExportFileName.getBuffer(), nullptr);
    if (lStatus != zelsys::ERROR_SUCCESS)
      throw CZELRegSaveKeyException(getSubKeyPath(), code(lStatus), ZEL_CLASS, u"export",
                                    ZEL_SOURCE, __LINE__, 1, true, false);
    return true;
  });
  close();
  return bResult;
}

bool CZELRegistryKey::importKey(const CZELWCharString &szImportFileName, ZEL_ULONG dwFlags) {
  const bool bResult = runOperation(u"import", __LINE__, [&] {
    if (!szImportFileName.isValid())
      throw CZELBadArgException(u"szImportFileName", u"filename must be non-null", ZEL_SOURCE,
                                __LINE__, 1, true, false);
    // The file names its keys itself, wherever they are.
    if (dwFlags == IMPORT_TEXT_FORMAT)
      return CZELRegistryFile(szImportFileName).importKey();
    if (!enablePrivilege(zelsys::SE_RESTORE_NAME) || !ensureOpen())
      return false;
    const zelsys::LSTATUS lStatus =
        zelsys::RegRestoreKeyW(m_hKey, szImportFileName.getBuffer(), dwFlags);
    if (lStatus != zelsys::ERROR_SUCCESS)
      throw CZELRegRestoreKeyException(getSubKeyPath(), code(lStatus), ZEL_CLASS, u"import",
                                       ZEL_SOURCE, __LINE__, 1, true, false);
    return true;
  });
  close();
  return bResult;
}

// ---- Enumeration --------------------------------------------------------------------

bool CZELRegistryKey::enumSubKeys(CZELRegistryKey &child, ZEL_ULONG dwIndex) {
  return runOperation(u"enumSubKeys", __LINE__, [&] {
    ZEL_ULONG ulMaxLength = 0;
    if (!getMaxSubKeyLength(ulMaxLength) || !ensureOpen())
      return false;
    CZELBuffer<ZEL_USHORT> name(ulMaxLength + 1);
    zelsys::DWORD dwLength = ulMaxLength + 1;
    const zelsys::LSTATUS lStatus = zelsys::RegEnumKeyExW(
        m_hKey, dwIndex, name.getBuffer(), &dwLength, nullptr, nullptr, nullptr, nullptr);
    if (lStatus == zelsys::ERROR_NO_MORE_ITEMS)
      return false;
    if (lStatus != zelsys::ERROR_SUCCESS)
      throw CZELRegEnumKeyException(getSubKeyPath(), code(lStatus), ZEL_CLASS, u"enumSubKeys",
                                    ZEL_SOURCE, __LINE__, 1, true, false);
    // The separator goes in also below the root, so the child's path then
    // begins with one.
    const CZELWCharString path = m_szSubKey + CZELWCharString(u"\\") + CZELWCharString(name);
    child = CZELRegistryKey(m_hKeyRoot, path, m_samDesired, false, m_dwOptions);
    return true;
  });
}

bool CZELRegistryKey::enumAllSubKeys(CZELWCharStringList &names) {
  const bool bResult = runOperation(u"enumAllSubKeys", __LINE__, [&] {
    names.flush();
    ZEL_ULONG ulIndex = 0;
    for (;; ++ulIndex) {
      CZELRegistryKey child;
      CZELWCharString name;
      if (!enumSubKeys(child, ulIndex) || !child.getSubKeyName(name, false) || !name.isValid() ||
          !names.add(name, ulIndex + 1))
        break;
    }
    return names.getCount() == ulIndex;
  });
  close();
  return bResult;
}

bool CZELRegistryKey::enumValueNames(CZELWCharString &szName, ZEL_ULONG dwIndex) {
  const bool bResult = runCatchAll(u"enumValueNames", __LINE__, [&] {
    ZEL_ULONG ulMaxLength = 0;
    if (!getMaxValueNameLength(ulMaxLength) || !ensureOpen())
      return false;
    CZELBuffer<ZEL_USHORT> name(ulMaxLength + 1);
    zelsys::DWORD dwLength = ulMaxLength + 1;
    const zelsys::LSTATUS lStatus = zelsys::RegEnumValueW(
        m_hKey, dwIndex, name.getBuffer(), &dwLength, nullptr, nullptr, nullptr, nullptr);
    // Past the end the name is empty: that is how callers see the end.
    if (lStatus == zelsys::ERROR_NO_MORE_ITEMS) {
      szName = CZELWCharString();
      return true;
    }
    if (lStatus != zelsys::ERROR_SUCCESS)
      throw CZELRegEnumValueException(getSubKeyPath(), code(lStatus), ZEL_CLASS, u"enumValueNames",
                                      ZEL_SOURCE, __LINE__, 1, true, false);
    szName = CZELWCharString(name);
    return true;
  });
  close();
  return bResult;
}

bool CZELRegistryKey::enumAllValueNames(CZELWCharStringList &names) {
  const bool bResult = runCatchAll(u"enumAllValueNames", __LINE__, [&] {
    names.flush();
    ZEL_ULONG ulMaxLength = 0;
    if (!getMaxValueNameLength(ulMaxLength) || !ensureOpen())
      return false;
    for (ZEL_ULONG ulIndex = 0;; ++ulIndex) {
      CZELBuffer<ZEL_USHORT> name(ulMaxLength + 1);
      zelsys::DWORD dwLength = ulMaxLength + 1;
      const zelsys::LSTATUS lStatus = zelsys::RegEnumValueW(
          m_hKey, ulIndex, name.getBuffer(), &dwLength, nullptr, nullptr, nullptr, nullptr);
      if (lStatus == zelsys::ERROR_NO_MORE_ITEMS)
        break;
      if (lStatus != zelsys::ERROR_SUCCESS)
        throw CZELRegEnumValueException(getSubKeyPath(), code(lStatus), ZEL_CLASS,
                                        u"enumAllValueNames", ZEL_SOURCE, __LINE__, 1, true, false);
      // The default value has no name and is left out.
      if (dwLength != 0 && !names.add(CZELWCharString(name), 0))
        return false;
    }
    return !names.isEmpty();
  });
  close();
  return bResult;
}

bool CZELRegistryKey::enumAllValues(CZELRegistryValentList &list) {
  const bool bResult = runOperation(u"enumAllValues", __LINE__, [&] {
    CZELWCharStringList names;
    ZEL_ULONG ulMaxBytes = 0;
    if (!enumAllValueNames(names) || !getMaxValueLength(ulMaxBytes))
      return false;
    const ZEL_ULONG ulCount = names.getCount();

    CValentArray entries(ulCount);
    if (entries.get() == nullptr)
      throw CZELMemAllocException(u"pValent", ZEL_SOURCE, __LINE__, 1, true, false);
    CZELWCharString name;
    ZEL_ULONG ulEntry = 0;
    names.begin();
    do {
      if (!names.getItem(name))
        return false;
      entries.get()[ulEntry].ve_valuename = copyName(name);
      if (entries.get()[ulEntry].ve_valuename == nullptr)
        CZELLogDebug(u"pValent.ve_valuename = NULL", 0, 0, ZEL_CLASS, u"enumAllValues", ZEL_SOURCE,
                     __LINE__, 1, true, false);
      ++ulEntry;
    } while (names.next() && ulEntry < ulCount);

    // Room for every value at the longest size, counted in 16-bit units as
    // the call takes the buffer; a size past 32 bits cannot be passed on.
    const std::uint64_t ullUnits = (static_cast<std::uint64_t>(ulMaxBytes) + 1) * ulCount;
    if (ullUnits * sizeof(ZEL_USHORT) > 0xFFFFFFFFULL)
      throw CZELMemAllocException(u"lpValueBuf", ZEL_SOURCE, __LINE__, 1, true, false);
    std::unique_ptr<ZEL_USHORT[]> data(new (std::nothrow)
                                           ZEL_USHORT[static_cast<std::size_t>(ullUnits)]());
    if (!data)
      throw CZELMemAllocException(u"lpValueBuf", ZEL_SOURCE, __LINE__, 1, true, false);
    zelsys::DWORD dwBytes = static_cast<zelsys::DWORD>(ullUnits * sizeof(ZEL_USHORT));

    if (!ensureOpen())
      return false;
    const zelsys::LSTATUS lStatus =
        zelsys::RegQueryMultipleValuesW(m_hKey, entries.get(), ulCount, data.get(), &dwBytes);
    if (lStatus != zelsys::ERROR_SUCCESS)
      throw CZELRegQueryMultipleValuesException(getSubKeyPath(), code(lStatus), ZEL_CLASS,
                                                u"enumAllValues", ZEL_SOURCE, __LINE__, 1, true,
                                                false);
    list.flush();
    for (ZEL_ULONG j = 0; j < ulCount; ++j)
      if (!list.add(CZELRegistryValent(&entries.get()[j]), j))
        return false;
    return true;
  });
  close();
  return bResult;
}

// ---- Names and key information ----------------------------------------------------

bool CZELRegistryKey::getSubKeyName(CZELWCharString &szName, bool bFullPath) const {
  return runOperation(u"getSubKeyName", __LINE__, [&] {
    if (bFullPath) {
      szName = m_szSubKey;
      return true;
    }
    CZELWCharString last;
    if (!m_szSubKey.extractTo(last, CZELWCharString(u"\\"), 1, CZELWCharString::pmBackward, false))
      return false;
    szName = last;
    return true;
  });
}

bool CZELRegistryKey::getClass(CZELWCharString &szClassName) {
  const bool bResult = runOperation(u"getClass", __LINE__, [&] {
    ZEL_ULONG ulMaxLength = 0;
    if (!getMaxClassLength(ulMaxLength) || !ensureOpen())
      return false;
    // That figure is the longest class among the sub-keys, not this key's
    // own: a longer class of its own asks for a bigger buffer, and gets it.
    ZEL_ULONG ulUnits = ulMaxLength + 1;
    for (;;) {
      CZELBuffer<ZEL_USHORT> className(ulUnits);
      zelsys::DWORD dwLength = ulUnits;
      const zelsys::LSTATUS lStatus =
          zelsys::RegQueryInfoKeyW(m_hKey, className.getBuffer(), &dwLength, nullptr, nullptr,
                                   nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
      // Windows answers a short class buffer with either code.
      const bool bShort =
          lStatus == zelsys::ERROR_MORE_DATA || lStatus == zelsys::ERROR_INSUFFICIENT_BUFFER;
      if (bShort && ulUnits < MAX_CLASS_UNITS) {
        ulUnits = dwLength >= ulUnits && dwLength < MAX_CLASS_UNITS ? dwLength + 1 : ulUnits * 2;
        continue;
      }
      if (lStatus != zelsys::ERROR_SUCCESS)
        throw CZELRegQueryInfoKeyException(getSubKeyPath(), code(lStatus), ZEL_CLASS, u"getClass",
                                           ZEL_SOURCE, __LINE__, 1, true, false);
      szClassName = CZELWCharString(className);
      return true;
    }
  });
  close();
  return bResult;
}

bool CZELRegistryKey::queryInfoFigure(InfoFigure eFigure, ZEL_ULONG &rulValue,
                                      const ZEL_USHORT *pszMethod) {
  const bool bResult = runOperation(pszMethod, __LINE__, [&] {
    if (!ensureOpen())
      return false;
    zelsys::DWORD dwValue = 0;
    auto ask = [&](InfoFigure eWhich) { return eFigure == eWhich ? &dwValue : nullptr; };
    const zelsys::LSTATUS lStatus = zelsys::RegQueryInfoKeyW(
        m_hKey, nullptr, nullptr, nullptr, ask(InfoFigure::numSubKeys), ask(InfoFigure::maxSubKey),
        ask(InfoFigure::maxClass), ask(InfoFigure::numValues), ask(InfoFigure::maxValueName),
        ask(InfoFigure::maxValue), nullptr, nullptr);
    if (lStatus != zelsys::ERROR_SUCCESS)
      throw CZELRegQueryInfoKeyException(getSubKeyPath(), code(lStatus), ZEL_CLASS, pszMethod,
                                         ZEL_SOURCE, __LINE__, 1, true, false);
    rulValue = dwValue;
    return true;
  });
  close();
  return bResult;
}

bool CZELRegistryKey::getMaxClassLength(ZEL_ULONG &rulLength) {
  return queryInfoFigure(InfoFigure::maxClass, rulLength, u"getMaxClassLength");
}

bool CZELRegistryKey::getMaxSubKeyLength(ZEL_ULONG &rulLength) {
  return queryInfoFigure(InfoFigure::maxSubKey, rulLength, u"getMaxSubKeyLength");
}

bool CZELRegistryKey::getMaxValueNameLength(ZEL_ULONG &rulLength) {
  return queryInfoFigure(InfoFigure::maxValueName, rulLength, u"getMaxValueNameLength");
}

bool CZELRegistryKey::getMaxValueLength(ZEL_ULONG &rulLength) {
  return queryInfoFigure(InfoFigure::maxValue, rulLength, u"getMaxValueLength");
}

bool CZELRegistryKey::getNumSubKeys(ZEL_ULONG &rulCount) {
  return queryInfoFigure(InfoFigure::numSubKeys, rulCount, u"getNumSubKeys");
}

bool CZELRegistryKey::getNumValues(ZEL_ULONG &rulCount) {
  return queryInfoFigure(InfoFigure::numValues, rulCount, u"getNumValues");
}
