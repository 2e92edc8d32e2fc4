// zel_log_file.cpp - the text log's file on disk.
//
// Every line walks to the file afresh, since the folders may change between
// lines. The file is opened for appending, sharing reading and deleting but
// not writing: that open is the lock that every writer of the file, in any
// process, takes in turn (a writer that finds it taken waits), and only its
// holder moves the file. Holding it, a writer appends its line and, when
// the line leaves the file past its size, moves the copies up as it finds
// them on disk and the file onto ".1", before it lets go; the next writer
// then finds the name free and starts a new file. A new file is made under
// a name of its own, given its byte-order mark and only then put in place,
// so that no writer appends to a file that still lacks its mark.
#include "zel_log_file.h"

#include "zelsys/files.h"
#include "zelsys/filesbelow.h"
#include "zelsys/kernel.h"
#include "zelsys/security.h"
#include "zelsys/winconst.h"

#include <algorithm>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

const ZEL_BYTE BYTE_ORDER_MARK[] = {0xFF, 0xFE};
// How often a writer looks again at a file another one is writing to (a
// few seconds in all; a line takes microseconds) before the line is given up.
constexpr ZEL_ULONG BUSY_TRIES = 2000;
// Not sharing deletion: on Windows a held folder cannot be renamed or
// removed while a line is written in it.
constexpr zelsys::DWORD FOLDER_SHARE = zelsys::FILE_SHARE_READ | zelsys::FILE_SHARE_WRITE;
// Keeps the other writers out; sharing deletion lets the holder move it.
constexpr zelsys::DWORD LOG_SHARE = zelsys::FILE_SHARE_READ | zelsys::FILE_SHARE_DELETE;
constexpr zelsys::DWORD SHARE_ALL =
    zelsys::FILE_SHARE_READ | zelsys::FILE_SHARE_WRITE | zelsys::FILE_SHARE_DELETE;

// Owns one handle of a file or folder; closes it with the object.
class COwnedHandle {
public:
  explicit COwnedHandle(zelsys::HANDLE hHandle = zelsys::INVALID_HANDLE_VALUE)
      : m_hHandle(hHandle) {}
  ~COwnedHandle() { reset(); }
  COwnedHandle(COwnedHandle &&other) noexcept
      : m_hHandle(std::exchange(other.m_hHandle, zelsys::INVALID_HANDLE_VALUE)) {}
  COwnedHandle &operator=(COwnedHandle &&other) noexcept {
    reset(std::exchange(other.m_hHandle, zelsys::INVALID_HANDLE_VALUE));
    return *this;
  }
  COwnedHandle(const COwnedHandle &) = delete;
  COwnedHandle &operator=(const COwnedHandle &) = delete;

  bool isValid() const { return m_hHandle != zelsys::INVALID_HANDLE_VALUE; }
  zelsys::HANDLE get() const { return m_hHandle; }
  void reset(zelsys::HANDLE hHandle = zelsys::INVALID_HANDLE_VALUE) {
    if (isValid())
      zelsys::CloseHandle(m_hHandle);
    m_hHandle = hHandle;
  }

private:
  zelsys::HANDLE m_hHandle;
};

// Where a log lies: the root of its full path ("C:\", "\\server\share\"),
// the folders below the root, and the file's name.
struct CLogPlace {
  std::u16string root;
  std::vector<std::u16string> folders;
  std::u16string name;
};

std::u16string decimal(unsigned long long ullValue) {
  const std::string text = std::to_string(ullValue);
  return std::u16string(text.begin(), text.end());
}

std::u16string numbered(const std::u16string &name, ZEL_ULONG ulNumber) {
  return name + u"." + decimal(ulNumber);
}

std::u16string fullPathOf(const std::u16string &path) {
  std::u16string full(zelsys::MAX_PATH, u'\0');
  for (int iTry = 0; iTry < 2; ++iTry) {
    const zelsys::DWORD dwChars = zelsys::GetFullPathNameW(
        path.c_str(), static_cast<zelsys::DWORD>(full.size()), full.data(), nullptr);
    if (dwChars == 0)
      break;
    if (dwChars < full.size())
      return full.substr(0, dwChars);
    full.assign(dwChars, u'\0');
  }
  return std::u16string();
}

