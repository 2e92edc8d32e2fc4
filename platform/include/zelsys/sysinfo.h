//===- zelsys/sysinfo.h - Machine names, shell folders, accounts, WMI ------===//
//
// The computer's names, the common application-data folder, the accounts
// and groups of a machine, and the one WMI query the framework makes, with
// the Windows names, structure layouts, argument order, results and
// last-error behaviour. Constants are in winconst.h.
// This header may hold only declarations that compile on every platform.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "zelsys/wintypes.h"

#include <string>

namespace zelsys {

using LPBYTE = BYTE *;
using HRESULT = LONG;
using NET_API_STATUS = DWORD;

struct HWND__;
using HWND = HWND__ *;

// The names GetComputerNameExW gives. The physical forms name the machine
// itself where a cluster would answer with its virtual server's names; a
// machine outside a cluster gives the same names for both.
enum COMPUTER_NAME_FORMAT {
  ComputerNameNetBIOS,
  ComputerNameDnsHostname,
  ComputerNameDnsDomain,
  ComputerNameDnsFullyQualified,
  ComputerNamePhysicalNetBIOS,
  ComputerNamePhysicalDnsHostname,
  ComputerNamePhysicalDnsDomain,
  ComputerNamePhysicalDnsFullyQualified,
  ComputerNameMax
};

// Copies the name and a terminator into lpBuffer and sets *nSize to its
// length without the terminator. A buffer of *nSize units too small for
// both (a null lpBuffer with *nSize 0 included) gives FALSE with
// ERROR_MORE_DATA and *nSize set to the units needed, terminator included.
// An empty name (the DNS domain of a machine outside any domain) still
// needs its terminator. A format outside the enumeration gives
// ERROR_INVALID_PARAMETER.
BOOL GetComputerNameExW(COMPUTER_NAME_FORMAT NameType, LPWSTR lpBuffer, DWORD *nSize);

// The NetBIOS name, at most MAX_COMPUTERNAME_LENGTH units. Like
// GetComputerNameExW, but a buffer too small fails with
// ERROR_BUFFER_OVERFLOW.
BOOL GetComputerNameW(LPWSTR lpBuffer, DWORD *nSize);

// Writes the path of the shell folder csidl names (without a trailing "\")
// into pszPath, a buffer of MAX_PATH units. CSIDL_FLAG_CREATE in csidl
// creates a missing folder; without it a missing folder gives E_FAIL. A
// folder the call does not know gives E_INVALIDARG. hwnd and hToken are
// passed as null; dwFlags is SHGFP_TYPE_CURRENT or SHGFP_TYPE_DEFAULT.
HRESULT SHGetFolderPathW(HWND hwnd, int csidl, HANDLE hToken, DWORD dwFlags, LPWSTR pszPath);

// One account or group of NetUserEnum or NetGroupEnum at level 0.
struct USER_INFO_0 {
  LPWSTR usri0_name;
};
struct GROUP_INFO_0 {
  LPWSTR grpi0_name;
};

// Lists the accounts (NetUserEnum) or global groups (NetGroupEnum) of the
// machine servername names (null, empty or the computer's own name, with or
// without a leading "\\": this machine). *bufptr receives one buffer with
// *entriesread entries (freed with NetApiBufferFree, also when it holds
// none); *totalentries is how many remain from the resume point on. With
// fewer bytes preferred than the rest needs the call answers what fits (at
// least one entry) with ERROR_MORE_DATA and moves *resume_handle on; the
// caller calls again with it until NERR_Success, which sets it back to 0.
// MAX_PREFERRED_LENGTH asks for all. Only level 0 is offered; another
// level gives ERROR_INVALID_LEVEL.
NET_API_STATUS NetUserEnum(LPCWSTR servername, DWORD level, DWORD filter, LPBYTE *bufptr,
                           DWORD prefmaxlen, DWORD *entriesread, DWORD *totalentries,
                           DWORD *resume_handle);
NET_API_STATUS NetGroupEnum(LPCWSTR servername, DWORD level, LPBYTE *bufptr, DWORD prefmaxlen,
                            DWORD *entriesread, DWORD *totalentries, DWORD_PTR *resume_handle);
// Releases a buffer the two calls returned; null is accepted.
NET_API_STATUS NetApiBufferFree(LPVOID Buffer);

// Which step of queryWmiString failed.
enum class WmiStep { Initialize, Connect, Query, Next, Get };

// The text of one property of the first instance of a WMI class in a
// namespace (for example "root\cimv2", "Win32_ComputerSystemProduct",
// "UUID"), the current user's credentials. S_OK with the text, else the
// failing step's HRESULT with *pFailedStep (when not null) set to it; a
// class without instances gives WBEM_E_NOT_FOUND at WmiStep::Next, a
// property that is not text WBEM_E_TYPE_MISMATCH at WmiStep::Get.
HRESULT queryWmiString(LPCWSTR lpNamespace, LPCWSTR lpClass, LPCWSTR lpProperty,
                       std::u16string &value, WmiStep *pFailedStep);

} // namespace zelsys
