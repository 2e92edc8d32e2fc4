// zel_policy_search_policy.cpp - CZELPolicySearchPolicy and its two ready-made
// orders, CZELPolicyADSearchPolicy and CZELPolicyVarrowSearchPolicy.
//
// Every operation opens a function trace and runs its body under the
// framework's two handlers (absorb): a refused argument raises its entry,
// written at once, and the operation answers false.
#include "zel_policy_search_policy.h"
#include "zel_policy_ad_search_policy.h"
#include "zel_policy_varrow_search_policy.h"

#include "zel_catch.h"
#include "zel_flags.h"
#include "zel_function_trace.h"

#include "zelsys/winconst.h"

#include <iterator>

static const ZEL_USHORT ZEL_SOURCE[] = u".\\zel_policy_search_policy";
static const ZEL_USHORT ZEL_CLASS[] = u"CZELPolicySearchPolicy";

namespace {

template <class Body>
bool runOperation(const ZEL_USHORT *pszMethod, ZEL_ULONG ulLine, Body &&body) {
  return zelTracedAbsorb(ZEL_CLASS, pszMethod, ZEL_SOURCE, ulLine, CZELErrorSource::esNone, body);
}

// Each location's root and base path, by index. The roots are referred to
// by address: their values are only known once the platform has started.
struct LocationKey {
  const zelsys::HKEY *phRoot;
  const ZEL_USHORT *pszBasePath;
};
const LocationKey LOCATION_KEYS[] = {
    {&zelsys::HKEY_LOCAL_MACHINE, u"Software\\Policies\\%VENDOR_NAME%\\%PRODUCT_NAME%"},
    {&zelsys::HKEY_CURRENT_USER, u"Software\\Policies\\%VENDOR_NAME%\\%PRODUCT_NAME%"},
    {&zelsys::HKEY_LOCAL_MACHINE,
     u"Software\\Policies\\%VENDOR_NAME%\\%PRODUCT_NAME%\\User Defaults"},
    {&zelsys::HKEY_LOCAL_MACHINE, u"Software\\%VENDOR_NAME%\\%PRODUCT_NAME%"},
    {&zelsys::HKEY_CURRENT_USER, u"Software\\%VENDOR_NAME%\\%PRODUCT_NAME%"},
    {&zelsys::HKEY_LOCAL_MACHINE, u"Software\\%VENDOR_NAME%\\%PRODUCT_NAME%\\User Defaults"},
};
static_assert(std::size(LOCATION_KEYS) == 6, "one key per location bit");

} // namespace

CZELPolicySearchPolicy::CZELPolicySearchPolicy() {
  CZELFunctionTrace trace(ZEL_CLASS, u"Constructor", ZEL_SOURCE, __LINE__);
  trace.setResult(true);
}

CZELPolicySearchPolicy::CZELPolicySearchPolicy(std::initializer_list<PolicyLocation> locations) {
  runOperation(u"Constructor", __LINE__, [&] {
    for (PolicyLocation eLocation : locations)
      if (!addPolicy(eLocation))
        return false;
    return true;
  });
}

bool CZELPolicySearchPolicy::getLocationIndex(ZEL_ULONG ulLocation, ZEL_ULONG &rulIndex) {
  // The flag word finds the highest bit; a second bit would hide a value
  // that names two locations at once.
  if ((ulLocation & (ulLocation - 1)) != 0)
    return false;
  return CZELFlags(ALL_LOCATIONS).getIndex(ulLocation, rulIndex);
}

bool CZELPolicySearchPolicy::getLocationKey(PolicyLocation eLocation, zelsys::HKEY &rhRoot,
                                            CZELWCharString &rstrBasePath) {
  ZEL_ULONG ulIndex = 0;
  if (!getLocationIndex(eLocation, ulIndex))
    return false;
  rhRoot = *LOCATION_KEYS[ulIndex].phRoot;
  rstrBasePath = LOCATION_KEYS[ulIndex].pszBasePath;
  return rstrBasePath.isValid();
}

bool CZELPolicySearchPolicy::addPolicy(PolicyLocation eLocation) {
  return runOperation(u"addPolicy", __LINE__, [&] {
    ZEL_ULONG ulIndex = 0;
    // A location without a key would be searched nowhere sensible.
    if (!getLocationIndex(eLocation, ulIndex))
      throw CZELBadArgException(u"eLocation", u"value is not a policy location", ZEL_SOURCE,
                                __LINE__, 1, true, false);
    return m_lLocations.add(eLocation);
  });
}

bool CZELPolicySearchPolicy::removePolicy(PolicyLocation eLocation) {
  return runOperation(u"removePolicy", __LINE__, [&] {
    // Every occurrence goes, so the location is not searched any more.
    while (m_lLocations.moveTo(eLocation))
      if (!m_lLocations.removeNode(true))
        return false;
    return true;
  });
}

bool CZELPolicySearchPolicy::moveLocation(const ZEL_USHORT *pszMethod, ZEL_ULONG ulLine,
                                          PolicyLocation eLocation, bool (LocationList::*move)()) {
  return runOperation(pszMethod, ulLine, [&] {
    if (!m_lLocations.moveTo(eLocation))
      return false;
    (m_lLocations.*move)();
    return true;
  });
}

bool CZELPolicySearchPolicy::increasePolicyPriority(PolicyLocation eLocation) {
  return moveLocation(u"increasePolicyPriority", __LINE__, eLocation, &LocationList::moveItemUp);
}

bool CZELPolicySearchPolicy::decreasePolicyPriority(PolicyLocation eLocation) {
  return moveLocation(u"decreasePolicyPriority", __LINE__, eLocation, &LocationList::moveItemDown);
}

CZELPolicySearchPolicy::PolicyLocation
CZELPolicySearchPolicy::getPolicyLocation(ZEL_ULONG ulIndex) {
  PolicyLocation eLocation = plMachinePolicy;
  runOperation(u"getPolicyLocation", __LINE__, [&] {
    if (ulIndex >= m_lLocations.getCount())
      throw CZELIndexOutOfBoundsException(ZEL_SOURCE, __LINE__, true);
    m_lLocations.begin();
    for (ZEL_ULONG i = 0; i < ulIndex; ++i)
      m_lLocations.next();
    return m_lLocations.getItem(eLocation);
  });
  return eLocation;
}

CZELPolicyADSearchPolicy::CZELPolicyADSearchPolicy()
    : CZELPolicySearchPolicy({plMachinePolicy, plUserPolicy, plMachinePolicyUserDefaults, plMachine,
                              plUser, plMachineUserDefaults}) {}

CZELPolicyVarrowSearchPolicy::CZELPolicyVarrowSearchPolicy()
    : CZELPolicySearchPolicy({plMachine, plUser, plMachineUserDefaults}) {}