// The length of a full path's root: "X:\" or "\\server\share\"; 0 for any
// other form.
std::size_t rootLength(const std::u16string &full) {
  if (zelHasDriveLetter(full) && full.size() >= 3 && full[2] == u'\\')
    return 3;
  if (full.compare(0, 2, u"\\\\") != 0 || full.compare(0, 4, u"\\\\?\\") == 0 ||
      full.compare(0, 4, u"\\\\.\\") == 0)
    return 0;
  const std::size_t server = full.find(u'\\', 2);
  const std::size_t share = server == std::u16string::npos ? server : full.find(u'\\', server + 1);
  return share == std::u16string::npos || share == server + 1 || server == 2 ? 0 : share + 1;
}

bool placeOf(const std::u16string &path, CLogPlace &place) {
  const std::u16string full = fullPathOf(path);
  const std::size_t root = rootLength(full);
  if (root == 0 || full.back() == u'\\')
    return false;
  place.root = full.substr(0, root);
  for (std::size_t at = root, end; at < full.size(); at = end + 1) {
    end = std::min(full.find(u'\\', at), full.size());
    if (end > at)
      place.folders.push_back(full.substr(at, end - at));
  }
  if (place.folders.empty())
    return false;
  place.name = place.folders.back();
  place.folders.pop_back();
  return true;
}

zelsys::HANDLE openFolder(zelsys::HANDLE hParent, const std::u16string &name) {
  return zelsys::CreateFileBelowW(hParent, name.c_str(), zelsys::GENERIC_READ, FOLDER_SHARE,
                                  zelsys::OPEN_EXISTING, zelsys::FILE_FLAG_BACKUP_SEMANTICS);
}

// The log's folder, held, each folder opened inside the one before; the
// last one is made when it cannot be opened. The root, which
// administrators control, is opened by its name.
COwnedHandle holdFolder(const CLogPlace &place) {
  COwnedHandle folder(openFolder(nullptr, place.root));
  for (std::size_t i = 0; i < place.folders.size() && folder.isValid(); ++i) {
    const std::u16string &name = place.folders[i];
    COwnedHandle next(openFolder(folder.get(), name));
    if (!next.isValid() && i + 1 == place.folders.size()) {
      // Whoever makes it, this writer or another at the same time.
      zelsys::CreateDirectoryBelowW(folder.get(), name.c_str());
      next.reset(openFolder(folder.get(), name));
    }
    folder = std::move(next);
  }
  return folder;
}

bool writeAll(zelsys::HANDLE hFile, const void *pData, zelsys::DWORD dwBytes) {
  zelsys::DWORD dwWritten = 0;
  return zelsys::WriteFile(hFile, pData, dwBytes, &dwWritten, nullptr) && dwWritten == dwBytes;
}

// Puts a new log file with its byte-order mark in place, unless another
// writer was quicker. False when no new file can be made.
bool createWithMark(zelsys::HANDLE hFolder, const std::u16string &name) {
  std::random_device random;
  const std::u16string fresh = name + u".new-" + decimal(random());
  COwnedHandle file(zelsys::CreateFileBelowW(hFolder, fresh.c_str(), zelsys::GENERIC_WRITE, 0,
                                             zelsys::CREATE_NEW, zelsys::FILE_ATTRIBUTE_NORMAL));
  if (!file.isValid())
    return false;
  const bool bMarked = writeAll(file.get(), BYTE_ORDER_MARK, sizeof BYTE_ORDER_MARK);
  file.reset();
  if (!bMarked || !zelsys::MoveFileBelowW(hFolder, fresh.c_str(), name.c_str(), 0))
    zelsys::DeleteFileBelowW(hFolder, fresh.c_str());
  return bMarked;
}

