//===- DosAttributes.cpp - The DOS attributes of host files ----------------===//
//
// Only code for Linux.
//
//===----------------------------------------------------------------------===//
#include "DosAttributes.h"
#include "Errors.h"
#include "FileCalls.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace zelsys::posix {

namespace {

constexpr char kAttributeName[] = "user.DOSATTRIB";
constexpr mode_t kWriteBits = S_IWUSR | S_IWGRP | S_IWOTH;

bool startsWithDot(const std::string &path) {
  const std::string name = path.substr(path.rfind('/') + 1);
  return name.size() > 0 && name[0] == '.' && name != "." && name != "..";
}

// The path of the file a descriptor holds, as the host last knew it.
std::string nameOf(int fd) {
  char path[4096];
  const ssize_t size = ::readlink(descriptorPath(fd).c_str(), path, sizeof path);
  return size > 0 ? std::string(path, static_cast<std::size_t>(size)) : std::string();
}

std::optional<DWORD> keptAttributes(const std::string &path) {
  char value[64];
  const ssize_t size = ::getxattr(path.c_str(), kAttributeName, value, sizeof value);
  if (size <= 0)
    return std::nullopt;
  return parseDosAttrib(std::string_view(value, static_cast<std::size_t>(size)));
}

// Writes the extended attribute of what target reaches, known as name;
// where the file system has none, only what the derived attributes already
// give is accepted.
DWORD storeKept(const std::string &target, const std::string &name, DWORD kept, bool folder) {
  const std::string text = formatDosAttrib(kept | (folder ? FILE_ATTRIBUTE_DIRECTORY : 0));
  if (::setxattr(target.c_str(), kAttributeName, text.data(), text.size(), 0) == 0)
    return ERROR_SUCCESS;
  if (errno != ENOTSUP)
    return win32ErrorFromErrno(errno);
  const DWORD derived = startsWithDot(name) ? FILE_ATTRIBUTE_HIDDEN : 0;
  const DWORD asked = kept & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  return asked == derived ? ERROR_SUCCESS : kErrorNotSupported;
}

bool fail(DWORD error, DWORD &dwError) {
  dwError = error;
  return false;
}

// The attributes stored on what target reaches (a path, or a descriptor's
// path), which is known as name.
bool writeThrough(const std::string &target, const std::string &name, DWORD attributes,
                  DWORD &dwError) {
  struct stat status {};
  if (::stat(target.c_str(), &status) != 0)
    return fail(win32ErrorFromErrno(errno), dwError);
  const bool folder = S_ISDIR(status.st_mode);
  const mode_t mode = status.st_mode & 07777;
  mode_t wanted = mode;
  if (!folder)
    wanted = (attributes & FILE_ATTRIBUTE_READONLY) ? mode & ~kWriteBits : mode | S_IWUSR;
  // Writing a user extended attribute takes write permission, so a
  // read-only file opens up for the moment.
  const bool openUp = !folder && (mode & S_IWUSR) == 0;
  if (openUp && ::chmod(target.c_str(), mode | S_IWUSR) != 0)
    return fail(win32ErrorFromErrno(errno), dwError);
  const DWORD error = storeKept(target, name, attributes & kKeptAttributes, folder);
  const mode_t settled = error == ERROR_SUCCESS ? wanted : mode;
  if ((openUp || settled != mode) && ::chmod(target.c_str(), settled) != 0 &&
      error == ERROR_SUCCESS)
    return fail(win32ErrorFromErrno(errno), dwError);
  return error == ERROR_SUCCESS || fail(error, dwError);
}

} // namespace

std::string formatDosAttrib(DWORD attributes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  do {
    hex.insert(hex.begin(), kDigits[attributes & 0xF]);
    attributes >>= 4;
  } while (attributes != 0);
  return "0x" + hex;
}

