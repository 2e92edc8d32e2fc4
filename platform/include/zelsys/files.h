//===- zelsys/files.h - File and folder calls ------------------------------===//
//
// Files and folders by Windows path, with the Windows names, argument order,
// results and last-error behaviour. Constants are in winconst.h.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "zelsys/wintypes.h"

namespace zelsys {

// What FindFirstFileW and FindNextFileW report of one entry.
struct WIN32_FIND_DATAW {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwReserved0; // the reparse tag of a reparse point
  DWORD dwReserved1;
  WCHAR cFileName[260];
  WCHAR cAlternateFileName[14];
};

// What GetFileInformationByHandle reports of an open file. Names that share
// one volume serial and file index are the same file; nNumberOfLinks counts
// its names (hard links), which may lie in any folder of the volume.
struct BY_HANDLE_FILE_INFORMATION {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD dwVolumeSerialNumber;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD nNumberOfLinks;
  DWORD nFileIndexHigh;
  DWORD nFileIndexLow;
};

// Opening, reading and writing through a handle; CloseHandle (security.h)
// closes it. The overlapped arguments are always null here.
HANDLE CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   const SECURITY_ATTRIBUTES *lpSecurityAttributes, DWORD dwCreationDisposition,
                   DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);
BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, DWORD *lpNumberOfBytesRead,
              void *lpOverlapped);
BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
               DWORD *lpNumberOfBytesWritten, void *lpOverlapped);
DWORD SetFilePointer(HANDLE hFile, LONG lDistanceToMove, LONG *lpDistanceToMoveHigh,
                     DWORD dwMoveMethod);
DWORD GetFileSize(HANDLE hFile, DWORD *lpFileSizeHigh);
BOOL FlushFileBuffers(HANDLE hFile);
// Of the file a handle holds: a file opened through a symbolic link is the
// file the link points to.
BOOL GetFileInformationByHandle(HANDLE hFile, BY_HANDLE_FILE_INFORMATION *lpFileInformation);

// Whole files by name.
BOOL CopyFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, BOOL bFailIfExists);
BOOL MoveFileExW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, DWORD dwFlags);
// Deletes one file (not a folder: that fails with ERROR_ACCESS_DENIED).
BOOL DeleteFileW(LPCWSTR lpFileName);
// Of the name itself: a symbolic link reports FILE_ATTRIBUTE_REPARSE_POINT
// (with FILE_ATTRIBUTE_DIRECTORY when it is a link to a folder), whatever it
// points to, and SetFileAttributesW never changes what it points to.
DWORD GetFileAttributesW(LPCWSTR lpFileName);
BOOL SetFileAttributesW(LPCWSTR lpFileName, DWORD dwFileAttributes);

// Searching a folder by pattern. A symbolic link is listed as itself, as
// GetFileAttributesW reports it.
HANDLE FindFirstFileW(LPCWSTR lpFileName, WIN32_FIND_DATAW *lpFindFileData);
BOOL FindNextFileW(HANDLE hFindFile, WIN32_FIND_DATAW *lpFindFileData);
BOOL FindClose(HANDLE hFindFile);

// Folders and the process's current folder.
BOOL CreateDirectoryW(LPCWSTR lpPathName, const SECURITY_ATTRIBUTES *lpSecurityAttributes);
BOOL RemoveDirectoryW(LPCWSTR lpPathName);
DWORD GetCurrentDirectoryW(DWORD nBufferLength, LPWSTR lpBuffer);
BOOL SetCurrentDirectoryW(LPCWSTR lpPathName);
DWORD GetFullPathNameW(LPCWSTR lpFileName, DWORD nBufferLength, LPWSTR lpBuffer,
                       LPWSTR *lpFilePart);

// The version resource of an executable or DLL.
DWORD GetFileVersionInfoSizeW(LPCWSTR lptstrFilename, DWORD *lpdwHandle);
BOOL GetFileVersionInfoW(LPCWSTR lptstrFilename, DWORD dwHandle, DWORD dwLen, LPVOID lpData);
BOOL VerQueryValueW(LPCVOID pBlock, LPCWSTR lpSubBlock, LPVOID *lplpBuffer, UINT *puLen);

} // namespace zelsys
