// zel_registry_multi_string.cpp - CZELRegistryMultiString, a REG_MULTI_SZ
// value with its strings cached as a list, and the multi-string encoding.
#include "zel_registry_multi_string.h"
#include "zel_registry_value_private.h"

#include <utility>

static const ZEL_USHORT ZEL_SOURCE[] = u".\\zel_registry_multi_string";
static const ZEL_USHORT ZEL_CLASS[] = u"CZELRegistryMultiString";

namespace {

// One past the highest position in use (0 for the empty list), so that an
// appended string can be found by position like the others.
ZEL_ULONG nextPosition(CZELWCharStringList &list) {
  ZEL_ULONG ulNext = 0;
  for (const CZELNode<CZELWCharString> *pNode = list.begin().getCursorNode(); pNode != nullptr;
       pNode = pNode->getNext()) {
    if (pNode->getItemData() >= ulNext)
      ulNext = pNode->getItemData() + 1;
  }
  return ulNext;
}

} // namespace

CZELRegistryMultiString::CZELRegistryMultiString(zelsys::HKEY hKeyRoot,
                                                 const CZELWCharString &szSubKey,
                                                 const CZELWCharString &szValueName,
                                                 zelsys::REGSAM samDesired, bool bCreate,
                                                 ZEL_ULONG dwOptions)
    : CZELRegistryValue(hKeyRoot, szSubKey, szValueName, samDesired, bCreate, dwOptions),
      m_bWritePending(false) {}

// ---- Reading and writing -------------------------------------------------------------

bool CZELRegistryMultiString::readRegistry() {
  // The buffer is as large as the key's longest value. The figure opens
  // and closes the key itself, so it is taken before the read opens it.
  ZEL_ULONG ulMaxBytes = 0;
  if (!getMaxValueLength(ulMaxBytes)) {
    close();
    return false;
  }
  return readFrame(
      ZEL_SOURCE, ZEL_CLASS, __LINE__,
      [&] {
        CZELBuffer<ZEL_BYTE> buffer(ulMaxBytes);
        zelsys::DWORD cbData = buffer.getSize();
        zelsys::LSTATUS lResult = queryValue(buffer.getBuffer(), cbData);
        // Without a buffer (size 0) the system only reports the size: a
        // value that grew in between has not been read.
        if (lResult == static_cast<zelsys::LSTATUS>(zelsys::ERROR_SUCCESS) &&
            cbData > buffer.getSize())
          lResult = static_cast<zelsys::LSTATUS>(zelsys::ERROR_MORE_DATA);
        if (lResult != static_cast<zelsys::LSTATUS>(zelsys::ERROR_SUCCESS))
          return lResult;
        // Only the value's own bytes are decoded, not the rest of the buffer.
        CZELWCharStringList strings;
        if (!convertBufferToMultiString(CZELBuffer<ZEL_BYTE>(buffer.getBuffer(), cbData), strings))
          return static_cast<zelsys::LSTATUS>(zelsys::ERROR_NOT_ENOUGH_MEMORY);
        m_lRegMultiStringCache = std::move(strings);
        m_bCacheValid = true;
        m_bWritePending = false;
        return lResult;
      },
      [&] {
        m_bCacheValid = set(CZELWCharStringList(), false);
        return m_bCacheValid;
      });
}

bool CZELRegistryMultiString::writeRegistry() {
  const bool bResult = writeFrame(ZEL_SOURCE, ZEL_CLASS, __LINE__, zelsys::REG_MULTI_SZ,
                                  [&](CZELBuffer<ZEL_BYTE> &data) {
                                    return convertMultiStringToBuffer(m_lRegMultiStringCache, data);
                                  });
  if (bResult)
    m_bWritePending = false;
  return bResult;
}

// ---- Getting and editing ---------------------------------------------------------------

bool CZELRegistryMultiString::readUnlessPending() { return m_bWritePending || readRegistry(); }

bool CZELRegistryMultiString::commitEdit(bool bDeferWrite) {
  if (bDeferWrite) {
    m_bWritePending = true;
    return true;
  }
  return writeRegistry();
}

bool CZELRegistryMultiString::get(CZELWCharString &szValue, ZEL_ULONG dwPosition, bool bUseCache) {
  return runValueOperation(ZEL_SOURCE, ZEL_CLASS, u"get", __LINE__, [&] {
    return refreshCache(bUseCache) && m_lRegMultiStringCache.moveToItemData(dwPosition) &&
           m_lRegMultiStringCache.getItem(szValue);
  });
}

bool CZELRegistryMultiString::get(CZELWCharStringList &list, bool bUseCache) {
  return runValueOperation(ZEL_SOURCE, ZEL_CLASS, u"get", __LINE__, [&] {
    return refreshCache(bUseCache) && list.copyList(m_lRegMultiStringCache);
  });
}

bool CZELRegistryMultiString::set(const CZELWCharString &szValue, ZEL_ULONG dwPosition,
                                  bool bDeferWrite) {
  return runValueOperation(ZEL_SOURCE, ZEL_CLASS, u"set", __LINE__, [&] {
    return readUnlessPending() && m_lRegMultiStringCache.moveToItemData(dwPosition) &&
           m_lRegMultiStringCache.setItem(szValue) && commitEdit(bDeferWrite);
  });
}

bool CZELRegistryMultiString::set(const CZELWCharStringList &list, bool bDeferWrite) {
  return runValueOperation(ZEL_SOURCE, ZEL_CLASS, u"set", __LINE__, [&] {
    return m_lRegMultiStringCache.copyList(list) && commitEdit(bDeferWrite);
  });
}

