// zel_product_policy.cpp - CZELProductPolicy, a product's policy settings
// and their search order.
//
// Every operation opens a function trace and runs its body under the
// framework's two handlers (absorb): refusals and unknown numbers are
// written at once and answer false. The per-type operations are one
// template each; the public overloads only choose the setting kind.
#include "zel_product_policy.h"

#include "zel_catch.h"
#include "zel_function_trace.h"

#include <type_traits>

static const ZEL_USHORT ZEL_SOURCE[] = u".\\zel_product_policy";
static const ZEL_USHORT ZEL_CLASS[] = u"CZELProductPolicy";

namespace {

template <class Body>
bool runOperation(const ZEL_USHORT *pszMethod, ZEL_ULONG ulLine, Body &&body) {
  return zelTracedAbsorb(ZEL_CLASS, pszMethod, ZEL_SOURCE, ulLine, CZELErrorSource::esLastError,
                         body);
}

void warnUnknown(ZEL_ULONG ulPolicyId, ZEL_ULONG ulLine) {
  CZELGetPolicySettingWarning(ulPolicyId, ZEL_SOURCE, ulLine, 1, true, false);
}

// A subkey as the registry would compare it: ASCII case folded, without a
// leading "\" (the value location adds one either way).
CZELWCharString comparableKey(const CZELWCharString &strKey) {
  CZELWCharString strComparable(strKey);
  if (strComparable.isValid() && strComparable(0) == u'\\')
    strComparable <<= 1;
  strComparable.toLower();
  return strComparable;
}

} // namespace

CZELProductPolicy::CZELProductPolicy(const CZELPolicySearchPolicy &searchPolicy)
    : m_searchPolicy(searchPolicy) {
  CZELFunctionTrace trace(ZEL_CLASS, u"Constructor", ZEL_SOURCE, __LINE__);
  trace.setResult(m_searchPolicy.getCount() == searchPolicy.getCount());
}

// ---- Finding settings -------------------------------------------------------------

template <class Setting> CZELProductPolicy::SettingList<Setting> &CZELProductPolicy::settingsOf() {
  if constexpr (std::is_same_v<Setting, CZELPolicyDwordSetting>)
    return m_lDwordSettings;
  else if constexpr (std::is_same_v<Setting, CZELPolicyStringSetting>)
    return m_lStringSettings;
  else
    return m_lListSettings;
}

template <class Setting> Setting *CZELProductPolicy::findSetting(ZEL_ULONG ulPolicyId) {
  SettingList<Setting> &lSettings = settingsOf<Setting>();
  if (!lSettings.moveToItemData(ulPolicyId))
    return nullptr;
  return static_cast<CZELObjNode<Setting> *>(lSettings.getCursorNode())->getItem();
}

template <class Setting> Setting *CZELProductPolicy::requireSetting(ZEL_ULONG ulPolicyId) {
  Setting *pSetting = findSetting<Setting>(ulPolicyId);
  if (pSetting == nullptr)
    warnUnknown(ulPolicyId, __LINE__);
  return pSetting;
}

template <class Visit> bool CZELProductPolicy::visitSetting(ZEL_ULONG ulPolicyId, Visit &&visit) {
  if (CZELPolicyDwordSetting *pSetting = findSetting<CZELPolicyDwordSetting>(ulPolicyId))
    return visit(*pSetting);
  if (CZELPolicyStringSetting *pSetting = findSetting<CZELPolicyStringSetting>(ulPolicyId))
    return visit(*pSetting);
  if (CZELPolicyListSetting *pSetting = findSetting<CZELPolicyListSetting>(ulPolicyId))
    return visit(*pSetting);
  warnUnknown(ulPolicyId, __LINE__);
  return false;
}

template <class Visit> bool CZELProductPolicy::forEachLocation(Visit &&visit) {
  const ZEL_ULONG ulCount = m_searchPolicy.getCount();
  for (ZEL_ULONG ulIndex = 0; ulIndex < ulCount; ++ulIndex)
    if (visit(m_searchPolicy.getPolicyLocation(ulIndex)))
      return true;
  return false;
}

// ---- Adding and copying settings ----------------------------------------------------

template <class Setting> bool CZELProductPolicy::addSetting(const Setting &setting) {
  return runOperation(u"addPolicySetting", __LINE__, [&] {
    const ZEL_ULONG ulPolicyId = setting.getPolicyId();
    // The number is the key of every other operation: a second setting
    // under it could never be reached.
    if (findSetting<CZELPolicyDwordSetting>(ulPolicyId) != nullptr ||
        findSetting<CZELPolicyStringSetting>(ulPolicyId) != nullptr ||
        findSetting<CZELPolicyListSetting>(ulPolicyId) != nullptr)
      throw CZELBadArgException(u"setting", u"a setting with this policy number exists already",
                                ZEL_SOURCE, __LINE__, 1, true, false);
    return settingsOf<Setting>().add(setting, ulPolicyId);
  });
}

