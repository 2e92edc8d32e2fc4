// zel_policy_setting.cpp - CZELPolicySetting over its three value types; the
// kinds' own slots only pass on to it.
//
// Each kind is told apart by a small access record (the registry value class
// and how to read and write it through that class). Reads and writes open a
// working trace named after the kind with a logical result; the template's
// other methods keep theirs compiled out. Every body runs under the
// framework's two handlers (absorb): a refusal is written and answers false,
// and a foreign exception is recorded with the last system error.
#include "zel_policy_setting.h"

#include "zel_catch.h"
#include "zel_function_trace.h"
#include "zel_registry_dword.h"
#include "zel_registry_multi_string.h"
#include "zel_registry_string.h"

#include "zelsys/winconst.h"

static const ZEL_USHORT ZEL_SOURCE[] = u".\\zel_policy_setting";
static const ZEL_USHORT ZEL_CLASS[] = u"CZELPolicySetting";

namespace {

const ZEL_USHORT VENDOR_NAME[] = u"%VENDOR_NAME%";
const ZEL_USHORT PRODUCT_NAME[] = u"%PRODUCT_NAME%";
const ZEL_USHORT VALUE_NAME[] = u"%VALUE_NAME%";

template <class T> struct PolicyValueAccess;

template <> struct PolicyValueAccess<ZEL_ULONG> {
  typedef CZELRegistryDword Registry;
  static constexpr ZEL_ULONG TYPE = 1;
  static constexpr const ZEL_USHORT *CLASS = u"CZELPolicyDwordSetting";
  static bool read(Registry &value, ZEL_ULONG &rulValue) {
    return value.getRegistryDword(&rulValue, false);
  }
  static bool write(Registry &value, ZEL_ULONG ulValue) {
    return value.setRegistryDword(ulValue, false);
  }
};

template <> struct PolicyValueAccess<CZELWCharString> {
  typedef CZELRegistryString Registry;
  static constexpr ZEL_ULONG TYPE = 2;
  static constexpr const ZEL_USHORT *CLASS = u"CZELPolicyStringSetting";
  static bool read(Registry &value, CZELWCharString &rstrValue) {
    return value.getRegistryString(rstrValue, false);
  }
  static bool write(Registry &value, const CZELWCharString &strValue) {
    return value.setRegistryString(strValue, false);
  }
};

template <> struct PolicyValueAccess<CZELWCharStringList> {
  typedef CZELRegistryMultiString Registry;
  static constexpr ZEL_ULONG TYPE = 3;
  static constexpr const ZEL_USHORT *CLASS = u"CZELPolicyListSetting";
  static bool read(Registry &value, CZELWCharStringList &rlValue) {
    return value.get(rlValue, false);
  }
  static bool write(Registry &value, const CZELWCharStringList &lValue) {
    return value.set(lValue, false);
  }
};

// Calls visit with each string of lStrings in order until it answers true.
template <class Visit> bool findString(const CZELWCharStringList &lStrings, Visit &&visit) {
  CZELWCharStringList lWalk(lStrings); // walking moves the cursor
  for (const CZELNode<CZELWCharString> *pNode = lWalk.begin().getCursorNode(); pNode != nullptr;
       pNode = pNode->getNext())
    if (visit(pNode->getItemRef()))
      return true;
  return false;
}

// "name=value" split at the first "="; false without one, and for an empty
// name, which would match nothing.
bool splitSubstitution(const CZELWCharString &strSubstitution, CZELWCharString &rstrName,
                       CZELWCharString &rstrValue) {
  ZEL_ULONG ulPos = 0;
  if (!strSubstitution.getSubStringPos(u"=", 1, CZELWCharString::pmForward, ulPos) || ulPos == 0)
    return false;
  rstrName = CZELWCharString(CZELBuffer<ZEL_USHORT>(strSubstitution.getBuffer(), ulPos));
  rstrValue = strSubstitution.getBuffer() + ulPos + 1;
  return true;
}

// Replaces every occurrence of the substitution's name in rstrPath; a name
// that does not occur leaves the path as it is.
void substitute(CZELWCharString &rstrPath, const CZELWCharString &strSubstitution,
                bool bSkipValueName) {
  CZELWCharString strName;
  CZELWCharString strValue;
  if (!splitSubstitution(strSubstitution, strName, strValue))
    return;
  if (bSkipValueName && strName == VALUE_NAME)
    return;
  rstrPath.replaceSubString(strName, strValue, 1, CZELWCharString::ssmAll);
}

void applySubstitutions(CZELWCharString &rstrPath, const CZELWCharStringList &lSubstitutions) {
  findString(lSubstitutions, [&](const CZELWCharString &strSubstitution) {
    substitute(rstrPath, strSubstitution, false);
    return false;
  });
}

void applySubstitutions(CZELWCharString &rstrPath, const CZELWCharString &strSubstitution) {
  substitute(rstrPath, strSubstitution, true);
}

} // namespace

