// zel_directory.cpp - CZELDirectory, one folder by name.
//
// Every operation but createDirectoryPath opens a function trace; all run
// their bodies under the framework's two handlers (absorb), recording a
// foreign failure with the last system error, and answer false on failure.
// Searches are closed on every way out (CZELFindHandle).
#include "zel_directory.h"

#include "zel_catch.h"
#include "zel_dbllist.h"
#include "zel_fs_support.h"
#include "zel_function_trace.h"

#include "zelsys/kernel.h"
#include "zelsys/security.h"

static const ZEL_USHORT ZEL_SOURCE[] = u".\\zel_directory";
static const ZEL_USHORT ZEL_CLASS[] = u"CZELDirectory";

namespace {

template <class Body>
bool runOperation(const ZEL_USHORT *pszMethod, ZEL_ULONG ulLine, Body &&body) {
  return zelTracedAbsorb(ZEL_CLASS, pszMethod, ZEL_SOURCE, ulLine, CZELErrorSource::esLastError,
                         body);
}

bool endsWithBackslash(const CZELWCharString &strPath) {
  const ZEL_ULONG ulLength = strPath.getLength();
  return ulLength > 0 && strPath(ulLength - 1) == u'\\';
}

bool isDirectory(zelsys::DWORD dwAttributes) {
  return (dwAttributes & zelsys::FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Whether the file at the path has names besides this one, or cannot be
// asked. Its attributes are those of all its names, some maybe elsewhere.
bool hasOtherNames(const CZELWCharString &strPath) {
  constexpr zelsys::DWORD dwReadAttributes = 0x80; // FILE_READ_ATTRIBUTES
  constexpr zelsys::DWORD dwShareAll =
      zelsys::FILE_SHARE_READ | zelsys::FILE_SHARE_WRITE | zelsys::FILE_SHARE_DELETE;
  const zelsys::HANDLE hFile =
      zelsys::CreateFileW(zelPathText(strPath), dwReadAttributes, dwShareAll, nullptr,
                          zelsys::OPEN_EXISTING, zelsys::FILE_ATTRIBUTE_NORMAL, nullptr);
  if (hFile == zelsys::INVALID_HANDLE_VALUE)
    return true;
  zelsys::BY_HANDLE_FILE_INFORMATION info{};
  const bool bAsked = zelsys::GetFileInformationByHandle(hFile, &info) != zelsys::FALSE;
  zelsys::CloseHandle(hFile);
  return !bAsked || info.nNumberOfLinks != 1;
}

// Clears what keeps a file from being deleted (see removeAllFilesInDirectory);
// false when it must stay.
bool clearGuards(const CZELWCharString &strPath, zelsys::DWORD dwAttributes) {
  // Windows refuses to delete read-only files; hidden ones are cleared as
  // well so that nothing of the old state remains. A link keeps its hidden
  // flag, which guards nothing and may come from its name alone (on the
  // substitute); its read-only flag is its own, not what it points to.
  // The attributes of a file with other names are theirs too.
  const bool bLink = (dwAttributes & zelsys::FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  const zelsys::DWORD dwGuarded =
      zelsys::FILE_ATTRIBUTE_READONLY | (bLink ? 0 : zelsys::FILE_ATTRIBUTE_HIDDEN);
  if ((dwAttributes & dwGuarded) == 0)
    return true;
  if (!bLink && hasOtherNames(strPath))
    return (dwAttributes & zelsys::FILE_ATTRIBUTE_READONLY) == 0;
  return zelsys::SetFileAttributesW(zelPathText(strPath), zelsys::FILE_ATTRIBUTE_NORMAL) !=
         zelsys::FALSE;
}

} // namespace

// ---- Construction and copy -------------------------------------------------------

CZELDirectory::CZELDirectory() {
  CZELFunctionTrace trace(ZEL_CLASS, u"Default Constructor", ZEL_SOURCE, __LINE__);
  trace.setResult(true);
}

CZELDirectory::CZELDirectory(const CZELWCharString &strDirectory) {
  runOperation(u"Constructor", __LINE__, [&] {
    if (!setDirectoryName(strDirectory))
      throw CZELDirectoryInitException(ZEL_SOURCE, __LINE__, 1, true, false);
  });
}

CZELDirectory::CZELDirectory(const CZELDirectory &other) {
  runOperation(u"CZELDirectory", __LINE__, [&] { return setDirectoryName(other.m_strDirectory); });
}

CZELDirectory &CZELDirectory::operator=(const CZELDirectory &other) {
  runOperation(u"operator=", __LINE__,
               [&] { return this == &other || setDirectoryName(other.m_strDirectory); });
  return *this;
}

CZELDirectory::~CZELDirectory() {
  CZELFunctionTrace trace(ZEL_CLASS, u"Destructor", ZEL_SOURCE, __LINE__);
  trace.setResult(true);
}

bool CZELDirectory::setDirectoryName(const CZELWCharString &strDirectory) {
  return runOperation(u"setDirectoryName", __LINE__, [&] {
    m_strDirectory = strDirectory;
    return m_strDirectory == strDirectory;
  });
}

// ---- Questions ----------------------------------------------------------------------

bool CZELDirectory::isValidDirectory() {
  return runOperation(u"isValidDirectory", __LINE__,
                      [&] { return isValidWindowsDirectory(m_strDirectory); });
}

bool CZELDirectory::isValidWindowsDirectory(const CZELWCharString &strPath) {
  return runOperation(u"isValidWindowsDirectory", __LINE__,
                      [&] { return zelIsWindowsDirectory(strPath); });
}

template <class Visit>
void CZELDirectory::forEachEntry(const CZELWCharString &strPattern, Visit &&visit) {
  zelsys::WIN32_FIND_DATAW data{};
  CZELFindHandle search(strPattern, data);
  if (!search.found())
    return;
  do {
    if (!visit(static_cast<const ZEL_USHORT *>(data.cFileName), data.dwFileAttributes))
      return;
  } while (search.next());
}

CZELWCharString CZELDirectory::entryPath(const ZEL_USHORT *pszEntry) const {
  return endsWithBackslash(m_strDirectory) ? m_strDirectory + pszEntry
                                           : m_strDirectory + u"\\" + pszEntry;
}

CZELWCharString CZELDirectory::listingPattern() const {
  return endsWithBackslash(m_strDirectory) ? m_strDirectory + u"*" : m_strDirectory + u"\\*";
}

bool CZELDirectory::isEmpty() {
  return runOperation(u"isEmpty", __LINE__, [&] {
    bool bEmpty = true;
    forEachEntry(m_strDirectory + u"\\*", [&](const ZEL_USHORT *pszEntry, zelsys::DWORD) {
      const zelsys::DWORD dwAttributes =
          zelsys::GetFileAttributesW(zelPathText(m_strDirectory + u"\\" + pszEntry));
      if (dwAttributes == zelsys::INVALID_FILE_ATTRIBUTES || zelIsDotEntry(pszEntry) ||
          isDirectory(dwAttributes))
        return true;
      bEmpty = false;
      return false;
    });
    return bEmpty;
  });
}

bool CZELDirectory::enumerateFiles(CZELWCharStringList &list, bool bFullPath) {
  return runOperation(u"enumerateFiles", __LINE__, [&] {
    bool bListed = true;
    forEachEntry(listingPattern(), [&](const ZEL_USHORT *pszEntry, zelsys::DWORD dwAttributes) {
      if (isDirectory(dwAttributes))
        return true;
      return bListed = list.add(bFullPath ? entryPath(pszEntry) : CZELWCharString(pszEntry));
    });
    return bListed;
  });
}

bool CZELDirectory::enumerateSubDirectories(CZELWCharStringList &list, bool bFullPath,
                                            bool bKeepDots) {
  return runOperation(u"enumerateSubDirectories", __LINE__, [&] {
    bool bListed = true;
    forEachEntry(listingPattern(), [&](const ZEL_USHORT *pszEntry, zelsys::DWORD dwAttributes) {
      if (!isDirectory(dwAttributes) || (zelIsDotEntry(pszEntry) && !bKeepDots))
        return true;
      return bListed = list.add(bFullPath ? entryPath(pszEntry) : CZELWCharString(pszEntry));
    });
    return bListed;
  });
}

bool CZELDirectory::removeAllFilesInDirectory() {
  return runOperation(u"removeAllFilesInDirectory", __LINE__, [&] {
    ZEL_ULONG ulAttempts = 0;
    ZEL_ULONG ulDeleted = 0;
    forEachEntry(m_strDirectory + u"\\*", [&](const ZEL_USHORT *pszEntry, zelsys::DWORD) {
      const CZELWCharString path = m_strDirectory + u"\\" + pszEntry;
      const zelsys::DWORD dwAttributes = zelsys::GetFileAttributesW(zelPathText(path));
      if (dwAttributes == zelsys::INVALID_FILE_ATTRIBUTES || zelIsDotEntry(pszEntry) ||
          isDirectory(dwAttributes))
        return true;
      if (!clearGuards(path, dwAttributes))
        return true; // not attempted, not counted
      ++ulAttempts;
      if (zelsys::DeleteFileW(zelPathText(path)))
        ++ulDeleted;
      return true;
    });
    return ulAttempts == ulDeleted;
  });
}

bool CZELDirectory::createDirectoryPath() {
  return zelAbsorb(ZEL_SOURCE, __LINE__, CZELErrorSource::esLastError, [&] {
    if (m_strDirectory.getLength() == 0 || isValidDirectory())
      return false;
    const CZELWCharString path =
        endsWithBackslash(m_strDirectory) ? m_strDirectory : m_strDirectory + u"\\";
    bool bCreated = false;
    // Each prefix ending at a "\", outermost first: C:\, C:\a\, C:\a\b\.
    for (ZEL_ULONG ulEnd = 0; ulEnd < path.getLength(); ++ulEnd) {
      if (path(ulEnd) != u'\\')
        continue;
      const CZELWCharString prefix(CZELBuffer<ZEL_USHORT>(path.getBuffer(), ulEnd + 1));
      if (zelIsWindowsDirectory(prefix))
        continue;
      if (!zelsys::CreateDirectoryW(zelPathText(prefix), nullptr))
        throw CZELCreateDirectoryException(zelPathText(prefix),
                                           static_cast<ZEL_LONG>(zelsys::GetLastError()),
                                           ZEL_SOURCE, __LINE__, 1, true, false);
      bCreated = true;
    }
    return bCreated;
  });
}
