//===- ShutdownRecord.h - Shutdown requests that are recorded, not made ----===//
//
// The substitute never stops its host, and tests on Windows must not stop
// theirs: there ExitWindowsEx and InitiateSystemShutdownW check a request
// as Windows does (the privilege, the arguments) and append it as one line
// to a record file (the format is in zelsys/shutdown.h). The checks and the
// line are shared here; where the privilege is looked up and where the line
// goes belong to each platform.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "zelsys/wintypes.h"

#include <chrono>
#include <string>
#include <string_view>

namespace zelsys::common {

// The two calls' contracts, recording instead of acting. They set the last
// error on failure and leave it alone on success, as Windows does.
BOOL recordExitWindows(UINT uFlags, DWORD dwReason);
BOOL recordSystemShutdown(LPCWSTR lpMachineName, LPCWSTR lpMessage, DWORD dwTimeout,
                          BOOL bForceAppsClosed, BOOL bRebootAfterShutdown);

// One record line, ending in "\n".
std::string shutdownRecordLine(std::chrono::system_clock::time_point when, std::string_view kind,
                               DWORD dwFlags, DWORD dwReason, DWORD dwTimeout, LPCWSTR lpMessage);

// Supplied by each platform: whether the caller's token has
// SeShutdownPrivilege enabled, and appending a line to the record file
// (ERROR_SUCCESS or the Win32 error that stopped it).
bool shutdownPrivilegeEnabled();
DWORD appendShutdownRecord(const std::string &line);

} // namespace zelsys::common
