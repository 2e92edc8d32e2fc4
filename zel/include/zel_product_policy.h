// zel_product_policy.h - CZELProductPolicy, the policy settings of one
// product and the order in which their values are looked for.
//
// The settings are kept by value type, each under its policy number; a
// number names at most one setting of any type. A value is the one found at
// the first location of the search order that holds it, else the setting's
// default. Every operation is traced and answers with its result; failures,
// unknown numbers included, are written to the log.
#pragma once

#include "zel_flags.h"
#include "zel_policy_search_policy.h"
#include "zel_policy_setting.h"

class CZELProductPolicy {
public:
  typedef CZELPolicySearchPolicy::PolicyLocation PolicyLocation;

  // Keeps a copy of the search order.
  explicit CZELProductPolicy(const CZELPolicySearchPolicy &searchPolicy);
  virtual ~CZELProductPolicy() = default;

  // Adds a copy; a number that is taken already is refused.
  bool addPolicySetting(const CZELPolicyDwordSetting &setting);
  bool addPolicySetting(const CZELPolicyStringSetting &setting);
  bool addPolicySetting(const CZELPolicyListSetting &setting);

  // A copy of the setting with that number from the settings of the
  // requested type.
  bool getPolicySetting(ZEL_ULONG ulPolicyId, CZELPolicyDwordSetting &rSetting);
  bool getPolicySetting(ZEL_ULONG ulPolicyId, CZELPolicyStringSetting &rSetting);
  bool getPolicySetting(ZEL_ULONG ulPolicyId, CZELPolicyListSetting &rSetting);

  // The value found first in the search order (one substitution). Where no
  // location holds it, the default answers unless bNoDefault is set; the
  // forms with reLocation also tell where it was found (plNone for the
  // default).
  bool getPolicy(ZEL_ULONG ulPolicyId, ZEL_ULONG &rulValue, bool bNoDefault,
                 const CZELWCharString &strSubstitution);
  bool getPolicy(ZEL_ULONG ulPolicyId, CZELWCharString &rstrValue, bool bNoDefault,
                 const CZELWCharString &strSubstitution);
  bool getPolicy(ZEL_ULONG ulPolicyId, CZELWCharStringList &rlValue, bool bNoDefault,
                 const CZELWCharString &strSubstitution);
  bool getPolicy(ZEL_ULONG ulPolicyId, ZEL_ULONG &rulValue, PolicyLocation &reLocation,
                 bool bNoDefault, const CZELWCharString &strSubstitution);
  bool getPolicy(ZEL_ULONG ulPolicyId, CZELWCharString &rstrValue, PolicyLocation &reLocation,
                 bool bNoDefault, const CZELWCharString &strSubstitution);
  bool getPolicy(ZEL_ULONG ulPolicyId, CZELWCharStringList &rlValue, PolicyLocation &reLocation,
                 bool bNoDefault, const CZELWCharString &strSubstitution);

  // Writes the value at every location whose bit is set in locations (only
  // the six location bits, at least one, are taken); true when every write
  // succeeded. bCreate creates missing keys.
  bool setPolicy(ZEL_ULONG ulPolicyId, const CZELFlags &locations, ZEL_ULONG ulValue,
                 const CZELWCharString &strSubstitution, bool bCreate);
  bool setPolicy(ZEL_ULONG ulPolicyId, const CZELFlags &locations, const CZELWCharString &strValue,
                 const CZELWCharString &strSubstitution, bool bCreate);
  bool setPolicy(ZEL_ULONG ulPolicyId, const CZELFlags &locations,
                 const CZELWCharStringList &lValue, const CZELWCharString &strSubstitution,
                 bool bCreate);

  // Deletes the setting's value at every location of the search order that
  // is in locations; a value that is not there counts as removed.
  bool removePolicy(ZEL_ULONG ulPolicyId, const CZELFlags &locations,
                    const CZELWCharString &strSubstitution);
  // removePolicy for every number setting whose subkey is strKey (compared
  // as the registry compares names, a leading "\" aside).
  bool removePolicies(const CZELWCharString &strKey, const CZELFlags &locations,
                      const CZELWCharString &strSubstitution);

  // The key path of the setting's value at eLocation.
  bool getPathOfSetting(ZEL_ULONG ulPolicyId, PolicyLocation eLocation,
                        const CZELWCharString &strSubstitution, CZELWCharString &rstrPath);
  bool getValueNameOfSetting(ZEL_ULONG ulPolicyId, CZELWCharString &rstrValueName);
  // 1 number, 2 text, 3 list; 0 for an unknown number.
  ZEL_ULONG getPolicySettingType(ZEL_ULONG ulPolicyId);

private:
  template <class Setting> using SettingList = CZELDblList<CZELObjNode<Setting>, Setting>;

  template <class Setting> SettingList<Setting> &settingsOf();
  // The stored setting with that number, or null.
  template <class Setting> Setting *findSetting(ZEL_ULONG ulPolicyId);
  // The same, writing the not-found warning when there is none.
  template <class Setting> Setting *requireSetting(ZEL_ULONG ulPolicyId);
  // Calls visit with the stored setting of that number, whatever its type;
  // false, with the warning written, when there is none.
  template <class Visit> bool visitSetting(ZEL_ULONG ulPolicyId, Visit &&visit);
  // Calls visit with each location of the search order, highest priority
  // first, until it answers true.
  template <class Visit> bool forEachLocation(Visit &&visit);

  template <class Setting> bool addSetting(const Setting &setting);
  template <class Setting> bool copySetting(ZEL_ULONG ulPolicyId, Setting &rSetting);
  template <class Setting, class T>
  bool readPolicy(ZEL_ULONG ulPolicyId, T &rValue, PolicyLocation *peLocation, bool bNoDefault,
                  const CZELWCharString &strSubstitution);
  template <class Setting, class T>
  bool writePolicy(ZEL_ULONG ulPolicyId, const CZELFlags &locations, const T &value,
                   const CZELWCharString &strSubstitution, bool bCreate);

  CZELPolicySearchPolicy m_searchPolicy;
  SettingList<CZELPolicyDwordSetting> m_lDwordSettings;
  SettingList<CZELPolicyStringSetting> m_lStringSettings;
  SettingList<CZELPolicyListSetting> m_lListSettings;
};