bool CZELProductPolicy::addPolicySetting(const CZELPolicyDwordSetting &setting) {
  return addSetting(setting);
}
bool CZELProductPolicy::addPolicySetting(const CZELPolicyStringSetting &setting) {
  return addSetting(setting);
}
bool CZELProductPolicy::addPolicySetting(const CZELPolicyListSetting &setting) {
  return addSetting(setting);
}

template <class Setting>
bool CZELProductPolicy::copySetting(ZEL_ULONG ulPolicyId, Setting &rSetting) {
  return runOperation(u"getPolicySetting", __LINE__, [&] {
    const Setting *pSetting = requireSetting<Setting>(ulPolicyId);
    if (pSetting == nullptr)
      return false;
    rSetting = *pSetting;
    return rSetting == *pSetting;
  });
}

bool CZELProductPolicy::getPolicySetting(ZEL_ULONG ulPolicyId, CZELPolicyDwordSetting &rSetting) {
  return copySetting(ulPolicyId, rSetting);
}
bool CZELProductPolicy::getPolicySetting(ZEL_ULONG ulPolicyId, CZELPolicyStringSetting &rSetting) {
  return copySetting(ulPolicyId, rSetting);
}
bool CZELProductPolicy::getPolicySetting(ZEL_ULONG ulPolicyId, CZELPolicyListSetting &rSetting) {
  return copySetting(ulPolicyId, rSetting);
}

// ---- Reading ------------------------------------------------------------------------

template <class Setting, class T>
bool CZELProductPolicy::readPolicy(ZEL_ULONG ulPolicyId, T &rValue, PolicyLocation *peLocation,
                                   bool bNoDefault, const CZELWCharString &strSubstitution) {
  return runOperation(u"getPolicy", __LINE__, [&] {
    Setting *pSetting = requireSetting<Setting>(ulPolicyId);
    if (pSetting == nullptr)
      return false;
    PolicyLocation eFound = CZELPolicySearchPolicy::plNone;
    // A location without the value is no failure: the search goes on.
    const bool bFound = forEachLocation([&](PolicyLocation eLocation) {
      eFound = eLocation;
      return pSetting->getPolicy(eLocation, rValue, false, strSubstitution);
    });
    if (!bFound) {
      if (bNoDefault)
        return false;
      eFound = CZELPolicySearchPolicy::plNone;
      rValue = pSetting->getDefault();
    }
    if (peLocation != nullptr)
      *peLocation = eFound;
    return true;
  });
}

bool CZELProductPolicy::getPolicy(ZEL_ULONG ulPolicyId, ZEL_ULONG &rulValue, bool bNoDefault,
                                  const CZELWCharString &strSubstitution) {
  return readPolicy<CZELPolicyDwordSetting>(ulPolicyId, rulValue, nullptr, bNoDefault,
                                            strSubstitution);
}
bool CZELProductPolicy::getPolicy(ZEL_ULONG ulPolicyId, CZELWCharString &rstrValue, bool bNoDefault,
                                  const CZELWCharString &strSubstitution) {
  return readPolicy<CZELPolicyStringSetting>(ulPolicyId, rstrValue, nullptr, bNoDefault,
                                             strSubstitution);
}
bool CZELProductPolicy::getPolicy(ZEL_ULONG ulPolicyId, CZELWCharStringList &rlValue,
                                  bool bNoDefault, const CZELWCharString &strSubstitution) {
  return readPolicy<CZELPolicyListSetting>(ulPolicyId, rlValue, nullptr, bNoDefault,
                                           strSubstitution);
}
bool CZELProductPolicy::getPolicy(ZEL_ULONG ulPolicyId, ZEL_ULONG &rulValue,
                                  PolicyLocation &reLocation, bool bNoDefault,
                                  const CZELWCharString &strSubstitution) {
  return readPolicy<CZELPolicyDwordSetting>(ulPolicyId, rulValue, &reLocation, bNoDefault,
                                            strSubstitution);
}
bool CZELProductPolicy::getPolicy(ZEL_ULONG ulPolicyId, CZELWCharString &rstrValue,
                                  PolicyLocation &reLocation, bool bNoDefault,
                                  const CZELWCharString &strSubstitution) {
  return readPolicy<CZELPolicyStringSetting>(ulPolicyId, rstrValue, &reLocation, bNoDefault,
                                             strSubstitution);
}
bool CZELProductPolicy::getPolicy(ZEL_ULONG ulPolicyId, CZELWCharStringList &rlValue,
                                  PolicyLocation &reLocation, bool bNoDefault,
                                  const CZELWCharString &strSubstitution) {
  return readPolicy<CZELPolicyListSetting>(ulPolicyId, rlValue, &reLocation, bNoDefault,
                                           strSubstitution);
}

// ---- Writing and removing -------------------------------------------------------------

