// zel_registry_valent.cpp - CZELRegistryValent, one registry value as a
// record of name, raw data and type.
//
// The record owns copies of everything it is given; an entry of a
// multiple-value query points into the query's buffer, which does not
// outlive the query.
#include "zel_registry_valent.h"

namespace {

// Unit-by-unit order of two texts of any lengths; a prefix comes first.
int compareText(const CZELWCharString &a, const CZELWCharString &b) {
  const ZEL_ULONG ulA = a.getLength();
  const ZEL_ULONG ulB = b.getLength();
  for (ZEL_ULONG i = 0; i < ulA && i < ulB; ++i)
    if (a(i) != b(i))
      return a(i) < b(i) ? -1 : 1;
  return ulA == ulB ? 0 : (ulA < ulB ? -1 : 1);
}

int compareBytes(const CZELBuffer<ZEL_BYTE> &a, const CZELBuffer<ZEL_BYTE> &b) {
  const ZEL_ULONG ulA = a.getSize();
  const ZEL_ULONG ulB = b.getSize();
  for (ZEL_ULONG i = 0; i < ulA && i < ulB; ++i)
    if (a(i) != b(i))
      return a(i) < b(i) ? -1 : 1;
  return ulA == ulB ? 0 : (ulA < ulB ? -1 : 1);
}

int compareRecords(const CZELRegistryValent &a, const CZELRegistryValent &b) {
  if (const int iName = compareText(a.getValueName(), b.getValueName()); iName != 0)
    return iName;
  if (a.getType() != b.getType())
    return a.getType() < b.getType() ? -1 : 1;
  return compareBytes(a.getData(), b.getData());
}

} // namespace

CZELRegistryValent::CZELRegistryValent(const zelsys::VALENTW *pValent)
    : m_szValueName(pValent != nullptr ? pValent->ve_valuename : nullptr),
      // Data without a pointer stays empty rather than becoming zeros.
      m_data(pValent != nullptr && pValent->ve_valueptr != 0
                 ? reinterpret_cast<const ZEL_BYTE *>(pValent->ve_valueptr)
                 : nullptr,
             pValent != nullptr && pValent->ve_valueptr != 0 ? pValent->ve_valuelen : 0),
      m_dwType(pValent != nullptr ? pValent->ve_type : zelsys::DWORD{0}) {}

CZELRegistryValent::CZELRegistryValent(const CZELWCharString &szValueName,
                                       const CZELBuffer<ZEL_BYTE> &data, ZEL_ULONG dwType)
    : m_szValueName(szValueName), m_data(data), m_dwType(dwType) {}

CZELRegistryValent::CZELRegistryValent(const CZELRegistryValent &other)
    : m_szValueName(other.m_szValueName), m_data(other.m_data), m_dwType(other.m_dwType) {}

CZELRegistryValent &CZELRegistryValent::operator=(const CZELRegistryValent &other) {
  if (&other != this) {
    m_szValueName = other.m_szValueName;
    m_data = other.m_data;
    m_dwType = other.m_dwType;
  }
  return *this;
}

bool CZELRegistryValent::operator==(const CZELRegistryValent &other) const {
  return m_dwType == other.m_dwType && m_szValueName == other.m_szValueName &&
         compareBytes(m_data, other.m_data) == 0;
}

bool CZELRegistryValent::operator!=(const CZELRegistryValent &other) const {
  return !(*this == other);
}

bool CZELRegistryValent::operator<(const CZELRegistryValent &other) const {
  return compareRecords(*this, other) < 0;
}

bool CZELRegistryValent::operator>(const CZELRegistryValent &other) const {
  return compareRecords(*this, other) > 0;
}
