// zel_product_registry_info.cpp - CZELProductRegistryInfo, one registry
// location of a product.
#include "zel_product_registry_info.h"

CZELProductRegistryInfo::CZELProductRegistryInfo() = default;

CZELProductRegistryInfo::CZELProductRegistryInfo(const CZELProductRegistryInfo &other) = default;

CZELProductRegistryInfo::CZELProductRegistryInfo(const CZELWCharString &strRegPath,
                                                 const CZELWCharString &strVersionName,
                                                 const CZELWCharString &strInstallPath)
    : m_strRegPath(strRegPath), m_strVersionName(strVersionName), m_strInstallPath(strInstallPath) {
}

CZELProductRegistryInfo::~CZELProductRegistryInfo() = default;

CZELProductRegistryInfo &CZELProductRegistryInfo::operator=(const CZELProductRegistryInfo &other) {
  if (this != &other) {
    m_strRegPath = other.m_strRegPath;
    m_strVersionName = other.m_strVersionName;
    m_strInstallPath = other.m_strInstallPath;
  }
  return *this;
}

CZELProductRegistryInfo &CZELProductRegistryInfo::operator=(const CZELProductRegistryInfo *pOther) {
  return pOther != nullptr ? *this = *pOther : *this;
}

bool CZELProductRegistryInfo::operator==(const CZELProductRegistryInfo &other) const {
  return m_strRegPath == other.m_strRegPath && m_strVersionName == other.m_strVersionName &&
         m_strInstallPath == other.m_strInstallPath;
}

bool CZELProductRegistryInfo::operator!=(const CZELProductRegistryInfo &other) const {
  return !(*this == other);
}

bool CZELProductRegistryInfo::operator<(const CZELProductRegistryInfo &other) const {
  return m_strRegPath < other.m_strRegPath;
}

bool CZELProductRegistryInfo::operator>(const CZELProductRegistryInfo &other) const {
  return m_strRegPath > other.m_strRegPath;
}

bool CZELProductRegistryInfo::setRegPath(const CZELWCharString &strRegPath) {
  m_strRegPath = strRegPath;
  return true;
}

bool CZELProductRegistryInfo::setVersionName(const CZELWCharString &strVersionName) {
  m_strVersionName = strVersionName;
  return true;
}

bool CZELProductRegistryInfo::setInstallPath(const CZELWCharString &strInstallPath) {
  m_strInstallPath = strInstallPath;
  return true;
}
