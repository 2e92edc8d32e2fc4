//===- TemporaryFiles.cpp - Files written beside the file they replace -----===//
//
// Only code for Linux.
//
//===----------------------------------------------------------------------===//
#include "TemporaryFiles.h"
#include "Errors.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <string_view>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace zelsys::posix {

namespace {

// Enough for names a user made in advance and locks held for a moment; a
// guessed 64-bit name is beyond reach.
constexpr int kAttempts = 64;

bool randomName(const std::string &prefix, std::string &name) {
  unsigned char bytes[8];
  for (std::size_t got = 0; got < sizeof bytes;) {
    const ssize_t n = ::getrandom(bytes + got, sizeof bytes - got, 0);
    if (n < 0 && errno != EINTR)
      return false;
    got += n > 0 ? static_cast<std::size_t>(n) : 0;
  }
  static const char kDigits[] = "0123456789abcdef";
  name = prefix;
  for (const unsigned char byte : bytes) {
    name += kDigits[byte >> 4];
    name += kDigits[byte & 0xF];
  }
  return true;
}

bool lockAtOnce(int fd) {
  while (::flock(fd, LOCK_EX | LOCK_NB) != 0)
    if (errno != EINTR)
      return false;
  return true;
}

// Whether name in the folder is still the file open as fd, not followed.
bool stillNamed(int folderFd, const std::string &name, int fd) {
  struct stat named {};
  struct stat held {};
  return ::fstatat(folderFd, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
         ::fstat(fd, &held) == 0 && named.st_dev == held.st_dev && named.st_ino == held.st_ino;
}

void removeIfNamed(int folderFd, const std::string &name, int fd) {
  if (stillNamed(folderFd, name, fd))
    ::unlinkat(folderFd, name.c_str(), 0);
}

// Deletes name when it is a plain file that no live writer holds.
void removeIfLeft(int folderFd, const std::string &name) {
  const UniqueFd at(::openat(folderFd, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
  struct stat status {};
  if (at.get() < 0 || ::fstat(at.get(), &status) != 0 || !S_ISREG(status.st_mode))
    return;
  // Opened again through the descriptor: the very file examined.
  const UniqueFd fd(
      ::open(descriptorPath(at.get()).c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (fd.get() >= 0 && lockAtOnce(fd.get()))
    removeIfNamed(folderFd, name, fd.get());
}

std::vector<std::string> namesStartingWith(int folderFd, const std::string &prefix) {
  // A descriptor of its own: reading moves its position.
  const int fd = ::openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  std::vector<std::string> names;
  if (fd < 0)
    return names;
  const std::unique_ptr<DIR, int (*)(DIR *)> dir(::fdopendir(fd), ::closedir);
  if (!dir) {
    ::close(fd);
    return names;
  }
  while (const dirent *entry = ::readdir(dir.get()))
    if (std::string_view(entry->d_name).substr(0, prefix.size()) == prefix)
      names.emplace_back(entry->d_name);
  return names;
}

} // namespace

DWORD createTemporary(int folderFd, const std::string &prefix, mode_t mode, TemporaryFile &file) {
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    std::string name;
    if (!randomName(prefix, name))
      return win32ErrorFromErrno(errno);
    UniqueFd fd(::openat(folderFd, name.c_str(),
                         O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, mode));
    if (fd.get() < 0 && errno == EEXIST)
      continue;
    if (fd.get() < 0)
      return win32ErrorFromErrno(errno);
    struct stat status {};
    if (lockAtOnce(fd.get()) && ::fstat(fd.get(), &status) == 0 && status.st_nlink > 0) {
      file.fd = std::move(fd);
      file.name = std::move(name);
      return ERROR_SUCCESS;
    }
    removeIfNamed(folderFd, name, fd.get());
  }
  return ERROR_FILE_EXISTS;
}

void removeTemporary(int folderFd, TemporaryFile &file) {
  if (file.fd.get() >= 0)
    removeIfNamed(folderFd, file.name, file.fd.get());
  file.fd.reset();
}

void removeLeftovers(int folderFd, const std::string &prefix) {
  for (const std::string &name : namesStartingWith(folderFd, prefix))
    removeIfLeft(folderFd, name);
}

} // namespace zelsys::posix
