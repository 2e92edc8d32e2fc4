//===- zelsys/registry.h - The registry calls ------------------------------===//
//
// Keys, values, enumeration, key information, tree deletion and copy, save
// and restore, with the Windows names, argument order and result codes
// (every call returns a Win32 error code; none sets the last-error value).
// The predefined roots and the other constants are in winconst.h.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "zelsys/wintypes.h"

namespace zelsys {

struct HKEY__;
using HKEY = HKEY__ *;
using REGSAM = DWORD;
using LSTATUS = LONG;

// One entry of RegQueryMultipleValuesW.
struct VALENTW {
  LPWSTR ve_valuename;
  DWORD ve_valuelen;
  DWORD_PTR ve_valueptr;
  DWORD ve_type;
};

LSTATUS RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                      HKEY *phkResult);
LSTATUS RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass,
                        DWORD dwOptions, REGSAM samDesired,
                        const SECURITY_ATTRIBUTES *lpSecurityAttributes, HKEY *phkResult,
                        DWORD *lpdwDisposition);
LSTATUS RegCloseKey(HKEY hKey);
LSTATUS RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey);
// RegDeleteKeyW in the registry view that samDesired's KEY_WOW64_64KEY or
// KEY_WOW64_32KEY names (other rights are ignored); Reserved must be 0.
LSTATUS RegDeleteKeyExW(HKEY hKey, LPCWSTR lpSubKey, REGSAM samDesired, DWORD Reserved);
LSTATUS SHDeleteKeyW(HKEY hKey, LPCWSTR pszSubKey);
LSTATUS SHCopyKeyW(HKEY hkeySrc, LPCWSTR pszSrcSubKey, HKEY hkeyDest, DWORD fReserved);
LSTATUS RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, DWORD *lpcchName, DWORD *lpReserved,
                      LPWSTR lpClass, DWORD *lpcchClass, FILETIME *lpftLastWriteTime);
LSTATUS RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, DWORD *lpcchValueName,
                      DWORD *lpReserved, DWORD *lpType, BYTE *lpData, DWORD *lpcbData);
LSTATUS RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, DWORD *lpcchClass, DWORD *lpReserved,
                         DWORD *lpcSubKeys, DWORD *lpcbMaxSubKeyLen, DWORD *lpcbMaxClassLen,
                         DWORD *lpcValues, DWORD *lpcbMaxValueNameLen, DWORD *lpcbMaxValueLen,
                         DWORD *lpcbSecurityDescriptor, FILETIME *lpftLastWriteTime);
LSTATUS RegQueryMultipleValuesW(HKEY hKey, VALENTW *val_list, DWORD num_vals, LPWSTR lpValueBuf,
                                DWORD *ldwTotsize);
LSTATUS RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD *lpReserved, DWORD *lpType,
                         BYTE *lpData, DWORD *lpcbData);
LSTATUS RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType,
                       const BYTE *lpData, DWORD cbData);
LSTATUS RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName);
LSTATUS RegSaveKeyW(HKEY hKey, LPCWSTR lpFile, const SECURITY_ATTRIBUTES *lpSecurityAttributes);
LSTATUS RegRestoreKeyW(HKEY hKey, LPCWSTR lpFile, DWORD dwFlags);

// Expands %NAME% references from the process environment. Returns the
// characters needed, terminator included (0 on failure); writes only when
// nSize is large enough.
DWORD ExpandEnvironmentStringsW(LPCWSTR lpSrc, LPWSTR lpDst, DWORD nSize);

} // namespace zelsys
