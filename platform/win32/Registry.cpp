//===- Registry.cpp - The registry calls on Windows -------------------------===//
//
// Thin forwarders to advapi32 and shlwapi. Only code for Windows belongs
// here.
//
//===----------------------------------------------------------------------===//
#include "zelsys/registry.h"
#include "WindowsSupport.h"

#include <cstddef>
#include <shlwapi.h>

namespace zelsys {

namespace {

::HKEY native(HKEY hKey) { return reinterpret_cast<::HKEY>(hKey); }
::PHKEY native(HKEY *phKey) { return reinterpret_cast<::PHKEY>(phKey); }
::LPDWORD native(DWORD *pdw) { return reinterpret_cast<::LPDWORD>(pdw); }
::LPBYTE native(BYTE *pb) { return reinterpret_cast<::LPBYTE>(pb); }
const ::BYTE *native(const BYTE *pb) { return reinterpret_cast<const ::BYTE *>(pb); }
::FILETIME *native(FILETIME *pft) { return reinterpret_cast<::FILETIME *>(pft); }
::LPSECURITY_ATTRIBUTES native(const SECURITY_ATTRIBUTES *psa) {
  return reinterpret_cast<::LPSECURITY_ATTRIBUTES>(const_cast<SECURITY_ATTRIBUTES *>(psa));
}
::PVALENTW native(VALENTW *pValent) { return reinterpret_cast<::PVALENTW>(pValent); }

static_assert(sizeof(::HKEY) == sizeof(HKEY), "HKEY size");
static_assert(sizeof(::FILETIME) == sizeof(FILETIME), "FILETIME size");
static_assert(offsetof(::FILETIME, dwHighDateTime) == offsetof(FILETIME, dwHighDateTime),
              "FILETIME layout");
static_assert(sizeof(::VALENTW) == sizeof(VALENTW), "VALENTW size");
static_assert(offsetof(::VALENTW, ve_valuename) == offsetof(VALENTW, ve_valuename),
              "VALENTW layout");
static_assert(offsetof(::VALENTW, ve_valuelen) == offsetof(VALENTW, ve_valuelen), "VALENTW layout");
static_assert(offsetof(::VALENTW, ve_valueptr) == offsetof(VALENTW, ve_valueptr), "VALENTW layout");
static_assert(offsetof(::VALENTW, ve_type) == offsetof(VALENTW, ve_type), "VALENTW layout");
static_assert(sizeof(::DWORD_PTR) == sizeof(DWORD_PTR), "DWORD_PTR size");

} // namespace

LSTATUS RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                      HKEY *phkResult) {
  return ::RegOpenKeyExW(native(hKey), win32::wide(lpSubKey), ulOptions, samDesired,
                         native(phkResult));
}

LSTATUS RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass,
                        DWORD dwOptions, REGSAM samDesired,
                        const SECURITY_ATTRIBUTES *lpSecurityAttributes, HKEY *phkResult,
                        DWORD *lpdwDisposition) {
  return ::RegCreateKeyExW(native(hKey), win32::wide(lpSubKey), Reserved, win32::wide(lpClass),
                           dwOptions, samDesired, native(lpSecurityAttributes), native(phkResult),
                           native(lpdwDisposition));
}

LSTATUS RegCloseKey(HKEY hKey) { return ::RegCloseKey(native(hKey)); }

LSTATUS RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey) {
  return ::RegDeleteKeyW(native(hKey), win32::wide(lpSubKey));
}

LSTATUS RegDeleteKeyExW(HKEY hKey, LPCWSTR lpSubKey, REGSAM samDesired, DWORD Reserved) {
  // Found at run time: 32-bit Windows XP lacks it. Such a system has one
  // registry view, so the plain call deletes the very key asked for.
  using Function = ::LONG(WINAPI *)(::HKEY, ::LPCWSTR, ::REGSAM, ::DWORD);
  static const auto pDeleteKeyEx =
      win32::entryOf<Function>(::GetModuleHandleW(L"advapi32.dll"), "RegDeleteKeyExW");
  if (pDeleteKeyEx == nullptr)
    return ::RegDeleteKeyW(native(hKey), win32::wide(lpSubKey));
  return pDeleteKeyEx(native(hKey), win32::wide(lpSubKey), samDesired, Reserved);
}

