//===- Folders.cpp - Folders and the current folder on the substitute ------===//
//
// Creating and removing folders, and the process's Windows current folder,
// which every relative name resolves against (HostPath.h). Setting it also
// moves the host's working folder, so programs the process starts begin in
// the same place. GetFullPathNameW is path arithmetic only. Calls that fill
// a caller's buffer never write past the size given: a buffer too small is
// left alone and the size needed, terminator included, comes back. Only
// code that works on every Unix.
//
//===----------------------------------------------------------------------===//
#include "Errors.h"
#include "FileCalls.h"
#include "Utf.h"
#include "WindowsPath.h"
#include "zelsys/files.h"
#include "zelsys/kernel.h"

#include <algorithm>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace zelsys {

namespace {

// CreateDirectoryW leaves room for an 8.3 name below the new folder.
constexpr std::size_t kLongestFolder = MAX_PATH - 12;

// Copies text and its terminator into a caller's buffer of size units;
// returns the units copied without the terminator, or the size needed with
// it when the buffer is too small (then nothing is written).
DWORD copyOut(const std::u16string &text, LPWSTR lpBuffer, DWORD nBufferLength) {
  if (text.size() >= nBufferLength || lpBuffer == nullptr)
    return static_cast<DWORD>(text.size() + 1);
  std::copy(text.begin(), text.end(), lpBuffer);
  lpBuffer[text.size()] = u'\0';
  return static_cast<DWORD>(text.size());
}

DWORD checkNewFolder(LPCWSTR lpPathName, const posix::HostFile &file) {
  // A device is there already, and so is every drive's root.
  if (file.device != posix::DosDevice::None || file.name.empty())
    return ERROR_ALREADY_EXISTS;
  if (file.fullPath.size() > kLongestFolder && !posix::isExtendedPath(lpPathName))
    return ERROR_FILENAME_EXCED_RANGE;
  return ERROR_SUCCESS;
}

DWORD removeFolder(const posix::HostFile &file) {
  if (file.device != posix::DosDevice::None || file.name.empty())
    return ERROR_ACCESS_DENIED;
  // Windows keeps the current folder open: it cannot go.
  if (posix::equalsIgnoreCase(file.fullPath, posix::currentFolder()))
    return ERROR_SHARING_VIOLATION;
  struct stat link {};
  struct stat status {};
  if (::lstat(file.path.c_str(), &link) != 0)
    return posix::win32ErrorFromErrno(errno);
  if (::stat(file.path.c_str(), &status) != 0 || !S_ISDIR(status.st_mode))
    return ERROR_DIRECTORY;
  // A link to a folder goes as a name; the folder it points to stays.
  const int result =
      S_ISLNK(link.st_mode) ? ::unlink(file.path.c_str()) : ::rmdir(file.path.c_str());
  return result == 0 ? ERROR_SUCCESS : posix::win32ErrorFromErrno(errno);
}

// The folder SetCurrentDirectoryW moves to, as the full path it keeps.
DWORD checkCurrentFolder(LPCWSTR lpPathName, const posix::HostFile &file, std::u16string &full) {
  struct stat status {};
  if (::stat(file.path.c_str(), &status) != 0)
    return posix::win32ErrorFromErrno(errno);
  if (!S_ISDIR(status.st_mode))
    return ERROR_DIRECTORY;
  std::size_t filePart = 0;
  full = posix::fullPathName(lpPathName, posix::currentFolder(), filePart);
  if (full.size() > 3 && full.back() == u'\\')
    full.pop_back();
  // Windows keeps it with a trailing separator and a terminator.
  return full.size() + 2 > MAX_PATH ? ERROR_FILENAME_EXCED_RANGE : ERROR_SUCCESS;
}

} // namespace

BOOL CreateDirectoryW(LPCWSTR lpPathName, const SECURITY_ATTRIBUTES *) {
  posix::HostFile file;
  if (!posix::resolveForCall(lpPathName, posix::NameUse::Open, false, file))
    return FALSE;
  if (const DWORD dwError = checkNewFolder(lpPathName, file))
    return posix::failWith(dwError);
  if (!file.folderFound)
    return posix::failWith(ERROR_PATH_NOT_FOUND);
  const DWORD dwError = posix::makeHostFolder(file);
  return dwError == ERROR_SUCCESS ? TRUE : posix::failWith(dwError);
}

BOOL RemoveDirectoryW(LPCWSTR lpPathName) {
  posix::HostFile file;
  if (!posix::resolveForCall(lpPathName, posix::NameUse::Open, true, file))
    return FALSE;
  const DWORD dwError = removeFolder(file);
  return dwError == ERROR_SUCCESS ? TRUE : posix::failWith(dwError);
}

DWORD GetCurrentDirectoryW(DWORD nBufferLength, LPWSTR lpBuffer) {
  return copyOut(posix::currentFolder(), lpBuffer, nBufferLength);
}

BOOL SetCurrentDirectoryW(LPCWSTR lpPathName) {
  posix::HostFile file;
  if (!posix::resolveForCall(lpPathName, posix::NameUse::Open, true, file))
    return FALSE;
  std::u16string full;
  if (const DWORD dwError = checkCurrentFolder(lpPathName, file, full))
    return posix::failWith(dwError);
  if (::chdir(file.path.c_str()) != 0)
    return posix::failWithErrno();
  posix::setCurrentFolder(std::move(full));
  return TRUE;
}

DWORD GetFullPathNameW(LPCWSTR lpFileName, DWORD nBufferLength, LPWSTR lpBuffer,
                       LPWSTR *lpFilePart) {
  if (lpFileName == nullptr || lpFileName[0] == u'\0') {
    SetLastError(lpFileName == nullptr ? ERROR_INVALID_PARAMETER : ERROR_INVALID_NAME);
    return 0;
  }
  std::size_t filePart = 0;
  const std::u16string full = posix::fullPathName(lpFileName, posix::currentFolder(), filePart);
  if (full.empty()) {
    SetLastError(ERROR_BAD_NETPATH);
    return 0;
  }
  const DWORD copied = copyOut(full, lpBuffer, nBufferLength);
  if (copied == full.size() && lpFilePart != nullptr)
    *lpFilePart = filePart == std::u16string::npos ? nullptr : lpBuffer + filePart;
  return copied;
}

} // namespace zelsys
