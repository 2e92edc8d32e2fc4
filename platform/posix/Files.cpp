//===- Files.cpp - Opening, reading and writing files on the substitute ----===//
//
// CreateFileW opens host files with the Win32 rules: read-only, hidden and
// system checks before anything changes, share modes against every other
// open on the machine (FileSharing.h), devices by name. A handle is a file
// object in the process's handle table; its descriptor's offset is the file
// pointer. The null device is a file object without a descriptor: it takes
// every write and reads as empty. GetFileInformationByHandle answers from
// the descriptor: the file the handle holds, whatever its names do
// meanwhile. Only code for Linux.
//
//===----------------------------------------------------------------------===//
#include "zelsys/files.h"
#include "DosAttributes.h"
#include "Errors.h"
#include "FileCalls.h"
#include "FileSharing.h"
#include "Handles.h"
#include "zelsys/filesbelow.h"
#include "zelsys/kernel.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace zelsys {

namespace {

using posix::UniqueFd;

constexpr unsigned kRead = 1;
constexpr unsigned kWrite = 2;
// The name changed between looking and opening (created or deleted by
// someone else): look again, a few times.
constexpr DWORD kLookAgain = 0xFFFFFFFFu;
constexpr int kLooks = 8;
// Overlapped I/O and deleting on close are not offered; refusing them is
// better than a handle that behaves otherwise than asked.
constexpr DWORD kRefusedFlags = 0x40000000u | 0x04000000u;

class FileObject : public posix::KernelObject {
public:
  FileObject(UniqueFd fd, unsigned access) : m_fd(std::move(fd)), m_access(access) {}
  int fd() const { return m_fd.get(); }
  bool isNull() const { return m_fd.get() < 0; }
  bool allows(unsigned kind) const { return (m_access & kind) != 0; }

private:
  UniqueFd m_fd;
  unsigned m_access;
};

HANDLE failHandle(DWORD dwError) {
  SetLastError(dwError);
  return INVALID_HANDLE_VALUE;
}

bool appendsOnly(DWORD dwDesiredAccess) {
  constexpr DWORD kGenericAll = 0x10000000u;
  return (dwDesiredAccess & FILE_APPEND_DATA) &&
         !(dwDesiredAccess & (FILE_WRITE_DATA | GENERIC_WRITE | kGenericAll));
}

bool replaces(DWORD dwDisposition) {
  return dwDisposition == CREATE_ALWAYS || dwDisposition == TRUNCATE_EXISTING;
}

// The host refuses a reading descriptor on a file it lets the process only
// write (or do nothing with): then the narrower one, without sharing locks.
int openDescriptor(const std::string &path, bool hostWrites, bool reads, int flags) {
  const int common = O_CLOEXEC | O_NOCTTY | flags;
  int fd = ::open(path.c_str(), (hostWrites ? O_RDWR : O_RDONLY) | common, 0666);
  if (fd < 0 && errno == EACCES && !reads && !(flags & O_CREAT))
    fd = ::open(path.c_str(), (hostWrites ? O_WRONLY : O_PATH) | common);
  return fd;
}

// Windows' refusals of an existing name, before it is opened.
DWORD checkExisting(const std::string &path, const struct stat &status, unsigned access,
                    DWORD dwDisposition, DWORD dwAttributes) {
  // Folders open only with backup semantics, which the substitute does not
  // offer; host devices, pipes and sockets are no Windows files.
  if (!S_ISREG(status.st_mode))
    return ERROR_ACCESS_DENIED;
  if (dwDisposition == CREATE_NEW)
    return ERROR_FILE_EXISTS;
  DWORD attributes = 0;
  DWORD dwError = ERROR_SUCCESS;
  if (!posix::readTargetAttributes(path, attributes, dwError))
    return dwError;
  if ((attributes & FILE_ATTRIBUTE_READONLY) && ((access & kWrite) || replaces(dwDisposition)))
    return ERROR_ACCESS_DENIED;
  // Replacing a hidden or system file takes the same attributes again.
  const DWORD guarded = attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  if (dwDisposition == CREATE_ALWAYS && (guarded & ~dwAttributes) != 0)
    return ERROR_ACCESS_DENIED;
  return ERROR_SUCCESS;
}

// The name's status: of the link itself when links are not followed.
bool statusOf(const std::string &path, bool noFollow, struct stat &status) {
  return (noFollow ? ::lstat(path.c_str(), &status) : ::stat(path.c_str(), &status)) == 0;
}

// Checks the open against the others and records it, under the file's gate.
DWORD takeShares(const std::string &path, bool noFollow, int fd, unsigned access, unsigned share) {
  struct stat status {};
  if (::fstat(fd, &status) != 0)
    return posix::win32ErrorFromErrno(errno);
  const posix::ShareGate gate(status);
  // Deleting and renaming happen under the gate too. Windows opens a name
  // in one step, so a file that has lost the name since it was opened (to
  // a deletion, or a rename by the process that held it) is not the one
  // asked for: the name is looked up again.
  struct stat named {};
  if (::fstat(fd, &status) != 0 || status.st_nlink == 0 || !statusOf(path, noFollow, named) ||
      named.st_ino != status.st_ino || named.st_dev != status.st_dev)
    return kLookAgain;
  if (posix::shareConflicts(fd, access, share))
    return ERROR_SHARING_VIOLATION;
  posix::holdShare(fd, access, share);
  return ERROR_SUCCESS;
}

// After a successful share check: truncation and the new attributes.
DWORD finishOpen(const std::string &path, int fd, DWORD dwDisposition, DWORD dwAttributes,
                 bool existed) {
  const DWORD attributes =
      FILE_ATTRIBUTE_ARCHIVE |
      (dwAttributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
  if (!existed)
    return posix::storeNewAttributes(path, attributes);
  if (replaces(dwDisposition) && ::ftruncate(fd, 0) != 0)
    return posix::win32ErrorFromErrno(errno);
  DWORD dwError = ERROR_SUCCESS;
  if (dwDisposition == CREATE_ALWAYS && !posix::writeAttributes(path, attributes, dwError))
    return dwError;
  return ERROR_SUCCESS;
}

DWORD tryOpen(const std::string &path, bool noFollow, unsigned access, unsigned share,
              DWORD dwDisposition, DWORD dwAttributes, UniqueFd &fd, bool &existed) {
  struct stat status {};
  existed = statusOf(path, noFollow, status);
  if (!existed && errno != ENOENT)
    return posix::win32ErrorFromErrno(errno);
  if (existed && S_ISLNK(status.st_mode))
    return ERROR_CANT_ACCESS_FILE;
  const bool hostWrites = (access & kWrite) || replaces(dwDisposition);
  const int noFollowFlag = noFollow ? O_NOFOLLOW : 0;
  if (existed) {
    if (const DWORD dwError = checkExisting(path, status, access, dwDisposition, dwAttributes))
      return dwError;
    fd.reset(openDescriptor(path, hostWrites, access & kRead, noFollowFlag));
  } else {
    if (dwDisposition == OPEN_EXISTING || dwDisposition == TRUNCATE_EXISTING)
      return ERROR_FILE_NOT_FOUND;
    fd.reset(openDescriptor(path, hostWrites, access & kRead, O_CREAT | O_EXCL | noFollowFlag));
  }
  if (fd.get() < 0 && noFollow && errno == ELOOP)
    return ERROR_CANT_ACCESS_FILE; // made a link since it was looked at
  if (fd.get() < 0)
    return errno == ENOENT || errno == EEXIST ? kLookAgain : posix::win32ErrorFromErrno(errno);
  DWORD dwError = takeShares(path, noFollow, fd.get(), access, share);
  // Without following links, the attributes go to the file this
  // descriptor holds, not to whatever the name may lead to by now.
  if (dwError == ERROR_SUCCESS)
    dwError = finishOpen(noFollow ? posix::descriptorPath(fd.get()) : path, fd.get(), dwDisposition,
                         dwAttributes, existed);
  if (dwError != ERROR_SUCCESS) {
    // A file this call made and cannot finish goes again: all or nothing.
    if (!existed && dwError != ERROR_SHARING_VIOLATION && dwError != kLookAgain)
      ::unlink(path.c_str());
    fd.reset();
  }
  return dwError;
}

HANDLE openDevice(posix::DosDevice device, unsigned access) {
  // The emulated machine has no console for a windowed program and no serial
  // or parallel ports; Windows reports a missing port as a missing file.
  if (device != posix::DosDevice::Null)
    return failHandle(ERROR_FILE_NOT_FOUND);
  const HANDLE hFile = posix::addHandle(std::make_shared<FileObject>(UniqueFd(), access));
  SetLastError(ERROR_SUCCESS);
  return hFile;
}

std::shared_ptr<FileObject> fileOf(HANDLE hFile) {
  std::shared_ptr<FileObject> file = posix::objectOf<FileObject>(hFile);
  if (!file)
    SetLastError(ERROR_INVALID_HANDLE);
  return file;
}

// What ReadFile and WriteFile refuse before moving anything. The count
// pointer is required without overlapped I/O (which the substitute does
// not offer); Windows would write through a null one.
DWORD checkTransfer(const FileObject &file, unsigned kind, const void *lpBuffer, DWORD nBytes,
                    const DWORD *lpCount, const void *lpOverlapped) {
  if (lpOverlapped != nullptr || lpCount == nullptr)
    return ERROR_INVALID_PARAMETER;
  if (!file.allows(kind))
    return ERROR_ACCESS_DENIED;
  return lpBuffer == nullptr && nBytes > 0 ? ERROR_NOACCESS : ERROR_SUCCESS;
}

// Moves nBytes with move(offset, size) (a read or a write), resuming after
// signals; done counts what moved even when an error stops it.
template <typename Move> bool transfer(Move move, DWORD nBytes, DWORD &done) {
  done = 0;
  while (done < nBytes) {
    const ssize_t moved = move(done, nBytes - done);
    if (moved < 0 && errno == EINTR)
      continue;
    if (moved < 0)
      return false;
    if (moved == 0)
      break;
    done += static_cast<DWORD>(moved);
  }
  return true;
}

// ReadFile's and WriteFile's shell: the checks, the null device (empty to
// read, taking every write), then move(fd, offset, size) until done.
template <typename Move>
BOOL transferCall(HANDLE hFile, unsigned kind, const void *lpBuffer, DWORD nBytes, DWORD *lpCount,
                  const void *lpOverlapped, Move move) {
  if (lpCount != nullptr)
    *lpCount = 0;
  const std::shared_ptr<FileObject> file = fileOf(hFile);
  if (!file)
    return FALSE;
  if (const DWORD dwError = checkTransfer(*file, kind, lpBuffer, nBytes, lpCount, lpOverlapped))
    return posix::failWith(dwError);
  if (file->isNull()) {
    *lpCount = kind == kWrite ? nBytes : 0;
    return TRUE;
  }
  const bool ok = transfer([&](DWORD offset, DWORD size) { return move(file->fd(), offset, size); },
                           nBytes, *lpCount);
  return ok ? TRUE : posix::failWithErrno();
}

// SetFilePointer's and GetFileSize's failure value.
DWORD failAllOnes(DWORD dwError) {
  SetLastError(dwError);
  return 0xFFFFFFFFu;
}

// Where a move lands; the null device has no position and stays at 0.
DWORD pointerTarget(const FileObject &file, DWORD dwMoveMethod, long long distance,
                    long long &target) {
  long long base = 0;
  struct stat status {};
  if (dwMoveMethod > FILE_END)
    return ERROR_INVALID_PARAMETER;
  if (file.isNull()) {
    target = 0;
    return ERROR_SUCCESS;
  }
  if (dwMoveMethod == FILE_CURRENT)
    base = ::lseek(file.fd(), 0, SEEK_CUR);
  else if (dwMoveMethod == FILE_END)
    base = ::fstat(file.fd(), &status) == 0 ? status.st_size : -1;
  if (base < 0)
    return posix::win32ErrorFromErrno(errno);
  if (__builtin_add_overflow(base, distance, &target))
    return ERROR_INVALID_PARAMETER;
  return target < 0 ? ERROR_NEGATIVE_SEEK : ERROR_SUCCESS;
}

} // namespace

namespace posix {

DWORD openHostFile(const HostFile &file, DWORD dwDesiredAccess, DWORD dwShareMode,
                   DWORD dwCreationDisposition, DWORD dwAttributes, UniqueFd &fd, bool &existed) {
  const unsigned access = accessKinds(dwDesiredAccess);
  for (int look = 0; look < kLooks; ++look) {
    const DWORD dwError = tryOpen(file.path, file.noFollow, access, dwShareMode & kShareAll,
                                  dwCreationDisposition, dwAttributes, fd, existed);
    if (dwError != kLookAgain)
      return dwError;
  }
  // The name keeps changing, or is a link to nowhere: it cannot be had.
  return ERROR_ACCESS_DENIED;
}

} // namespace posix

namespace {

// CreateFileW's work once the name is resolved.
HANDLE createFile(const posix::HostFile &file, DWORD dwDesiredAccess, DWORD dwShareMode,
                  DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes) {
  if (dwCreationDisposition < CREATE_NEW || dwCreationDisposition > TRUNCATE_EXISTING ||
      (dwFlagsAndAttributes & kRefusedFlags) != 0)
    return failHandle(ERROR_INVALID_PARAMETER);
  const unsigned access = posix::accessKinds(dwDesiredAccess);
  // Truncating is documented to take write access.
  if (dwCreationDisposition == TRUNCATE_EXISTING && !(access & kWrite))
    return failHandle(ERROR_INVALID_PARAMETER);
  if (file.device != posix::DosDevice::None)
    return openDevice(file.device, access);
  if (!file.folderFound)
    return failHandle(ERROR_PATH_NOT_FOUND);
  UniqueFd fd;
  bool existed = false;
  const DWORD dwError = posix::openHostFile(
      file, dwDesiredAccess, dwShareMode, dwCreationDisposition, dwFlagsAndAttributes, fd, existed);
  if (dwError != ERROR_SUCCESS)
    return failHandle(dwError);
  // Asked to append but not to write anywhere: every write lands at the end
  // of the file, whoever else writes to it, as Windows documents.
  if (appendsOnly(dwDesiredAccess) && ::fcntl(fd.get(), F_SETFL, O_APPEND) != 0)
    return failHandle(posix::win32ErrorFromErrno(errno));
  const HANDLE hFile = posix::addHandle(std::make_shared<FileObject>(std::move(fd), access));
  const bool reopened =
      existed && (dwCreationDisposition == CREATE_ALWAYS || dwCreationDisposition == OPEN_ALWAYS);
  SetLastError(reopened ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return hFile;
}

// A folder held open. Below another it is never reached through a link; a
// full path is followed as every call follows it.
HANDLE openFolder(const posix::HostFile &file, DWORD dwCreationDisposition) {
  if (dwCreationDisposition != OPEN_EXISTING)
    return failHandle(ERROR_INVALID_PARAMETER);
  if (!file.folderFound)
    return failHandle(ERROR_PATH_NOT_FOUND);
  const int noFollow = file.noFollow ? O_NOFOLLOW : 0;
  UniqueFd fd(::open(file.path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | noFollow));
  if (fd.get() < 0) {
    struct stat status {};
    const bool link =
        file.noFollow && ::lstat(file.path.c_str(), &status) == 0 && S_ISLNK(status.st_mode);
    const bool notFolder = errno == ENOTDIR && !link;
    return failHandle(link        ? ERROR_CANT_ACCESS_FILE
                      : notFolder ? ERROR_DIRECTORY
                                  : posix::win32ErrorFromErrno(errno));
  }
  const HANDLE hFolder = posix::addHandle(std::make_shared<posix::FolderObject>(std::move(fd)));
  SetLastError(ERROR_SUCCESS);
  return hFolder;
}

} // namespace

namespace posix {

int descriptorOf(HANDLE hFile) {
  const std::shared_ptr<FileObject> file = posix::objectOf<FileObject>(hFile);
  return file ? file->fd() : -1;
}

} // namespace posix

HANDLE CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   const SECURITY_ATTRIBUTES *, DWORD dwCreationDisposition,
                   DWORD dwFlagsAndAttributes, HANDLE) {
  posix::HostFile file;
  if (!posix::resolveForCall(lpFileName, posix::NameUse::Open, false, file))
    return INVALID_HANDLE_VALUE;
  return createFile(file, dwDesiredAccess, dwShareMode, dwCreationDisposition,
                    dwFlagsAndAttributes);
}

HANDLE CreateFileBelowW(HANDLE hFolder, LPCWSTR lpName, DWORD dwDesiredAccess, DWORD dwShareMode,
                        DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes) {
  posix::HostFile file;
  if (!posix::resolveBelow(hFolder, lpName, file))
    return INVALID_HANDLE_VALUE;
  if (dwFlagsAndAttributes & FILE_FLAG_BACKUP_SEMANTICS)
    return openFolder(file, dwCreationDisposition);
  // Below a held folder a device name is a refused name (resolveBelow).
  return createFile(file, dwDesiredAccess, dwShareMode, dwCreationDisposition,
                    dwFlagsAndAttributes & 0xFFFF);
}

BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, DWORD *lpNumberOfBytesRead,
              void *lpOverlapped) {
  auto *bytes = static_cast<char *>(lpBuffer);
  return transferCall(
      hFile, kRead, lpBuffer, nNumberOfBytesToRead, lpNumberOfBytesRead, lpOverlapped,
      [bytes](int fd, DWORD offset, DWORD size) { return ::read(fd, bytes + offset, size); });
}

BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
               DWORD *lpNumberOfBytesWritten, void *lpOverlapped) {
  const auto *bytes = static_cast<const char *>(lpBuffer);
  return transferCall(
      hFile, kWrite, lpBuffer, nNumberOfBytesToWrite, lpNumberOfBytesWritten, lpOverlapped,
      [bytes](int fd, DWORD offset, DWORD size) { return ::write(fd, bytes + offset, size); });
}

DWORD SetFilePointer(HANDLE hFile, LONG lDistanceToMove, LONG *lpDistanceToMoveHigh,
                     DWORD dwMoveMethod) {
  const std::shared_ptr<FileObject> file = fileOf(hFile);
  if (!file)
    return INVALID_SET_FILE_POINTER;
  // With the high part the two form one signed 64-bit distance; without it
  // the low part alone is signed.
  const long long distance =
      lpDistanceToMoveHigh
          ? static_cast<long long>(static_cast<unsigned long long>(*lpDistanceToMoveHigh) << 32 |
                                   static_cast<DWORD>(lDistanceToMove))
          : lDistanceToMove;
  long long target = 0;
  if (const DWORD dwError = pointerTarget(*file, dwMoveMethod, distance, target))
    return failAllOnes(dwError);
  if (lpDistanceToMoveHigh == nullptr && target > 0xFFFFFFFFll)
    return failAllOnes(ERROR_INVALID_PARAMETER);
  if (!file->isNull() && ::lseek(file->fd(), target, SEEK_SET) < 0)
    return failAllOnes(posix::win32ErrorFromErrno(errno));
  if (lpDistanceToMoveHigh != nullptr)
    *lpDistanceToMoveHigh = static_cast<LONG>(target >> 32);
  const auto low = static_cast<DWORD>(target);
  // The failure value is also a valid low part: success then says so.
  if (low == INVALID_SET_FILE_POINTER)
    SetLastError(ERROR_SUCCESS);
  return low;
}

