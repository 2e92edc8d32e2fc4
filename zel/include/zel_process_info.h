// zel_process_info.h - CZELProcessInfo: the processes running on the
// machine, seen through the platform's process and module snapshots.
//
// It finds a process by executable name or identifier, lists the modules a
// process has loaded, ends processes (raising the debug privilege when a
// plain open is refused) and checks the signatures of a process's modules
// against an expected signer, reusing its own signed-file part for every
// module. Only the constructors throw; every other failure is logged and
// gives false.
#pragma once

#include "zel_dbllist.h"
#include "zel_wchar_string.h"
#include "zel_windows_signedfile.h"

#include "zelsys/wintypes.h"

class CZELProcessInfo : public CZELSignedFile {
public:
  // Both throw CZELProcessInfoInitException when the signed-file part fails.
  CZELProcessInfo();
  CZELProcessInfo(const CZELProcessInfo &pi);
  CZELProcessInfo &operator=(const CZELProcessInfo &pi);
  ~CZELProcessInfo();

  // ---- Finding processes ------------------------------------------------------------
  // The last process of the snapshot with that executable name wins; none
  // leaves dwProcessId as it was (callers pass 0) and still gives true.
  bool findProcessIdByName(const CZELWCharString &strName, zelsys::DWORD &dwProcessId);
  // dwProcessId 0: the current process's main module name.
  bool findProcessNameById(zelsys::DWORD dwProcessId, CZELWCharString &strName);
  // Not provided: both give false.
  bool findProcessHandleByName(const CZELWCharString &strName, zelsys::HANDLE &hProcess);
  bool findProcessNameByHandle(zelsys::HANDLE hProcess, CZELWCharString &strName);

  // ---- Modules ---------------------------------------------------------------------
  // The full paths of every module of process dwProcessId (0: this one)
  // except the executable, whose file name strName gives; an empty strName
  // receives the first module's name instead.
  bool getProcessModules(zelsys::DWORD dwProcessId, CZELWCharString &strName,
                         CZELWCharStringList &modules);
  bool enumerateModulesByProcessId(zelsys::DWORD dwProcessId, CZELWCharStringList &modules);
  bool enumerateModulesByProcessName(const CZELWCharString &strName, CZELWCharStringList &modules);

  // ---- Opening and ending ----------------------------------------------------------
  // bDebugRaised tells closeProcess to take the debug privilege away again.
  bool openProcess(zelsys::DWORD dwProcessId, bool &bDebugRaised, zelsys::HANDLE &hProcess);
  bool closeProcess(bool bDebugRaised, zelsys::HANDLE hHandle);
  // dwAttributes: SE_PRIVILEGE_ENABLED (2) or SE_PRIVILEGE_REMOVED (4).
  bool setPrivilege(const CZELWCharString &strPrivilege, zelsys::DWORD dwAttributes);
  // True also when no process has the identifier or name.
  bool killProcessById(zelsys::DWORD dwProcessId);
  // Ends the first process whose executable name is the file name of strName.
  bool killProcessByName(const CZELWCharString &strName);

  // ---- Signatures ------------------------------------------------------------------
  bool verifyModuleSignatures(const CZELWCharString &strSigner,
                              const CZELWCharStringList &modulePaths,
                              CZELWCharStringList &failedPaths, bool &bAllValid);
  // Checks the process's modules named in moduleNames (file names; names
  // the process has not loaded are passed over).
  bool verifyModuleSignaturesByProcessId(zelsys::DWORD dwProcessId,
                                         const CZELWCharString &strSigner,
                                         const CZELWCharStringList &moduleNames,
                                         CZELWCharStringList &failedPaths, bool &bAllValid);
  bool verifyModuleSignaturesByProcessName(const CZELWCharString &strProcessName,
                                           const CZELWCharString &strSigner,
                                           const CZELWCharStringList &moduleNames,
                                           CZELWCharStringList &failedPaths, bool &bAllValid);
};
