// zel_registry_string.cpp - CZELRegistryString (REG_SZ) and
// CZELRegistryStringExpand (REG_EXPAND_SZ), values holding one text.
#include "zel_registry_string.h"
#include "zel_registry_string_expand.h"
#include "zel_registry_value_private.h"

#include "zelsys/registry.h"

static const ZEL_USHORT ZEL_SOURCE[] = u".\\zel_registry_string";
static const ZEL_USHORT ZEL_CLASS[] = u"CZELRegistryString";
static const ZEL_USHORT ZEL_EXPAND_CLASS[] = u"CZELRegistryStringExpand";

// ---- CZELRegistryString --------------------------------------------------------------

CZELRegistryString::CZELRegistryString(zelsys::HKEY hKeyRoot, const CZELWCharString &szSubKey,
                                       const CZELWCharString &szValueName,
                                       zelsys::REGSAM samDesired, bool bCreate, ZEL_ULONG dwOptions)
    : CZELRegistryValue(hKeyRoot, szSubKey, szValueName, samDesired, bCreate, dwOptions) {}

bool CZELRegistryString::readRegistry() {
  return readFrame(
      ZEL_SOURCE, ZEL_CLASS, __LINE__,
      [&] {
        CZELBuffer<ZEL_BYTE> bytes(MAX_READ_BYTES); // zero-filled
        zelsys::DWORD cbData = MAX_READ_BYTES;
        const zelsys::LSTATUS lResult = queryValue(bytes.getBuffer(), cbData);
        // The text ends at the first zero unit, or at the buffer's end for
        // data stored without terminator.
        if (lResult == static_cast<zelsys::LSTATUS>(zelsys::ERROR_SUCCESS))
          m_szRegStringCache = CZELWCharString(unitsFromBytes(bytes.getBuffer(), cbData));
        return lResult;
      },
      [&] { return setRegistryString(CZELWCharString(), false); });
}

bool CZELRegistryString::writeString(const ZEL_USHORT *pszSourceFile, const ZEL_USHORT *pszClass,
                                     ZEL_ULONG ulLine, ZEL_ULONG dwType) {
  return writeFrame(pszSourceFile, pszClass, ulLine, dwType, [&](CZELBuffer<ZEL_BYTE> &data) {
    if (!m_szRegStringCache.isValid())
      return true; // the empty string is stored as zero bytes
    const ZEL_ULONG ulUnits = m_szRegStringCache.getLength() + 1;
    data = bytesFromUnits(m_szRegStringCache.getBuffer(), ulUnits);
    return data.getSize() == 2 * ulUnits;
  });
}

bool CZELRegistryString::writeRegistry() {
  return writeString(ZEL_SOURCE, ZEL_CLASS, __LINE__, zelsys::REG_SZ);
}

bool CZELRegistryString::getRegistryString(CZELWCharString &szValue, bool bUseCache) {
  return runValueOperation(ZEL_SOURCE, ZEL_CLASS, u"getRegistryString", __LINE__, [&] {
    if (!refreshCache(bUseCache))
      return false;
    szValue = m_szRegStringCache;
    return szValue == m_szRegStringCache;
  });
}

bool CZELRegistryString::setRegistryString(const CZELWCharString &szValue, bool bDeferWrite) {
  return runValueOperation(ZEL_SOURCE, ZEL_CLASS, u"setRegistryString", __LINE__, [&] {
    m_szRegStringCache = szValue;
    return m_szRegStringCache == szValue && commitCache(bDeferWrite);
  });
}

bool CZELRegistryString::listStrings(CZELRegistryStringValueList &list, ZEL_ULONG dwType,
                                     bool bExpand) {
  return listValuesOfType(*this, list, dwType, [&](const CZELRegistryValent &valent) {
    const CZELWCharString text = textFromBytes(valent.getData());
    CZELWCharString expanded;
    if (bExpand && CZELRegistryStringExpand::expandReferences(text, expanded))
      return CZELRegistryStringValue(valent.getValueName(), expanded);
    return CZELRegistryStringValue(valent.getValueName(), text);
  });
}

