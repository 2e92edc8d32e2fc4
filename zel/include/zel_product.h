// zel_product.h - CZELProduct, what the maker's products have in common:
// the maker's registry key and folders, the product's registry locations
// searched in order (retrying the other registry view on 64-bit Windows),
// and the four-number version rules. Queries answer with a boolean, write
// their output only on success and let nothing escape.
#pragma once

#include "zel_dbllist.h"
#include "zel_product_registry_info.h"
#include "zel_wchar_string.h"

// A version position that takes any value; no real value may follow one.
constexpr ZEL_LONG ZEL_DONT_CARE = -1;

typedef CZELDblList<CZELPtrNode<CZELProductRegistryInfo>, CZELProductRegistryInfo>
    CZELProductRegistryInfoList;

class CZELProduct {
public:
  CZELProduct(const CZELWCharString &strMaker, const CZELWCharString &strProduct);
  // The names only; the copy starts with no registry locations.
  CZELProduct(const CZELProduct &other);
  CZELProduct &operator=(const CZELProduct &) = delete;
  virtual ~CZELProduct();

  virtual bool isInstalled(ZEL_LONG lMajorVer, ZEL_LONG lMinorVer, ZEL_LONG lBuildVer,
                           ZEL_LONG lPatchVer) = 0;
  virtual bool getProductVersion(ZEL_LONG *plMajorVer, ZEL_LONG *plMinorVer, ZEL_LONG *plBuildVer,
                                 ZEL_LONG *plPatchVer) = 0;
  virtual bool getProductVersion(CZELWCharString &strVersion) = 0;

  bool getRegistryLocation(CZELWCharString &strLocation);
  bool getInstallDirectory(CZELWCharString &strDirectory);
  bool getToolsPath(CZELWCharString &strPath);
  bool getCommonPath(CZELWCharString &strPath);
  const CZELWCharString &getMaker() const { return m_strMaker; }
  const CZELWCharString &getProduct() const { return m_strProduct; }

  // False, with a logged bad-argument entry, for a null array or a real
  // value after a ZEL_DONT_CARE.
  static bool checkParms(const ZEL_LONG *plVersions);
  // Whether the installed four numbers reach the requested ones.
  static bool isVersionInstalled(const ZEL_LONG *plRequested, const ZEL_LONG *plInstalled);
  // "major.minor.build.patch" into four numbers; a missing or non-decimal
  // field leaves its number as it was.
  static bool convertVersion(const CZELWCharString &strVersion, ZEL_LONG *plMajorVer,
                             ZEL_LONG *plMinorVer, ZEL_LONG *plBuildVer, ZEL_LONG *plPatchVer);

protected:
  // What getRegistryItem answers with.
  enum RegistryItem : ZEL_ULONG { riLocation = 1, riVersion = 2, riInstallDirectory = 3 };
  // Searches the registry locations in order for the item's value.
  bool getRegistryItem(ZEL_ULONG ulItem, CZELWCharString &strOut);
  // Reads a string value below HKEY_LOCAL_MACHINE, in the other registry
  // view too when the first read fails.
  static bool readMachineString(const CZELWCharString &strKey, const CZELWCharString &strValueName,
                                CZELWCharString &strOut);

  CZELWCharString m_strMaker;
  CZELWCharString m_strProduct;
  CZELProductRegistryInfoList m_lstRegistryInfo;
};
