// zel_windows_os_info.h - CZELWindowsOSInfo, the facts about the running
// Windows that the framework branches on.
//
// Gathers once, at construction, the version as one number (major + minor /
// 10), the shell's answers to the OS queries 18 (XP or later) and 37, the
// service pack level and whether a preinstallation environment is running
// (the environment variable "ZELDrive" is set). The queries then read what
// was gathered; the welcome screen, fast user switching and domain queries
// ask the shell again. A plain value class: copy it freely.
#pragma once

#include "zel_types.h"

class CZELWindowsOSInfo {
public:
  // Throws CZELWindowsOSInfoInitNeededException when the version cannot be
  // obtained; every other fact that cannot be had is left false or 0.
  CZELWindowsOSInfo();
  CZELWindowsOSInfo(const CZELWindowsOSInfo &other);
  CZELWindowsOSInfo &operator=(const CZELWindowsOSInfo &other);
  ~CZELWindowsOSInfo();

  // 2 on 64-bit Windows (the native processor counts, not the program's),
  // 1 otherwise.
  ZEL_LONG getPlatform() const;
  // Windows XP up to, not including, Vista: 5.1 to 5.x.
  bool isXP() const;
  bool isVista() const;
  bool isWindows7() const;
  // False also when the shell cannot be asked.
  bool isWelcomeScreenEnabled() const;
  bool isFastUserSwitchingEnabled() const;
  bool isComputerOnDomain() const;
  // Writes the service pack level; always true (a null pointer is refused).
  bool getServicePackLevel(ZEL_ULONG *pulServicePack) const;
  // The shell's answer to query 37, true from Windows Vista on.
  bool getOSQuery37() const;

  // Asks the shell's IsOS (ordinal 437 of "shlwapi.dll") query ulQuery and
  // stores whether it answered non-zero; false when it cannot be asked.
  bool performOSQueryFunction(ZEL_ULONG ulQuery, bool *pbAnswer) const;
  // Whether "ZELDrive" has a non-empty value.
  bool performPECheck() const;

private:
  bool m_bXPOrGreater;
  bool m_bOSQuery37;
  bool m_bPE;
  ZEL_ULONG m_ulServicePack;
  double m_dVersion;
};
