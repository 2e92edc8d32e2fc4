// zel_registry_value_private.h - what the registry value sources share: the
// frame of every readRegistry, the listing of a key's values by type, and
// the conversions between stored bytes and UTF-16 units.
//
// Stored text is UTF-16 little-endian whatever the host's byte order, so
// the conversions move bytes explicitly instead of reinterpreting memory.
#pragma once

#include "zel_catch.h"
#include "zel_function_trace.h"
#include "zel_registry_value.h"

#include <utility>

// ---- Bytes and units -------------------------------------------------------------

// The units of ulCount little-endian bytes; an odd last byte makes one more
// unit (its high byte zero).
inline CZELBuffer<ZEL_USHORT> unitsFromBytes(const ZEL_BYTE *pBytes, ZEL_ULONG ulCount) {
  CZELBuffer<ZEL_USHORT> units(ulCount / 2 + ulCount % 2);
  for (ZEL_ULONG i = 0; i < ulCount; ++i) {
    const ZEL_USHORT usPart = static_cast<ZEL_USHORT>(i % 2 == 0 ? pBytes[i] : pBytes[i] << 8);
    units[i / 2] = static_cast<ZEL_USHORT>(units[i / 2] | usPart);
  }
  return units;
}

inline CZELBuffer<ZEL_USHORT> unitsFromBytes(const CZELBuffer<ZEL_BYTE> &bytes) {
  return unitsFromBytes(bytes.getBuffer(), bytes.getSize());
}

// ulCount units as little-endian bytes.
inline CZELBuffer<ZEL_BYTE> bytesFromUnits(const ZEL_USHORT *pUnits, ZEL_ULONG ulCount) {
  CZELBuffer<ZEL_BYTE> bytes(ulCount * 2);
  for (ZEL_ULONG i = 0; i < ulCount; ++i) {
    bytes[2 * i] = static_cast<ZEL_BYTE>(pUnits[i] & 0xFF);
    bytes[2 * i + 1] = static_cast<ZEL_BYTE>(pUnits[i] >> 8);
  }
  return bytes;
}

// Stored text as a string: its units up to the first zero unit.
inline CZELWCharString textFromBytes(const CZELBuffer<ZEL_BYTE> &bytes) {
  return CZELWCharString(unitsFromBytes(bytes));
}

// ---- Operations --------------------------------------------------------------------

// Runs an operation's body under the catch sites, inside its (compiled-out)
// trace. Foreign exceptions record the thread's last system error.
template <class Body>
bool runValueOperation(const ZEL_USHORT *pszSourceFile, const ZEL_USHORT *pszClass,
                       const ZEL_USHORT *pszMethod, ZEL_ULONG ulLine, Body &&body) {
  CZELNullTrace trace(pszClass, pszMethod, pszSourceFile, ulLine);
  const bool bResult =
      zelAbsorb(pszSourceFile, ulLine, CZELErrorSource::esLastError, std::forward<Body>(body));
  trace.setResult(bResult);
  return bResult;
}

template <class Query, class WriteEmpty>
bool CZELRegistryValue::readFrame(const ZEL_USHORT *pszSourceFile, const ZEL_USHORT *pszClass,
                                  ZEL_ULONG ulLine, Query &&query, WriteEmpty &&writeEmpty) {
  const bool bResult = runValueOperation(pszSourceFile, pszClass, u"readRegistry", ulLine, [&] {
    if (!isOpen())
      open();
    if (!isOpen())
      return false;
    const zelsys::LSTATUS lResult = query();
    if (lResult == static_cast<zelsys::LSTATUS>(zelsys::ERROR_FILE_NOT_FOUND) && m_bCreate)
      return static_cast<bool>(writeEmpty());
    return lResult == static_cast<zelsys::LSTATUS>(zelsys::ERROR_SUCCESS);
  });
  close();
  return bResult;
}

template <class Encode>
bool CZELRegistryValue::writeFrame(const ZEL_USHORT *pszSourceFile, const ZEL_USHORT *pszClass,
                                   ZEL_ULONG ulLine, ZEL_ULONG dwType, Encode &&encode) {
  const bool bResult = runValueOperation(pszSourceFile, pszClass, u"writeRegistry", ulLine, [&] {
    CZELBuffer<ZEL_BYTE> data;
    if (!encode(data))
      return false;
    if (!isOpen())
      open();
    if (!isOpen())
      return false;
    storeValue(pszSourceFile, pszClass, ulLine, dwType, data);
    m_bCacheValid = true;
    return true;
  });
  close();
  return bResult;
}

// Adds a record made by make for every value of dwType under key, in the
// key's order, numbered 0, 1, 2, ... False when the key cannot list its
// values (also when it has no named values).
template <class List, class Make>
bool listValuesOfType(CZELRegistryKey &key, List &list, ZEL_ULONG dwType, Make &&make) {
  CZELRegistryValentList valents;
  if (!key.enumAllValues(valents))
    return false;
  ZEL_ULONG ulItemData = 0;
  for (const CZELNode<CZELRegistryValent> *pNode = valents.begin().getCursorNode();
       pNode != nullptr; pNode = pNode->getNext()) {
    const CZELRegistryValent &valent = pNode->getItemRef();
    if (valent.getType() != dwType)
      continue;
    if (!list.add(make(valent), ulItemData++))
      return false;
  }
  return true;
}
