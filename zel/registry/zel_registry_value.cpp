// zel_registry_value.cpp - CZELRegistryValue, the value name on top of the
// key, the write frame, deletion and type lookup; and the value records.
#include "zel_registry_value.h"
#include "zel_registry_value_private.h"
#include "zel_registry_value_records.h"

#include <algorithm>

static const ZEL_USHORT ZEL_SOURCE[] = u".\\zel_registry_value";
static const ZEL_USHORT ZEL_CLASS[] = u"CZELRegistryValue";

namespace {

// The registry keeps a value name's case but finds it in any case, so a name
// given in another case still names the listed value.
bool sameValueName(const CZELWCharString &listed, const CZELWCharString &name) {
  if (listed.getLength() != name.getLength())
    return false;
  CZELWCharString listedUpper(listed);
  CZELWCharString nameUpper(name);
  listedUpper.toUpper();
  nameUpper.toUpper();
  return listedUpper == nameUpper;
}

} // namespace

// ---- Construction ------------------------------------------------------------------

CZELRegistryValue::CZELRegistryValue(zelsys::HKEY hKeyRoot, const CZELWCharString &szSubKey,
                                     const CZELWCharString &szValueName, zelsys::REGSAM samDesired,
                                     bool bCreate, ZEL_ULONG dwOptions)
    : CZELRegistryKey(hKeyRoot, szSubKey, samDesired, bCreate, dwOptions), m_bCacheValid(false) {
  // Only the key part may fail the construction: a name that cannot be
  // copied is logged and leaves the default value named.
  runValueOperation(ZEL_SOURCE, ZEL_CLASS, u"CZELRegistryValue", __LINE__,
                    [&] { m_szValueName = szValueName; });
}

CZELRegistryValue::CZELRegistryValue(const CZELRegistryValue &other)
    : CZELRegistryKey(other), m_bCacheValid(other.m_bCacheValid) {
  runValueOperation(ZEL_SOURCE, ZEL_CLASS, u"CZELRegistryValue", __LINE__,
                    [&] { m_szValueName = other.m_szValueName; });
}

CZELRegistryValue &CZELRegistryValue::operator=(const CZELRegistryValue &other) {
  if (this == &other)
    return *this;
  CZELRegistryKey::operator=(other);
  runValueOperation(ZEL_SOURCE, ZEL_CLASS, u"operator=", __LINE__,
                    [&] { m_szValueName = other.m_szValueName; });
  m_bCacheValid = other.m_bCacheValid;
  return *this;
}

// ---- Writing and deleting ----------------------------------------------------------

zelsys::LSTATUS CZELRegistryValue::queryValue(ZEL_BYTE *pData, zelsys::DWORD &rcbData) const {
  return zelsys::RegQueryValueExW(m_hKey, getValueNamePath(), nullptr, nullptr, pData, &rcbData);
}

void CZELRegistryValue::storeValue(const ZEL_USHORT *pszSourceFile, const ZEL_USHORT *pszClass,
                                   ZEL_ULONG ulLine, ZEL_ULONG dwType,
                                   const CZELBuffer<ZEL_BYTE> &data) {
  const zelsys::LSTATUS lResult = zelsys::RegSetValueExW(m_hKey, getValueNamePath(), 0, dwType,
                                                         data.getBuffer(), data.getSize());
  if (lResult != static_cast<zelsys::LSTATUS>(zelsys::ERROR_SUCCESS))
    throw CZELRegValueSetException(getSubKeyPath(), getValueNamePath(), lResult, pszClass,
                                   u"writeRegistry", pszSourceFile, ulLine, 1, true, false);
}

bool CZELRegistryValue::deleteRegistryValue() {
  const bool bResult =
      runValueOperation(ZEL_SOURCE, ZEL_CLASS, u"deleteRegistryValue", __LINE__, [&] {
        if (!isOpen())
          open();
        if (!isOpen())
          return false;
        const zelsys::LSTATUS lResult = zelsys::RegDeleteValueW(m_hKey, getValueNamePath());
        if (lResult != static_cast<zelsys::LSTATUS>(zelsys::ERROR_SUCCESS))
          throw CZELRegValueDeleteException(getSubKeyPath(), getValueNamePath(), lResult, ZEL_CLASS,
                                            u"deleteRegistryValue", ZEL_SOURCE, __LINE__, 1, true,
                                            false);
        return true;
      });
  close();
  return bResult;
}