bool CZELRegistryMultiString::append(const CZELWCharString &szValue, bool bDeferWrite) {
  return runValueOperation(ZEL_SOURCE, ZEL_CLASS, u"append", __LINE__, [&] {
    return readUnlessPending() &&
           m_lRegMultiStringCache.add(szValue, nextPosition(m_lRegMultiStringCache)) &&
           commitEdit(bDeferWrite);
  });
}

bool CZELRegistryMultiString::finishRemoval(bool bDeferWrite) {
  if (bDeferWrite)
    return commitEdit(true);
  // Read back so that the positions are numbered afresh.
  const bool bWritten = writeRegistry();
  readRegistry();
  return bWritten;
}

bool CZELRegistryMultiString::remove(const CZELWCharString &szValue, bool bDeferWrite) {
  return runValueOperation(ZEL_SOURCE, ZEL_CLASS, u"remove", __LINE__, [&] {
    if (!readUnlessPending() || !m_lRegMultiStringCache.remove(szValue))
      return false;
    return finishRemoval(bDeferWrite);
  });
}

bool CZELRegistryMultiString::remove(ZEL_ULONG dwPosition, bool bDeferWrite) {
  return runValueOperation(ZEL_SOURCE, ZEL_CLASS, u"remove", __LINE__, [&] {
    if (!readUnlessPending() || !m_lRegMultiStringCache.removeItemData(dwPosition))
      return false;
    return finishRemoval(bDeferWrite);
  });
}

bool CZELRegistryMultiString::removeAll(bool bDeferWrite) {
  return runValueOperation(ZEL_SOURCE, ZEL_CLASS, u"removeAll", __LINE__, [&] {
    return m_lRegMultiStringCache.flush() && commitEdit(bDeferWrite);
  });
}

// ---- The encoding ---------------------------------------------------------------------

bool CZELRegistryMultiString::convertBufferToMultiString(const CZELBuffer<ZEL_BYTE> &bytes,
                                                         CZELWCharStringList &list) {
  return runValueOperation(ZEL_SOURCE, ZEL_CLASS, u"convertBufferToMultiString", __LINE__, [&] {
    list.flush();
    if (!bytes.isValid())
      return true;
    const CZELBuffer<ZEL_USHORT> units = unitsFromBytes(bytes);
    const ZEL_USHORT *pUnits = units.getBuffer();
    const ZEL_ULONG ulCount = units.getSize();
    ZEL_ULONG ulStart = 0;
    ZEL_ULONG ulPosition = 0;
    // Each zero unit ends a string; a second zero right after it (or the
    // end of the data) ends the list. Units after the last zero unit are
    // an unterminated string and are not taken.
    for (ZEL_ULONG i = 0; i < ulCount; ++i) {
      if (pUnits[i] != 0)
        continue;
      const CZELWCharString text(CZELBuffer<ZEL_USHORT>(pUnits + ulStart, i - ulStart));
      if (!list.add(text, ulPosition++))
        return false;
      if (i + 1 == ulCount || pUnits[i + 1] == 0)
        break;
      ulStart = i + 1;
    }
    return true;
  });
}

bool CZELRegistryMultiString::convertMultiStringToBuffer(const CZELWCharStringList &list,
                                                         CZELBuffer<ZEL_BYTE> &bytes) {
  return runValueOperation(ZEL_SOURCE, ZEL_CLASS, u"convertMultiStringToBuffer", __LINE__, [&] {
    bytes.flush();
    if (list.isEmpty())
      return true;
    // Walked on a copy: the list's cursor belongs to its owner.
    CZELWCharStringList strings(list);
    ZEL_ULONG ulTotal = 1; // the zero unit that closes the list
    for (const CZELNode<CZELWCharString> *pNode = strings.begin().getCursorNode(); pNode != nullptr;
         pNode = pNode->getNext()) {
      const ZEL_ULONG ulLength = pNode->getItemRef().getLength();
      ulTotal += ulLength != 0 ? ulLength + 1 : 0;
    }
    CZELBuffer<ZEL_USHORT> units(ulTotal); // zero-filled: every terminator is in place
    ZEL_ULONG ulAt = 0;
    for (const CZELNode<CZELWCharString> *pNode = strings.begin().getCursorNode(); pNode != nullptr;
         pNode = pNode->getNext()) {
      const CZELWCharString &text = pNode->getItemRef();
      const ZEL_ULONG ulLength = text.getLength();
      if (ulLength == 0)
        continue; // it would end the list early
      for (ZEL_ULONG i = 0; i < ulLength; ++i)
        units[ulAt + i] = text.getBuffer()[i];
      ulAt += ulLength + 1;
    }
    bytes = bytesFromUnits(units.getBuffer(), ulTotal);
    return bytes.getSize() == 2 * ulTotal;
  });
}

bool CZELRegistryMultiString::enumAllValueNamesAndValues(CZELRegistryMultiStringValueList &list) {
  return runValueOperation(ZEL_SOURCE, ZEL_CLASS, u"enumAllValueNamesAndValues", __LINE__, [&] {
    list.flush();
    return listValuesOfType(*this, list, zelsys::REG_MULTI_SZ,
                            [](const CZELRegistryValent &valent) {
                              CZELWCharStringList strings;
                              convertBufferToMultiString(valent.getData(), strings);
                              return CZELRegistryMultiStringValue(valent.getValueName(), strings);
                            });
  });
}