// ---- Construction and comparison -----------------------------------------------

template <class T>
CZELPolicySetting<T>::CZELPolicySetting()
    : m_ulSource(SOURCE_REGISTRY), m_ulValueType(PolicyValueAccess<T>::TYPE), m_default(),
      m_ulPolicyId(0), m_bFlag(0), m_bCached(false), m_cached() {}

template <class T>
CZELPolicySetting<T>::CZELPolicySetting(ZEL_ULONG ulPolicyId, const CZELWCharString &strSubKey,
                                        const CZELWCharString &strValueName, const T &defaultValue,
                                        ZEL_BYTE bFlag, const CZELWCharString &strVendor,
                                        const CZELWCharString &strProduct,
                                        const CZELWCharString &strVersion, ZEL_ULONG ulSource)
    : m_ulSource(ulSource), m_ulValueType(PolicyValueAccess<T>::TYPE), m_strVendor(strVendor),
      m_strProduct(strProduct), m_strVersion(strVersion), m_strValueName(strValueName),
      m_strSubKey(strSubKey), m_default(defaultValue), m_ulPolicyId(ulPolicyId), m_bFlag(bFlag),
      m_bCached(false), m_cached(defaultValue) {}

template <class T> bool CZELPolicySetting<T>::operator==(const CZELPolicySetting &other) const {
  return m_ulPolicyId == other.m_ulPolicyId && m_bFlag == other.m_bFlag &&
         m_ulSource == other.m_ulSource && m_ulValueType == other.m_ulValueType &&
         m_strVendor == other.m_strVendor && m_strProduct == other.m_strProduct &&
         m_strVersion == other.m_strVersion && m_strValueName == other.m_strValueName &&
         m_strSubKey == other.m_strSubKey && m_default == other.m_default;
}

// ---- Slots -------------------------------------------------------------------------

template <class T> bool CZELPolicySetting<T>::setDefault(const T &defaultValue) {
  m_default = defaultValue;
  return m_default == defaultValue;
}

template <class T> bool CZELPolicySetting<T>::setSubKey(const CZELWCharString &strSubKey) {
  m_strSubKey = strSubKey;
  return m_strSubKey == strSubKey;
}

template <class T> bool CZELPolicySetting<T>::setValueName(const CZELWCharString &strValueName) {
  m_strValueName = strValueName;
  return m_strValueName == strValueName;
}

template <class T>
CZELWCharString
CZELPolicySetting<T>::getValueLocation(const CZELWCharStringList &lSubstitutions) const {
  CZELWCharString strValueName(m_strValueName);
  zelAbsorb(ZEL_SOURCE, __LINE__, CZELErrorSource::esLastError, [&] {
    findString(lSubstitutions, [&](const CZELWCharString &strSubstitution) {
      CZELWCharString strName;
      CZELWCharString strValue;
      if (!splitSubstitution(strSubstitution, strName, strValue) || strName != VALUE_NAME)
        return false;
      strValueName = strValue;
      return true;
    });
  });
  return strValueName;
}

// ---- Value location ------------------------------------------------------------------

template <class T>
template <class Substitutions>
bool CZELPolicySetting<T>::composePath(PolicyLocation eLocation, const Substitutions &substitutions,
                                       zelsys::HKEY &rhRoot, CZELWCharString &rstrPath) const {
  if (m_ulSource != SOURCE_REGISTRY) {
    CZELPolicySourceNotSupportedException(ZEL_SOURCE, __LINE__, 1, true, false);
    return false;
  }
  CZELWCharString strPath;
  if (!CZELPolicySearchPolicy::getLocationKey(eLocation, rhRoot, strPath))
    throw CZELBadArgException(u"eLocation", u"value is not a policy location", ZEL_SOURCE, __LINE__,
                              1, true, false);
  // A placeholder left in the path would name a key nobody meant: no path.
  if (!strPath.replaceSubString(VENDOR_NAME, m_strVendor, 1, CZELWCharString::ssmAll) ||
      !strPath.replaceSubString(PRODUCT_NAME, m_strProduct, 1, CZELWCharString::ssmAll))
    return false;
  if (m_strSubKey.isValid()) {
    if (m_strSubKey(0) != u'\\')
      strPath += u"\\";
    strPath += m_strSubKey;
    applySubstitutions(strPath, substitutions);
  }
  rstrPath = strPath;
  return rstrPath == strPath;
}

template <class T>
template <class Substitutions>
CZELWCharString CZELPolicySetting<T>::composedPath(PolicyLocation eLocation,
                                                   const Substitutions &substitutions) const {
  CZELWCharString strPath;
  zelAbsorb(ZEL_SOURCE, __LINE__, CZELErrorSource::esLastError, [&] {
    zelsys::HKEY hRoot = nullptr;
    if (!composePath(eLocation, substitutions, hRoot, strPath))
      strPath = CZELWCharString();
  });
  return strPath;
}

