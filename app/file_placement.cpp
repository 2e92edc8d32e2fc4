// file_placement.cpp - putting files in place inside folders users control.
//
// Names of this run's copies: the target's name, ".fixwell-", the process
// id and a count, so no two runs share one (only one runs at a time), and
// the platform's backup copy adds "-bak". Whatever starts with the target's
// name and ".fixwell-" is left over from a run that was stopped: it is
// deleted, as a name, before the target is touched.
#include "file_placement.h"
#include "patch_files.h"

#include "zelsys/files.h"
#include "zelsys/filesbelow.h"
#include "zelsys/kernel.h"
#include "zelsys/process.h"
#include "zelsys/security.h"
#include "zelsys/winconst.h"

#include <atomic>
#include <string>

namespace {

const ZEL_USHORT COPY_MARK[] = u".fixwell-";
constexpr zelsys::DWORD FOLDER_ACCESS = zelsys::GENERIC_READ;
// Sharing reading and writing but not deleting: on Windows the held folder
// cannot be renamed or removed while the patch works in it.
constexpr zelsys::DWORD FOLDER_SHARE = zelsys::FILE_SHARE_READ | zelsys::FILE_SHARE_WRITE;
// What a 32-bit program can hold of one file at once.
constexpr unsigned long long MAX_FILE_BYTES = 0x7FFFFFFFull;

std::u16string textOf(const CZELWCharString &strText) {
  return strText.getBuffer() != nullptr ? std::u16string(strText.getBuffer()) : std::u16string();
}

zelsys::HANDLE openFolder(zelsys::HANDLE hParent, const CZELWCharString &strName) {
  return zelsys::CreateFileBelowW(hParent, strName.getBuffer(), FOLDER_ACCESS, FOLDER_SHARE,
                                  zelsys::OPEN_EXISTING, zelsys::FILE_FLAG_BACKUP_SEMANTICS);
}

CZELWCharString withSeparator(const CZELWCharString &strPath) {
  const std::u16string path = textOf(strPath);
  return !path.empty() && path.back() == u'\\' ? strPath : strPath + u"\\";
}

// A name for this run's copy of strName, never used before in this process.
CZELWCharString copyName(const CZELWCharString &strName) {
  static std::atomic<ZEL_ULONG> s_ulCount{0};
  return strName + COPY_MARK +
         CZELWCharString(static_cast<ZEL_LONG>(zelsys::GetCurrentProcessId())) + u"-" +
         CZELWCharString(static_cast<ZEL_LONG>(++s_ulCount));
}

// Deletes what an interrupted run left of its copies of strName.
void removeLeftCopies(const CHeldFolder &folder, const CZELWCharString &strName) {
  const CZELWCharString strPattern = folder.getPath() + strName + COPY_MARK + u"*";
  zelsys::WIN32_FIND_DATAW data{};
  const zelsys::HANDLE hFind = zelsys::FindFirstFileW(strPattern.getBuffer(), &data);
  if (hFind == zelsys::INVALID_HANDLE_VALUE)
    return;
  do {
    if (!(data.dwFileAttributes & zelsys::FILE_ATTRIBUTE_DIRECTORY))
      zelsys::DeleteFileBelowW(folder.get(), data.cFileName);
  } while (zelsys::FindNextFileW(hFind, &data));
  zelsys::FindClose(hFind);
}

zelsys::DWORD writeAll(zelsys::HANDLE hFile, const CPatchBytes &bytes) {
  const CPatchFileHandle file(hFile);
  if (!file.isValid())
    return zelsys::GetLastError();
  if (!file.write(bytes.data(), static_cast<zelsys::DWORD>(bytes.size())))
    return zelsys::GetLastError() != zelsys::ERROR_SUCCESS ? zelsys::GetLastError()
                                                           : zelsys::ERROR_DISK_FULL;
  return zelsys::FlushFileBuffers(file.get()) ? zelsys::ERROR_SUCCESS : zelsys::GetLastError();
}

} // namespace

CHeldFolder::CHeldFolder(const CZELWCharString &strPath)
    : m_hFolder(openFolder(nullptr, strPath)), m_strPath(withSeparator(strPath)),
      m_dwError(isValid() ? zelsys::ERROR_SUCCESS : zelsys::GetLastError()) {}

