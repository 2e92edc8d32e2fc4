//===- ReplaceBelow.cpp - ReplaceFileBelowW over the platform's calls ------===//
//
// The same steps on every platform: the replaced file is checked through a
// handle that cannot have followed a link; the replacement, and the backup
// copy when one is asked for, take its identity; the backup is renamed into
// place, then the replacement over the replaced file. Every rename replaces
// in one step, so the replaced name always holds the old file or the new.
//
//===----------------------------------------------------------------------===//
#include "FileIdentity.h"
#include "zelsys/files.h"
#include "zelsys/filesbelow.h"
#include "zelsys/kernel.h"
#include "zelsys/security.h"
#include "zelsys/winconst.h"

#include <string>
#include <vector>

namespace zelsys {

namespace {

class Handle {
public:
  explicit Handle(HANDLE h) : m_h(h) {}
  ~Handle() { close(); }
  Handle(const Handle &) = delete;
  Handle &operator=(const Handle &) = delete;
  bool valid() const { return m_h != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return m_h; }
  void close() {
    if (valid())
      CloseHandle(m_h);
    m_h = INVALID_HANDLE_VALUE;
  }

private:
  HANDLE m_h;
};

constexpr DWORD kIdentityAccess = GENERIC_READ | GENERIC_WRITE | WRITE_DAC | WRITE_OWNER;

BOOL failWith(DWORD dwError) {
  SetLastError(dwError);
  return FALSE;
}

// A plain file with one name that may be replaced: not read-only, not a
// folder or link. Other names of it could lie anywhere.
DWORD checkReplaceable(HANDLE hFile) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(hFile, &info))
    return GetLastError();
  constexpr DWORD kRefused =
      FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
  return info.nNumberOfLinks == 1 && (info.dwFileAttributes & kRefused) == 0 ? ERROR_SUCCESS
                                                                             : ERROR_ACCESS_DENIED;
}

// Copies the whole content of hFrom (from its start) into hTo.
DWORD copyContent(HANDLE hFrom, HANDLE hTo) {
  LONG lHigh = 0;
  if (SetFilePointer(hFrom, 0, &lHigh, FILE_BEGIN) == INVALID_SET_FILE_POINTER &&
      GetLastError() != ERROR_SUCCESS)
    return GetLastError();
  std::vector<BYTE> chunk(1 << 16);
  for (;;) {
    DWORD dwRead = 0;
    if (!ReadFile(hFrom, chunk.data(), static_cast<DWORD>(chunk.size()), &dwRead, nullptr))
      return GetLastError();
    if (dwRead == 0)
      return ERROR_SUCCESS;
    DWORD dwWritten = 0;
    if (!WriteFile(hTo, chunk.data(), dwRead, &dwWritten, nullptr))
      return GetLastError();
    if (dwWritten != dwRead)
      return ERROR_DISK_FULL;
  }
}

// The backup: a copy of hOld with its identity, written under a name of
// this call's and renamed over lpBackup.
DWORD putBackup(HANDLE hFolder, HANDLE hOld, const std::u16string &copyName, LPCWSTR lpBackup) {
  // A copy of an earlier, interrupted call goes first; a link is deleted
  // as the name it is.
  DeleteFileBelowW(hFolder, copyName.c_str());
  Handle copy(CreateFileBelowW(hFolder, copyName.c_str(), kIdentityAccess, 0, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL));
  if (!copy.valid())
    return GetLastError();
  DWORD dwError = copyContent(hOld, copy.get());
  if (dwError == ERROR_SUCCESS)
    dwError = common::copyFileIdentity(hOld, copy.get());
  if (dwError == ERROR_SUCCESS && !FlushFileBuffers(copy.get()))
    dwError = GetLastError();
  copy.close();
  if (dwError == ERROR_SUCCESS &&
      !MoveFileBelowW(hFolder, copyName.c_str(), lpBackup, MOVEFILE_REPLACE_EXISTING))
    dwError = GetLastError();
  if (dwError != ERROR_SUCCESS)
    DeleteFileBelowW(hFolder, copyName.c_str());
  return dwError;
}

} // namespace

BOOL ReplaceFileBelowW(HANDLE hFolder, LPCWSTR lpReplaced, LPCWSTR lpReplacement,
                       LPCWSTR lpBackup) {
  if (hFolder == nullptr || lpReplaced == nullptr || lpReplacement == nullptr)
    return failWith(ERROR_INVALID_PARAMETER);
  Handle old(
      CreateFileBelowW(hFolder, lpReplaced, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0));
  if (!old.valid())
    return FALSE;
  if (const DWORD dwError = checkReplaceable(old.get()))
    return failWith(dwError);
  Handle replacement(
      CreateFileBelowW(hFolder, lpReplacement, kIdentityAccess, 0, OPEN_EXISTING, 0));
  if (!replacement.valid())
    return FALSE;
  DWORD dwError = common::copyFileIdentity(old.get(), replacement.get());
  if (dwError == ERROR_SUCCESS && !FlushFileBuffers(replacement.get()))
    dwError = GetLastError();
  if (dwError == ERROR_SUCCESS && lpBackup != nullptr)
    dwError = putBackup(hFolder, old.get(), std::u16string(lpReplacement) + u"-bak", lpBackup);
  // A file open anywhere cannot be replaced: both go before the rename.
  old.close();
  replacement.close();
  if (dwError == ERROR_SUCCESS &&
      !MoveFileBelowW(hFolder, lpReplacement, lpReplaced, MOVEFILE_REPLACE_EXISTING))
    dwError = GetLastError();
  return dwError == ERROR_SUCCESS ? TRUE : failWith(dwError);
}

} // namespace zelsys
