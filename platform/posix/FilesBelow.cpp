//===- FilesBelow.cpp - Files inside a folder held open, on the substitute -===//
//
// A held folder is a descriptor; a name below it is reached through
// /proc/self/fd/<fd>/<name>, which the kernel resolves from the folder the
// descriptor holds, not from any name, so the path calls of the other file
// files act below it unchanged. The last component is matched as Windows
// matches names and never followed (HostFile::noFollow; renames and
// deletions act on a link itself anyway). A file's identity (owner, group,
// mode, DOS attributes and access lists, all kept in the inode or its
// extended attributes) is copied descriptor to descriptor. Only code for
// Linux.
//
//===----------------------------------------------------------------------===//
#include "zelsys/filesbelow.h"
#include "Errors.h"
#include "FileCalls.h"
#include "FileIdentity.h"
#include "FileNames.h"
#include "Machine.h"
#include "zelsys/kernel.h"
#include "zelsys/winconst.h"

#include <cerrno>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

namespace zelsys {

namespace posix {

namespace {

// One name of a folder: not empty, no separator, not "." or "..", nothing
// Windows refuses in a name, no device.
bool isOneName(std::u16string_view name) {
  if (name.empty() || name == u"." || name == u"..")
    return false;
  if (name.find_first_of(u"\\/") != std::u16string_view::npos)
    return false;
  return isValidName(name, false) && trimName(name) == name && dosDeviceOf(name) == DosDevice::None;
}

} // namespace

bool resolveBelow(HANDLE hFolder, LPCWSTR lpName, HostFile &file) {
  if (hFolder == nullptr)
    return resolveForCall(lpName, NameUse::Open, false, file);
  if (lpName == nullptr)
    return failWith(ERROR_INVALID_PARAMETER);
  const std::shared_ptr<FolderObject> folder = objectOf<FolderObject>(hFolder);
  if (!folder)
    return failWith(ERROR_INVALID_HANDLE);
  const std::u16string_view name(lpName);
  if (!isOneName(name))
    return failWith(ERROR_INVALID_NAME);
  file = nameBelow(folder->fd(), matchEntry(descriptorPath(folder->fd()), name));
  file.name = name;
  file.fullPath = name;
  return true;
}

} // namespace posix

namespace {

// The extended attributes that make up a file's identity besides its inode
// fields: DOS attributes, the kept Windows access list, the POSIX ACL.
const char *const kIdentityAttributes[] = {"user.DOSATTRIB", "user.zelsys.dacl",
                                           "system.posix_acl_access"};

DWORD copyAttribute(int from, int to, const char *name) {
  std::vector<char> value(256);
  for (;;) {
    const ssize_t size = ::fgetxattr(from, name, value.data(), value.size());
    if (size >= 0) {
      value.resize(static_cast<std::size_t>(size));
      break;
    }
    if (errno == ENODATA || errno == ENOTSUP) {
      // Absent on the original: absent on the copy, whatever it inherited.
      if (::fremovexattr(to, name) != 0 && errno != ENODATA && errno != ENOTSUP)
        return posix::win32ErrorFromErrno(errno);
      return ERROR_SUCCESS;
    }
    if (errno != ERANGE || value.size() > 65536)
      return posix::win32ErrorFromErrno(errno);
    value.resize(value.size() * 4);
  }
  if (::fsetxattr(to, name, value.data(), value.size(), 0) != 0)
    return posix::win32ErrorFromErrno(errno);
  return ERROR_SUCCESS;
}

} // namespace

namespace posix {

DWORD copyIdentity(int from, int to) {
  struct stat status {};
  if (::fstat(from, &status) != 0)
    return win32ErrorFromErrno(errno);
  // Owner first: changing it may clear the mode's set-id bits.
  if (::fchown(to, status.st_uid, status.st_gid) != 0)
    return win32ErrorFromErrno(errno);
  // Writable while its attributes are written; the access list's entry for
  // the owner then settles the mode.
  if (::fchmod(to, (status.st_mode & 07777) | S_IWUSR) != 0)
    return win32ErrorFromErrno(errno);
  for (const char *name : kIdentityAttributes)
    if (const DWORD dwError = copyAttribute(from, to, name))
      return dwError;
  return ::fchmod(to, status.st_mode & 07777) == 0 ? ERROR_SUCCESS : win32ErrorFromErrno(errno);
}

} // namespace posix

namespace common {

DWORD copyFileIdentity(HANDLE hFrom, HANDLE hTo) {
  const int from = posix::descriptorOf(hFrom);
  const int to = posix::descriptorOf(hTo);
  return from < 0 || to < 0 ? ERROR_INVALID_HANDLE : posix::copyIdentity(from, to);
}

} // namespace common

namespace {

// A call on one name in a held folder: resolve it, act on it, report.
template <typename Act> BOOL actBelow(HANDLE hFolder, LPCWSTR lpName, Act act) {
  posix::HostFile file;
  if (hFolder == nullptr)
    return posix::failWith(ERROR_INVALID_PARAMETER);
  if (!posix::resolveBelow(hFolder, lpName, file))
    return FALSE;
  const DWORD dwError = act(file);
  return dwError == ERROR_SUCCESS ? TRUE : posix::failWith(dwError);
}

} // namespace

BOOL CreateDirectoryBelowW(HANDLE hFolder, LPCWSTR lpName) {
  return actBelow(hFolder, lpName, posix::makeHostFolder);
}

BOOL MoveFileBelowW(HANDLE hFolder, LPCWSTR lpExistingName, LPCWSTR lpNewName, DWORD dwFlags) {
  if ((dwFlags & ~MOVEFILE_REPLACE_EXISTING) != 0 || hFolder == nullptr)
    return posix::failWith(ERROR_INVALID_PARAMETER);
  posix::HostFile source;
  posix::HostFile target;
  if (!posix::resolveBelow(hFolder, lpExistingName, source) ||
      !posix::resolveBelow(hFolder, lpNewName, target))
    return FALSE;
  const DWORD dwError = posix::moveHostFile(source, target, dwFlags);
  return dwError == ERROR_SUCCESS ? TRUE : posix::failWith(dwError);
}

BOOL DeleteFileBelowW(HANDLE hFolder, LPCWSTR lpName) {
  return actBelow(hFolder, lpName, posix::removeHostFile);
}

} // namespace zelsys