template <class Setting, class T>
bool CZELProductPolicy::writePolicy(ZEL_ULONG ulPolicyId, const CZELFlags &locations,
                                    const T &value, const CZELWCharString &strSubstitution,
                                    bool bCreate) {
  return runOperation(u"setPolicy", __LINE__, [&] {
    // Other bits name no location: refused before anything is written, so
    // a bad mask never leaves the value changed in part.
    if (locations.getFlags() == 0 ||
        !CZELFlags(CZELPolicySearchPolicy::ALL_LOCATIONS).hasFlags(locations.getFlags()))
      throw CZELBadArgException(u"locations", u"value must name policy locations only", ZEL_SOURCE,
                                __LINE__, 1, true, false);
    Setting *pSetting = requireSetting<Setting>(ulPolicyId);
    if (pSetting == nullptr)
      return false;
    bool bWritten = true;
    for (ZEL_ULONG ulIndex = 0; ulIndex < 32; ++ulIndex) {
      ZEL_ULONG ulFlag = 0;
      if (locations.getFlag(ulIndex, ulFlag) && ulFlag != 0)
        bWritten = pSetting->setPolicy(static_cast<PolicyLocation>(ulFlag), value, strSubstitution,
                                       bCreate) &&
                   bWritten;
    }
    return bWritten;
  });
}

bool CZELProductPolicy::setPolicy(ZEL_ULONG ulPolicyId, const CZELFlags &locations,
                                  ZEL_ULONG ulValue, const CZELWCharString &strSubstitution,
                                  bool bCreate) {
  return writePolicy<CZELPolicyDwordSetting>(ulPolicyId, locations, ulValue, strSubstitution,
                                             bCreate);
}
bool CZELProductPolicy::setPolicy(ZEL_ULONG ulPolicyId, const CZELFlags &locations,
                                  const CZELWCharString &strValue,
                                  const CZELWCharString &strSubstitution, bool bCreate) {
  return writePolicy<CZELPolicyStringSetting>(ulPolicyId, locations, strValue, strSubstitution,
                                              bCreate);
}
bool CZELProductPolicy::setPolicy(ZEL_ULONG ulPolicyId, const CZELFlags &locations,
                                  const CZELWCharStringList &lValue,
                                  const CZELWCharString &strSubstitution, bool bCreate) {
  return writePolicy<CZELPolicyListSetting>(ulPolicyId, locations, lValue, strSubstitution,
                                            bCreate);
}

bool CZELProductPolicy::removePolicy(ZEL_ULONG ulPolicyId, const CZELFlags &locations,
                                     const CZELWCharString &strSubstitution) {
  return runOperation(u"removePolicy", __LINE__, [&] {
    return visitSetting(ulPolicyId, [&](auto &rSetting) {
      bool bRemoved = true;
      forEachLocation([&](PolicyLocation eLocation) {
        if (locations.hasFlags(eLocation))
          bRemoved = rSetting.removePolicy(eLocation, strSubstitution) && bRemoved;
        return false;
      });
      return bRemoved;
    });
  });
}

bool CZELProductPolicy::removePolicies(const CZELWCharString &strKey, const CZELFlags &locations,
                                       const CZELWCharString &strSubstitution) {
  return runOperation(u"removePolicies", __LINE__, [&] {
    const CZELWCharString strComparable = comparableKey(strKey);
    bool bRemoved = true;
    // The walk follows the nodes themselves: removePolicy moves the
    // list's cursor as it finds the setting.
    for (const CZELNode<CZELPolicyDwordSetting> *pNode = m_lDwordSettings.begin().getCursorNode();
         pNode != nullptr; pNode = pNode->getNext()) {
      const CZELPolicyDwordSetting &setting = pNode->getItemRef();
      if (comparableKey(setting.getSubKey()) == strComparable)
        bRemoved = removePolicy(setting.getPolicyId(), locations, strSubstitution) && bRemoved;
    }
    return bRemoved;
  });
}

// ---- What a setting names ----------------------------------------------------------------

bool CZELProductPolicy::getPathOfSetting(ZEL_ULONG ulPolicyId, PolicyLocation eLocation,
                                         const CZELWCharString &strSubstitution,
                                         CZELWCharString &rstrPath) {
  return runOperation(u"getPathOfSetting", __LINE__, [&] {
    return visitSetting(ulPolicyId, [&](auto &rSetting) {
      const CZELWCharString strPath = rSetting.getValueLocation(eLocation, strSubstitution);
      if (!strPath.isValid())
        return false;
      rstrPath = strPath;
      return rstrPath == strPath;
    });
  });
}

bool CZELProductPolicy::getValueNameOfSetting(ZEL_ULONG ulPolicyId,
                                              CZELWCharString &rstrValueName) {
  return runOperation(u"getValueNameOfSetting", __LINE__, [&] {
    return visitSetting(ulPolicyId, [&](auto &rSetting) {
      rstrValueName = rSetting.getValueName();
      return true;
    });
  });
}

ZEL_ULONG CZELProductPolicy::getPolicySettingType(ZEL_ULONG ulPolicyId) {
  ZEL_ULONG ulType = 0;
  runOperation(u"getPolicySettingType", __LINE__, [&] {
    return visitSetting(ulPolicyId, [&](auto &rSetting) {
      ulType = rSetting.getValueType();
      return true;
    });
  });
  return ulType;
}
