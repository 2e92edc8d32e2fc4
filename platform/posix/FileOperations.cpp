//===- FileOperations.cpp - Whole files by name on the substitute ----------===//
//
// Deleting, copying, renaming a file and its attributes, by name. Changing
// a name counts as an open that deletes: while an open of the file does not
// share deleting it fails with ERROR_SHARING_VIOLATION, checked under the
// file's gate (FileSharing.h). Read-only files are neither deleted nor
// replaced, whoever the process runs as. A copy (and a move across file
// systems, which is a copy and a delete) is written to a hidden
// ".zel-copy-*" file beside its target, made as TemporaryFiles.h says in
// the target's folder held open, and renamed into place, so the target is
// either the whole copy or what it was before. What a copy killed half-way
// left there is deleted by the next copy into that folder; a copy still
// running keeps its file. Only code for Linux.
//
//===----------------------------------------------------------------------===//
#include "DosAttributes.h"
#include "Errors.h"
#include "FileCalls.h"
#include "FileSharing.h"
#include "TemporaryFiles.h"
#include "Utf.h"
#include "zelsys/files.h"
#include "zelsys/kernel.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace zelsys {

namespace {

using posix::HostFile;
using posix::UniqueFd;

// The hidden name of a copy while it is written (TemporaryFiles.h).
constexpr char kCopyPrefix[] = ".zel-copy-";
constexpr unsigned kWriteKind = 2;
constexpr unsigned kDeleteKind = 4;
constexpr DWORD kMoveFlags =
    MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH;

BOOL succeedOrFail(DWORD dwError) {
  return dwError == ERROR_SUCCESS ? TRUE : posix::failWith(dwError);
}

DWORD errnoError() { return posix::win32ErrorFromErrno(errno); }

// A descriptor to ask the sharing locks of what path names; none for a
// link, which is a name of its own.
UniqueFd probe(const std::string &path) {
  return UniqueFd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
}

// What an operation on a name asks of the opens of its file (the sharing
// check of an open with this access and share mode), and its error when
// they refuse.
struct Claim {
  const std::string &path;
  unsigned access;
  unsigned share;
  DWORD refusal;
};

bool refused(const UniqueFd &fd, const Claim &claim) {
  return fd.get() >= 0 && posix::shareConflicts(fd.get(), claim.access, claim.share);
}

// Runs change (a rename or an unlink) unless an open of the claimed files
// refuses: under their gates, so that no open slips in between. A second
// claim with an empty path claims nothing.
template <typename Change>
DWORD changeNames(const Claim &claim, const Claim &other, Change change) {
  const UniqueFd first = probe(claim.path);
  const UniqueFd second = other.path.empty() ? UniqueFd() : probe(other.path);
  struct stat firstStatus {};
  struct stat secondStatus {};
  const bool hasFirst = first.get() >= 0 && ::fstat(first.get(), &firstStatus) == 0;
  const bool hasSecond = second.get() >= 0 && ::fstat(second.get(), &secondStatus) == 0;
  std::optional<posix::ShareGate> gate;
  if (hasFirst || hasSecond)
    gate.emplace(hasFirst ? firstStatus : secondStatus,
                 hasFirst && hasSecond ? &secondStatus : nullptr);
  if (refused(first, claim))
    return claim.refusal;
  if (refused(second, other))
    return other.refusal;
  return change() == 0 ? ERROR_SUCCESS : errnoError();
}

template <typename Change> DWORD changeName(const Claim &claim, Change change) {
  static const std::string kNone;
  return changeNames(claim, {kNone, 0, 0, 0}, change);
}

// Deleting or renaming a file asks every open of it to share deleting.
Claim deleting(const std::string &path) {
  return {path, kDeleteKind, posix::kShareAll, ERROR_SHARING_VIOLATION};
}

// Renames without replacing unless asked to; atomic either way where the
// file system can (an existing target then fails with EEXIST).
int renameName(const std::string &from, const std::string &to, bool replace) {
  if (replace)
    return ::rename(from.c_str(), to.c_str());
  const int result = ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE);
  if (result == 0 || errno != EINVAL)
    return result;
  struct stat status {};
  if (::lstat(to.c_str(), &status) == 0) {
    errno = EEXIST;
    return -1;
  }
  return ::rename(from.c_str(), to.c_str());
}

// Whether an existing name may be deleted: not a folder and not read-only,
// as the name itself reports (a link to a folder is a folder, one to a file
// never read-only).
DWORD checkDeletable(const std::string &path) {
  DWORD attributes = 0;
  DWORD dwError = ERROR_SUCCESS;
  if (!posix::readAttributes(path, attributes, dwError))
    return dwError;
  const DWORD refused = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY;
  return (attributes & refused) ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
}

DWORD removeFile(const HostFile &file) {
  if (file.device != posix::DosDevice::None)
    return ERROR_ACCESS_DENIED;
  if (const DWORD dwError = checkDeletable(file.path))
    return dwError;
  return changeName(deleting(file.path), [&] { return ::unlink(file.path.c_str()); });
}

