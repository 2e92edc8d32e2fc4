// zel_fs_support.cpp - the folder test and search patterns shared by
// CZELFile and CZELDirectory.
#include "zel_fs_support.h"

CZELWCharString zelFolderSearchPattern(const CZELWCharString &strPath) {
  const ZEL_ULONG ulLength = strPath.getLength();
  CZELWCharString pattern(strPath);
  if (ulLength > 0 && strPath(ulLength - 1) == u':')
    pattern += u"\\*";
  else if (ulLength > 0 && strPath(ulLength - 1) == u'\\')
    pattern += u"*";
  return pattern;
}

bool zelIsWindowsDirectory(const CZELWCharString &strPath) {
  zelsys::WIN32_FIND_DATAW data{};
  const CZELFindHandle search(zelFolderSearchPattern(strPath), data);
  if (!search.found())
    return false;
  const zelsys::DWORD dwAttributes = zelsys::GetFileAttributesW(zelPathText(strPath));
  return dwAttributes != zelsys::INVALID_FILE_ATTRIBUTES &&
         (dwAttributes & zelsys::FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool zelIsDotEntry(const ZEL_USHORT *pszName) {
  return pszName[0] == u'.' && (pszName[1] == u'\0' || (pszName[1] == u'.' && pszName[2] == 0));
}
