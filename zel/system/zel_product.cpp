// zel_product.cpp - CZELProduct and CZELProduct_VLM: installed-product
// detection from the registry.
//
// Every query runs under a trace and the framework's two handlers (absorb):
// failures are logged and give false, and an output is written only when
// the query succeeds.
#include "zel_product.h"
#include "zel_product_vlm.h"

#include "zel_common_policy.h"
#include "zel_flags.h"
#include "zel_function_trace.h"
#include "zel_registry_string.h"
#include "zel_windows_os_info.h"

#include "zelsys/winconst.h"

static const ZEL_USHORT ZEL_SOURCE[] = u".\\zel_product";

namespace {

const ZEL_USHORT MAKER_REGISTRY_KEY[] = u"Software\\Korvel";
const ZEL_USHORT TOOLS_PATH[] = u"C:\\SWTOOLS";
const ZEL_USHORT COMMON_PATH[] = u"C:\\Program Files\\Common Files\\Korvel";
const ZEL_USHORT VLM_TOOLS_FOLDER[] = u"\\APPS\\VLM";
// The installed major version from which the policy decides installation.
constexpr ZEL_LONG POLICY_MAJOR_VERSION = 7;
constexpr ZEL_ULONG VLM_INSTALL_POLICY = 1;

template <class Body>
bool runQuery(const ZEL_USHORT *pszClass, const ZEL_USHORT *pszMethod, ZEL_ULONG ulLine,
              Body &&body) {
  return zelTracedAbsorb(pszClass, pszMethod, ZEL_SOURCE, ulLine, CZELErrorSource::esLastError,
                         body);
}

// Assigns a found text to the caller's output, which stays as it was
// unless the whole text arrived.
bool deliver(const CZELWCharString &strFound, CZELWCharString &strOut) {
  strOut = strFound;
  return strOut == strFound;
}

} // namespace

// ---- CZELProduct -------------------------------------------------------------------

CZELProduct::CZELProduct(const CZELWCharString &strMaker, const CZELWCharString &strProduct)
    : m_strMaker(strMaker), m_strProduct(strProduct) {}

CZELProduct::CZELProduct(const CZELProduct &other)
    : m_strMaker(other.m_strMaker), m_strProduct(other.m_strProduct) {}

CZELProduct::~CZELProduct() = default;

bool CZELProduct::readMachineString(const CZELWCharString &strKey,
                                    const CZELWCharString &strValueName, CZELWCharString &strOut) {
  CZELRegistryString value(zelsys::HKEY_LOCAL_MACHINE, strKey, strValueName, zelsys::KEY_READ);
  if (value.getRegistryString(strOut, false))
    return true;
  // On 64-bit Windows the record may live in the 32-bit view; on 32-bit
  // Windows the flag asks for the (only) view again.
  const zelsys::REGSAM samView =
      CZELWindowsOSInfo().getPlatform() == 2 ? zelsys::KEY_WOW64_32KEY : zelsys::KEY_WOW64_64KEY;
  CZELRegistryString other(zelsys::HKEY_LOCAL_MACHINE, strKey, strValueName,
                           zelsys::KEY_READ | samView);
  return other.getRegistryString(strOut, false);
}

bool CZELProduct::getRegistryItem(ZEL_ULONG ulItem, CZELWCharString &strOut) {
  return runQuery(u"CZELProduct", u"getRegistryItem", __LINE__, [&] {
    if (m_lstRegistryInfo.getCount() == 0)
      return false;
    m_lstRegistryInfo.begin();
    do {
      const CZELProductRegistryInfo &info = m_lstRegistryInfo.getCursorNode()->getItemRef();
      const CZELWCharString &valueName =
          ulItem == riVersion ? info.getVersionName() : info.getInstallPath();
      CZELWCharString text;
      if (readMachineString(info.getRegPath(), valueName, text))
        return deliver(ulItem == riLocation ? info.getRegPath() : text, strOut);
    } while (m_lstRegistryInfo.next());
    return false;
  });
}

