// zel_policy_search_policy.h - CZELPolicySearchPolicy, the order in which a
// product's policy settings are looked for in the registry.
//
// A search policy is a list of policy locations, highest priority first (a
// location may stand in it twice). Each location is one bit whose position is
// its index into the table of registry roots and base paths; a setting fills
// in the base path's "%VENDOR_NAME%" and "%PRODUCT_NAME%". Every operation is
// traced and answers with its result; failures are written to the log.
#pragma once

#include "zel_dbllist.h"
#include "zel_wchar_string.h"

#include "zelsys/registry.h"

#include <initializer_list>

class CZELPolicySearchPolicy {
public:
  // The group-policy keys of the machine, of the user and of the machine's
  // defaults for users, then the product's ordinary keys in the same three
  // places.
  enum PolicyLocation : ZEL_ULONG {
    plNone = 0, // no location: the answer is a default
    plMachinePolicy = 0x01,
    plUserPolicy = 0x02,
    plMachinePolicyUserDefaults = 0x04,
    plMachine = 0x08,
    plUser = 0x10,
    plMachineUserDefaults = 0x20,
  };
  // The bits of all six locations.
  static constexpr ZEL_ULONG ALL_LOCATIONS = 0x3F;

  CZELPolicySearchPolicy();
  virtual ~CZELPolicySearchPolicy() = default;

  // Appends at the lowest priority; only the six locations are taken.
  bool addPolicy(PolicyLocation eLocation);
  // An absent location counts as removed.
  bool removePolicy(PolicyLocation eLocation);
  // One place up or down; false when absent, true (and no move) at the end.
  bool increasePolicyPriority(PolicyLocation eLocation);
  bool decreasePolicyPriority(PolicyLocation eLocation);
  // The location at ulIndex (0 the highest); past the end the out-of-bounds
  // failure is written and the answer is plMachinePolicy.
  PolicyLocation getPolicyLocation(ZEL_ULONG ulIndex);
  ZEL_ULONG getCount() const { return m_lLocations.getCount(); }

  // The index of a location (its bit's position); false for a value that is
  // not exactly one of the six bits.
  static bool getLocationIndex(ZEL_ULONG ulLocation, ZEL_ULONG &rulIndex);
  // The registry root and the base path, placeholders included.
  static bool getLocationKey(PolicyLocation eLocation, zelsys::HKEY &rhRoot,
                             CZELWCharString &rstrBasePath);

protected:
  // Starts with the locations in the order given.
  CZELPolicySearchPolicy(std::initializer_list<PolicyLocation> locations);

private:
  typedef CZELDblList<CZELStdNode<PolicyLocation>, PolicyLocation> LocationList;

  // Moves an existing location one place with move (the list's moveItemUp
  // or moveItemDown), which fails only at the end of the list.
  bool moveLocation(const ZEL_USHORT *pszMethod, ZEL_ULONG ulLine, PolicyLocation eLocation,
                    bool (LocationList::*move)());

  LocationList m_lLocations;
};
