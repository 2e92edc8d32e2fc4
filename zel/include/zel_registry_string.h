// zel_registry_string.h - CZELRegistryString, a REG_SZ value with a cached
// text.
#pragma once

#include "zel_registry_value.h"
#include "zel_registry_value_records.h"

class CZELRegistryString : public CZELRegistryValue {
public:
  // The most a read takes: 260 characters, terminator included.
  static constexpr ZEL_ULONG MAX_READ_BYTES = 520;

  CZELRegistryString(zelsys::HKEY hKeyRoot, const CZELWCharString &szSubKey,
                     const CZELWCharString &szValueName,
                     zelsys::REGSAM samDesired = zelsys::KEY_ALL_ACCESS, bool bCreate = false,
                     ZEL_ULONG dwOptions = zelsys::REG_OPTION_NON_VOLATILE);

  // Values longer than MAX_READ_BYTES fail. A missing value is written as
  // the empty string when the create flag is set. A successful read does
  // not validate the cache: only a write does.
  bool readRegistry() override;
  // The text and its terminator; the empty string as zero bytes.
  bool writeRegistry() override;

  bool getRegistryString(CZELWCharString &szValue, bool bUseCache);
  bool setRegistryString(const CZELWCharString &szValue, bool bDeferWrite);
  // Appends every REG_SZ value of the key to list (which is not emptied
  // first); false when the key has no named values.
  bool enumAllValueNamesAndValues(CZELRegistryStringValueList &list);

protected:
  // writeRegistry for dwType.
  bool writeString(const ZEL_USHORT *pszSourceFile, const ZEL_USHORT *pszClass, ZEL_ULONG ulLine,
                   ZEL_ULONG dwType);
  // Every value of dwType as a text record, added to list.
  bool listStrings(CZELRegistryStringValueList &list, ZEL_ULONG dwType, bool bExpand);

  CZELWCharString m_szRegStringCache;
};
