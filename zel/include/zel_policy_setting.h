// zel_policy_setting.h - CZELPolicySetting, one numbered setting of a
// product: a registry value name below a subkey of each policy location,
// with a default; and its three kinds, CZELPolicyDwordSetting (a number),
// CZELPolicyStringSetting (a text) and CZELPolicyListSetting (a list of
// texts).
//
// A value's key is the location's base path with the vendor and product
// filled in, then the subkey. Substitutions, "name=value" texts split at the
// first "=", replace each name by its value in the subkey part of that path;
// a text without "=" substitutes nothing. The name "%VALUE_NAME%" is special:
// in a list of substitutions its value replaces the value name, and a single
// substitution of that name is left out. The kinds differ only in the
// registry value class they read and write through; the template does the
// work. Every operation answers with its result and lets nothing escape.
#pragma once

#include "zel_dbllist.h"
#include "zel_policy_search_policy.h"
#include "zel_wchar_string.h"

template <class T> class CZELPolicySetting {
public:
  typedef T ValueType;
  typedef CZELPolicySearchPolicy::PolicyLocation PolicyLocation;
  // The source of a setting kept in the registry, the only one supported.
  static constexpr ZEL_ULONG SOURCE_REGISTRY = 1;

  CZELPolicySetting();
  CZELPolicySetting(ZEL_ULONG ulPolicyId, const CZELWCharString &strSubKey,
                    const CZELWCharString &strValueName, const T &defaultValue, ZEL_BYTE bFlag,
                    const CZELWCharString &strVendor, const CZELWCharString &strProduct,
                    const CZELWCharString &strVersion, ZEL_ULONG ulSource = SOURCE_REGISTRY);
  CZELPolicySetting(const CZELPolicySetting &other) = default;
  CZELPolicySetting &operator=(const CZELPolicySetting &other) = default;
  virtual ~CZELPolicySetting() = default;

  // Equal settings agree in number, flag, source, type, the five texts and
  // the default; what they last read does not count. They sort by number.
  bool operator==(const CZELPolicySetting &other) const;
  bool operator!=(const CZELPolicySetting &other) const { return !(*this == other); }
  bool operator<(const CZELPolicySetting &other) const { return m_ulPolicyId < other.m_ulPolicyId; }
  bool operator>(const CZELPolicySetting &other) const { return m_ulPolicyId > other.m_ulPolicyId; }

  // ---- Virtual slots, in their order ------------------------------------------
  // Reads the value at one location (a single substitution); with bUseCache
  // a value read or written before answers instead.
  virtual bool getPolicy(PolicyLocation eLocation, T &rValue, bool bUseCache,
                         const CZELWCharString &strSubstitution) = 0;
  virtual CZELWCharString getSubKey() const { return m_strSubKey; }
  // The value name after a list of substitutions.
  virtual CZELWCharString getValueLocation(const CZELWCharStringList &lSubstitutions) const;
  virtual CZELWCharString getValueName() const { return m_strValueName; }
  virtual bool setDefault(const T &defaultValue);
  // Writes the value at one location; bCreate creates a missing key.
  virtual bool setPolicy(PolicyLocation eLocation, const T &value,
                         const CZELWCharString &strSubstitution, bool bCreate) = 0;
  virtual bool setSubKey(const CZELWCharString &strSubKey);
  virtual bool setValueName(const CZELWCharString &strValueName);

  // ---- Value location --------------------------------------------------------------
  // The key path of the value at eLocation; empty for a source other than
  // the registry and for a value that is not a location (both logged).
  CZELWCharString getValueLocation(PolicyLocation eLocation,
                                   const CZELWCharStringList &lSubstitutions) const;
  CZELWCharString getValueLocation(PolicyLocation eLocation,
                                   const CZELWCharString &strSubstitution) const;

  // ---- The list forms, and removal -------------------------------------------------
  bool getPolicy(PolicyLocation eLocation, T &rValue, bool bUseCache,
                 const CZELWCharStringList &lSubstitutions);
  bool setPolicy(PolicyLocation eLocation, const T &value,
                 const CZELWCharStringList &lSubstitutions, bool bCreate);
  // Deletes the value at eLocation; a value that is not there counts as
  // removed. The cache is dropped with it.
  bool removePolicy(PolicyLocation eLocation, const CZELWCharString &strSubstitution);

  ZEL_ULONG getPolicyId() const { return m_ulPolicyId; }
  ZEL_ULONG getValueType() const { return m_ulValueType; }
  const T &getDefault() const { return m_default; }

protected:
  // The single-substitution reads and writes, for the kinds' slots.
  bool readPolicy(PolicyLocation eLocation, T &rValue, bool bUseCache,
                  const CZELWCharString &strSubstitution);
  bool writePolicy(PolicyLocation eLocation, const T &value, const CZELWCharString &strSubstitution,
                   bool bCreate);

private:
  // One read or write for either substitution form.
  template <class Substitutions>
  bool readAt(PolicyLocation eLocation, T &rValue, bool bUseCache,
              const Substitutions &substitutions);
  template <class Substitutions>
  bool writeAt(PolicyLocation eLocation, const T &value, const Substitutions &substitutions,
               bool bCreate);
  // Root and key path of the value at eLocation; false when there is none.
  // Throws for a value that is not a location.
  template <class Substitutions>
  bool composePath(PolicyLocation eLocation, const Substitutions &substitutions,
                   zelsys::HKEY &rhRoot, CZELWCharString &rstrPath) const;
  template <class Substitutions>
  CZELWCharString composedPath(PolicyLocation eLocation, const Substitutions &substitutions) const;
  // The value name each form reads and writes.
  CZELWCharString valueNameFor(const CZELWCharString &) const { return m_strValueName; }
  CZELWCharString valueNameFor(const CZELWCharStringList &lSubstitutions) const {
    return getValueLocation(lSubstitutions);
  }

  ZEL_ULONG m_ulSource;
  ZEL_ULONG m_ulValueType;
  CZELWCharString m_strVendor;
  CZELWCharString m_strProduct;
  CZELWCharString m_strVersion;
  CZELWCharString m_strValueName;
  CZELWCharString m_strSubKey;
  T m_default;
  ZEL_ULONG m_ulPolicyId;
  // Kept, copied and compared with the setting; it changes no behaviour.
  ZEL_BYTE m_bFlag;
  bool m_bCached;
  T m_cached;
};

