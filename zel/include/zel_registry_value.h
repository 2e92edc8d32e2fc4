// zel_registry_value.h - CZELRegistryValue, one named value under one key,
// the base of the typed value classes.
//
// A value object is a key object plus a value name: every key operation
// acts on its key. Each typed class holds a cached copy of the value's data,
// reads it with readRegistry and writes it with writeRegistry; both open the
// key when it is closed and close it before returning. As for the key,
// failures are logged once and give false; only the constructors throw
// (CZELRegKeyInitException, from the key part).
#pragma once

#include "zel_registry_key.h"

class CZELRegistryValue : public CZELRegistryKey {
public:
  // An empty szValueName names the key's default value.
  CZELRegistryValue(zelsys::HKEY hKeyRoot, const CZELWCharString &szSubKey,
                    const CZELWCharString &szValueName,
                    zelsys::REGSAM samDesired = zelsys::KEY_ALL_ACCESS, bool bCreate = false,
                    ZEL_ULONG dwOptions = zelsys::REG_OPTION_NON_VOLATILE);
  // The copy starts closed; value name, cache and its validity are copied.
  CZELRegistryValue(const CZELRegistryValue &other);
  CZELRegistryValue &operator=(const CZELRegistryValue &other);

  const CZELWCharString &getValueName() const { return m_szValueName; }

  // Deletes the value; a missing value is a failure (logged).
  bool deleteRegistryValue();
  // The value's registry type; 0 when it is not found. The default value is
  // never found, since the key's listing leaves it out.
  ZEL_ULONG getValueType();

  // Reads the value into the cache. A missing value is written as the
  // type's empty value when the create flag is set. The stored type is not
  // checked: the data is taken as the class's type.
  virtual bool readRegistry() = 0;
  // Writes the cache as the class's type.
  virtual bool writeRegistry() = 0;

protected:
  // The name as the system calls and the messages take it: null for the
  // default value.
  const ZEL_USHORT *getValueNamePath() const { return m_szValueName.getBuffer(); }

  // The frame every typed readRegistry shares: opens the key when closed,
  // runs query (which reads from the open key, takes the data into the
  // cache when the system reports success and returns the system's code),
  // writes the empty value through writeEmpty when the value is missing and
  // the create flag is set, and closes the key. Defined for the typed
  // classes' sources only.
  template <class Query, class WriteEmpty>
  bool readFrame(const ZEL_USHORT *pszSourceFile, const ZEL_USHORT *pszClass, ZEL_ULONG ulLine,
                 Query &&query, WriteEmpty &&writeEmpty);
  // The frame every writeRegistry shares: encode turns the cache into the
  // bytes to store (false, or a throw, and nothing is written); then the
  // key is opened when closed, the bytes are stored as dwType, the cache
  // counts as valid, and the key is closed.
  template <class Encode>
  bool writeFrame(const ZEL_USHORT *pszSourceFile, const ZEL_USHORT *pszClass, ZEL_ULONG ulLine,
                  ZEL_ULONG dwType, Encode &&encode);
  // The typed get's first step: a valid cache answers when bUseCache is
  // set, otherwise the value is read.
  bool refreshCache(bool bUseCache) { return (bUseCache && m_bCacheValid) || readRegistry(); }
  // The typed set's last step, after the cache has changed.
  bool commitCache(bool bDeferWrite) { return bDeferWrite || writeRegistry(); }
  // Reads into pData (null asks for the size only) on the current handle.
  zelsys::LSTATUS queryValue(ZEL_BYTE *pData, zelsys::DWORD &rcbData) const;

  CZELWCharString m_szValueName;
  // Set by a successful write (and by the reads that validate); a deferred
  // set leaves it as it is.
  bool m_bCacheValid;

private:
  // Stores data as dwType on the open key; a refusal throws
  // CZELRegValueSetException.
  void storeValue(const ZEL_USHORT *pszSourceFile, const ZEL_USHORT *pszClass, ZEL_ULONG ulLine,
                  ZEL_ULONG dwType, const CZELBuffer<ZEL_BYTE> &data);
};
