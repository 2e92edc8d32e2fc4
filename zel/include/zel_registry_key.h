// zel_registry_key.h - CZELRegistryKey, one key of the registry named by a
// root and a sub-key path, with every key-level operation.
//
// A key object is a name, not an open handle: each operation opens the key
// itself and closes it again before returning, except open and enumSubKeys,
// which leave it open. The path may name a key at any depth the registry
// holds. Copies never share a handle. Operations never throw:
// a failing call is logged once and gives false. Only the constructors
// throw (CZELRegKeyInitException). A key object belongs to one thread.
#pragma once

#include "zel_dbllist.h"
#include "zel_registry_valent.h"
#include "zel_wchar_string.h"

#include "zelsys/registry.h"
#include "zelsys/winconst.h"

class CZELRegistryKey {
public:
  // exportKey's format and importKey's flags value that select the text
  // format; any other value selects the system's hive format (for importKey
  // the value is then passed on as the restore flags).
  static constexpr ZEL_ULONG EXPORT_TEXT_FORMAT = 8;
  static constexpr ZEL_ULONG IMPORT_TEXT_FORMAT = 16;

  // Null root, empty path, KEY_ALL_ACCESS, options 0, no create flag.
  CZELRegistryKey();
  // An empty szSubKey names the root key itself. With bCreate, a key found
  // missing on opening is created.
  CZELRegistryKey(zelsys::HKEY hKeyRoot, const CZELWCharString &szSubKey,
                  zelsys::REGSAM samDesired = zelsys::KEY_ALL_ACCESS, bool bCreate = false,
                  ZEL_ULONG dwOptions = zelsys::REG_OPTION_NON_VOLATILE);
  // The copy starts closed.
  CZELRegistryKey(const CZELRegistryKey &other);
  // Closes this key if open, then copies root, path, access mask, options
  // and create flag; the result is closed.
  CZELRegistryKey &operator=(const CZELRegistryKey &other);
  // Virtual, unlike the class's original design: the value classes derive
  // from it, and one deleted through a key pointer must still close its key.
  virtual ~CZELRegistryKey();

  // Root, access mask, options and path; the create flag and the open state
  // do not count.
  bool operator==(const CZELRegistryKey &other) const;
  bool operator!=(const CZELRegistryKey &other) const;

  // Each closes the key first if it is open.
  void setKeyRoot(zelsys::HKEY hKeyRoot);
  void setSubKey(const CZELWCharString &szSubKey);
  void setRegSam(zelsys::REGSAM samDesired);
  void setOptions(ZEL_ULONG dwOptions);

  zelsys::HKEY getKeyRoot() const { return m_hKeyRoot; }
  const CZELWCharString &getSubKey() const { return m_szSubKey; }
  zelsys::HKEY getKeyHandle() const { return m_hKey; }
  bool isOpen() const { return m_bOpen; }

  // ---- Key operations ------------------------------------------------------
  // Opens the key (creating it first when missing and the create flag is
  // set) and leaves it open. A key that exists but may not be opened with
  // the access mask still counts as open: later calls on it fail instead.
  bool open();
  // Closes the key if open; on failure the key stays open.
  bool close();
  // Creates the key (an existing one is simply opened), then closes it.
  bool create();
  // Deletes the key in the registry view its access mask names (or the
  // program's own); with bRecursive all its descendants too. A missing key
  // counts as deleted; a partly deleted tree is a failure.
  bool remove(bool bRecursive);
  // Copies all values and sub-keys of source into this key, overwriting
  // values of the same name and keeping everything else.
  bool copy(CZELRegistryKey &source);
  // Copies this key into destination, then deletes this key's tree.
  bool move(CZELRegistryKey &destination);

  // ---- Virtual slots (the value classes append readRegistry and
  // writeRegistry) ------------------------------------------------------------
  // Whether open succeeds (so with the create flag the key is created).
  virtual bool doesRegistryKeyExist();
  // Saves the key and its subtree to a file, in the text format
  // (EXPORT_TEXT_FORMAT) or the system's hive format; bOverwrite replaces
  // an existing file, which the hive format otherwise refuses.
  virtual bool exportKey(const CZELWCharString &szExportFileName, ZEL_ULONG dwFormat,
                         bool bOverwrite);
  // Loads a file into the key: the text format (IMPORT_TEXT_FORMAT) or the
  // system's hive format with dwFlags as the restore flags.
  virtual bool importKey(const CZELWCharString &szImportFileName, ZEL_ULONG dwFlags);

  // ---- Enumeration -----------------------------------------------------------
  // Makes child the sub-key at dwIndex (same root, access mask and options,
  // no create flag); false past the last index. Leaves this key open so
  // that a walk over the indexes does not reopen it each time.
  bool enumSubKeys(CZELRegistryKey &child, ZEL_ULONG dwIndex);
  // The names of all sub-keys, item data index + 1.
  bool enumAllSubKeys(CZELWCharStringList &names);
  // The name of the value at dwIndex; past the last index the result is
  // true with an empty name (as it is for the default value).
  bool enumValueNames(CZELWCharString &szName, ZEL_ULONG dwIndex);
  // The names of all named values (the default value is left out); false
  // when there are none.
  bool enumAllValueNames(CZELWCharStringList &names);
  // Every named value with its type and data, item data the position; false
  // when there are none, leaving list as it was.
  bool enumAllValues(CZELRegistryValentList &list);

  // ---- Names and key information ---------------------------------------------
  // The whole path, or its last component (false for a path without "\").
  bool getSubKeyName(CZELWCharString &szName, bool bFullPath) const;
  bool getClass(CZELWCharString &szClassName);
  // One figure of the key's information record each; lengths in characters
  // without terminator, except getMaxValueLength in bytes. The out
  // parameter is written only on success.
  bool getMaxClassLength(ZEL_ULONG &rulLength);
  bool getMaxSubKeyLength(ZEL_ULONG &rulLength);
  bool getMaxValueNameLength(ZEL_ULONG &rulLength);
  bool getMaxValueLength(ZEL_ULONG &rulLength);
  bool getNumSubKeys(ZEL_ULONG &rulCount);
  bool getNumValues(ZEL_ULONG &rulCount);

protected:
  // The path as the system calls and the messages take it: null for the
  // root itself (the messages then print "Unknown").
  const ZEL_USHORT *getSubKeyPath() const { return m_szSubKey.getBuffer(); }

  CZELWCharString m_szSubKey;
  zelsys::REGSAM m_samDesired;
  ZEL_ULONG m_dwOptions;
  zelsys::HKEY m_hKey;
  bool m_bCreate;
  bool m_bOpen;
  zelsys::HKEY m_hKeyRoot;

private:
  // Opens the key unless it is open already (no warning then).
  bool ensureOpen();
  enum class InfoFigure { maxClass, maxSubKey, maxValueName, maxValue, numSubKeys, numValues };
  // One figure of the key's information record.
  bool queryInfoFigure(InfoFigure eFigure, ZEL_ULONG &rulValue, const ZEL_USHORT *pszMethod);
};