LSTATUS SHDeleteKeyW(HKEY hKey, LPCWSTR pszSubKey) {
  return static_cast<LSTATUS>(::SHDeleteKeyW(native(hKey), win32::wide(pszSubKey)));
}

LSTATUS SHCopyKeyW(HKEY hkeySrc, LPCWSTR pszSrcSubKey, HKEY hkeyDest, DWORD fReserved) {
  return static_cast<LSTATUS>(
      ::SHCopyKeyW(native(hkeySrc), win32::wide(pszSrcSubKey), native(hkeyDest), fReserved));
}

LSTATUS RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, DWORD *lpcchName, DWORD *lpReserved,
                      LPWSTR lpClass, DWORD *lpcchClass, FILETIME *lpftLastWriteTime) {
  return ::RegEnumKeyExW(native(hKey), dwIndex, win32::wide(lpName), native(lpcchName),
                         native(lpReserved), win32::wide(lpClass), native(lpcchClass),
                         native(lpftLastWriteTime));
}

LSTATUS RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, DWORD *lpcchValueName,
                      DWORD *lpReserved, DWORD *lpType, BYTE *lpData, DWORD *lpcbData) {
  return ::RegEnumValueW(native(hKey), dwIndex, win32::wide(lpValueName), native(lpcchValueName),
                         native(lpReserved), native(lpType), native(lpData), native(lpcbData));
}

LSTATUS RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, DWORD *lpcchClass, DWORD *lpReserved,
                         DWORD *lpcSubKeys, DWORD *lpcbMaxSubKeyLen, DWORD *lpcbMaxClassLen,
                         DWORD *lpcValues, DWORD *lpcbMaxValueNameLen, DWORD *lpcbMaxValueLen,
                         DWORD *lpcbSecurityDescriptor, FILETIME *lpftLastWriteTime) {
  return ::RegQueryInfoKeyW(native(hKey), win32::wide(lpClass), native(lpcchClass),
                            native(lpReserved), native(lpcSubKeys), native(lpcbMaxSubKeyLen),
                            native(lpcbMaxClassLen), native(lpcValues), native(lpcbMaxValueNameLen),
                            native(lpcbMaxValueLen), native(lpcbSecurityDescriptor),
                            native(lpftLastWriteTime));
}

LSTATUS RegQueryMultipleValuesW(HKEY hKey, VALENTW *val_list, DWORD num_vals, LPWSTR lpValueBuf,
                                DWORD *ldwTotsize) {
  return ::RegQueryMultipleValuesW(native(hKey), native(val_list), num_vals,
                                   win32::wide(lpValueBuf), native(ldwTotsize));
}

LSTATUS RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD *lpReserved, DWORD *lpType,
                         BYTE *lpData, DWORD *lpcbData) {
  return ::RegQueryValueExW(native(hKey), win32::wide(lpValueName), native(lpReserved),
                            native(lpType), native(lpData), native(lpcbData));
}

LSTATUS RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType,
                       const BYTE *lpData, DWORD cbData) {
  return ::RegSetValueExW(native(hKey), win32::wide(lpValueName), Reserved, dwType, native(lpData),
                          cbData);
}

LSTATUS RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) {
  return ::RegDeleteValueW(native(hKey), win32::wide(lpValueName));
}

LSTATUS RegSaveKeyW(HKEY hKey, LPCWSTR lpFile, const SECURITY_ATTRIBUTES *lpSecurityAttributes) {
  return ::RegSaveKeyW(native(hKey), win32::wide(lpFile), native(lpSecurityAttributes));
}

LSTATUS RegRestoreKeyW(HKEY hKey, LPCWSTR lpFile, DWORD dwFlags) {
  return ::RegRestoreKeyW(native(hKey), win32::wide(lpFile), dwFlags);
}

} // namespace zelsys
