// zel_system_info.h - CZELSystemInfo, facts about the machine: its computer
// names, the common storage folder for Korvel's data, its hardware UUID,
// its system type from the common policy, and the accounts and groups of
// this machine or of a domain.
//
// Every operation returns false when it fails and writes the failure to the
// log; an answer is written to its output only on success, and the account
// lists are appended to only when the whole enumeration succeeds.
#pragma once

#include "zel_wchar_string.h"

#include "zelsys/sysinfo.h"

class CZELSystemInfo {
public:
  // Which folder name getStoragePath uses.
  enum StorageIndex : ZEL_ULONG { siKorvel = 0, siSolvane = 1 };

  explicit CZELSystemInfo(ZEL_ULONG ulStorageIndex = siKorvel);

  // The common application-data folder, "\", the storage folder's name and
  // "\"; the folder is created when missing (one level). An index without
  // a folder name fails.
  virtual bool getStoragePath(CZELWCharString &strPath);
  virtual ~CZELSystemInfo();

  // The computer's name in that format, asked for in the two-call size
  // protocol: the first call must report the size with ERROR_MORE_DATA.
  bool getComputerName(zelsys::COMPUTER_NAME_FORMAT eFormat, CZELWCharString &strName);
  bool getDomainName(CZELWCharString &strName);
  bool getHostName(CZELWCharString &strName);
  // The NetBIOS name.
  bool getMachineName(CZELWCharString &strName);

  // The UUID of Win32_ComputerSystemProduct in root\cimv2.
  bool getSystemUUID(CZELWCharString &strUUID);

  // Common policy 8, "SystemType": 0, 1 or 2; any other stored value gives
  // 0 and an exception entry. With bSkip nothing is read and the result is
  // false.
  bool getSystemType(ZEL_ULONG &rulType, bool bSkip);

  // Names of accounts (NetUserEnum, normal accounts) and global groups
  // (NetGroupEnum) of the server (empty: this machine), appended to the
  // list.
  bool enumerateUserAccounts(const CZELWCharString &strServer, CZELWCharStringList &list);
  bool enumerateGroupAccounts(const CZELWCharString &strServer, CZELWCharStringList &list);
  bool enumerateDomainAccounts(const CZELWCharString &strServer, CZELWCharStringList &list);
  bool enumerateDomainGroups(const CZELWCharString &strServer, CZELWCharStringList &list);
  // This machine's accounts and groups.
  bool enumerateLocalAccounts(CZELWCharStringList &list);
  bool enumerateLocalGroups(CZELWCharStringList &list);

protected:
  // The name call getComputerName makes; a derived class may stand in for
  // the system to see how each answer is handled.
  virtual zelsys::BOOL callGetComputerNameEx(zelsys::COMPUTER_NAME_FORMAT eFormat,
                                             zelsys::LPWSTR lpBuffer, zelsys::DWORD *pnSize);

private:
  template <class Info, class Call>
  bool enumerateNames(const ZEL_USHORT *pszMethod, ZEL_ULONG ulLine, CZELWCharStringList &list,
                      Call &&call);

  ZEL_ULONG m_ulStorageIndex;
};
