// zel_product_vlm.h - CZELProduct_VLM, the password-manager suite: its two
// registry locations (the current one first, then the one kept from the
// product's former name), its version, install folder and policy check.
#pragma once

#include "zel_product.h"

class CZELProduct_VLM : public CZELProduct {
public:
  CZELProduct_VLM();

  bool isInstalled(ZEL_LONG lMajorVer, ZEL_LONG lMinorVer, ZEL_LONG lBuildVer,
                   ZEL_LONG lPatchVer) override;
  bool getProductVersion(ZEL_LONG *plMajorVer, ZEL_LONG *plMinorVer, ZEL_LONG *plBuildVer,
                         ZEL_LONG *plPatchVer) override;
  bool getProductVersion(CZELWCharString &strVersion) override;

  // The install folder exactly as recorded (callers append names to it).
  bool getInstallDirectory(CZELWCharString &strDirectory);
  // The first location whose install-path value can be read.
  bool getRegistryLocation(CZELWCharString &strLocation);
  bool getToolsPath(CZELWCharString &strPath);
  bool getCommonPath(CZELWCharString &strPath);
  // Whether at least the given version is installed.
  bool isCoreInstalled(ZEL_LONG lMajorVer, ZEL_LONG lMinorVer, ZEL_LONG lBuildVer,
                       ZEL_LONG lPatchVer);

private:
  CZELWCharString m_strReserved[2]; // kept empty; nothing reads them
};
