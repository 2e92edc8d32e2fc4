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

constexpr DWORD kErrorTooManyOpenFiles = 4;
constexpr DWORD kErrorCantResolveFilename = 1921;
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
    return ERROR_INSUFFICIENT_BUFFER;
  case ENAMETOOLONG:
    return ERROR_FILENAME_EXCED_RANGE;
  case EEXIST:
    return ERROR_ALREADY_EXISTS;
  case ENOTEMPTY:
    return ERROR_DIR_NOT_EMPTY;
  case EISDIR:
    return ERROR_ACCESS_DENIED;
  case EXDEV:
    return ERROR_NOT_SAME_DEVICE;
  case ENOSPC:
  case EDQUOT:
  case EFBIG:
    return ERROR_DISK_FULL;
  case EBUSY:
  case ETXTBSY:
    return ERROR_SHARING_VIOLATION;
  case EMFILE:
  case ENFILE:
    return kErrorTooManyOpenFiles;
  case ENOTSUP:
    return kErrorNotSupported;
  case ELOOP:
    return kErrorCantResolveFilename;
  default:
    return ERROR_INVALID_FUNCTION;
  }
}

BOOL failWithErrno() { return failWith(win32ErrorFromErrno(errno)); }

BOOL failWith(DWORD dwError) {
  SetLastError(dwError);
  return FALSE;
}

} // namespace posix
} // namespace zelsys
