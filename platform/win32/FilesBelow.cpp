//===- FilesBelow.cpp - Files inside a folder held open, on Windows --------===//
//
// The native calls that take a root folder: NtCreateFile opens a name
// relative to the held folder with FILE_OPEN_REPARSE_POINT, so a link is
// opened as itself and then refused; renames and deletions go through
// NtSetInformationFile on a handle opened that way, the new name again
// relative to the folder. Every Windows since NT has them (ntdll), as it has
// the security calls by handle; the headers this program is built with
// declare them only apart from the base set, so they are found at run
// time, and where one is missing the calls fail cleanly. Only code for
// Windows belongs here.
//
//===----------------------------------------------------------------------===//
#include "zelsys/filesbelow.h"
#include "FileIdentity.h"
#include "WindowsSupport.h"

#include <aclapi.h>
#include <cstring>
#include <cwchar>
#include <string_view>
#include <vector>
#include <winternl.h>

namespace zelsys {

namespace {

constexpr ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The calls found at run time.
struct Calls {
  NTSTATUS(NTAPI *createFile)
  (PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK, PLARGE_INTEGER, ULONG, ULONG, ULONG,
   ULONG, PVOID, ULONG);
  NTSTATUS(NTAPI *setInformation)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, FILE_INFORMATION_CLASS);
  ULONG(NTAPI *toDosError)(NTSTATUS);
  ::DWORD(WINAPI *getSecurity)(HANDLE, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID *, PSID *, PACL *,
                               PACL *, PSECURITY_DESCRIPTOR *);
  ::DWORD(WINAPI *setSecurity)(HANDLE, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID, PSID, PACL,
                               PACL);
  bool ok() const {
    return createFile && setInformation && toDosError && getSecurity && setSecurity;
  }
};

const Calls &calls() {
  static const Calls found = [] {
    // Both are loaded in every process: ntdll always, advapi32 by the
    // program's own imports.
    const ::HMODULE hNt = ::GetModuleHandleW(L"ntdll.dll");
    const ::HMODULE hAdvapi = ::LoadLibraryW(L"advapi32.dll");
    Calls c;
    c.createFile = win32::entryOf<decltype(c.createFile)>(hNt, "NtCreateFile");
    c.setInformation = win32::entryOf<decltype(c.setInformation)>(hNt, "NtSetInformationFile");
    c.toDosError = win32::entryOf<decltype(c.toDosError)>(hNt, "RtlNtStatusToDosError");
    c.getSecurity = win32::entryOf<decltype(c.getSecurity)>(hAdvapi, "GetSecurityInfo");
    c.setSecurity = win32::entryOf<decltype(c.setSecurity)>(hAdvapi, "SetSecurityInfo");
    return c;
  }();
  return found;
}

HANDLE failHandle(::DWORD dwError) {
  ::SetLastError(dwError);
  return INVALID_HANDLE_VALUE;
}

BOOL failStatus(NTSTATUS status) {
  ::SetLastError(calls().toDosError(status));
  return FALSE;
}

// One name of a folder: not empty, no separator, not "." or "..".
bool isOneName(LPCWSTR lpName) {
  if (lpName == nullptr)
    return false;
  const std::wstring_view name(win32::wide(lpName));
  return !name.empty() && name != L"." && name != L".." &&
         name.find_first_of(L"\\/") == std::wstring_view::npos;
}

ULONG ntDisposition(::DWORD dwCreationDisposition) {
  switch (dwCreationDisposition) {
  case CREATE_NEW:
    return FILE_CREATE;
  case CREATE_ALWAYS:
    return FILE_OVERWRITE_IF;
  case OPEN_ALWAYS:
    return FILE_OPEN_IF;
  case TRUNCATE_EXISTING:
    return FILE_OVERWRITE;
  default:
    return FILE_OPEN;
  }
}

// Opens lpName below hFolder, a link as itself.
NTSTATUS openBelow(HANDLE hFolder, LPCWSTR lpName, ACCESS_MASK access, ULONG share,
                   ULONG disposition, ULONG options, ULONG attributes, HANDLE &hFile,
                   ULONG_PTR &information) {
  const USHORT cbName = static_cast<USHORT>(std::wcslen(win32::wide(lpName)) * sizeof(wchar_t));
  UNICODE_STRING name{cbName, cbName, const_cast<PWSTR>(win32::wide(lpName))};
  OBJECT_ATTRIBUTES object;
  InitializeObjectAttributes(&object, &name, OBJ_CASE_INSENSITIVE, hFolder, nullptr);
  IO_STATUS_BLOCK io{};
  const NTSTATUS status = calls().createFile(
      &hFile, access | SYNCHRONIZE | FILE_READ_ATTRIBUTES, &object, &io, nullptr, attributes, share,
      disposition, options | FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
  information = io.Information;
  return status;
}

// Whether what was opened is a reparse point: told by the handle, which
// cannot be raced. (Wine opens what a host link points to instead, and
// shows links by their names alone.)
bool isReparsePoint(HANDLE hFile) {
  ::BY_HANDLE_FILE_INFORMATION info;
  return !::GetFileInformationByHandle(hFile, &info) ||
         (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// Opens lpName below hFolder for changing its name, a link as itself.
BOOL openForName(HANDLE hFolder, LPCWSTR lpName, ULONG options, HANDLE &hFile) {
  if (hFolder == nullptr || !isOneName(lpName)) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!calls().ok()) {
    ::SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
  }
  ULONG_PTR information = 0;
  const NTSTATUS status =
      openBelow(hFolder, lpName, DELETE, kShareAll, FILE_OPEN, options, 0, hFile, information);
  return NT_SUCCESS(status) ? TRUE : failStatus(status);
}

// Sets one kind of information on a handle; closes it either way.
BOOL setAndClose(HANDLE hFile, void *pInfo, ULONG cbInfo, FILE_INFORMATION_CLASS kind) {
  IO_STATUS_BLOCK io{};
  const NTSTATUS status = calls().setInformation(hFile, &io, pInfo, cbInfo, kind);
  ::CloseHandle(hFile);
  return NT_SUCCESS(status) ? TRUE : failStatus(status);
}

} // namespace

HANDLE CreateFileBelowW(HANDLE hFolder, LPCWSTR lpName, DWORD dwDesiredAccess, DWORD dwShareMode,
                        DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes) {
  const bool bFolder = (dwFlagsAndAttributes & FILE_FLAG_BACKUP_SEMANTICS) != 0;
  if (hFolder == nullptr)
    return ::CreateFileW(win32::wide(lpName), dwDesiredAccess, dwShareMode, nullptr,
                         dwCreationDisposition, dwFlagsAndAttributes, nullptr);
  if (!isOneName(lpName))
    return failHandle(ERROR_INVALID_NAME);
  if (!calls().ok())
    return failHandle(ERROR_CALL_NOT_IMPLEMENTED);
  if (dwCreationDisposition < CREATE_NEW || dwCreationDisposition > TRUNCATE_EXISTING ||
      (bFolder && dwCreationDisposition != OPEN_EXISTING))
    return failHandle(ERROR_INVALID_PARAMETER);
  const ULONG attributes = dwFlagsAndAttributes & 0xFFFF;
  HANDLE hFile = nullptr;
  ULONG_PTR information = 0;
  const NTSTATUS status =
      openBelow(hFolder, lpName, dwDesiredAccess, dwShareMode, ntDisposition(dwCreationDisposition),
                bFolder ? FILE_DIRECTORY_FILE : FILE_NON_DIRECTORY_FILE,
                attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL, hFile, information);
  if (!NT_SUCCESS(status)) {
    failStatus(status);
    return INVALID_HANDLE_VALUE;
  }
  if (isReparsePoint(hFile)) {
    ::CloseHandle(hFile);
    return failHandle(ERROR_CANT_ACCESS_FILE);
  }
  const bool reopened = information != FILE_CREATED && (dwCreationDisposition == CREATE_ALWAYS ||
                                                        dwCreationDisposition == OPEN_ALWAYS);
  ::SetLastError(reopened ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return hFile;
}

BOOL CreateDirectoryBelowW(HANDLE hFolder, LPCWSTR lpName) {
  if (hFolder == nullptr) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!isOneName(lpName)) {
    ::SetLastError(ERROR_INVALID_NAME);
    return FALSE;
  }
  if (!calls().ok()) {
    ::SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
  }
  HANDLE hNew = nullptr;
  ULONG_PTR information = 0;
  const NTSTATUS status = openBelow(hFolder, lpName, FILE_LIST_DIRECTORY, kShareAll, FILE_CREATE,
                                    FILE_DIRECTORY_FILE, FILE_ATTRIBUTE_NORMAL, hNew, information);
  if (!NT_SUCCESS(status))
    return failStatus(status);
  ::CloseHandle(hNew);
  return TRUE;
}

BOOL MoveFileBelowW(HANDLE hFolder, LPCWSTR lpExistingName, LPCWSTR lpNewName, DWORD dwFlags) {
  if ((dwFlags & ~MOVEFILE_REPLACE_EXISTING) != 0 || !isOneName(lpNewName)) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  HANDLE hFile = nullptr;
  if (!openForName(hFolder, lpExistingName, 0, hFile))
    return FALSE;
  const std::size_t cbName = std::wcslen(win32::wide(lpNewName)) * sizeof(wchar_t);
  std::vector<BYTE> buffer(sizeof(FILE_RENAME_INFORMATION) + cbName);
  auto *pInfo = reinterpret_cast<FILE_RENAME_INFORMATION *>(buffer.data());
  pInfo->ReplaceIfExists = (dwFlags & MOVEFILE_REPLACE_EXISTING) != 0;
  pInfo->RootDirectory = hFolder;
  pInfo->FileNameLength = static_cast<ULONG>(cbName);
  std::memcpy(pInfo->FileName, lpNewName, cbName);
  return setAndClose(hFile, pInfo, static_cast<ULONG>(buffer.size()), FileRenameInformation);
}

BOOL DeleteFileBelowW(HANDLE hFolder, LPCWSTR lpName) {
  HANDLE hFile = nullptr;
  if (!openForName(hFolder, lpName, FILE_NON_DIRECTORY_FILE, hFile))
    return FALSE;
  FILE_DISPOSITION_INFORMATION info{TRUE};
  return setAndClose(hFile, &info, sizeof(info), FileDispositionInformation);
}

namespace common {

DWORD copyFileIdentity(HANDLE hFrom, HANDLE hTo) {
  PSID pOwner = nullptr;
  PSID pGroup = nullptr;
  PACL pDacl = nullptr;
  PSECURITY_DESCRIPTOR pDescriptor = nullptr;
  constexpr SECURITY_INFORMATION kWhat =
      OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  if (!calls().ok())
    return ERROR_CALL_NOT_IMPLEMENTED;
  ::DWORD dwError = calls().getSecurity(hFrom, SE_FILE_OBJECT, kWhat, &pOwner, &pGroup, &pDacl,
                                        nullptr, &pDescriptor);
  if (dwError != ERROR_SUCCESS)
    return dwError;
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  ::DWORD dwRevision = 0;
  ::GetSecurityDescriptorControl(pDescriptor, &control, &dwRevision);
  // Inherited entries come again from the same folder; a protected list
  // stays protected.
  const SECURITY_INFORMATION dacl =
      DACL_SECURITY_INFORMATION |
      ((control & SE_DACL_PROTECTED) ? PROTECTED_DACL_SECURITY_INFORMATION
                                     : UNPROTECTED_DACL_SECURITY_INFORMATION);
  dwError = calls().setSecurity(hTo, SE_FILE_OBJECT,
                                dacl | OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION,
                                pOwner, pGroup, pDacl, nullptr);
  // Giving a file to another owner takes a privilege the process may not
  // hold: then the access list alone, which is what lets the user in.
  if (dwError != ERROR_SUCCESS)
    dwError = calls().setSecurity(hTo, SE_FILE_OBJECT, dacl, nullptr, nullptr, pDacl, nullptr);
  ::LocalFree(pDescriptor);
  if (dwError != ERROR_SUCCESS)
    return dwError;
  ::BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(hFrom, &info))
    return ::GetLastError();
  FILE_BASIC_INFORMATION basic{};
  constexpr ::DWORD kKept = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                            FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                            FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  basic.FileAttributes = (info.dwFileAttributes & kKept) != 0 ? (info.dwFileAttributes & kKept)
                                                              : FILE_ATTRIBUTE_NORMAL;
  IO_STATUS_BLOCK io{};
  const NTSTATUS status =
      calls().setInformation(hTo, &io, &basic, sizeof(basic), FileBasicInformation);
  return NT_SUCCESS(status) ? ERROR_SUCCESS : calls().toDosError(status);
}

} // namespace common

} // namespace zelsys
