//===- FileSharing.cpp - Windows share modes across handles and processes --===//
//
// Only code for Linux (open-file-description locks).
//
//===----------------------------------------------------------------------===//
#include "FileSharing.h"
#include "Machine.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace zelsys::posix {

namespace {

constexpr off_t kHoldBase = off_t(1) << 62; // + 0..2: holds read, write, delete
constexpr off_t kDenyBase = kHoldBase + 3;  // + 0..2: denies read, write, delete
constexpr off_t kGateBytes = off_t(1) << 40;
constexpr unsigned kKinds[] = {1, 2, 4};

off_t kindOffset(unsigned kind) { return kind == 1 ? 0 : kind == 2 ? 1 : 2; }

off_t gateByte(const struct stat &file) {
  const auto key = static_cast<unsigned long long>(file.st_ino) * 0x9E3779B97F4A7C15ull ^
                   static_cast<unsigned long long>(file.st_dev);
  return static_cast<off_t>(key % static_cast<unsigned long long>(kGateBytes));
}

struct flock byteLock(short type, off_t start) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = start;
  lock.l_len = 1;
  return lock;
}

void waitForByte(int fd, off_t start) {
  struct flock lock = byteLock(F_WRLCK, start);
  while (::fcntl(fd, F_OFD_SETLKW, &lock) != 0 && errno == EINTR) {
  }
}

bool othersHold(int fd, off_t start) {
  struct flock lock = byteLock(F_WRLCK, start);
  return ::fcntl(fd, F_OFD_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
}

} // namespace

unsigned accessKinds(DWORD dwDesiredAccess) {
  constexpr DWORD kRead = 0x80000000u | 0x20000000u | 0x0001 | 0x0020; // generic, data, execute
  constexpr DWORD kWrite = 0x40000000u | 0x0002 | 0x0004;              // generic, data, append
  constexpr DWORD kDelete = 0x00010000u;
  constexpr DWORD kAll = 0x10000000u;
  const bool all = (dwDesiredAccess & kAll) != 0;
  return (all || (dwDesiredAccess & kRead) ? 1u : 0u) |
         (all || (dwDesiredAccess & kWrite) ? 2u : 0u) |
         (all || (dwDesiredAccess & kDelete) ? 4u : 0u);
}

ShareGate::ShareGate(const struct stat &file, const struct stat *other) {
  // Without a machine folder there is no gate: the check and the take are
  // then two steps.
  m_fd = openMachineFile("file-sharing.lock");
  if (m_fd < 0)
    return;
  off_t first = gateByte(file);
  off_t second = other ? gateByte(*other) : first;
  if (second < first)
    std::swap(first, second);
  waitForByte(m_fd, first);
  if (second != first)
    waitForByte(m_fd, second);
}

ShareGate::~ShareGate() {
  if (m_fd >= 0)
    ::close(m_fd);
}

bool shareConflicts(int fd, unsigned access, unsigned share) {
  if (access == 0)
    return false;
  for (unsigned kind : kKinds) {
    if ((access & kind) && othersHold(fd, kDenyBase + kindOffset(kind)))
      return true;
    if (!(share & kind) && othersHold(fd, kHoldBase + kindOffset(kind)))
      return true;
  }
  return false;
}

void holdShare(int fd, unsigned access, unsigned share) {
  if (access == 0)
    return;
  for (unsigned kind : kKinds) {
    struct flock hold = byteLock(F_RDLCK, kHoldBase + kindOffset(kind));
    struct flock deny = byteLock(F_RDLCK, kDenyBase + kindOffset(kind));
    // A descriptor open for writing only cannot take read locks: see the
    // limits in the header.
    if (access & kind)
      ::fcntl(fd, F_OFD_SETLK, &hold);
    if (!(share & kind))
      ::fcntl(fd, F_OFD_SETLK, &deny);
  }
}

} // namespace zelsys::posix
