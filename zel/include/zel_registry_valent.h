// zel_registry_valent.h - CZELRegistryValent, one registry value as a record:
// name, raw data and type, as the key's enumAllValues returns them.
#pragma once

#include "zel_buffer.h"
#include "zel_dbllist.h"
#include "zel_wchar_string.h"

#include "zelsys/registry.h"

class CZELRegistryValent {
public:
  // From one entry of a multiple-value query: the name, the type and a copy
  // of the entry's data bytes. A null entry gives an empty name, empty data
  // and type 0 (REG_NONE).
  explicit CZELRegistryValent(const zelsys::VALENTW *pValent = nullptr);
  CZELRegistryValent(const CZELWCharString &szValueName, const CZELBuffer<ZEL_BYTE> &data,
                     ZEL_ULONG dwType);
  CZELRegistryValent(const CZELRegistryValent &other);
  CZELRegistryValent &operator=(const CZELRegistryValent &other);

  // Equal types, equal names (the string's operator==) and the same bytes.
  bool operator==(const CZELRegistryValent &other) const;
  bool operator!=(const CZELRegistryValent &other) const;
  // An order for the list nodes that hold records: by name unit by unit,
  // then by type, then by data.
  bool operator<(const CZELRegistryValent &other) const;
  bool operator>(const CZELRegistryValent &other) const;

  const CZELWCharString &getValueName() const { return m_szValueName; }
  const CZELBuffer<ZEL_BYTE> &getData() const { return m_data; }
  ZEL_ULONG getType() const { return m_dwType; }

private:
  CZELWCharString m_szValueName;
  CZELBuffer<ZEL_BYTE> m_data;
  ZEL_ULONG m_dwType;
};

// Each node owns a copy of its record.
typedef CZELDblList<CZELObjNode<CZELRegistryValent>, CZELRegistryValent> CZELRegistryValentList;