template <class T>
CZELWCharString
CZELPolicySetting<T>::getValueLocation(PolicyLocation eLocation,
                                       const CZELWCharStringList &lSubstitutions) const {
  return composedPath(eLocation, lSubstitutions);
}

template <class T>
CZELWCharString
CZELPolicySetting<T>::getValueLocation(PolicyLocation eLocation,
                                       const CZELWCharString &strSubstitution) const {
  return composedPath(eLocation, strSubstitution);
}

// ---- Reading, writing and removing ------------------------------------------------------

template <class T>
template <class Substitutions>
bool CZELPolicySetting<T>::readAt(PolicyLocation eLocation, T &rValue, bool bUseCache,
                                  const Substitutions &substitutions) {
  typedef PolicyValueAccess<T> Access;
  return zelTracedAbsorb<CZELLogicalTrace>(
      Access::CLASS, u"getPolicy", ZEL_SOURCE, __LINE__, CZELErrorSource::esLastError, [&] {
        if (bUseCache && m_bCached) {
          rValue = m_cached;
          return true;
        }
        zelsys::HKEY hRoot = nullptr;
        CZELWCharString strPath;
        if (!composePath(eLocation, substitutions, hRoot, strPath))
          return false;
        typename Access::Registry value(hRoot, strPath, valueNameFor(substitutions),
                                        zelsys::KEY_READ);
        T read(m_cached);
        if (!Access::read(value, read))
          return false;
        m_cached = read;
        m_bCached = true;
        rValue = read;
        return true;
      });
}

template <class T>
template <class Substitutions>
bool CZELPolicySetting<T>::writeAt(PolicyLocation eLocation, const T &value,
                                   const Substitutions &substitutions, bool bCreate) {
  typedef PolicyValueAccess<T> Access;
  return zelTracedAbsorb<CZELLogicalTrace>(
      Access::CLASS, u"setPolicy", ZEL_SOURCE, __LINE__, CZELErrorSource::esLastError, [&] {
        zelsys::HKEY hRoot = nullptr;
        CZELWCharString strPath;
        if (!composePath(eLocation, substitutions, hRoot, strPath))
          return false;
        typename Access::Registry registryValue(hRoot, strPath, valueNameFor(substitutions),
                                                zelsys::KEY_READ | zelsys::KEY_WRITE, bCreate);
        if (!Access::write(registryValue, value))
          return false;
        m_cached = value;
        m_bCached = true;
        return true;
      });
}

template <class T>
bool CZELPolicySetting<T>::readPolicy(PolicyLocation eLocation, T &rValue, bool bUseCache,
                                      const CZELWCharString &strSubstitution) {
  return readAt(eLocation, rValue, bUseCache, strSubstitution);
}

template <class T>
bool CZELPolicySetting<T>::getPolicy(PolicyLocation eLocation, T &rValue, bool bUseCache,
                                     const CZELWCharStringList &lSubstitutions) {
  return readAt(eLocation, rValue, bUseCache, lSubstitutions);
}

template <class T>
bool CZELPolicySetting<T>::writePolicy(PolicyLocation eLocation, const T &value,
                                       const CZELWCharString &strSubstitution, bool bCreate) {
  return writeAt(eLocation, value, strSubstitution, bCreate);
}

template <class T>
bool CZELPolicySetting<T>::setPolicy(PolicyLocation eLocation, const T &value,
                                     const CZELWCharStringList &lSubstitutions, bool bCreate) {
  return writeAt(eLocation, value, lSubstitutions, bCreate);
}

template <class T>
bool CZELPolicySetting<T>::removePolicy(PolicyLocation eLocation,
                                        const CZELWCharString &strSubstitution) {
  typedef PolicyValueAccess<T> Access;
  return zelTracedAbsorb<CZELNullTrace>(
      ZEL_CLASS, u"removePolicy", ZEL_SOURCE, __LINE__, CZELErrorSource::esLastError, [&] {
        zelsys::HKEY hRoot = nullptr;
        CZELWCharString strPath;
        if (!composePath(eLocation, strSubstitution, hRoot, strPath))
          return false;
        // The cache would otherwise answer with a value that is gone.
        m_bCached = false;
        m_cached = m_default;
        typename Access::Registry value(hRoot, strPath, m_strValueName,
                                        zelsys::KEY_READ | zelsys::KEY_WRITE);
        // Nothing stored there (or no key at all) is nothing to delete.
        return value.getValueType() == 0 || value.deleteRegistryValue();
      });
}

template class CZELPolicySetting<ZEL_ULONG>;
template class CZELPolicySetting<CZELWCharString>;
template class CZELPolicySetting<CZELWCharStringList>;