bool CZELProduct::getRegistryLocation(CZELWCharString &strLocation) {
  return runQuery(u"CZELProduct", u"getRegistryLocation", __LINE__,
                  [&] { return deliver(MAKER_REGISTRY_KEY, strLocation); });
}

bool CZELProduct::getInstallDirectory(CZELWCharString &strDirectory) {
  return runQuery(u"CZELProduct", u"getInstallDirectory", __LINE__, [&] {
    CZELWCharString text;
    return readMachineString(MAKER_REGISTRY_KEY, u"InstallPath", text) &&
           deliver(text, strDirectory);
  });
}

bool CZELProduct::getToolsPath(CZELWCharString &strPath) {
  return runQuery(u"CZELProduct", u"getToolsPath", __LINE__,
                  [&] { return deliver(TOOLS_PATH, strPath); });
}

bool CZELProduct::getCommonPath(CZELWCharString &strPath) {
  return runQuery(u"CZELProduct", u"getCommonPath", __LINE__, [&] {
    CZELWCharString directory;
    return getInstallDirectory(directory) && deliver(COMMON_PATH, strPath);
  });
}

bool CZELProduct::checkParms(const ZEL_LONG *plVersions) {
  return runQuery(u"CZELProduct", u"checkParms", __LINE__, [&] {
    if (plVersions == nullptr)
      throw CZELBadArgException(u"lVersions", u"Cannot have NULL value", ZEL_SOURCE, __LINE__, 1,
                                true, false);
    for (int i = 0; i < 3; ++i) {
      if (plVersions[i] != ZEL_DONT_CARE)
        continue;
      for (int j = i + 1; j < 4; ++j)
        if (plVersions[j] != ZEL_DONT_CARE) {
          const CZELWCharString parameter =
              CZELWCharString(u"lVersions[") + CZELWCharString(static_cast<ZEL_LONG>(j)) + u"]";
          throw CZELBadArgException(parameter.getBuffer(),
                                    u"Cannot be real value, ZEL_DONT_CAREs prior", ZEL_SOURCE,
                                    __LINE__, 1, true, false);
        }
    }
    return true;
  });
}

bool CZELProduct::isVersionInstalled(const ZEL_LONG *plRequested, const ZEL_LONG *plInstalled) {
  for (int i = 0; i < 4; ++i) {
    if (plRequested[i] < plInstalled[i])
      return true;
    if (plRequested[i] > plInstalled[i])
      return false;
  }
  return true;
}

bool CZELProduct::convertVersion(const CZELWCharString &strVersion, ZEL_LONG *plMajorVer,
                                 ZEL_LONG *plMinorVer, ZEL_LONG *plBuildVer, ZEL_LONG *plPatchVer) {
  return runQuery(u"CZELProduct", u"convertVersion", __LINE__, [&] {
    CZELWCharStringList fields;
    if (!strVersion.extractParams(fields, u".", CZELWCharString::pmForward, CZELFlags(0),
                                  CZELFlags(0)))
      return false;
    ZEL_LONG *const outputs[] = {plMajorVer, plMinorVer, plBuildVer, plPatchVer};
    if (fields.getCount() == 0)
      return true;
    fields.begin();
    for (ZEL_LONG *plOut : outputs) {
      CZELWCharString field;
      ZEL_LONG lValue = 0;
      if (fields.getItem(field) && field.toLong(lValue, CZELWCharString::nsDec) && plOut)
        *plOut = lValue;
      if (!fields.next())
        break;
    }
    return true;
  });
}

// ---- CZELProduct_VLM -------------------------------------------------------------

