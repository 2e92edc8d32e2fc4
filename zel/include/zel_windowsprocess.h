// zel_windowsprocess.h - CZELWindowsProcess: starting another program and
// waiting for it, and the file-security operations installers need.
//
// start runs a program directly or through the shell and keeps its handle;
// waitForFinish waits for it while the caller's window messages keep
// flowing. takeOwnership gives a file to the Administrators group and
// addAccessRights grants full access to the Users group or to the user at
// the console. No operation throws: failures are logged and give false.
#pragma once

#include "zel_wchar_string.h"

#include "zelsys/wintypes.h"

class CZELWindowsProcess {
public:
  CZELWindowsProcess();
  // Closes a process handle still held.
  ~CZELWindowsProcess();
  CZELWindowsProcess(const CZELWindowsProcess &) = delete;
  CZELWindowsProcess &operator=(const CZELWindowsProcess &) = delete;

  // ---- Starting, waiting, ending ------------------------------------------------
  bool start(const CZELWCharString &strProgram, const CZELWCharString &strArguments,
             const CZELWCharString &strWorkingFolder, zelsys::DWORD dwPriorityClass,
             zelsys::WORD wShowCommand, bool bCreateProcess);
  // A timeout gives true with the exit code STILL_ACTIVE (259).
  bool waitForFinish(zelsys::DWORD &dwExitCode, zelsys::DWORD dwTimeout);
  bool startAndWaitForFinish(zelsys::DWORD &dwExitCode, const CZELWCharString &strProgram,
                             const CZELWCharString &strArguments,
                             const CZELWCharString &strWorkingFolder, zelsys::DWORD dwTimeout,
                             zelsys::DWORD dwPriorityClass, zelsys::WORD wShowCommand,
                             bool bCreateProcess);
  bool terminateProcess(zelsys::UINT uExitCode);
  bool getHandle(zelsys::HANDLE &hProcess);

  // ---- File security ----------------------------------------------------------------
  // hToken null: the current process's token.
  bool setPrivilege(const CZELWCharString &strPrivilege, bool bEnable, zelsys::HANDLE hToken);
  bool takeOwnership(const CZELWCharString &strPath);
  bool addAccessRights(const CZELWCharString &strPath, bool bUsersGroup);

private:
  zelsys::HANDLE m_hProcess;
};
