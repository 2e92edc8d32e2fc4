//===- FileCalls.cpp - What the substitute's file calls share --------------===//
//
// Only code that works on every Unix.
//
//===----------------------------------------------------------------------===//
#include "FileCalls.h"
#include "DosAttributes.h"
#include "Errors.h"

#include <unistd.h>

namespace zelsys::posix {

void UniqueFd::reset(int fd) {
  if (m_fd >= 0)
    ::close(m_fd);
  m_fd = fd;
}

std::string descriptorPath(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

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
