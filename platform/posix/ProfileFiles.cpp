//===- ProfileFiles.cpp - Profile file calls on the substitute -------------===//
//
// The profile calls over the layout of ProfileText.h. A name without a
// folder names a file in C:\Windows, and a null name is win.ini there.
//
// Reading takes the whole file at once (parsed again only when its bytes
// changed, see ProfileCache). Writing is a read-modify-write of
// the whole file, made safe two ways:
// - The new content is written to a file beside the old one, flushed, and
//   renamed over it with MoveFileExW, so a reader sees the old file or the
//   new one and a failure at any point leaves the old one whole. The file's
//   attributes carry over. A read-only file is refused, as on Windows, and
//   so is one that a handle holds open, which is stricter than Windows
//   (there a handle that shares writing lets the write through).
// - Writers of every process serialise on an exclusive flock of the folder
//   that holds the file, taken before reading and dropped after the rename,
//   so no writer's change is lost. A file's own lock would not do: the
//   rename gives the name a new file, which a waiting writer's lock misses.
// A process killed between writing and renaming leaves its "<name>.<pid>~"
// beside the file; the next writer with that id overwrites it. Only code
// for Linux.
//
//===----------------------------------------------------------------------===//
#include "zelsys/profilefiles.h"
#include "Errors.h"
#include "FileCalls.h"
#include "HostIo.h"
#include "ProfileText.h"
#include "zelsys/files.h"
#include "zelsys/kernel.h"

#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zelsys {

namespace {

using posix::HostFile;
using posix::ProfileDocument;
using posix::UniqueFd;

// The file a profile call means, resolved; false with the last error set.
bool resolveProfile(LPCWSTR lpFileName, HostFile &file) {
  std::u16string name = lpFileName != nullptr ? lpFileName : u"win.ini";
  if (name.find_first_of(u"\\/:") == std::u16string::npos)
    name = u"C:\\Windows\\" + name;
  if (!posix::resolveForCall(name.c_str(), posix::NameUse::Open, false, file))
    return false;
  if (file.device != posix::DosDevice::None || file.trailingSeparator)
    return posix::failWith(ERROR_ACCESS_DENIED);
  return true;
}

// The last profile file read or written, parsed, so that a run of calls on
// one file (an export writes it entry by entry, an import reads it section
// by section) parses it once rather than once per call. Reading the bytes
// is cheap next to parsing them; they are compared whole, as a file changed
// in place within the file system's clock tick would pass for unchanged by
// its size and times.
class ProfileCache {
public:
  std::shared_ptr<const ProfileDocument> find(const std::string &path, const std::string &bytes) {
    const std::lock_guard<std::mutex> guard(m_mutex);
    return path == m_path && bytes == m_bytes ? m_document : nullptr;
  }