ZEL_ULONG CZELRegistryValue::getValueType() {
  ZEL_ULONG dwType = 0;
  runValueOperation(ZEL_SOURCE, ZEL_CLASS, u"getValueType", __LINE__, [&] {
    CZELRegistryValentList valents;
    if (!enumAllValues(valents))
      return false;
    for (const CZELNode<CZELRegistryValent> *pNode = valents.begin().getCursorNode();
         pNode != nullptr; pNode = pNode->getNext()) {
      if (sameValueName(pNode->getItemRef().getValueName(), m_szValueName)) {
        dwType = pNode->getItemRef().getType();
        return true;
      }
    }
    return false;
  });
  return dwType;
}

// ---- The value records -------------------------------------------------------------

namespace {

// Negative, zero or positive as left orders before, with or after right.
template <class It> int orderRanges(It pLeft, It pLeftEnd, It pRight, It pRightEnd) {
  if (std::lexicographical_compare(pLeft, pLeftEnd, pRight, pRightEnd))
    return -1;
  return std::lexicographical_compare(pRight, pRightEnd, pLeft, pLeftEnd) ? 1 : 0;
}

int orderOf(const CZELWCharString &left, const CZELWCharString &right) {
  return orderRanges(left.getBuffer(), left.getBuffer() + left.getLength(), right.getBuffer(),
                     right.getBuffer() + right.getLength());
}

int orderOf(ZEL_ULONG left, ZEL_ULONG right) { return left < right ? -1 : (left > right ? 1 : 0); }

int orderOf(const CZELBuffer<ZEL_BYTE> &left, const CZELBuffer<ZEL_BYTE> &right) {
  return orderRanges(left.getBuffer(), left.getBuffer() + left.getSize(), right.getBuffer(),
                     right.getBuffer() + right.getSize());
}

int orderOf(const CZELWCharStringList &left, const CZELWCharStringList &right) {
  // Walk copies: the lists' cursors belong to their owners.
  CZELWCharStringList leftCopy(left);
  CZELWCharStringList rightCopy(right);
  const CZELNode<CZELWCharString> *pL = leftCopy.begin().getCursorNode();
  const CZELNode<CZELWCharString> *pR = rightCopy.begin().getCursorNode();
  for (; pL != nullptr && pR != nullptr; pL = pL->getNext(), pR = pR->getNext()) {
    const int iOrder = orderOf(pL->getItemRef(), pR->getItemRef());
    if (iOrder != 0)
      return iOrder;
  }
  return pL != nullptr ? 1 : (pR != nullptr ? -1 : 0);
}

bool sameData(ZEL_ULONG left, ZEL_ULONG right) { return left == right; }
bool sameData(const CZELWCharString &left, const CZELWCharString &right) { return left == right; }
bool sameData(const CZELWCharStringList &left, const CZELWCharStringList &right) {
  return left == right;
}
bool sameData(const CZELBuffer<ZEL_BYTE> &left, const CZELBuffer<ZEL_BYTE> &right) {
  return left.getSize() == right.getSize() && orderOf(left, right) == 0;
}

} // namespace

template <class Data>
CZELRegistryNamedData<Data>::CZELRegistryNamedData(const CZELWCharString &szValueName,
                                                   const Data &data)
    : m_szValueName(szValueName), m_data(data) {}

template <class Data>
bool CZELRegistryNamedData<Data>::operator==(const CZELRegistryNamedData &other) const {
  return m_szValueName == other.m_szValueName && sameData(m_data, other.m_data);
}

template <class Data>
int CZELRegistryNamedData<Data>::compare(const CZELRegistryNamedData &other) const {
  const int iOrder = orderOf(m_szValueName, other.m_szValueName);
  return iOrder != 0 ? iOrder : orderOf(m_data, other.m_data);
}

template class CZELRegistryNamedData<ZEL_ULONG>;
template class CZELRegistryNamedData<CZELWCharString>;
template class CZELRegistryNamedData<CZELWCharStringList>;
template class CZELRegistryNamedData<CZELBuffer<ZEL_BYTE>>;
