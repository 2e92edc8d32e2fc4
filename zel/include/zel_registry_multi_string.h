// zel_registry_multi_string.h - CZELRegistryMultiString, a REG_MULTI_SZ value
// with its strings cached as a list.
//
// A string's position is its node's item data; a list read from the
// registry numbers its strings 0, 1, 2, ... The editing operations read the
// value first and then change the cache, so they work on what is stored;
// while a deferred change waits to be written they work on the cache
// instead, so that the change is not lost.
#pragma once

#include "zel_registry_value.h"
#include "zel_registry_value_records.h"

class CZELRegistryMultiString : public CZELRegistryValue {
public:
  CZELRegistryMultiString(zelsys::HKEY hKeyRoot, const CZELWCharString &szSubKey,
                          const CZELWCharString &szValueName,
                          zelsys::REGSAM samDesired = zelsys::KEY_ALL_ACCESS, bool bCreate = false,
                          ZEL_ULONG dwOptions = zelsys::REG_OPTION_NON_VOLATILE);

  // A missing value is written as the empty list when the create flag is
  // set. Data after the last terminator is not taken.
  bool readRegistry() override;
  bool writeRegistry() override;

  // The string at dwPosition.
  bool get(CZELWCharString &szValue, ZEL_ULONG dwPosition, bool bUseCache);
  // A copy of the whole list.
  bool get(CZELWCharStringList &list, bool bUseCache);
  // Replaces the string at dwPosition.
  bool set(const CZELWCharString &szValue, ZEL_ULONG dwPosition, bool bDeferWrite);
  // Replaces the whole list (positions as list has them), without reading.
  bool set(const CZELWCharStringList &list, bool bDeferWrite);
  // Adds a string at the end, at the position after the last one.
  bool append(const CZELWCharString &szValue, bool bDeferWrite);
  // Removes the first string equal to szValue. (These hide the key's
  // remove(bRecursive) on purpose: a position passed without its second
  // argument must not reach the key's deletion. Call it as
  // CZELRegistryKey::remove.)
  bool remove(const CZELWCharString &szValue, bool bDeferWrite);
  // Removes the string at dwPosition.
  bool remove(ZEL_ULONG dwPosition, bool bDeferWrite);
  // Empties the list, without reading.
  bool removeAll(bool bDeferWrite);

  // s1 0 s2 0 ... sn 0 0 into a list numbered 0, 1, 2, ...; no bytes give
  // the empty list, and a last string without terminator is dropped.
  static bool convertBufferToMultiString(const CZELBuffer<ZEL_BYTE> &bytes,
                                         CZELWCharStringList &list);
  // The reverse; the empty list gives zero bytes. Empty strings cannot be
  // stored (each would end the list) and are left out.
  static bool convertMultiStringToBuffer(const CZELWCharStringList &list,
                                         CZELBuffer<ZEL_BYTE> &bytes);

  // Every REG_MULTI_SZ value of the key; false when the key has no named
  // values.
  bool enumAllValueNamesAndValues(CZELRegistryMultiStringValueList &list);

private:
  // The editing operations' first step: read the value unless a deferred
  // change is waiting in the cache.
  bool readUnlessPending();
  // The editing operations' last step, after the cache has changed.
  bool commitEdit(bool bDeferWrite);
  // Ends a removal: writes and re-reads unless deferred.
  bool finishRemoval(bool bDeferWrite);

  CZELWCharStringList m_lRegMultiStringCache;
  // A deferred change is in the cache and not yet written.
  bool m_bWritePending;
};
