//===- DosAttributes.cpp - The DOS attributes of host files ----------------===//
//
// Only code that works on every Unix (the extended attribute calls are
// Linux's).
//
//===----------------------------------------------------------------------===//
#include "DosAttributes.h"
#include "Errors.h"

#include <cerrno>
#include <sys/stat.h>
#include <sys/xattr.h>

namespace zelsys::posix {

namespace {

constexpr char kAttributeName[] = "user.DOSATTRIB";
constexpr mode_t kWriteBits = S_IWUSR | S_IWGRP | S_IWOTH;

bool startsWithDot(const std::string &path) {
  const std::string name = path.substr(path.rfind('/') + 1);
  return name.size() > 0 && name[0] == '.' && name != "." && name != "..";
}

std::optional<DWORD> keptAttributes(const std::string &path) {
  char value[64];
  const ssize_t size = ::getxattr(path.c_str(), kAttributeName, value, sizeof value);
  if (size <= 0)
    return std::nullopt;
  return parseDosAttrib(std::string_view(value, static_cast<std::size_t>(size)));
}

// Writes the extended attribute; where the file system has none, only what
// the derived attributes already give is accepted.
DWORD storeKept(const std::string &path, DWORD kept, bool folder) {
  const std::string text = formatDosAttrib(kept | (folder ? FILE_ATTRIBUTE_DIRECTORY : 0));
  if (::setxattr(path.c_str(), kAttributeName, text.data(), text.size(), 0) == 0)
    return ERROR_SUCCESS;
  if (errno != ENOTSUP)
    return win32ErrorFromErrno(errno);
  const DWORD derived = startsWithDot(path) ? FILE_ATTRIBUTE_HIDDEN : 0;
  const DWORD asked = kept & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  return asked == derived ? ERROR_SUCCESS : kErrorNotSupported;
}

bool fail(DWORD error, DWORD &dwError) {
  dwError = error;
  return false;
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
  if (facts.folder && facts.link)
    return FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | hidden;
  DWORD attributes = facts.kept ? (*facts.kept & kKeptAttributes)
                                : (facts.folder ? 0 : FILE_ATTRIBUTE_ARCHIVE) | hidden;
  if (facts.folder)
    attributes |= FILE_ATTRIBUTE_DIRECTORY;
  else if (!facts.ownerWrites)
    attributes |= FILE_ATTRIBUTE_READONLY;
  return attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL;
}

bool readAttributes(const std::string &path, DWORD &attributes, DWORD &dwError) {
  struct stat linkStatus {};
  if (::lstat(path.c_str(), &linkStatus) != 0)
    return fail(win32ErrorFromErrno(errno), dwError);
  // A dangling link is taken as the file it is.
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0)
    status = linkStatus;
  HostFileFacts facts;
  facts.link = S_ISLNK(linkStatus.st_mode);
  facts.folder = S_ISDIR(status.st_mode);
  facts.ownerWrites = (status.st_mode & S_IWUSR) != 0;
  facts.dotName = startsWithDot(path);
  // Extended attributes read through a link belong to its target; a link
  // to a folder reports as a link.
  if (!(facts.folder && facts.link))
    facts.kept = keptAttributes(path);
  attributes = reportedAttributes(facts);
  return true;
}

bool writeAttributes(const std::string &path, DWORD attributes, DWORD &dwError) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0)
    return fail(win32ErrorFromErrno(errno), dwError);
  const bool folder = S_ISDIR(status.st_mode);
  const mode_t mode = status.st_mode & 07777;
  mode_t wanted = mode;
  if (!folder)
    wanted = (attributes & FILE_ATTRIBUTE_READONLY) ? mode & ~kWriteBits : mode | S_IWUSR;
  // Writing a user extended attribute takes write permission, so a
  // read-only file opens up for the moment.
  const bool openUp = !folder && (mode & S_IWUSR) == 0;
  if (openUp && ::chmod(path.c_str(), mode | S_IWUSR) != 0)
    return fail(win32ErrorFromErrno(errno), dwError);
  const DWORD error = storeKept(path, attributes & kKeptAttributes, folder);
  const mode_t settled = error == ERROR_SUCCESS ? wanted : mode;
  if ((openUp || settled != mode) && ::chmod(path.c_str(), settled) != 0 && error == ERROR_SUCCESS)
    return fail(win32ErrorFromErrno(errno), dwError);
  return error == ERROR_SUCCESS || fail(error, dwError);
}

} // namespace zelsys::posix