// The three kinds are built once, in the template's source.
extern template class CZELPolicySetting<ZEL_ULONG>;
extern template class CZELPolicySetting<CZELWCharString>;
extern template class CZELPolicySetting<CZELWCharStringList>;

// A number (REG_DWORD), value type 1.
class CZELPolicyDwordSetting : public CZELPolicySetting<ZEL_ULONG> {
public:
  using CZELPolicySetting::CZELPolicySetting;
  using CZELPolicySetting::getPolicy;
  using CZELPolicySetting::setPolicy;

  bool getPolicy(PolicyLocation eLocation, ZEL_ULONG &rulValue, bool bUseCache,
                 const CZELWCharString &strSubstitution) override {
    return readPolicy(eLocation, rulValue, bUseCache, strSubstitution);
  }
  bool setPolicy(PolicyLocation eLocation, const ZEL_ULONG &ulValue,
                 const CZELWCharString &strSubstitution, bool bCreate) override {
    return writePolicy(eLocation, ulValue, strSubstitution, bCreate);
  }
};

// A text (REG_SZ), value type 2.
class CZELPolicyStringSetting : public CZELPolicySetting<CZELWCharString> {
public:
  using CZELPolicySetting::CZELPolicySetting;
  using CZELPolicySetting::getPolicy;
  using CZELPolicySetting::setPolicy;

  bool getPolicy(PolicyLocation eLocation, CZELWCharString &rstrValue, bool bUseCache,
                 const CZELWCharString &strSubstitution) override {
    return readPolicy(eLocation, rstrValue, bUseCache, strSubstitution);
  }
  bool setPolicy(PolicyLocation eLocation, const CZELWCharString &strValue,
                 const CZELWCharString &strSubstitution, bool bCreate) override {
    return writePolicy(eLocation, strValue, strSubstitution, bCreate);
  }
};

// A list of texts (REG_MULTI_SZ), value type 3.
class CZELPolicyListSetting : public CZELPolicySetting<CZELWCharStringList> {
public:
  using CZELPolicySetting::CZELPolicySetting;
  using CZELPolicySetting::getPolicy;
  using CZELPolicySetting::setPolicy;

  bool getPolicy(PolicyLocation eLocation, CZELWCharStringList &rlValue, bool bUseCache,
                 const CZELWCharString &strSubstitution) override {
    return readPolicy(eLocation, rlValue, bUseCache, strSubstitution);
  }
  bool setPolicy(PolicyLocation eLocation, const CZELWCharStringList &lValue,
                 const CZELWCharString &strSubstitution, bool bCreate) override {
    return writePolicy(eLocation, lValue, strSubstitution, bCreate);
  }
};