CZELProduct_VLM::CZELProduct_VLM() : CZELProduct(u"Korvel", u"Velmora") {
  // The search order: the current location, then the former product's.
  const ZEL_USHORT *const locations[] = {u"Software\\Korvel\\Velmora",
                                         u"Software\\Astel Solvane\\Tessaly"};
  for (const ZEL_USHORT *pszLocation : locations)
    m_lstRegistryInfo.addNode(new CZELPtrNode<CZELProductRegistryInfo>(
        new CZELProductRegistryInfo(pszLocation, u"Version", u"InstallPath")));
}

bool CZELProduct_VLM::getProductVersion(CZELWCharString &strVersion) {
  return getRegistryItem(riVersion, strVersion);
}

bool CZELProduct_VLM::getInstallDirectory(CZELWCharString &strDirectory) {
  return getRegistryItem(riInstallDirectory, strDirectory);
}

bool CZELProduct_VLM::getRegistryLocation(CZELWCharString &strLocation) {
  return getRegistryItem(riLocation, strLocation);
}

bool CZELProduct_VLM::getProductVersion(ZEL_LONG *plMajorVer, ZEL_LONG *plMinorVer,
                                        ZEL_LONG *plBuildVer, ZEL_LONG *plPatchVer) {
  return runQuery(u"CZELProduct_VLM", u"getProductVersion", __LINE__, [&] {
    CZELWCharString version;
    return getProductVersion(version) &&
           convertVersion(version, plMajorVer, plMinorVer, plBuildVer, plPatchVer);
  });
}

bool CZELProduct_VLM::getToolsPath(CZELWCharString &strPath) {
  return runQuery(u"CZELProduct_VLM", u"getToolsPath", __LINE__,
                  [&] { return deliver(CZELWCharString(TOOLS_PATH) + VLM_TOOLS_FOLDER, strPath); });
}

bool CZELProduct_VLM::getCommonPath(CZELWCharString &strPath) {
  return runQuery(u"CZELProduct_VLM", u"getCommonPath", __LINE__, [&] {
    CZELWCharString location;
    CZELWCharString common;
    return getRegistryLocation(location) && readMachineString(location, u"CommonFiles", common) &&
           deliver(common, strPath);
  });
}

bool CZELProduct_VLM::isCoreInstalled(ZEL_LONG lMajorVer, ZEL_LONG lMinorVer, ZEL_LONG lBuildVer,
                                      ZEL_LONG lPatchVer) {
  return runQuery(u"CZELProduct_VLM", u"isCoreInstalled", __LINE__, [&] {
    const ZEL_LONG requested[] = {lMajorVer, lMinorVer, lBuildVer, lPatchVer};
    if (!checkParms(requested))
      throw CZELBadArgException(u"lMinorVer, lBuildVer, or lPatchVer",
                                u"Cannot have value after ZEL_DONT_CARE", ZEL_SOURCE, __LINE__, 1,
                                true, false);
    ZEL_LONG installed[4] = {0, 0, 0, 0};
    return getProductVersion(&installed[0], &installed[1], &installed[2], &installed[3]) &&
           isVersionInstalled(requested, installed);
  });
}

bool CZELProduct_VLM::isInstalled(ZEL_LONG lMajorVer, ZEL_LONG lMinorVer, ZEL_LONG lBuildVer,
                                  ZEL_LONG lPatchVer) {
  return runQuery(u"CZELProduct_VLM", u"isInstalled", __LINE__, [&] {
    if (!isCoreInstalled(lMajorVer, lMinorVer, lBuildVer, lPatchVer))
      return false;
    ZEL_LONG installed[4] = {0, 0, 0, 0};
    if (!getProductVersion(&installed[0], &installed[1], &installed[2], &installed[3]))
      return false;
    if (installed[0] < POLICY_MAJOR_VERSION)
      return true;
    // From major version 7 the suite counts as installed only where the
    // policy says so.
    ZEL_ULONG ulPolicy = 0;
    return CZELCommonPolicy().getPolicy(VLM_INSTALL_POLICY, ulPolicy, false, CZELWCharString()) &&
           ulPolicy == 1;
  });
}
