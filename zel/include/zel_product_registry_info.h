// zel_product_registry_info.h - CZELProductRegistryInfo, one registry place
// where a product records its installation: a key below
// HKEY_LOCAL_MACHINE and the names of its version and install-path values.
#pragma once

#include "zel_wchar_string.h"

class CZELProductRegistryInfo {
public:
  CZELProductRegistryInfo();
  CZELProductRegistryInfo(const CZELProductRegistryInfo &other);
  CZELProductRegistryInfo(const CZELWCharString &strRegPath, const CZELWCharString &strVersionName,
                          const CZELWCharString &strInstallPath);
  virtual ~CZELProductRegistryInfo();

  virtual CZELProductRegistryInfo &operator=(const CZELProductRegistryInfo &other);
  // From a pointer; a null one changes nothing.
  virtual CZELProductRegistryInfo &operator=(const CZELProductRegistryInfo *pOther);

  // Exact, case-sensitive comparison of all three texts.
  bool operator==(const CZELProductRegistryInfo &other) const;
  bool operator!=(const CZELProductRegistryInfo &other) const;
  // By registry path, so that lists of entries can be ordered.
  bool operator<(const CZELProductRegistryInfo &other) const;
  bool operator>(const CZELProductRegistryInfo &other) const;

  bool setRegPath(const CZELWCharString &strRegPath);
  bool setVersionName(const CZELWCharString &strVersionName);
  bool setInstallPath(const CZELWCharString &strInstallPath);
  const CZELWCharString &getRegPath() const { return m_strRegPath; }
  const CZELWCharString &getVersionName() const { return m_strVersionName; }
  const CZELWCharString &getInstallPath() const { return m_strInstallPath; }

private:
  CZELWCharString m_strRegPath;
  CZELWCharString m_strVersionName;
  CZELWCharString m_strInstallPath;
};
