//===- FileCalls.h - What the substitute's file calls share ----------------===//
//
// Every file call has one shape: resolve the name with the Win32 rules
// (setting the last error when that fails), refuse what Windows refuses
// before touching anything, then act on the host and translate errno. The
// pieces the calls of several files need are declared here. Only code that
// works on every Unix.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "Handles.h"
#include "HostPath.h"
#include "zelsys/wintypes.h"

#include <string>

namespace zelsys::posix {

// Owns one host descriptor; closing it drops the sharing locks it holds.
class UniqueFd {
public:
  explicit UniqueFd(int fd = -1) : m_fd(fd) {}
  ~UniqueFd() { reset(); }
  UniqueFd(UniqueFd &&other) noexcept : m_fd(other.release()) {}
  UniqueFd &operator=(UniqueFd &&other) noexcept {
    reset(other.release());
    return *this;
  }
  UniqueFd(const UniqueFd &) = delete;
  UniqueFd &operator=(const UniqueFd &) = delete;

  int get() const { return m_fd; }
  int release() {
    const int fd = m_fd;
    m_fd = -1;
    return fd;
  }
  void reset(int fd = -1);

private:
  int m_fd;
};

// A folder held open (filesbelow.h): its descriptor pins it wherever its
// name goes.
class FolderObject : public KernelObject {
public:
  explicit FolderObject(UniqueFd fd) : m_fd(std::move(fd)) {}
  int fd() const { return m_fd.get(); }

private:
  UniqueFd m_fd;
};

// What lpName, one name inside the folder held as hFolder, stands for: a
// path through the folder's descriptor, its last component matched as on
// Windows and never followed (noFollow). With hFolder null, lpName is a
// full path resolved as every call resolves it. On failure sets the last
// error and returns false.
bool resolveBelow(HANDLE hFolder, LPCWSTR lpName, HostFile &file);

// The last component of the file's host path, as on disk.
std::string hostNameOf(const HostFile &file);

// hostName, a name inside the folder held as folderFd, as resolveBelow
// gives one: reached through the folder's descriptor, never followed.
HostFile nameBelow(int folderFd, const std::string &hostName);

// Gives the file open as to the owner, group, mode, DOS attributes and
// access lists of the file open as from (FilesBelow.cpp). A Win32 error.
DWORD copyIdentity(int from, int to);

// The descriptor of a file handle (CreateFileW, CreateFileBelowW); -1 for
// any other handle or the null device.
int descriptorOf(HANDLE hFile);

// "/proc/self/fd/<fd>": a path that reaches exactly the file or folder the
// descriptor holds, whatever has happened to its name since it was opened.
std::string descriptorPath(int fd);

// Resolves a call's name; on failure sets the last error (a null name is
// ERROR_INVALID_PARAMETER) and returns false. With needFolder, a missing
// folder above the name fails with ERROR_PATH_NOT_FOUND.
bool resolveForCall(LPCWSTR lpName, NameUse use, bool needFolder, HostFile &file);

// CreateFileW's opening of a host file with the access, share mode and
// disposition given, checked against the other opens of the file; *existed
// tells whether the file was there before. Returns a Win32 error.
DWORD openHostFile(const HostFile &file, DWORD dwDesiredAccess, DWORD dwShareMode,
                   DWORD dwCreationDisposition, DWORD dwAttributes, UniqueFd &fd, bool &existed);

// MoveFileExW's and DeleteFileW's work on resolved names (FileOperations.cpp);
// both act on a link as a name of its own. A Win32 error.
DWORD moveHostFile(const HostFile &source, const HostFile &target, DWORD dwFlags);
DWORD removeHostFile(const HostFile &file);

// CreateDirectoryW's and CreateDirectoryBelowW's work on a resolved name:
// the new folder gets its attributes through a descriptor when the name is
// not to be followed (noFollow), so a link put in its place meanwhile leads
// nowhere. A Win32 error.
DWORD makeHostFolder(const HostFile &folder);

// The attributes a new file or folder starts with; where the file system
// cannot keep them, only a wish for hidden or system fails.
DWORD storeNewAttributes(const std::string &path, DWORD attributes);

// A host time (seconds and nanoseconds since 1970) as a FILETIME; a time
// before 1601 gives 0.
FILETIME fileTimeOf(long long seconds, unsigned nanoseconds);

} // namespace zelsys::posix
