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

// Resolves a call's name; on failure sets the last error (a null name is
// ERROR_INVALID_PARAMETER) and returns false. With needFolder, a missing
// folder above the name fails with ERROR_PATH_NOT_FOUND.
bool resolveForCall(LPCWSTR lpName, NameUse use, bool needFolder, HostFile &file);

// CreateFileW's opening of a host file with the access, share mode and
// disposition given, checked against the other opens of the file; *existed
// tells whether the file was there before. Returns a Win32 error.
DWORD openHostFile(const HostFile &file, DWORD dwDesiredAccess, DWORD dwShareMode,
                   DWORD dwCreationDisposition, DWORD dwAttributes, UniqueFd &fd, bool &existed);

// The attributes a new file or folder starts with; where the file system
// cannot keep them, only a wish for hidden or system fails.
DWORD storeNewAttributes(const std::string &path, DWORD attributes);

} // namespace zelsys::posix
