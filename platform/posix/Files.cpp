//===- Files.cpp - File calls on the substitute ----------------------------===//
//
// Windows paths are mapped onto the host through the machine's drives. Only
// code that works on every Unix.
//
//===----------------------------------------------------------------------===//
#include "zelsys/files.h"
#include "Errors.h"
#include "HostPath.h"
#include "zelsys/kernel.h"

#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace zelsys {

BOOL DeleteFileW(LPCWSTR lpFileName) {
  if (lpFileName == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // An empty name would otherwise resolve to the current folder.
  if (lpFileName[0] == u'\0') {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  std::string hostPath;
  DWORD dwError = ERROR_SUCCESS;
  if (!posix::hostPathFromWindows(lpFileName, hostPath, dwError)) {
    SetLastError(dwError);
    return FALSE;
  }
  // unlink would report a folder as EISDIR (or EPERM); Windows refuses to
  // delete a folder as a file with ERROR_ACCESS_DENIED. A link to a folder
  // is a file of its own and goes like any file.
  struct stat status {};
  if (::lstat(hostPath.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (::unlink(hostPath.c_str()) != 0)
    return posix::failWithErrno();
  return TRUE;
}

} // namespace zelsys