  void keep(const std::string &path, std::string bytes,
            std::shared_ptr<const ProfileDocument> document) {
    const std::lock_guard<std::mutex> guard(m_mutex);
    m_path = path;
    m_bytes = std::move(bytes);
    m_document = std::move(document);
  }

private:
  std::mutex m_mutex;
  std::string m_path;
  std::string m_bytes;
  std::shared_ptr<const ProfileDocument> m_document;
};

ProfileCache &profileCache() {
  static ProfileCache cache;
  return cache;
}

// The file's lines; ERROR_FILE_NOT_FOUND when it (or its folder) is missing.
DWORD loadDocument(const HostFile &file, std::shared_ptr<const ProfileDocument> &document) {
  if (!file.folderFound)
    return ERROR_FILE_NOT_FOUND;
  const UniqueFd fd(::open(file.path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
  if (fd.get() < 0)
    return errno == ENOENT || errno == ENOTDIR ? ERROR_FILE_NOT_FOUND
                                               : posix::win32ErrorFromErrno(errno);
  struct stat status {};
  if (::fstat(fd.get(), &status) != 0)
    return posix::win32ErrorFromErrno(errno);
  if (S_ISDIR(status.st_mode))
    return ERROR_ACCESS_DENIED;
  std::string bytes;
  if (const DWORD dwError = posix::readAll(fd.get(), bytes))
    return dwError;
  document = profileCache().find(file.path, bytes);
  if (document == nullptr) {
    document = std::make_shared<const ProfileDocument>(posix::parseProfile(bytes));
    profileCache().keep(file.path, std::move(bytes), document);
  }
  return ERROR_SUCCESS;
}

// The document a read call looks at; a missing or unreadable file reads as
// an empty one, with the reason left as the last error.
std::shared_ptr<const ProfileDocument> readDocument(LPCWSTR lpFileName) {
  static const auto empty = std::make_shared<const ProfileDocument>();
  HostFile file;
  std::shared_ptr<const ProfileDocument> document;
  if (!resolveProfile(lpFileName, file))
    return empty;
  if (const DWORD dwError = loadDocument(file, document)) {
    SetLastError(dwError);
    return empty;
  }
  return document;
}

DWORD writeAll(int fd, const std::string &bytes) {
  for (std::size_t put = 0; put < bytes.size();) {
    const ssize_t wrote = ::write(fd, bytes.data() + put, bytes.size() - put);
    if (wrote < 0 && errno != EINTR)
      return posix::win32ErrorFromErrno(errno);
    put += wrote > 0 ? static_cast<std::size_t>(wrote) : 0;
  }
  return ::fsync(fd) == 0 ? ERROR_SUCCESS : posix::win32ErrorFromErrno(errno);
}

// Puts bytes in place of the file: beside it first, then renamed over it.
BOOL replaceFile(const HostFile &file, const std::string &bytes) {
  const std::string suffix = "." + std::to_string(::getpid()) + "~";
  const std::string tempPath = file.path + suffix;
  const std::u16string tempName = file.fullPath + std::u16string(suffix.begin(), suffix.end());
  const DWORD attributes = GetFileAttributesW(file.fullPath.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
    return posix::failWith(ERROR_ACCESS_DENIED);
  struct stat status {};
  const bool existed = ::stat(file.path.c_str(), &status) == 0;
  DWORD dwError = ERROR_SUCCESS;
  {
    const UniqueFd fd(::open(tempPath.c_str(),
                             O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY,
                             existed ? status.st_mode & 07777 : 0666));
    if (fd.get() < 0)
      return posix::failWithErrno();
    dwError = writeAll(fd.get(), bytes);
  }
  if (dwError == ERROR_SUCCESS && attributes != INVALID_FILE_ATTRIBUTES)
    SetFileAttributesW(tempName.c_str(), attributes);
  if (dwError == ERROR_SUCCESS && !MoveFileExW(tempName.c_str(), file.fullPath.c_str(),
                                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    dwError = GetLastError();
  if (dwError == ERROR_SUCCESS)
    return TRUE;
  ::unlink(tempPath.c_str());
  return posix::failWith(dwError);
}

// The shape of both write calls: under the folder's lock, read the file,
// let edit change the document, and write it back when it changed (or
// when the edit made a file that was not there).
template <typename Edit> BOOL editProfile(LPCWSTR lpFileName, Edit edit) {
  HostFile file;
  if (!resolveProfile(lpFileName, file))
    return FALSE;
  if (!file.folderFound)
    return posix::failWith(ERROR_PATH_NOT_FOUND);
  const UniqueFd folder(::open(file.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.get() < 0)
    return posix::failWithErrno();
  while (::flock(folder.get(), LOCK_EX) != 0)
    if (errno != EINTR)
      return posix::failWithErrno();
  std::shared_ptr<const ProfileDocument> read;
  const DWORD dwError = loadDocument(file, read);
  if (dwError != ERROR_SUCCESS && dwError != ERROR_FILE_NOT_FOUND)
    return posix::failWith(dwError);
  auto document = read != nullptr ? std::make_shared<ProfileDocument>(*read)
                                  : std::make_shared<ProfileDocument>();
  read.reset();
  if (!edit(*document))
    return TRUE;
  std::string bytes = posix::serialiseProfile(*document);
  if (!replaceFile(file, bytes))
    return FALSE;
  profileCache().keep(file.path, std::move(bytes), std::move(document));
  return TRUE;
}

} // namespace

DWORD GetPrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName, LPCWSTR lpDefault,
                               LPWSTR lpReturnedString, DWORD nSize, LPCWSTR lpFileName) {
  const auto pDocument = readDocument(lpFileName);
  const ProfileDocument &document = *pDocument;
  if (lpAppName == nullptr)
    return posix::copyProfileList(posix::profileSectionNames(document), lpReturnedString, nSize);
  if (lpKeyName == nullptr)
    return posix::copyProfileList(posix::profileKeyNames(document, lpAppName), lpReturnedString,
                                  nSize);
  if (const auto value = posix::profileValue(document, lpAppName, lpKeyName))
    return posix::copyProfileText(*value, lpReturnedString, nSize);
  // The default loses its trailing blanks, as documented.
  std::u16string_view fallback = lpDefault != nullptr ? lpDefault : u"";
  while (!fallback.empty() && fallback.back() == u' ')
    fallback.remove_suffix(1);
  return posix::copyProfileText(fallback, lpReturnedString, nSize);
}

UINT GetPrivateProfileIntW(LPCWSTR lpAppName, LPCWSTR lpKeyName, INT nDefault, LPCWSTR lpFileName) {
  if (lpAppName == nullptr || lpKeyName == nullptr)
    return static_cast<UINT>(nDefault);
  const auto value = posix::profileValue(*readDocument(lpFileName), lpAppName, lpKeyName);
  return value ? posix::profileNumber(*value) : static_cast<UINT>(nDefault);
}

DWORD GetPrivateProfileSectionW(LPCWSTR lpAppName, LPWSTR lpReturnedString, DWORD nSize,
                                LPCWSTR lpFileName) {
  if (lpAppName == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return posix::copyProfileList({}, lpReturnedString, nSize);
  }
  return posix::copyProfileList(posix::profileSectionLines(*readDocument(lpFileName), lpAppName),
                                lpReturnedString, nSize);
}

DWORD GetPrivateProfileSectionNamesW(LPWSTR lpszReturnBuffer, DWORD nSize, LPCWSTR lpFileName) {
  return posix::copyProfileList(posix::profileSectionNames(*readDocument(lpFileName)),
                                lpszReturnBuffer, nSize);
}

BOOL WritePrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName, LPCWSTR lpString,
                                LPCWSTR lpFileName) {
  // With all three null Windows flushes its cache; there is none here.
  if (lpAppName == nullptr && lpKeyName == nullptr && lpString == nullptr)
    return TRUE;
  if (lpAppName == nullptr)
    return posix::failWith(ERROR_INVALID_PARAMETER);
  return editProfile(lpFileName, [&](ProfileDocument &document) {
    return posix::setProfileValue(document, lpAppName, lpKeyName, lpString);
  });
}

BOOL WritePrivateProfileSectionW(LPCWSTR lpAppName, LPCWSTR lpString, LPCWSTR lpFileName) {
  if (lpAppName == nullptr)
    return posix::failWith(ERROR_INVALID_PARAMETER);
  const std::vector<std::u16string> lines = posix::splitProfileList(lpString);
  return editProfile(lpFileName, [&](ProfileDocument &document) {
    // Without a list the section goes, header and all, as under Wine.
    return lpString == nullptr ? posix::setProfileValue(document, lpAppName, nullptr, nullptr)
                               : posix::setProfileSection(document, lpAppName, lines);
  });
}

} // namespace zelsys
