// zel_windows_resource.h - CZELWindowsResource, the resources of one module.
//
// Reads string-table texts and the version resource of the program's own
// file, of a module handle the caller has, or of a resource DLL (a language
// DLL, say) that the object loads itself and releases again. A copy of an
// object that loaded a DLL loads it once more, so each object releases only
// its own load. No operation throws: failures are logged entries and false
// or null results; lookups in a DLL that could not be loaded fail.
#pragma once

#include "zel_types.h"
#include "zel_wchar_string.h"
#include "zelsys/resources.h"

class CZELWindowsResource {
public:
  // The program's own module; nothing is loaded.
  CZELWindowsResource();
  // A module the caller keeps loaded.
  explicit CZELWindowsResource(zelsys::HMODULE hModule);
  // Loads the DLL at strResourceDLL.
  explicit CZELWindowsResource(const CZELWCharString &strResourceDLL);
  CZELWindowsResource(const CZELWindowsResource &other);
  CZELWindowsResource &operator=(const CZELWindowsResource &other);
  ~CZELWindowsResource();

  // Releases an own DLL and reads hModule instead.
  bool setResourceDLL(zelsys::HMODULE hModule);
  // Releases an own DLL and loads strResourceDLL; false when the path is
  // empty or the DLL cannot be loaded.
  bool setResourceDLL(const CZELWCharString &strResourceDLL);

  // Text ulId, cut to 1023 characters; false (strText unchanged, a
  // CZELLoadStringException logged) when the module lacks it.
  bool loadString(ZEL_ULONG ulId, CZELWCharString &strText) const;
  // The version resource ulId; null when there is none.
  zelsys::HRSRC getVersionResource(ZEL_ULONG ulId) const;
  // The fixed part of version resource ulId.
  bool loadVersionInfo(ZEL_ULONG ulId, zelsys::VS_FIXEDFILEINFO &fixedInfo) const;

  zelsys::HMODULE getModule() const { return m_hModule; }
  bool isLoaded() const { return m_bLoaded; }

private:
  // Releases a DLL this object loaded and forgets its path.
  void releaseOwnDLL();
  // Loads strResourceDLL as this object's own DLL.
  bool loadDLL(const CZELWCharString &strResourceDLL);
  // A DLL was named but could not be loaded: nothing can be read.
  bool isUnusable() const { return !m_bLoaded && m_strResourceDLL.getLength() != 0; }

  zelsys::HMODULE m_hModule;
  CZELWCharString m_strResourceDLL;
  bool m_bLoaded;
};
