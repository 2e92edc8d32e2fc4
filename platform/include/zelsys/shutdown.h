//===- zelsys/shutdown.h - Restarting and shutting down the machine --------===//
//
// ExitWindowsEx and InitiateSystemShutdownW with the Windows names, argument
// order, results and error behaviour. Restarting, shutting down and powering
// off need SeShutdownPrivilege enabled in the caller's token (security.h);
// without it both calls fail with ERROR_PRIVILEGE_NOT_HELD. The flags are in
// winconst.h (EWX_...).
//
// Nothing here ever stops the machine the tests run on:
// - The substitute carries out no request. It appends one line per request
//   to <machine>/shutdown-requests.txt (UTF-8, created on first use) and
//   returns as Windows does after starting the request.
// - On Windows the calls go to the system, except when the environment
//   variable ZEL_SHUTDOWN_RECORD names a file: then, for tests only, the
//   request is checked as Windows checks it (the privilege, the arguments)
//   and appended to that file in the same format instead of being made.
//
// A record line holds six fields separated by tabs:
//   time     when the request was made, UTC, "2026-12-08T07:21:38Z"
//   kind     "log off", "shut down", "restart" or "power off" for
//            ExitWindowsEx; "timed restart" or "timed shut down" for
//            InitiateSystemShutdownW
//   flags    the EWX_ flags, "0x00000012"; for a timed request those the
//            system would end with (EWX_REBOOT or EWX_SHUTDOWN, EWX_FORCE
//            when applications are closed by force)
//   reason   ExitWindowsEx's reason code, "0x00000000" (0 for a timed one)
//   timeout  the countdown in seconds (0 for ExitWindowsEx)
//   message  the timed request's message; "\" "\t" "\r" "\n" are written
//            as "\\" "\t" "\r" "\n", so a record stays on one line
//
//===----------------------------------------------------------------------===//
#pragma once

#include "zelsys/wintypes.h"

namespace zelsys {

// Starts logging off, shutting down, restarting or powering off (uFlags:
// one of EWX_LOGOFF, EWX_SHUTDOWN, EWX_REBOOT, EWX_POWEROFF, with
// EWX_FORCE or EWX_FORCEIFHUNG) and returns at once; nonzero when the
// request was started.
BOOL ExitWindowsEx(UINT uFlags, DWORD dwReason);

// Starts a shutdown of the machine (lpMachineName null or empty: this one)
// after a countdown of dwTimeout seconds showing lpMessage (may be null);
// bRebootAfterShutdown restarts it afterwards. A timeout beyond
// MAX_SHUTDOWN_TIMEOUT fails with ERROR_INVALID_PARAMETER. The substitute
// knows no other machine: a machine name fails with ERROR_BAD_NETPATH.
BOOL InitiateSystemShutdownW(LPWSTR lpMachineName, LPWSTR lpMessage, DWORD dwTimeout,
                             BOOL bForceAppsClosed, BOOL bRebootAfterShutdown);

} // namespace zelsys
