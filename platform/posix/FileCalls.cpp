//===- FileCalls.cpp - What the substitute's file calls share --------------===//
//
// Only code that works on every Unix.
//
//===----------------------------------------------------------------------===//
#include "FileCalls.h"
#include "DosAttributes.h"
#include "Errors.h"
#include "Utf.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zelsys::posix {

void UniqueFd::reset(int fd) {
  if (m_fd >= 0)
    ::close(m_fd);
  m_fd = fd;
}

std::string descriptorPath(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

std::string hostNameOf(const HostFile &file) { return file.path.substr(file.path.rfind('/') + 1); }

HostFile nameBelow(int folderFd, const std::string &hostName) {
  HostFile file;
  file.folder = descriptorPath(folderFd);
  file.path = file.folder + "/" + hostName;
  file.name = utf8ToUtf16(hostName);
  file.fullPath = file.name;
  file.folderFound = true;
  file.noFollow = true;
  return file;
}

bool resolveForCall(LPCWSTR lpName, NameUse use, bool needFolder, HostFile &file) {
  if (lpName == nullptr)
    return failWith(ERROR_INVALID_PARAMETER);
  DWORD dwError = ERROR_SUCCESS;
  if (!resolveHostFile(lpName, use, file, dwError))
    return failWith(dwError);
  if (needFolder && !file.folderFound)
    return failWith(ERROR_PATH_NOT_FOUND);
  return true;
}

DWORD storeNewAttributes(const std::string &path, DWORD attributes) {
  DWORD dwError = ERROR_SUCCESS;
  if (writeAttributes(path, attributes, dwError))
    return ERROR_SUCCESS;
  // Without extended attributes a name starting with "." is hidden anyway:
  // a new file keeps that, and the rest of what was asked.
  const bool asksHidden = attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  if (dwError == kErrorNotSupported && !asksHidden &&
      writeAttributes(path, attributes | FILE_ATTRIBUTE_HIDDEN, dwError))
    return ERROR_SUCCESS;
  return dwError;
}

DWORD makeHostFolder(const HostFile &folder) {
  if (::mkdir(folder.path.c_str(), 0777) != 0)
    return errno == ENOENT ? ERROR_PATH_NOT_FOUND : win32ErrorFromErrno(errno);
  const UniqueFd fd(
      folder.noFollow ? ::open(folder.path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)
                      : -1);
  DWORD dwError = ERROR_SUCCESS;
  if (folder.noFollow && fd.get() < 0)
    dwError = win32ErrorFromErrno(errno);
  else
    dwError = storeNewAttributes(folder.noFollow ? descriptorPath(fd.get()) : folder.path, 0);
  // All or nothing; a link in its place goes nowhere, as rmdir never follows.
  if (dwError != ERROR_SUCCESS)
    ::rmdir(folder.path.c_str());
  return dwError;
}

FILETIME fileTimeOf(long long seconds, unsigned nanoseconds) {
  constexpr long long kSecondsFrom1601To1970 = 11644473600LL;
  if (seconds < -kSecondsFrom1601To1970)
    return {0, 0};
  const auto ticks =
      static_cast<unsigned long long>(seconds + kSecondsFrom1601To1970) * 10000000ULL +
      nanoseconds / 100;
  return {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

} // namespace zelsys::posix
