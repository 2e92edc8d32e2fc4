//===- Errors.cpp - The last-error value and errno translation -------------===//
//
// GetLastError is thread-local, as on Windows. Only code that works on every
// Unix.
//
//===----------------------------------------------------------------------===//
#include "Errors.h"
#include "zelsys/kernel.h"

#include <cerrno>

namespace zelsys {

namespace {
thread_local DWORD tLastError = ERROR_SUCCESS;
} // namespace

DWORD GetLastError() { return tLastError; }

void SetLastError(DWORD dwErrCode) { tLastError = dwErrCode; }

namespace posix {

DWORD win32ErrorFromErrno(int error) {
  switch (error) {
  case 0:
    return ERROR_SUCCESS;
  case ENOENT:
    return ERROR_FILE_NOT_FOUND;
  case ENOTDIR:
    return ERROR_PATH_NOT_FOUND;
  case EACCES:
  case EPERM:
  case EROFS:
    return ERROR_ACCESS_DENIED;
  case EBADF:
    return ERROR_INVALID_HANDLE;
  case ENOMEM:
    return ERROR_NOT_ENOUGH_MEMORY;
  case EINVAL:
    return ERROR_INVALID_PARAMETER;
  case ERANGE:
  case ENAMETOOLONG:
    return ERROR_INSUFFICIENT_BUFFER;
  default:
    return ERROR_INVALID_FUNCTION;
  }
}

BOOL failWithErrno() {
  SetLastError(win32ErrorFromErrno(errno));
  return FALSE;
}

} // namespace posix
} // namespace zelsys
