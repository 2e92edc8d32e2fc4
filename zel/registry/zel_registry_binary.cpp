// zel_registry_binary.cpp - CZELRegistryBinary, a REG_BINARY value with cached
// bytes.
#include "zel_registry_binary.h"
#include "zel_registry_value_private.h"

static const ZEL_USHORT ZEL_SOURCE[] = u".\\zel_registry_binary";
static const ZEL_USHORT ZEL_CLASS[] = u"CZELRegistryBinary";

CZELRegistryBinary::CZELRegistryBinary(zelsys::HKEY hKeyRoot, const CZELWCharString &szSubKey,
                                       const CZELWCharString &szValueName,
                                       zelsys::REGSAM samDesired, bool bCreate, ZEL_ULONG dwOptions)
    : CZELRegistryValue(hKeyRoot, szSubKey, szValueName, samDesired, bCreate, dwOptions) {}

bool CZELRegistryBinary::readRegistry() {
  return readFrame(
      ZEL_SOURCE, ZEL_CLASS, __LINE__,
      [&] {
        // Sized by the value itself; a missing value reports size 0 here
        // and is recognised by the read below.
        CZELBuffer<ZEL_BYTE> data(getBinaryDataSize(false));
        zelsys::DWORD cbData = data.getSize();
        zelsys::LSTATUS lResult = queryValue(data.getBuffer(), cbData);
        // With no buffer at all (size 0) the system only reports the size: a
        // value that grew in between has not been read.
        if (lResult == static_cast<zelsys::LSTATUS>(zelsys::ERROR_SUCCESS) &&
            cbData > data.getSize())
          lResult = static_cast<zelsys::LSTATUS>(zelsys::ERROR_MORE_DATA);
        if (lResult == static_cast<zelsys::LSTATUS>(zelsys::ERROR_SUCCESS)) {
          // A value that shrank in between is taken at its new size.
          if (cbData < data.getSize())
            data.reAllocBuffer(cbData);
          m_RegBinaryCache = data;
          m_bCacheValid = true;
        }
        return lResult;
      },
      [&] { return setRegistryBinary(CZELBuffer<ZEL_BYTE>(), false); });
}

bool CZELRegistryBinary::writeRegistry() {
  return writeFrame(ZEL_SOURCE, ZEL_CLASS, __LINE__, zelsys::REG_BINARY,
                    [&](CZELBuffer<ZEL_BYTE> &data) {
                      data = m_RegBinaryCache;
                      return data.getSize() == m_RegBinaryCache.getSize();
                    });
}

bool CZELRegistryBinary::getRegistryBinary(CZELBuffer<ZEL_BYTE> &data, bool bUseCache) {
  return runValueOperation(ZEL_SOURCE, ZEL_CLASS, u"getRegistryBinary", __LINE__, [&] {
    if (!refreshCache(bUseCache))
      return false;
    data = m_RegBinaryCache;
    return data.getSize() == m_RegBinaryCache.getSize();
  });
}

bool CZELRegistryBinary::setRegistryBinary(const CZELBuffer<ZEL_BYTE> &data, bool bDeferWrite) {
  return runValueOperation(ZEL_SOURCE, ZEL_CLASS, u"setRegistryBinary", __LINE__, [&] {
    m_RegBinaryCache = data;
    return m_RegBinaryCache.getSize() == data.getSize() && commitCache(bDeferWrite);
  });
}

ZEL_ULONG CZELRegistryBinary::getBinaryDataSize(bool bFromCache) const {
  if (bFromCache)
    return m_RegBinaryCache.getSize();
  zelsys::DWORD cbData = 0;
  return queryValue(nullptr, cbData) == static_cast<zelsys::LSTATUS>(zelsys::ERROR_SUCCESS) ? cbData
                                                                                            : 0;
}

bool CZELRegistryBinary::enumAllValueNamesAndValues(CZELRegistryBinaryValueList &list) {
  return runValueOperation(ZEL_SOURCE, ZEL_CLASS, u"enumAllValueNamesAndValues", __LINE__, [&] {
    list.flush();
    return listValuesOfType(*this, list, zelsys::REG_BINARY, [](const CZELRegistryValent &valent) {
      return CZELRegistryBinaryValue(valent.getValueName(), valent.getData());
    });
  });
}
