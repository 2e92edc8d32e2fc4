// zel_registry_dword.h - CZELRegistryDword, a REG_DWORD value with a cached
// 32-bit number.
#pragma once

#include "zel_registry_value.h"
#include "zel_registry_value_records.h"

class CZELRegistryDword : public CZELRegistryValue {
public:
  CZELRegistryDword(zelsys::HKEY hKeyRoot, const CZELWCharString &szSubKey,
                    const CZELWCharString &szValueName,
                    zelsys::REGSAM samDesired = zelsys::KEY_ALL_ACCESS, bool bCreate = false,
                    ZEL_ULONG dwOptions = zelsys::REG_OPTION_NON_VOLATILE);

  // A missing value is written as 0 when the create flag is set. Data longer
  // than 4 bytes fails; shorter data replaces only its own bytes of the
  // cache (little-endian).
  bool readRegistry() override;
  bool writeRegistry() override;

  // On success the number is stored at pdwValue (a null pointer is refused).
  bool getRegistryDword(ZEL_ULONG *pdwValue, bool bUseCache);
  bool setRegistryDword(ZEL_ULONG dwValue, bool bDeferWrite);
  // Every REG_DWORD value of the key; false when the key has no named values.
  bool enumAllValueNamesAndValues(CZELRegistryDwordValueList &list);

private:
  ZEL_ULONG m_dwRegDwordCache;
};
