// zel_win_reboot.h - CZELWinReboot, restarting or powering off the machine.
//
// For a program that has just changed something that needs a restart: it
// enables the shutdown privilege in the process token, optionally asks the
// user with a Yes/No box first, asks the system to restart or power off,
// and switches the privilege off again. A third variant starts the
// system's own timed restart with a message. No operation throws; each
// answers with a boolean and logs what went wrong.
#pragma once

#include "zel_types.h"
#include "zel_wchar_string.h"
#include "zelsys/security.h"
#include "zelsys/ui.h"

class CZELWinReboot {
public:
  CZELWinReboot();
  ~CZELWinReboot();
  // The object owns its token handle.
  CZELWinReboot(const CZELWinReboot &) = delete;
  CZELWinReboot &operator=(const CZELWinReboot &) = delete;

  // Opens the process token anew and enables SeShutdownPrivilege in it;
  // false when the token lacks the privilege or cannot be adjusted.
  bool setShutdownPrivilege();
  // bEnable false switches the privilege off again in the token last
  // opened; true is the form above.
  bool setShutdownPrivilege(bool bEnable);

  // Restart or power off, after a Yes/No box with the title and message
  // when bAsk is set; the privilege is switched off afterwards. True when
  // the request was started, and also when the user answered anything but
  // Yes (nothing is then requested).
  bool rebootSystem(bool bAsk, const CZELWCharString &strTitle, const CZELWCharString &strMessage,
                    zelsys::HWND hOwner = nullptr);
  bool shutdownSystem(bool bAsk, const CZELWCharString &strTitle, const CZELWCharString &strMessage,
                      zelsys::HWND hOwner = nullptr);
  // Starts the system's restart countdown of 20 seconds showing the
  // message, without forcing programs closed; true when it was started.
  bool forceSystemShutdownStyleReboot(const CZELWCharString &strMessage);

private:
  enum ERebootKind { rkRestart = 0, rkPowerOff = 1 };

  bool doReboot(ERebootKind eKind, bool bAsk, const CZELWCharString &strTitle,
                const CZELWCharString &strMessage, zelsys::HWND hOwner);

  zelsys::HANDLE m_hToken;
  zelsys::TOKEN_PRIVILEGES m_tokenPrivileges;
};
