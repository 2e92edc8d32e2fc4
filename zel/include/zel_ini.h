// zel_ini.h - CZELIni, one profile (INI) file by name.
//
// Reads section names, whole sections, single strings and numbers, writes
// strings and numbers and empties a section, each through one profile call
// of the system. Every operation answers with a boolean and lets nothing
// escape: write failures are written as log entries and give false; the
// reads other than getProfileInt report failure by their result alone. An
// empty string stands for a null name or value.
#pragma once

#include "zel_dbllist.h"
#include "zel_wchar_string.h"

typedef CZELDblList<CZELObjNode<CZELWCharString>, CZELWCharString> CZELIniLineList;

class CZELIni {
public:
  // A name without a folder names a file in the Windows folder.
  explicit CZELIni(CZELWCharString szFileName);
  CZELIni(const CZELIni &other);
  CZELIni &operator=(const CZELIni &other);
  virtual ~CZELIni();

  const CZELWCharString &getFileName() const { return m_szFileName; }

  // Leaves the section without entries: the profile call removes it whole.
  virtual bool createProfileSection(const CZELWCharString &szSection);
  // False for a missing entry and for one that reads as -1.
  virtual bool getProfileInt(const CZELWCharString &szSection, const CZELWCharString &szKeyName,
                             ZEL_LONG *pnValue);
  // The section's key "=" value lines in file order; false (the list left
  // as it was) for a missing or empty section and one too long to list.
  virtual bool getProfileSection(const CZELWCharString &szSection, CZELIniLineList &lines);
  virtual bool getProfileSectionNames(CZELIniLineList &names);
  // The same two lists whole, however long: the buffer grows until the
  // list fits, so that a big file is never read in part.
  bool getWholeProfileSection(const CZELWCharString &szSection, CZELIniLineList &lines);
  bool getWholeProfileSectionNames(CZELIniLineList &names);
  // At most 1,021 characters; a missing or empty entry, one holding
  // "Not Found" and a longer one give false.
  virtual bool getProfileString(const CZELWCharString &szSection, const CZELWCharString &szKeyName,
                                CZELWCharString &szValue);
  virtual bool setProfileInt(const CZELWCharString &szSection, const CZELWCharString &szKeyName,
                             ZEL_LONG nValue);
  // An empty key name removes the section, an empty value the entry.
  virtual bool setProfileString(const CZELWCharString &szSection, const CZELWCharString &szKeyName,
                                const CZELWCharString &szValue);

private:
  bool readSection(const CZELWCharString &szSection, CZELIniLineList &lines, bool bWhole);
  bool readSectionNames(CZELIniLineList &names, bool bWhole);

  CZELWCharString m_szFileName;
};
