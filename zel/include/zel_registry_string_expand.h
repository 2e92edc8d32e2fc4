// zel_registry_string_expand.h - CZELRegistryStringExpand, a REG_EXPAND_SZ
// value: a text holding %NAME% references to environment variables.
#pragma once

#include "zel_registry_string.h"

class CZELRegistryStringExpand : public CZELRegistryString {
public:
  CZELRegistryStringExpand(zelsys::HKEY hKeyRoot, const CZELWCharString &szSubKey,
                           const CZELWCharString &szValueName,
                           zelsys::REGSAM samDesired = zelsys::KEY_ALL_ACCESS, bool bCreate = false,
                           ZEL_ULONG dwOptions = zelsys::REG_OPTION_NON_VOLATILE);

  // Refuses (logged, nothing written) a text whose count of "%" is 0 or
  // odd, since it cannot hold a whole reference. This includes the empty
  // text, so a read with the create flag cannot create a missing value.
  bool writeRegistry() override;

  // The raw text.
  using CZELRegistryString::getRegistryString;
  // The text, with bExpand its references expanded from the environment.
  bool getRegistryString(CZELWCharString &szValue, bool bUseCache, bool bExpand);
  // Every REG_EXPAND_SZ value of the key (list is emptied first), with
  // bExpand expanded; a text that cannot be expanded stays raw.
  bool enumAllValueNamesAndValues(CZELRegistryStringValueList &list, bool bExpand);

  // Expands raw into szExpanded; false (szExpanded unchanged) when the
  // system cannot.
  static bool expandReferences(const CZELWCharString &raw, CZELWCharString &szExpanded);
};
