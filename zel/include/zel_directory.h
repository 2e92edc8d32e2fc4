// zel_directory.h - CZELDirectory, one folder by name.
//
// Answers whether the folder exists or is empty and which files or
// subfolders it holds, creates the whole folder path and deletes the plain
// files it holds. It keeps no handle between calls; every operation answers
// with a boolean and lets nothing escape.
#pragma once

#include "zel_wchar_string.h"

class CZELDirectory {
public:
  CZELDirectory();
  explicit CZELDirectory(const CZELWCharString &strDirectory);
  CZELDirectory(const CZELDirectory &other);
  CZELDirectory &operator=(const CZELDirectory &other);
  ~CZELDirectory();

  bool setDirectoryName(const CZELWCharString &strDirectory);
  const CZELWCharString &getDirectoryName() const { return m_strDirectory; }

  bool isValidDirectory();
  static bool isValidWindowsDirectory(const CZELWCharString &strPath);
  // True when the folder holds no file (subfolders do not count); a folder
  // that cannot be searched counts as empty.
  bool isEmpty();
  // Appends each name found at the tail of the list (the full path when
  // bFullPath); nothing is removed from the list first.
  bool enumerateFiles(CZELWCharStringList &list, bool bFullPath);
  bool enumerateSubDirectories(CZELWCharStringList &list, bool bFullPath, bool bKeepDots);
  // Deletes the plain files of the folder, read-only and hidden ones too;
  // subfolders stay. A link is deleted as a name of its own, never what it
  // points to, and a link to a folder stays as a subfolder does. A
  // read-only file with other names stays, as one whose attributes cannot
  // be changed does: clearing them would clear them for its other names
  // too, which may lie outside the folder.
  bool removeAllFilesInDirectory();
  // Creates every missing level of the path, outermost first.
  bool createDirectoryPath();

private:
  // Calls visit(entry, bIsDirectory) for each entry of a search, until it
  // answers false.
  template <class Visit> void forEachEntry(const CZELWCharString &strPattern, Visit &&visit);
  CZELWCharString entryPath(const ZEL_USHORT *pszEntry) const;
  CZELWCharString listingPattern() const;

  CZELWCharString m_strDirectory;
};
