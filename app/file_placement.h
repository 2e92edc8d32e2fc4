// file_placement.h - putting files in place inside folders users control.
//
// The patch runs as an administrator inside every user's profile, which its
// user controls and may change while the patch runs. So it holds each
// folder open and acts only on names inside a held folder, never through a
// link (zelsys/filesbelow.h); new content is written beside its target
// under a name of this run and put in place in one step, keeping the old
// file's identity, so a target is never missing, not even after a kill.
#pragma once

#include "zel_types.h"
#include "zel_wchar_string.h"

#include "zelsys/wintypes.h"

#include <vector>

using CPatchBytes = std::vector<ZEL_BYTE>;

// A folder held open, closed with the object. Invalid when it could not be
// opened (the system error is then in error()).
class CHeldFolder {
public:
  // The folder at a full path, which administrators control.
  explicit CHeldFolder(const CZELWCharString &strPath);
  // The folder strName inside parent, never through a link.
  CHeldFolder(const CHeldFolder &parent, const CZELWCharString &strName);
  ~CHeldFolder();
  CHeldFolder(const CHeldFolder &) = delete;
  CHeldFolder &operator=(const CHeldFolder &) = delete;

  bool isValid() const;
  zelsys::HANDLE get() const { return m_hFolder; }
  // The folder's path as it was reached, ending with "\": for messages and
  // for listing names, never for acting on them.
  const CZELWCharString &getPath() const { return m_strPath; }
  zelsys::DWORD error() const { return m_dwError; }

private:
  zelsys::HANDLE m_hFolder;
  CZELWCharString m_strPath;
  zelsys::DWORD m_dwError;
};

// The whole content of an open file; a file of 2 GiB or more fails with
// ERROR_FILE_TOO_LARGE and is not read. A Win32 error.
zelsys::DWORD readWholeFile(zelsys::HANDLE hFile, CPatchBytes &bytes);

// Reads strName in folder, which must be a plain file with one name (a
// link, or a file with names elsewhere, is refused). A Win32 error;
// ERROR_FILE_NOT_FOUND when there is none.
zelsys::DWORD readFileBelow(const CHeldFolder &folder, const CZELWCharString &strName,
                            CPatchBytes &bytes);

// Makes strName in folder hold bytes: they are written beside it and put in
// its place in one step, with the old file's attributes, owner and access
// list, and with bBackup a copy of the old file as strName + ".bak". Copies
// left by an earlier, interrupted run go first. A Win32 error.
zelsys::DWORD placeFileBelow(const CHeldFolder &folder, const CZELWCharString &strName,
                             const CPatchBytes &bytes, bool bBackup);