DWORD GetFileSize(HANDLE hFile, DWORD *lpFileSizeHigh) {
  const std::shared_ptr<FileObject> file = fileOf(hFile);
  if (!file)
    return INVALID_FILE_SIZE;
  struct stat status {};
  if (!file->isNull() && ::fstat(file->fd(), &status) != 0)
    return failAllOnes(posix::win32ErrorFromErrno(errno));
  const auto size = static_cast<unsigned long long>(status.st_size);
  if (lpFileSizeHigh != nullptr)
    *lpFileSizeHigh = static_cast<DWORD>(size >> 32);
  const auto low = static_cast<DWORD>(size);
  if (low == INVALID_FILE_SIZE)
    SetLastError(ERROR_SUCCESS);
  return low;
}

BOOL FlushFileBuffers(HANDLE hFile) {
  const std::shared_ptr<FileObject> file = fileOf(hFile);
  if (!file)
    return FALSE;
  if (!file->allows(kWrite))
    return posix::failWith(ERROR_ACCESS_DENIED);
  if (!file->isNull() && ::fsync(file->fd()) != 0)
    return posix::failWithErrno();
  return TRUE;
}

BOOL GetFileInformationByHandle(HANDLE hFile, BY_HANDLE_FILE_INFORMATION *lpFileInformation) {
  int fd = -1;
  if (const std::shared_ptr<FileObject> file = posix::objectOf<FileObject>(hFile)) {
    // Windows answers so for a device rather than a file.
    if (file->isNull())
      return posix::failWith(ERROR_INVALID_FUNCTION);
    fd = file->fd();
  } else if (const auto folder = posix::objectOf<posix::FolderObject>(hFile)) {
    fd = folder->fd();
  } else {
    return posix::failWith(ERROR_INVALID_HANDLE);
  }
  if (lpFileInformation == nullptr)
    return posix::failWith(ERROR_INVALID_PARAMETER);
  struct statx status {};
  DWORD attributes = 0;
  DWORD dwError = ERROR_SUCCESS;
  if (::statx(fd, "", AT_EMPTY_PATH, STATX_BASIC_STATS | STATX_BTIME, &status) != 0)
    return posix::failWithErrno();
  if (!posix::readOpenAttributes(fd, attributes, dwError))
    return posix::failWith(dwError);
  BY_HANDLE_FILE_INFORMATION &info = *lpFileInformation;
  info.dwFileAttributes = attributes;
  // Without a birth time the last change stands in, as in a search.
  const struct statx_timestamp &created =
      (status.stx_mask & STATX_BTIME) ? status.stx_btime : status.stx_ctime;
  info.ftCreationTime = posix::fileTimeOf(created.tv_sec, created.tv_nsec);
  info.ftLastAccessTime = posix::fileTimeOf(status.stx_atime.tv_sec, status.stx_atime.tv_nsec);
  info.ftLastWriteTime = posix::fileTimeOf(status.stx_mtime.tv_sec, status.stx_mtime.tv_nsec);
  // The host's device and inode numbers tell volumes and files apart as
  // Windows' serial numbers and file indexes do.
  const unsigned long long device = makedev(status.stx_dev_major, status.stx_dev_minor);
  info.dwVolumeSerialNumber = static_cast<DWORD>(device ^ (device >> 32));
  const unsigned long long size = S_ISDIR(status.stx_mode) ? 0 : status.stx_size;
  info.nFileSizeHigh = static_cast<DWORD>(size >> 32);
  info.nFileSizeLow = static_cast<DWORD>(size);
  info.nNumberOfLinks = status.stx_nlink;
  info.nFileIndexHigh = static_cast<DWORD>(status.stx_ino >> 32);
  info.nFileIndexLow = static_cast<DWORD>(status.stx_ino);
  return TRUE;
}

} // namespace zelsys
