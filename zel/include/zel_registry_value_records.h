// zel_registry_value_records.h - the name/data records the typed registry
// value classes fill when they list every value of their type under a key,
// and the lists that hold them.
#pragma once

#include "zel_buffer.h"
#include "zel_dbllist.h"
#include "zel_wchar_string.h"

// The four records share one shape: the value's name and its data, equal
// when both are equal. The ordering (by name unit by unit, then by data)
// only serves the list nodes that hold records.
template <class Data> class CZELRegistryNamedData {
public:
  CZELRegistryNamedData(const CZELWCharString &szValueName, const Data &data);

  bool operator==(const CZELRegistryNamedData &other) const;
  bool operator!=(const CZELRegistryNamedData &other) const { return !(*this == other); }
  bool operator<(const CZELRegistryNamedData &other) const { return compare(other) < 0; }
  bool operator>(const CZELRegistryNamedData &other) const { return compare(other) > 0; }

  const CZELWCharString &getValueName() const { return m_szValueName; }
  const Data &getData() const { return m_data; }

private:
  int compare(const CZELRegistryNamedData &other) const;

  CZELWCharString m_szValueName;
  Data m_data;
};

extern template class CZELRegistryNamedData<ZEL_ULONG>;
extern template class CZELRegistryNamedData<CZELWCharString>;
extern template class CZELRegistryNamedData<CZELWCharStringList>;
extern template class CZELRegistryNamedData<CZELBuffer<ZEL_BYTE>>;

// A REG_DWORD value.
class CZELRegistryDwordValue : public CZELRegistryNamedData<ZEL_ULONG> {
public:
  using CZELRegistryNamedData::CZELRegistryNamedData;
};

// A REG_SZ or REG_EXPAND_SZ value.
class CZELRegistryStringValue : public CZELRegistryNamedData<CZELWCharString> {
public:
  using CZELRegistryNamedData::CZELRegistryNamedData;
};

// A REG_MULTI_SZ value: its strings in order.
class CZELRegistryMultiStringValue : public CZELRegistryNamedData<CZELWCharStringList> {
public:
  using CZELRegistryNamedData::CZELRegistryNamedData;
};

// A REG_BINARY value.
class CZELRegistryBinaryValue : public CZELRegistryNamedData<CZELBuffer<ZEL_BYTE>> {
public:
  using CZELRegistryNamedData::CZELRegistryNamedData;
};

// Each node owns a copy of its record.
typedef CZELDblList<CZELObjNode<CZELRegistryDwordValue>, CZELRegistryDwordValue>
    CZELRegistryDwordValueList;
typedef CZELDblList<CZELObjNode<CZELRegistryStringValue>, CZELRegistryStringValue>
    CZELRegistryStringValueList;
typedef CZELDblList<CZELObjNode<CZELRegistryMultiStringValue>, CZELRegistryMultiStringValue>
    CZELRegistryMultiStringValueList;
typedef CZELDblList<CZELObjNode<CZELRegistryBinaryValue>, CZELRegistryBinaryValue>
    CZELRegistryBinaryValueList;
