//===- Shutdown.cpp - Shutdown requests on the substitute ------------------===//
//
// The emulated machine is never stopped: each request is checked and
// recorded in the machine folder (ShutdownRecord.h), and nothing happens to
// the host. Only code that works on every Unix.
//
//===----------------------------------------------------------------------===//
#include "zelsys/shutdown.h"
#include "Errors.h"
#include "Machine.h"
#include "ShutdownRecord.h"
#include "Token.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace zelsys {

namespace common {

bool shutdownPrivilegeEnabled() { return posix::isPrivilegeEnabled(SE_SHUTDOWN_NAME); }

DWORD appendShutdownRecord(const std::string &line) {
  const std::string root = posix::ensureMachine();
  if (root.empty())
    return ERROR_PATH_NOT_FOUND;
  // A file of the machine's own: never reached through a planted link.
  const int fd = posix::openMachineFile("shutdown-requests.txt", O_WRONLY | O_APPEND);
  if (fd < 0)
    return posix::win32ErrorFromErrno(errno);
  // One write per line: appends of several processes never interleave.
  DWORD dwError = ERROR_SUCCESS;
  ssize_t written = -1;
  do
    written = ::write(fd, line.data(), line.size());
  while (written < 0 && errno == EINTR);
  if (written < 0)
    dwError = posix::win32ErrorFromErrno(errno);
  else if (static_cast<std::size_t>(written) != line.size())
    dwError = ERROR_DISK_FULL;
  if (::close(fd) != 0 && dwError == ERROR_SUCCESS)
    dwError = posix::win32ErrorFromErrno(errno);
  return dwError;
}

} // namespace common

BOOL ExitWindowsEx(UINT uFlags, DWORD dwReason) {
  return common::recordExitWindows(uFlags, dwReason);
}

BOOL InitiateSystemShutdownW(LPWSTR lpMachineName, LPWSTR lpMessage, DWORD dwTimeout,
                             BOOL bForceAppsClosed, BOOL bRebootAfterShutdown) {
  return common::recordSystemShutdown(lpMachineName, lpMessage, dwTimeout, bForceAppsClosed,
                                      bRebootAfterShutdown);
}

} // namespace zelsys