std::optional<DWORD> parseDosAttrib(std::string_view value) {
  if (value.substr(0, 2) != "0x")
    return std::nullopt;
  DWORD attributes = 0;
  std::size_t digits = 0;
  for (char c : value.substr(2)) {
    const int digit = c >= '0' && c <= '9'   ? c - '0'
                      : c >= 'a' && c <= 'f' ? c - 'a' + 10
                      : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                             : -1;
    if (digit < 0)
      break;
    if (++digits > 8)
      return std::nullopt;
    attributes = attributes << 4 | static_cast<DWORD>(digit);
  }
  if (digits == 0)
    return std::nullopt;
  return attributes;
}

DWORD reportedAttributes(const HostFileFacts &facts) {
  const DWORD hidden = facts.dotName ? FILE_ATTRIBUTE_HIDDEN : 0;
  if (facts.link)
    return FILE_ATTRIBUTE_REPARSE_POINT |
           (facts.folder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE) | hidden;
  DWORD attributes = facts.kept ? (*facts.kept & kKeptAttributes)
                                : (facts.folder ? 0 : FILE_ATTRIBUTE_ARCHIVE) | hidden;
  if (facts.folder)
    attributes |= FILE_ATTRIBUTE_DIRECTORY;
  else if (!facts.ownerWrites)
    attributes |= FILE_ATTRIBUTE_READONLY;
  return attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL;
}

bool readAttributes(const std::string &path, DWORD &attributes, DWORD &dwError) {
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0)
    return fail(win32ErrorFromErrno(errno), dwError);
  HostFileFacts facts;
  facts.link = S_ISLNK(status.st_mode);
  facts.dotName = startsWithDot(path);
  if (facts.link) {
    // A link is to a folder or a file as what it points to is; a link to
    // nowhere counts as one to a file.
    struct stat target {};
    facts.folder = ::stat(path.c_str(), &target) == 0 && S_ISDIR(target.st_mode);
  } else {
    facts.folder = S_ISDIR(status.st_mode);
    facts.ownerWrites = (status.st_mode & S_IWUSR) != 0;
    facts.kept = keptAttributes(path);
  }
  attributes = reportedAttributes(facts);
  return true;
}

bool readOpenAttributes(int fd, DWORD &attributes, DWORD &dwError) {
  struct stat status {};
  if (::fstat(fd, &status) != 0)
    return fail(win32ErrorFromErrno(errno), dwError);
  HostFileFacts facts;
  facts.folder = S_ISDIR(status.st_mode);
  facts.ownerWrites = (status.st_mode & S_IWUSR) != 0;
  facts.dotName = startsWithDot(nameOf(fd));
  facts.kept = keptAttributes(descriptorPath(fd));
  attributes = reportedAttributes(facts);
  return true;
}

bool readTargetAttributes(const std::string &path, DWORD &attributes, DWORD &dwError) {
  const UniqueFd fd(::open(path.c_str(), O_PATH | O_CLOEXEC));
  if (fd.get() < 0)
    return fail(win32ErrorFromErrno(errno), dwError);
  return readOpenAttributes(fd.get(), attributes, dwError);
}

bool writeAttributes(const std::string &path, DWORD attributes, DWORD &dwError) {
  return writeThrough(path, path, attributes, dwError);
}

bool writeOpenAttributes(int fd, const std::string &name, DWORD attributes, DWORD &dwError) {
  return writeThrough(descriptorPath(fd), name, attributes, dwError);
}

bool writeNameAttributes(const std::string &path, DWORD attributes, DWORD &dwError) {
  const UniqueFd fd(::open(path.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
  struct stat status {};
  if (fd.get() < 0 || ::fstat(fd.get(), &status) != 0)
    return fail(win32ErrorFromErrno(errno), dwError);
  if (!S_ISLNK(status.st_mode))
    return writeThrough(descriptorPath(fd.get()), path, attributes, dwError);
  DWORD reported = 0;
  if (!readAttributes(path, reported, dwError))
    return false;
  constexpr DWORD kSettable =
      FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  return (attributes & kSettable) == (reported & kSettable) || fail(kErrorNotSupported, dwError);
}

} // namespace zelsys::posix
