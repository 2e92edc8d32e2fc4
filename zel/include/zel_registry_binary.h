// zel_registry_binary.h - CZELRegistryBinary, a REG_BINARY value with cached
// bytes.
#pragma once

#include "zel_registry_value.h"
#include "zel_registry_value_records.h"

class CZELRegistryBinary : public CZELRegistryValue {
public:
  CZELRegistryBinary(zelsys::HKEY hKeyRoot, const CZELWCharString &szSubKey,
                     const CZELWCharString &szValueName,
                     zelsys::REGSAM samDesired = zelsys::KEY_ALL_ACCESS, bool bCreate = false,
                     ZEL_ULONG dwOptions = zelsys::REG_OPTION_NON_VOLATILE);

  // Reads exactly as many bytes as the value holds. A missing value is
  // written as zero bytes when the create flag is set.
  bool readRegistry() override;
  bool writeRegistry() override;

  bool getRegistryBinary(CZELBuffer<ZEL_BYTE> &data, bool bUseCache);
  bool setRegistryBinary(const CZELBuffer<ZEL_BYTE> &data, bool bDeferWrite);
  // The cache's byte count, or the stored value's as the key's current
  // handle reports it (the key is not opened: 0 when it is closed, and 0 on
  // any error).
  ZEL_ULONG getBinaryDataSize(bool bFromCache) const;
  // Every REG_BINARY value of the key; false when the key has no named values.
  bool enumAllValueNamesAndValues(CZELRegistryBinaryValueList &list);

private:
  CZELBuffer<ZEL_BYTE> m_RegBinaryCache;
};
