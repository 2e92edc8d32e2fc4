//===- Files.cpp - File calls on Windows -----------------------------------===//
//
// Thin forwarders to kernel32. Only code for Windows belongs here.
//
//===----------------------------------------------------------------------===//
#include "zelsys/files.h"
#include "WindowsSupport.h"

#include <cstddef>

namespace zelsys {

namespace {

::LPDWORD native(DWORD *pdw) { return reinterpret_cast<::LPDWORD>(pdw); }
::PLONG native(LONG *pl) { return reinterpret_cast<::PLONG>(pl); }
::LPWIN32_FIND_DATAW native(WIN32_FIND_DATAW *pData) {
  return reinterpret_cast<::LPWIN32_FIND_DATAW>(pData);
}
::LPSECURITY_ATTRIBUTES native(const SECURITY_ATTRIBUTES *psa) {
  return reinterpret_cast<::LPSECURITY_ATTRIBUTES>(const_cast<SECURITY_ATTRIBUTES *>(psa));
}
::LPOVERLAPPED native(void *pOverlapped) { return static_cast<::LPOVERLAPPED>(pOverlapped); }
::LPBY_HANDLE_FILE_INFORMATION native(BY_HANDLE_FILE_INFORMATION *pInfo) {
  return reinterpret_cast<::LPBY_HANDLE_FILE_INFORMATION>(pInfo);
}

static_assert(sizeof(::WIN32_FIND_DATAW) == sizeof(WIN32_FIND_DATAW), "WIN32_FIND_DATAW size");
static_assert(offsetof(::WIN32_FIND_DATAW, ftCreationTime) ==
                  offsetof(WIN32_FIND_DATAW, ftCreationTime),
              "WIN32_FIND_DATAW layout");
static_assert(offsetof(::WIN32_FIND_DATAW, nFileSizeHigh) ==
                  offsetof(WIN32_FIND_DATAW, nFileSizeHigh),
              "WIN32_FIND_DATAW layout");
static_assert(offsetof(::WIN32_FIND_DATAW, dwReserved0) == offsetof(WIN32_FIND_DATAW, dwReserved0),
              "WIN32_FIND_DATAW layout");
static_assert(offsetof(::WIN32_FIND_DATAW, cFileName) == offsetof(WIN32_FIND_DATAW, cFileName),
              "WIN32_FIND_DATAW layout");
static_assert(offsetof(::WIN32_FIND_DATAW, cAlternateFileName) ==
                  offsetof(WIN32_FIND_DATAW, cAlternateFileName),
              "WIN32_FIND_DATAW layout");

static_assert(sizeof(::BY_HANDLE_FILE_INFORMATION) == sizeof(BY_HANDLE_FILE_INFORMATION),
              "BY_HANDLE_FILE_INFORMATION size");
static_assert(offsetof(::BY_HANDLE_FILE_INFORMATION, ftLastWriteTime) ==
                  offsetof(BY_HANDLE_FILE_INFORMATION, ftLastWriteTime),
              "BY_HANDLE_FILE_INFORMATION layout");
static_assert(offsetof(::BY_HANDLE_FILE_INFORMATION, nNumberOfLinks) ==
                  offsetof(BY_HANDLE_FILE_INFORMATION, nNumberOfLinks),
              "BY_HANDLE_FILE_INFORMATION layout");
static_assert(offsetof(::BY_HANDLE_FILE_INFORMATION, nFileIndexLow) ==
                  offsetof(BY_HANDLE_FILE_INFORMATION, nFileIndexLow),
              "BY_HANDLE_FILE_INFORMATION layout");

} // namespace

HANDLE CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   const SECURITY_ATTRIBUTES *lpSecurityAttributes, DWORD dwCreationDisposition,
                   DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) {
  return ::CreateFileW(win32::wide(lpFileName), dwDesiredAccess, dwShareMode,
                       native(lpSecurityAttributes), dwCreationDisposition, dwFlagsAndAttributes,
                       hTemplateFile);
}

BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, DWORD *lpNumberOfBytesRead,
              void *lpOverlapped) {
  return ::ReadFile(hFile, lpBuffer, nNumberOfBytesToRead, native(lpNumberOfBytesRead),
                    native(lpOverlapped));
}

BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
               DWORD *lpNumberOfBytesWritten, void *lpOverlapped) {
  return ::WriteFile(hFile, lpBuffer, nNumberOfBytesToWrite, native(lpNumberOfBytesWritten),
                     native(lpOverlapped));
}

DWORD SetFilePointer(HANDLE hFile, LONG lDistanceToMove, LONG *lpDistanceToMoveHigh,
                     DWORD dwMoveMethod) {
  return ::SetFilePointer(hFile, lDistanceToMove, native(lpDistanceToMoveHigh), dwMoveMethod);
}

DWORD GetFileSize(HANDLE hFile, DWORD *lpFileSizeHigh) {
  return ::GetFileSize(hFile, native(lpFileSizeHigh));
}

BOOL FlushFileBuffers(HANDLE hFile) { return ::FlushFileBuffers(hFile); }

BOOL GetFileInformationByHandle(HANDLE hFile, BY_HANDLE_FILE_INFORMATION *lpFileInformation) {
  return ::GetFileInformationByHandle(hFile, native(lpFileInformation));
}

BOOL CopyFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, BOOL bFailIfExists) {
  return ::CopyFileW(win32::wide(lpExistingFileName), win32::wide(lpNewFileName), bFailIfExists);
}

BOOL MoveFileExW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, DWORD dwFlags) {
  return ::MoveFileExW(win32::wide(lpExistingFileName), win32::wide(lpNewFileName), dwFlags);
}

BOOL DeleteFileW(LPCWSTR lpFileName) { return ::DeleteFileW(win32::wide(lpFileName)); }

DWORD GetFileAttributesW(LPCWSTR lpFileName) {
  return ::GetFileAttributesW(win32::wide(lpFileName));
}

BOOL SetFileAttributesW(LPCWSTR lpFileName, DWORD dwFileAttributes) {
  return ::SetFileAttributesW(win32::wide(lpFileName), dwFileAttributes);
}

HANDLE FindFirstFileW(LPCWSTR lpFileName, WIN32_FIND_DATAW *lpFindFileData) {
  return ::FindFirstFileW(win32::wide(lpFileName), native(lpFindFileData));
}

BOOL FindNextFileW(HANDLE hFindFile, WIN32_FIND_DATAW *lpFindFileData) {
  return ::FindNextFileW(hFindFile, native(lpFindFileData));
}

BOOL FindClose(HANDLE hFindFile) { return ::FindClose(hFindFile); }

BOOL CreateDirectoryW(LPCWSTR lpPathName, const SECURITY_ATTRIBUTES *lpSecurityAttributes) {
  return ::CreateDirectoryW(win32::wide(lpPathName), native(lpSecurityAttributes));
}

BOOL RemoveDirectoryW(LPCWSTR lpPathName) { return ::RemoveDirectoryW(win32::wide(lpPathName)); }

DWORD GetCurrentDirectoryW(DWORD nBufferLength, LPWSTR lpBuffer) {
  return ::GetCurrentDirectoryW(nBufferLength, win32::wide(lpBuffer));
}

BOOL SetCurrentDirectoryW(LPCWSTR lpPathName) {
  return ::SetCurrentDirectoryW(win32::wide(lpPathName));
}

DWORD GetFullPathNameW(LPCWSTR lpFileName, DWORD nBufferLength, LPWSTR lpBuffer,
                       LPWSTR *lpFilePart) {
  return ::GetFullPathNameW(win32::wide(lpFileName), nBufferLength, win32::wide(lpBuffer),
                            reinterpret_cast<::LPWSTR *>(lpFilePart));
}

} // namespace zelsys