// Whether an existing target may be replaced: existsError when it may not be
// at all, never a folder, never with one of the guarded attributes.
DWORD checkTarget(const std::string &path, DWORD existsError, DWORD guarded) {
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0)
    return errno == ENOENT ? ERROR_SUCCESS : errnoError();
  if (existsError != ERROR_SUCCESS)
    return existsError;
  DWORD attributes = 0;
  DWORD dwError = ERROR_SUCCESS;
  if (!posix::readAttributes(path, attributes, dwError))
    return dwError;
  return (attributes & (FILE_ATTRIBUTE_DIRECTORY | guarded)) ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
}

bool copyBytes(int in, int out) {
  char chunk[65536];
  for (;;) {
    const ssize_t got = ::read(in, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR)
      continue;
    if (got <= 0)
      return got == 0;
    for (ssize_t put = 0; put < got;) {
      const ssize_t wrote = ::write(out, chunk + put, static_cast<std::size_t>(got - put));
      if (wrote < 0 && errno != EINTR)
        return false;
      put += wrote > 0 ? wrote : 0;
    }
  }
}

// The temporary file's content, permissions, times and attributes: all of
// the source's, durable before it takes the target's name.
DWORD fillCopy(int in, int out, const std::string &name, DWORD attributes) {
  struct stat source {};
  if (::fstat(in, &source) != 0 || !copyBytes(in, out) || ::fchmod(out, source.st_mode & 0777) != 0)
    return errnoError();
  const struct timespec times[2] = {source.st_atim, source.st_mtim};
  if (::futimens(out, times) != 0 || ::fsync(out) != 0)
    return errnoError();
  DWORD dwError = ERROR_SUCCESS;
  return posix::writeOpenAttributes(out, name, attributes, dwError) ? ERROR_SUCCESS : dwError;
}

// Writes what in holds beside name, in the folder held as folderFd, and
// renames it into place; a leftover of a copy that died goes first.
DWORD copyBeside(int in, int folderFd, const std::string &name, DWORD attributes,
                 bool failIfExists) {
  posix::removeLeftovers(folderFd, kCopyPrefix);
  posix::TemporaryFile temporary;
  if (const DWORD dwError = posix::createTemporary(folderFd, kCopyPrefix, 0600, temporary))
    return dwError;
  const std::string from = posix::nameBelow(folderFd, temporary.name).path;
  const std::string to = posix::nameBelow(folderFd, name).path;
  DWORD dwError = fillCopy(in, temporary.fd.get(), name, attributes);
  if (dwError == ERROR_SUCCESS)
    dwError = changeName({to, kWriteKind, 0, ERROR_SHARING_VIOLATION},
                         [&] { return renameName(from, to, !failIfExists); });
  if (dwError != ERROR_SUCCESS)
    posix::removeTemporary(folderFd, temporary);
  return dwError == ERROR_ALREADY_EXISTS ? ERROR_FILE_EXISTS : dwError;
}

DWORD copyInto(const HostFile &source, const HostFile &target, bool failIfExists) {
  if (source.device != posix::DosDevice::None || target.device != posix::DosDevice::None)
    return ERROR_ACCESS_DENIED;
  UniqueFd in;
  bool existed = false;
  if (const DWORD dwError =
          posix::openHostFile(source, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0, in, existed))
    return dwError;
  DWORD attributes = 0;
  DWORD dwError = ERROR_SUCCESS;
  // The copy takes the attributes of the file it copies, a link's target.
  if (!posix::readOpenAttributes(in.get(), attributes, dwError))
    return dwError;
  if (!target.folderFound)
    return ERROR_PATH_NOT_FOUND;
  // Every step below acts in the folder as it was found, wherever its
  // name goes meanwhile.
  const UniqueFd folder(::open(target.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.get() < 0)
    return errnoError();
  const std::string name = posix::hostNameOf(target);
  const DWORD guarded = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN;
  if ((dwError = checkTarget(posix::nameBelow(folder.get(), name).path,
                             failIfExists ? ERROR_FILE_EXISTS : 0, guarded)))
    return dwError;
  return copyBeside(in.get(), folder.get(), name, attributes, failIfExists);
}

// A new spelling of the same name: only the case changes.
DWORD renameCase(const HostFile &source, const HostFile &target) {
  const std::string spelled = target.folder + "/" + posix::utf16ToUtf8(target.name);
  if (spelled == source.path)
    return ERROR_SUCCESS;
  return changeName(deleting(source.path),
                    [&] { return ::rename(source.path.c_str(), spelled.c_str()); });
}

bool sameFile(const struct stat &status, const std::string &path) {
  struct stat other {};
  return ::lstat(path.c_str(), &other) == 0 && other.st_dev == status.st_dev &&
         other.st_ino == status.st_ino;
}

// Across file systems a file moves as a copy and a delete; when the source
// cannot be deleted the move still succeeds, as on Windows.
DWORD moveByCopy(const HostFile &source, const HostFile &target, bool replace) {
  const DWORD dwError = copyInto(source, target, !replace);
  if (dwError != ERROR_SUCCESS)
    return dwError == ERROR_FILE_EXISTS ? ERROR_ALREADY_EXISTS : dwError;
  removeFile(source);
  return ERROR_SUCCESS;
}

void syncFolder(const std::string &folder) {
  const UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.get() >= 0)
    ::fsync(fd.get());
}