bool CZELRegistryString::enumAllValueNamesAndValues(CZELRegistryStringValueList &list) {
  return runValueOperation(ZEL_SOURCE, ZEL_CLASS, u"enumAllValueNamesAndValues", __LINE__,
                           [&] { return listStrings(list, zelsys::REG_SZ, false); });
}

// ---- CZELRegistryStringExpand -----------------------------------------------------------

CZELRegistryStringExpand::CZELRegistryStringExpand(zelsys::HKEY hKeyRoot,
                                                   const CZELWCharString &szSubKey,
                                                   const CZELWCharString &szValueName,
                                                   zelsys::REGSAM samDesired, bool bCreate,
                                                   ZEL_ULONG dwOptions)
    : CZELRegistryString(hKeyRoot, szSubKey, szValueName, samDesired, bCreate, dwOptions) {}

bool CZELRegistryStringExpand::writeRegistry() {
  return runValueOperation(ZEL_SOURCE, ZEL_EXPAND_CLASS, u"writeRegistry", __LINE__, [&] {
    // A reference needs a "%" on either side; a text without a whole pair
    // is not meant to be expanded and is not stored as if it were.
    const ZEL_ULONG ulPercents = m_szRegStringCache.getSubStringCount(u"%");
    if (ulPercents == 0 || ulPercents % 2 != 0)
      throw CZELBadArgException(u"m_szRegStringCache",
                                u"value doesn't represent an expandable value which is required",
                                ZEL_SOURCE, __LINE__, 1, true, false);
    return writeString(ZEL_SOURCE, ZEL_EXPAND_CLASS, __LINE__, zelsys::REG_EXPAND_SZ);
  });
}

bool CZELRegistryStringExpand::expandReferences(const CZELWCharString &raw,
                                                CZELWCharString &szExpanded) {
  return runValueOperation(ZEL_SOURCE, ZEL_EXPAND_CLASS, u"expandReferences", __LINE__, [&] {
    // The empty text is passed as "" (the system does not take a null text).
    const ZEL_USHORT *pszRaw = raw.isValid() ? raw.getBuffer() : u"";
    const zelsys::DWORD dwNeeded = zelsys::ExpandEnvironmentStringsW(pszRaw, nullptr, 0);
    if (dwNeeded == 0)
      return false;
    CZELBuffer<ZEL_USHORT> expanded(dwNeeded + 1); // zero-filled
    // A different count means the environment changed in between, or the
    // call failed: the text is not complete either way.
    if (zelsys::ExpandEnvironmentStringsW(pszRaw, expanded.getBuffer(), dwNeeded) != dwNeeded)
      return false;
    szExpanded = CZELWCharString(expanded);
    return true;
  });
}

bool CZELRegistryStringExpand::getRegistryString(CZELWCharString &szValue, bool bUseCache,
                                                 bool bExpand) {
  return runValueOperation(ZEL_SOURCE, ZEL_EXPAND_CLASS, u"getRegistryString", __LINE__, [&] {
    CZELWCharString raw;
    if (!CZELRegistryString::getRegistryString(raw, bUseCache))
      return false;
    if (!bExpand) {
      szValue = raw;
      return szValue == raw;
    }
    return expandReferences(raw, szValue);
  });
}

bool CZELRegistryStringExpand::enumAllValueNamesAndValues(CZELRegistryStringValueList &list,
                                                          bool bExpand) {
  return runValueOperation(ZEL_SOURCE, ZEL_EXPAND_CLASS, u"enumAllValueNamesAndValues", __LINE__,
                           [&] {
                             list.flush();
                             return listStrings(list, zelsys::REG_EXPAND_SZ, bExpand);
                           });
}
