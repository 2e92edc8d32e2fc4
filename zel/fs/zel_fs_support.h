// zel_fs_support.h - what the file and directory classes share: paths as the
// platform calls take them, the folder test both classes offer, and a find
// handle that is closed on every way out.
#pragma once

#include "zel_wchar_string.h"

#include "zelsys/files.h"
#include "zelsys/winconst.h"

// The terminated text of a path; an empty path is "" rather than null.
inline const ZEL_USHORT *zelPathText(const CZELWCharString &strPath) {
  return strPath.getBuffer() != nullptr ? strPath.getBuffer() : u"";
}

// A search by pattern, closed when it goes out of scope.
class CZELFindHandle {
public:
  CZELFindHandle(const CZELWCharString &strPattern, zelsys::WIN32_FIND_DATAW &rData)
      : m_hFind(zelsys::FindFirstFileW(zelPathText(strPattern), &rData)), m_rData(rData) {}
  ~CZELFindHandle() {
    if (found())
      zelsys::FindClose(m_hFind);
  }
  CZELFindHandle(const CZELFindHandle &) = delete;
  CZELFindHandle &operator=(const CZELFindHandle &) = delete;

  bool found() const { return m_hFind != zelsys::INVALID_HANDLE_VALUE; }
  bool next() { return zelsys::FindNextFileW(m_hFind, &m_rData) != zelsys::FALSE; }

private:
  zelsys::HANDLE m_hFind;
  zelsys::WIN32_FIND_DATAW &m_rData;
};

// The pattern that lists a folder's entries: "*" after a trailing "\"
// (drive roots "C:\" included), "\*" after a bare drive "C:", the path
// unchanged otherwise.
CZELWCharString zelFolderSearchPattern(const CZELWCharString &strPath);

// Whether the path names an existing folder: its search pattern finds
// something and its attributes say directory.
bool zelIsWindowsDirectory(const CZELWCharString &strPath);

// "." and "..", which every search of a folder but a drive root reports.
bool zelIsDotEntry(const ZEL_USHORT *pszName);