DWORD moveFile(const HostFile &source, const HostFile &target, DWORD dwFlags) {
  if (source.device != posix::DosDevice::None || target.device != posix::DosDevice::None)
    return ERROR_ACCESS_DENIED;
  struct stat status {};
  if (::lstat(source.path.c_str(), &status) != 0)
    return errnoError();
  if (sameFile(status, target.path))
    return renameCase(source, target);
  const bool replace = (dwFlags & MOVEFILE_REPLACE_EXISTING) != 0;
  // A folder replaces nothing; a file replaces what is not read-only.
  const DWORD existsError = !replace                  ? ERROR_ALREADY_EXISTS
                            : S_ISDIR(status.st_mode) ? ERROR_ACCESS_DENIED
                                                      : 0;
  if (const DWORD dwError = checkTarget(target.path, existsError, FILE_ATTRIBUTE_READONLY))
    return dwError;
  // A file open anywhere cannot be replaced, whatever it shares.
  const Claim replaced = {target.path, kDeleteKind, 0, ERROR_ACCESS_DENIED};
  DWORD dwError = changeNames(deleting(source.path), replaced,
                              [&] { return renameName(source.path, target.path, replace); });
  if (dwError == ERROR_NOT_SAME_DEVICE && (dwFlags & MOVEFILE_COPY_ALLOWED) &&
      !S_ISDIR(status.st_mode))
    dwError = moveByCopy(source, target, replace);
  if (dwError == ERROR_SUCCESS && (dwFlags & MOVEFILE_WRITE_THROUGH))
    syncFolder(target.folder);
  return dwError;
}

// The null device answers as a file; the other devices are not there.
DWORD nameAttributes(const HostFile &file, DWORD &attributes) {
  if (file.device != posix::DosDevice::None) {
    attributes = FILE_ATTRIBUTE_ARCHIVE;
    return file.device == posix::DosDevice::Null ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
  }
  if (!file.folderFound)
    return ERROR_PATH_NOT_FOUND;
  DWORD dwError = ERROR_SUCCESS;
  return posix::readAttributes(file.path, attributes, dwError) ? ERROR_SUCCESS : dwError;
}

} // namespace

namespace posix {

DWORD moveHostFile(const HostFile &source, const HostFile &target, DWORD dwFlags) {
  return moveFile(source, target, dwFlags);
}

DWORD removeHostFile(const HostFile &file) { return removeFile(file); }

} // namespace posix

BOOL DeleteFileW(LPCWSTR lpFileName) {
  HostFile file;
  if (!posix::resolveForCall(lpFileName, posix::NameUse::Open, true, file))
    return FALSE;
  return succeedOrFail(removeFile(file));
}

BOOL CopyFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, BOOL bFailIfExists) {
  HostFile source;
  HostFile target;
  if (!posix::resolveForCall(lpExistingFileName, posix::NameUse::Open, true, source) ||
      !posix::resolveForCall(lpNewFileName, posix::NameUse::Open, false, target))
    return FALSE;
  return succeedOrFail(copyInto(source, target, bFailIfExists != FALSE));
}

BOOL MoveFileExW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, DWORD dwFlags) {
  // Moves deferred to a restart and link creation are not offered.
  if ((dwFlags & ~kMoveFlags) != 0 || lpNewFileName == nullptr)
    return posix::failWith(ERROR_INVALID_PARAMETER);
  HostFile source;
  HostFile target;
  if (!posix::resolveForCall(lpExistingFileName, posix::NameUse::Open, true, source) ||
      !posix::resolveForCall(lpNewFileName, posix::NameUse::Open, true, target))
    return FALSE;
  return succeedOrFail(moveFile(source, target, dwFlags));
}

DWORD GetFileAttributesW(LPCWSTR lpFileName) {
  HostFile file;
  if (!posix::resolveForCall(lpFileName, posix::NameUse::Open, false, file))
    return INVALID_FILE_ATTRIBUTES;
  DWORD attributes = 0;
  const DWORD dwError = nameAttributes(file, attributes);
  if (dwError == ERROR_SUCCESS)
    return attributes;
  SetLastError(dwError);
  return INVALID_FILE_ATTRIBUTES;
}

BOOL SetFileAttributesW(LPCWSTR lpFileName, DWORD dwFileAttributes) {
  HostFile file;
  if (!posix::resolveForCall(lpFileName, posix::NameUse::Open, true, file))
    return FALSE;
  if (file.device != posix::DosDevice::None)
    return posix::failWith(ERROR_ACCESS_DENIED);
  DWORD dwError = ERROR_SUCCESS;
  return posix::writeNameAttributes(file.path, dwFileAttributes, dwError)
             ? TRUE
             : posix::failWith(dwError);
}

} // namespace zelsys
