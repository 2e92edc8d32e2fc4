//===- ProfileFiles.cpp - Profile file calls on the substitute -------------===//
//
// The profile calls over the layout of ProfileText.h. A name without a
// folder names a file in C:\Windows, and a null name is win.ini there.
//
// Reading takes the whole file at once (parsed again only when its bytes
// changed, see ProfileCache). Writing is a read-modify-write of the whole
// file, safe against other writers and against the user who owns the
// folder, who may have made any name in it beforehand or make one meanwhile:
// - The folder is held open and every step acts on names inside it. The
//   file is read for rewriting without following a link: a write to a
//   profile file that is a symbolic link fails with ERROR_CANT_ACCESS_FILE
//   (as the calls inside held folders refuse one) and nothing is read or
//   written through it. Windows follows the link there; but there only an
//   administrator may make one, while any host user may, so following it
//   would let a user lead an administrator's write anywhere. Reading calls
//   follow links, as on Windows.
// - The new content is written beside the old file under an unpredictable
//   name made exclusively (TemporaryFiles.h), takes the old file's owner,
//   group, mode, DOS attributes and access lists (a new file is made as
//   CreateFileW makes one), is flushed, and is renamed over the name itself
//   with the checks of MoveFileExW. A reader sees the old file or the new
//   one, and a failure at any point leaves the old one whole. A read-only
//   file is refused, as on Windows, and so is one that a handle holds open,
//   which is stricter than Windows (there a handle that shares writing lets
//   the write through). So is a file of another owner when the process may
//   not give files away: it would change hands, which a write on Windows
//   never does.
// - Writers of every process serialise on an exclusive flock of the folder
//   that holds the file, taken before reading and dropped after the rename,
//   so no writer's change is lost. A file's own lock would not do: the
//   rename gives the name a new file, which a waiting writer's lock misses.
// A process killed between writing and renaming leaves its hidden
// ".zel-profile-*" file beside the profile file; the next write in that
// folder deletes it. Only code for Linux.
//
//===----------------------------------------------------------------------===//
#include "zelsys/profilefiles.h"
#include "DosAttributes.h"
#include "Errors.h"
#include "FileCalls.h"
#include "HostIo.h"
#include "ProfileText.h"
#include "TemporaryFiles.h"
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

// Opening a profile file never waits (a pipe) nor takes a terminal.
constexpr int kReadFlags = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
// The hidden name of a rewritten file while it is written.
constexpr char kTemporaryPrefix[] = ".zel-profile-";

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

// The lines of the file open as fd, known to the cache as path.
DWORD parseOpenFile(int fd, const std::string &path,
                    std::shared_ptr<const ProfileDocument> &document) {
  struct stat status {};
  if (::fstat(fd, &status) != 0)
    return posix::win32ErrorFromErrno(errno);
  // A folder, and a device or pipe, which are no Windows files.
  if (!S_ISREG(status.st_mode))
    return ERROR_ACCESS_DENIED;
  std::string bytes;
  if (const DWORD dwError = posix::readAll(fd, bytes))
    return dwError;
  document = profileCache().find(path, bytes);
  if (document == nullptr) {
    document = std::make_shared<const ProfileDocument>(posix::parseProfile(bytes));
    profileCache().keep(path, std::move(bytes), document);
  }
  return ERROR_SUCCESS;
}

// The file's lines; ERROR_FILE_NOT_FOUND when it (or its folder) is missing.
DWORD loadDocument(const HostFile &file, std::shared_ptr<const ProfileDocument> &document) {
  if (!file.folderFound)
    return ERROR_FILE_NOT_FOUND;
  const UniqueFd fd(::open(file.path.c_str(), kReadFlags));
  if (fd.get() < 0)
    return errno == ENOENT || errno == ENOTDIR ? ERROR_FILE_NOT_FOUND
                                               : posix::win32ErrorFromErrno(errno);
  return parseOpenFile(fd.get(), file.path, document);
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

// The file a write call rewrites, in the folder it holds, never through a
// link (see the top of the file); an fd of -1 when there is none yet.
DWORD openForRewrite(int folderFd, const std::string &name, UniqueFd &fd) {
  fd.reset(::openat(folderFd, name.c_str(), kReadFlags | O_NOFOLLOW));
  if (fd.get() >= 0 || errno == ENOENT)
    return ERROR_SUCCESS;
  return errno == ELOOP ? ERROR_CANT_ACCESS_FILE : posix::win32ErrorFromErrno(errno);
}

// The new file's content, identity (the old file's, or a new file's) and
// durability, before it takes the name.
DWORD fillReplacement(int fd, int oldFd, const std::string &bytes) {
  if (!posix::writeAll(fd, bytes.data(), bytes.size()))
    return errno != 0 ? posix::win32ErrorFromErrno(errno) : ERROR_DISK_FULL;
  if (oldFd >= 0)
    if (const DWORD dwError = posix::copyIdentity(oldFd, fd))
      return dwError;
  return ::fsync(fd) == 0 ? ERROR_SUCCESS : posix::win32ErrorFromErrno(errno);
}

// Puts bytes in place of name in the held folder, whose old file (if any)
// is open as oldFd: beside it first, then renamed over the name itself.
DWORD replaceFile(int folderFd, const std::string &name, int oldFd, const std::string &bytes) {
  DWORD attributes = 0;
  DWORD dwError = ERROR_SUCCESS;
  if (oldFd >= 0 && !posix::readOpenAttributes(oldFd, attributes, dwError))
    return dwError;
  if (attributes & FILE_ATTRIBUTE_READONLY)
    return ERROR_ACCESS_DENIED;
  posix::removeLeftovers(folderFd, kTemporaryPrefix);
  // A replacement is the writer's alone until it has the old identity; a
  // new file is made as CreateFileW makes one.
  posix::TemporaryFile temporary;
  if ((dwError =
           posix::createTemporary(folderFd, kTemporaryPrefix, oldFd >= 0 ? 0600 : 0666, temporary)))
    return dwError;
  dwError = fillReplacement(temporary.fd.get(), oldFd, bytes);
  if (dwError == ERROR_SUCCESS)
    dwError = posix::moveHostFile(posix::nameBelow(folderFd, temporary.name),
                                  posix::nameBelow(folderFd, name),
                                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  if (dwError != ERROR_SUCCESS)
    posix::removeTemporary(folderFd, temporary);
  return dwError;
}

// Waits for the folder's lock (see the top of the file).
DWORD lockFolder(int folderFd) {
  while (::flock(folderFd, LOCK_EX) != 0)
    if (errno != EINTR)
      return posix::win32ErrorFromErrno(errno);
  return ERROR_SUCCESS;
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
  const std::string name = posix::hostNameOf(file);
  UniqueFd old;
  DWORD dwError = lockFolder(folder.get());
  if (dwError == ERROR_SUCCESS)
    dwError = openForRewrite(folder.get(), name, old);
  std::shared_ptr<const ProfileDocument> read;
  if (dwError == ERROR_SUCCESS && old.get() >= 0)
    dwError = parseOpenFile(old.get(), file.path, read);
  if (dwError != ERROR_SUCCESS)
    return posix::failWith(dwError);
  auto document = read != nullptr ? std::make_shared<ProfileDocument>(*read)
                                  : std::make_shared<ProfileDocument>();
  read.reset();
  if (!edit(*document))
    return TRUE;
  std::string bytes = posix::serialiseProfile(*document);
  if ((dwError = replaceFile(folder.get(), name, old.get(), bytes)))
    return posix::failWith(dwError);
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