// A plain file with this one name: no link (which the opening already
// refuses where the system shows one), no folder, no second name.
bool isOwnPlainFile(zelsys::HANDLE hFile) {
  zelsys::BY_HANDLE_FILE_INFORMATION info{};
  return zelsys::GetFileInformationByHandle(hFile, &info) && info.nNumberOfLinks == 1 &&
         (info.dwFileAttributes &
          (zelsys::FILE_ATTRIBUTE_DIRECTORY | zelsys::FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
}

// The log held for appending: a writer that finds it held waits its turn,
// and one that finds it missing (never made, or just moved on by the
// rotation of another) makes it.
COwnedHandle openLog(zelsys::HANDLE hFolder, const std::u16string &name) {
  for (ZEL_ULONG ulTry = 0;; ++ulTry) {
    COwnedHandle file(zelsys::CreateFileBelowW(
        hFolder, name.c_str(), zelsys::FILE_APPEND_DATA | zelsys::SYNCHRONIZE, LOG_SHARE,
        zelsys::OPEN_EXISTING, zelsys::FILE_ATTRIBUTE_NORMAL));
    const zelsys::DWORD dwError = zelsys::GetLastError();
    if (file.isValid() && !isOwnPlainFile(file.get()))
      file.reset();
    if (file.isValid() || ulTry == BUSY_TRIES)
      return file;
    if (dwError == zelsys::ERROR_SHARING_VIOLATION)
      zelsys::Sleep(ulTry < 10 ? 0 : 1);
    else if (dwError != zelsys::ERROR_FILE_NOT_FOUND || !createWithMark(hFolder, name))
      return file;
  }
}

unsigned long long sizeOf(zelsys::HANDLE hFile) {
  zelsys::DWORD dwHigh = 0;
  const zelsys::DWORD dwLow = zelsys::GetFileSize(hFile, &dwHigh);
  if (dwLow == zelsys::INVALID_FILE_SIZE && zelsys::GetLastError() != zelsys::ERROR_SUCCESS)
    return 0;
  return static_cast<unsigned long long>(dwHigh) << 32 | dwLow;
}

// Whether anything has the name in the folder: a file, a folder or a link.
bool isTaken(zelsys::HANDLE hFolder, const std::u16string &name) {
  const COwnedHandle probe(
      zelsys::CreateFileBelowW(hFolder, name.c_str(), 0, SHARE_ALL, zelsys::OPEN_EXISTING, 0));
  return probe.isValid() || zelsys::GetLastError() != zelsys::ERROR_FILE_NOT_FOUND;
}

// Every copy moves up by one, from the highest of the unbroken run ".1",
// ".2", ... (the one numbered ulMaxCopies replaced), and then the log onto
// ".1". The first move that fails ends the rotation: a copy is never
// replaced by the one below it before it has moved up itself.
bool rotate(zelsys::HANDLE hFolder, const std::u16string &name, ZEL_ULONG ulMaxCopies) {
  ZEL_ULONG ulTop = 0;
  while (ulTop + 1 < ulMaxCopies && isTaken(hFolder, numbered(name, ulTop + 1)))
    ++ulTop;
  for (ZEL_ULONG n = ulTop; n >= 1; --n)
    if (!zelsys::MoveFileBelowW(hFolder, numbered(name, n).c_str(), numbered(name, n + 1).c_str(),
                                zelsys::MOVEFILE_REPLACE_EXISTING))
      return false;
  return zelsys::MoveFileBelowW(hFolder, name.c_str(), numbered(name, 1).c_str(),
                                zelsys::MOVEFILE_REPLACE_EXISTING);
}

} // namespace

bool zelHasDriveLetter(const std::u16string &path) noexcept {
  return path.size() >= 2 && path[1] == u':' &&
         ((path[0] >= u'A' && path[0] <= u'Z') || (path[0] >= u'a' && path[0] <= u'z'));
}

bool zelAppendLogLine(const std::u16string &path, const std::u16string &line,
                      const CZELLogRotation &rotation, bool &bRotated) noexcept {
  bRotated = false;
  try {
    CLogPlace place;
    if (!placeOf(path, place))
      return false;
    const COwnedHandle folder = holdFolder(place);
    if (!folder.isValid())
      return false;
    const COwnedHandle file = openLog(folder.get(), place.name);
    if (!file.isValid() ||
        !writeAll(file.get(), line.data(), static_cast<zelsys::DWORD>(line.size() * 2)))
      return false;
    if (rotation.ulMaxKilobytes != 0 && rotation.ulMaxCopies != 0 &&
        sizeOf(file.get()) / 1024 > rotation.ulMaxKilobytes)
      bRotated = rotate(folder.get(), place.name, rotation.ulMaxCopies);
    return true;
  } catch (...) {
    return false;
  }
}
