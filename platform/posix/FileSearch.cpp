//===- FileSearch.cpp - Searching a folder on the substitute ---------------===//
//
// FindFirstFileW reads the folder once and keeps the names that match the
// pattern (FileNames.h), in the order NTFS lists them: "." and ".." first
// (in every folder but a drive's root), then by upper-cased name, unit by
// unit. Each entry is examined only when FindNextFileW reaches it, and one
// that has gone by then is passed over. So a search costs one pass over the
// folder and a sort, and the same per entry whatever the folder's size.
// Device names are never files and never listed; neither are names too long
// for the find data, nor host names that no Windows name holds (FileNames.h):
// such entries are invisible on the emulated machine. A symbolic link is
// described as itself, as Windows describes one: a reparse point with its
// own times and no size. Only code for Linux.
//
//===----------------------------------------------------------------------===//
#include "DosAttributes.h"
#include "Errors.h"
#include "FileCalls.h"
#include "Handles.h"
#include "Utf.h"
#include "zelsys/files.h"
#include "zelsys/kernel.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <optional>
#include <sys/stat.h>
#include <vector>

namespace zelsys {

namespace {

constexpr DWORD kReparseTagSymlink = 0xA000000Cu;
constexpr std::size_t kLongestName = sizeof(WIN32_FIND_DATAW::cFileName) / sizeof(WCHAR) - 1;

struct Entry {
  std::u16string name;
  std::string hostName;
  std::u16string key; // the upper-cased name, for the order
};

FILETIME fileTime(const struct statx_timestamp &time) {
  return posix::fileTimeOf(time.tv_sec, time.tv_nsec);
}

// The find data of one entry; false when it is gone.
bool describe(const std::string &folder, const Entry &entry, WIN32_FIND_DATAW &data) {
  const std::string path = folder + "/" + entry.hostName;
  DWORD attributes = 0;
  DWORD dwError = ERROR_SUCCESS;
  struct statx status {};
  const unsigned mask = STATX_BASIC_STATS | STATX_BTIME;
  if (!posix::readAttributes(path, attributes, dwError) ||
      ::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, mask, &status) != 0)
    return false;
  data = WIN32_FIND_DATAW{};
  data.dwFileAttributes = attributes;
  // A file system that keeps no birth time gives the last change instead.
  data.ftCreationTime =
      fileTime((status.stx_mask & STATX_BTIME) ? status.stx_btime : status.stx_ctime);
  data.ftLastAccessTime = fileTime(status.stx_atime);
  data.ftLastWriteTime = fileTime(status.stx_mtime);
  if (!(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))) {
    data.nFileSizeHigh = static_cast<DWORD>(status.stx_size >> 32);
    data.nFileSizeLow = static_cast<DWORD>(status.stx_size);
  }
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
    data.dwReserved0 = kReparseTagSymlink;
  std::copy(entry.name.begin(), entry.name.end(), data.cFileName);
  return true;
}

class Search : public posix::KernelObject {
public:
  Search(std::string folder, std::vector<Entry> entries)
      : m_folder(std::move(folder)), m_entries(std::move(entries)) {}
  posix::Closer closer() const override { return posix::Closer::FindClose; }

  // Fills data with the next entry still there; false at the end.
  bool next(WIN32_FIND_DATAW &data) {
    const std::lock_guard<std::mutex> lock(m_lock);
    while (m_next < m_entries.size())
      if (describe(m_folder, m_entries[m_next++], data))
        return true;
    return false;
  }

private:
  std::mutex m_lock;
  const std::string m_folder;
  const std::vector<Entry> m_entries;
  std::size_t m_next = 0;
};

Entry entryOf(std::u16string name, std::string hostName) {
  std::u16string key = posix::upcase(name);
  return {std::move(name), std::move(hostName), std::move(key)};
}

// The matching names of the folder, in their order.
DWORD gather(const posix::HostFile &file, std::vector<Entry> &entries) {
  const std::unique_ptr<DIR, int (*)(DIR *)> dir(::opendir(file.folder.c_str()), ::closedir);
  if (!dir)
    return errno == ENOENT ? ERROR_PATH_NOT_FOUND : posix::win32ErrorFromErrno(errno);
  while (const dirent *found = ::readdir(dir.get())) {
    const std::string hostName = found->d_name;
    if (hostName == "." || hostName == "..")
      continue;
    std::optional<std::u16string> name = posix::windowsNameOf(hostName);
    if (name && name->size() <= kLongestName &&
        posix::dosDeviceOf(*name) == posix::DosDevice::None &&
        posix::matchesPattern(file.name, *name))
      entries.push_back(entryOf(std::move(*name), hostName));
  }
  std::sort(entries.begin(), entries.end(),
            [](const Entry &a, const Entry &b) { return a.key < b.key; });
  // Only a drive's root has no "." and "..".
  const bool inRoot = file.fullPath.find(u'\\', 3) == std::u16string::npos;
  for (const char *dots : {"..", "."})
    if (!inRoot && posix::matchesPattern(file.name, posix::utf8ToUtf16(dots)))
      entries.insert(entries.begin(), entryOf(posix::utf8ToUtf16(dots), dots));
  return ERROR_SUCCESS;
}

} // namespace

HANDLE FindFirstFileW(LPCWSTR lpFileName, WIN32_FIND_DATAW *lpFindFileData) {
  if (lpFindFileData == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  posix::HostFile file;
  if (!posix::resolveForCall(lpFileName, posix::NameUse::Search, true, file))
    return INVALID_HANDLE_VALUE;
  // A name ending in a separator (a drive's root too) is no pattern.
  DWORD dwError = file.name.empty() || file.trailingSeparator ? ERROR_FILE_NOT_FOUND : 0;
  std::vector<Entry> entries;
  if (dwError == ERROR_SUCCESS)
    dwError = gather(file, entries);
  const auto search = std::make_shared<Search>(file.folder, std::move(entries));
  if (dwError == ERROR_SUCCESS && !search->next(*lpFindFileData))
    dwError = ERROR_FILE_NOT_FOUND;
  if (dwError != ERROR_SUCCESS) {
    SetLastError(dwError);
    return INVALID_HANDLE_VALUE;
  }
  return posix::addHandle(search);
}

BOOL FindNextFileW(HANDLE hFindFile, WIN32_FIND_DATAW *lpFindFileData) {
  const std::shared_ptr<Search> search = posix::objectOf<Search>(hFindFile);
  if (!search)
    return posix::failWith(ERROR_INVALID_HANDLE);
  if (lpFindFileData == nullptr)
    return posix::failWith(ERROR_INVALID_PARAMETER);
  return search->next(*lpFindFileData) ? TRUE : posix::failWith(ERROR_NO_MORE_FILES);
}

BOOL FindClose(HANDLE hFindFile) {
  return posix::removeHandle(hFindFile, posix::Closer::FindClose)
             ? TRUE
             : posix::failWith(ERROR_INVALID_HANDLE);
}

} // namespace zelsys
