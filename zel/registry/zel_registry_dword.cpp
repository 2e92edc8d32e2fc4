// zel_registry_dword.cpp - CZELRegistryDword, a REG_DWORD value with a cached
// 32-bit number.
#include "zel_registry_dword.h"
#include "zel_registry_value_private.h"

static const ZEL_USHORT ZEL_SOURCE[] = u".\\zel_registry_dword";
static const ZEL_USHORT ZEL_CLASS[] = u"CZELRegistryDword";

namespace {

constexpr ZEL_ULONG DWORD_BYTES = 4;

void toBytes(ZEL_ULONG dwValue, ZEL_BYTE *pBytes) {
  for (ZEL_ULONG i = 0; i < DWORD_BYTES; ++i)
    pBytes[i] = static_cast<ZEL_BYTE>(dwValue >> (8 * i));
}

ZEL_ULONG fromBytes(const ZEL_BYTE *pBytes) {
  ZEL_ULONG dwValue = 0;
  for (ZEL_ULONG i = 0; i < DWORD_BYTES; ++i)
    dwValue |= static_cast<ZEL_ULONG>(pBytes[i]) << (8 * i);
  return dwValue;
}

} // namespace

CZELRegistryDword::CZELRegistryDword(zelsys::HKEY hKeyRoot, const CZELWCharString &szSubKey,
                                     const CZELWCharString &szValueName, zelsys::REGSAM samDesired,
                                     bool bCreate, ZEL_ULONG dwOptions)
    : CZELRegistryValue(hKeyRoot, szSubKey, szValueName, samDesired, bCreate, dwOptions),
      m_dwRegDwordCache(0) {}

bool CZELRegistryDword::readRegistry() {
  return readFrame(
      ZEL_SOURCE, ZEL_CLASS, __LINE__,
      [&] {
        // The read lands on a copy of the cache, so data shorter than four
        // bytes replaces only its own bytes and a failed read changes nothing.
        ZEL_BYTE bytes[DWORD_BYTES];
        toBytes(m_dwRegDwordCache, bytes);
        zelsys::DWORD cbData = DWORD_BYTES;
        const zelsys::LSTATUS lResult = queryValue(bytes, cbData);
        if (lResult == static_cast<zelsys::LSTATUS>(zelsys::ERROR_SUCCESS)) {
          m_dwRegDwordCache = fromBytes(bytes);
          m_bCacheValid = true;
        }
        return lResult;
      },
      [&] { return setRegistryDword(0, false); });
}

bool CZELRegistryDword::writeRegistry() {
  return writeFrame(ZEL_SOURCE, ZEL_CLASS, __LINE__, zelsys::REG_DWORD,
                    [&](CZELBuffer<ZEL_BYTE> &data) {
                      ZEL_BYTE bytes[DWORD_BYTES];
                      toBytes(m_dwRegDwordCache, bytes);
                      data = CZELBuffer<ZEL_BYTE>(bytes, DWORD_BYTES);
                      return data.getSize() == DWORD_BYTES;
                    });
}

bool CZELRegistryDword::getRegistryDword(ZEL_ULONG *pdwValue, bool bUseCache) {
  return runValueOperation(ZEL_SOURCE, ZEL_CLASS, u"getRegistryDword", __LINE__, [&] {
    if (pdwValue == nullptr)
      throw CZELBadArgException(u"pdwValue", u"the number needs a place to go", ZEL_SOURCE,
                                __LINE__, 1, true, false);
    if (!refreshCache(bUseCache))
      return false;
    *pdwValue = m_dwRegDwordCache;
    return true;
  });
}

bool CZELRegistryDword::setRegistryDword(ZEL_ULONG dwValue, bool bDeferWrite) {
  m_dwRegDwordCache = dwValue;
  return commitCache(bDeferWrite);
}

bool CZELRegistryDword::enumAllValueNamesAndValues(CZELRegistryDwordValueList &list) {
  return runValueOperation(ZEL_SOURCE, ZEL_CLASS, u"enumAllValueNamesAndValues", __LINE__, [&] {
    list.flush();
    return listValuesOfType(*this, list, zelsys::REG_DWORD, [](const CZELRegistryValent &valent) {
      const CZELBuffer<ZEL_BYTE> &data = valent.getData();
      const ZEL_ULONG dwValue = data.getSize() >= DWORD_BYTES ? fromBytes(data.getBuffer()) : 0;
      return CZELRegistryDwordValue(valent.getValueName(), dwValue);
    });
  });
}
