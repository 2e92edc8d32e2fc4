// zel_registry_file.h - CZELRegistryFile, a registry key and its subtree as
// a profile (INI) text file.
//
// One section per key, named by the root's name and the key's path; one
// entry per named value of the five text-representable types, its text a
// type tag followed by the data. Export writes the file entry by entry
// through CZELIni, import restores every section of it wherever it points.
// Neither operation throws: single write failures are logged by the class
// that writes and the operation goes on; anything unexpected is logged as an
// unhandled exception and ends it.
#pragma once

#include "zel_wchar_string.h"

#include "zelsys/registry.h"

class CZELRegistryKey;

class CZELRegistryFile {
public:
  explicit CZELRegistryFile(const CZELWCharString &szFileName);
  CZELRegistryFile(const CZELRegistryFile &other);
  CZELRegistryFile &operator=(const CZELRegistryFile &other);

  bool operator==(const CZELRegistryFile &other) const;
  bool operator!=(const CZELRegistryFile &other) const { return !(*this == other); }

  const CZELWCharString &getFileName() const { return m_szFileName; }

  // Writes the key with its subtree; bOverwrite deletes the file first,
  // otherwise existing sections and entries stay and same-named entries
  // are replaced where they stand. True when every entry was written.
  bool exportKey(zelsys::HKEY hKeyRoot, const CZELWCharString &szSubKey, bool bOverwrite);
  // The same for a key object's root and whole path.
  bool exportKey(const CZELRegistryKey &key, bool bOverwrite);
  // Restores every section of the file; a missing or empty file restores
  // nothing and still succeeds. False only when something unexpected ended
  // the import.
  bool importKey();

private:
  CZELWCharString m_szFileName;
};