CHeldFolder::CHeldFolder(const CHeldFolder &parent, const CZELWCharString &strName)
    : m_hFolder(parent.isValid() ? openFolder(parent.get(), strName)
                                 : zelsys::INVALID_HANDLE_VALUE),
      m_strPath(parent.getPath() + strName + u"\\"),
      m_dwError(isValid()          ? zelsys::ERROR_SUCCESS
                : parent.isValid() ? zelsys::GetLastError()
                                   : parent.error()) {
  // The opening never follows a link. A platform that opens what a host
  // link points to (Wine) shows the link by its name alone, so a name that
  // is one is refused as well.
  const CZELWCharString strLink = parent.getPath() + strName; // no "\\": that would follow it
  const zelsys::DWORD dwAttributes = zelsys::GetFileAttributesW(strLink.getBuffer());
  if (isValid() && dwAttributes != zelsys::INVALID_FILE_ATTRIBUTES &&
      (dwAttributes & zelsys::FILE_ATTRIBUTE_REPARSE_POINT)) {
    zelsys::CloseHandle(m_hFolder);
    m_hFolder = zelsys::INVALID_HANDLE_VALUE;
    m_dwError = zelsys::ERROR_CANT_ACCESS_FILE;
  }
}

CHeldFolder::~CHeldFolder() {
  if (isValid())
    zelsys::CloseHandle(m_hFolder);
}

bool CHeldFolder::isValid() const { return m_hFolder != zelsys::INVALID_HANDLE_VALUE; }

zelsys::DWORD readWholeFile(zelsys::HANDLE hFile, CPatchBytes &bytes) {
  zelsys::DWORD dwHigh = 0;
  const zelsys::DWORD dwLow = zelsys::GetFileSize(hFile, &dwHigh);
  if (dwLow == zelsys::INVALID_FILE_SIZE && zelsys::GetLastError() != zelsys::ERROR_SUCCESS)
    return zelsys::GetLastError();
  const unsigned long long size = static_cast<unsigned long long>(dwHigh) << 32 | dwLow;
  if (size > MAX_FILE_BYTES)
    return zelsys::ERROR_FILE_TOO_LARGE;
  bytes.assign(static_cast<std::size_t>(size), 0);
  zelsys::DWORD dwRead = 0;
  if (!bytes.empty() &&
      !zelsys::ReadFile(hFile, bytes.data(), static_cast<zelsys::DWORD>(size), &dwRead, nullptr))
    return zelsys::GetLastError();
  // A file that shrank while it was read is read again by the next run.
  bytes.resize(dwRead);
  return zelsys::ERROR_SUCCESS;
}

zelsys::DWORD readFileBelow(const CHeldFolder &folder, const CZELWCharString &strName,
                            CPatchBytes &bytes) {
  const CPatchFileHandle file(
      zelsys::CreateFileBelowW(folder.get(), strName.getBuffer(), zelsys::GENERIC_READ,
                               zelsys::FILE_SHARE_READ, zelsys::OPEN_EXISTING, 0));
  if (!file.isValid())
    return zelsys::GetLastError();
  zelsys::BY_HANDLE_FILE_INFORMATION info{};
  if (!zelsys::GetFileInformationByHandle(file.get(), &info))
    return zelsys::GetLastError();
  // Another name of the file could lie anywhere, a file only an
  // administrator may read among them.
  if (info.nNumberOfLinks != 1)
    return zelsys::ERROR_ACCESS_DENIED;
  return readWholeFile(file.get(), bytes);
}

zelsys::DWORD placeFileBelow(const CHeldFolder &folder, const CZELWCharString &strName,
                             const CPatchBytes &bytes, bool bBackup) {
  if (!folder.isValid())
    return folder.error();
  removeLeftCopies(folder, strName);
  const CZELWCharString strCopy = copyName(strName);
  zelsys::DWORD dwError =
      writeAll(zelsys::CreateFileBelowW(folder.get(), strCopy.getBuffer(), zelsys::GENERIC_WRITE, 0,
                                        zelsys::CREATE_NEW, zelsys::FILE_ATTRIBUTE_NORMAL),
               bytes);
  if (dwError == zelsys::ERROR_SUCCESS) {
    const CZELWCharString strBackup = strName + u".bak";
    // Into the place of the old file with its identity; where there is
    // none, the new file is simply given the name.
    if (!zelsys::ReplaceFileBelowW(folder.get(), strName.getBuffer(), strCopy.getBuffer(),
                                   bBackup ? strBackup.getBuffer() : nullptr)) {
      dwError = zelsys::GetLastError();
      if (dwError == zelsys::ERROR_FILE_NOT_FOUND &&
          zelsys::MoveFileBelowW(folder.get(), strCopy.getBuffer(), strName.getBuffer(), 0))
        dwError = zelsys::ERROR_SUCCESS;
    }
  }
  if (dwError != zelsys::ERROR_SUCCESS)
    zelsys::DeleteFileBelowW(folder.get(), strCopy.getBuffer());
  return dwError;
}
