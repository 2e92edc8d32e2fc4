//===- Sync.cpp - Events, mutexes, threads and waits on Windows ------------===//
//
// Thin forwarders to kernel32 and user32. Only code for Windows belongs here.
//
//===----------------------------------------------------------------------===//
#include "zelsys/sync.h"
#include "WindowsSupport.h"

#include <new>

namespace zelsys {

namespace {

// Our start routines use the compiler's default calling convention; the
// system calls one of its own, which hands over to ours.
struct ThreadStart {
  LPTHREAD_START_ROUTINE routine;
  LPVOID parameter;
};

::DWORD WINAPI startThread(::LPVOID lpStart) {
  const ThreadStart start = *static_cast<ThreadStart *>(lpStart);
  delete static_cast<ThreadStart *>(lpStart);
  return start.routine(start.parameter);
}

} // namespace

HANDLE CreateEventW(SECURITY_ATTRIBUTES *lpEventAttributes, BOOL bManualReset, BOOL bInitialState,
                    LPCWSTR lpName) {
  return ::CreateEventW(reinterpret_cast<::LPSECURITY_ATTRIBUTES>(lpEventAttributes), bManualReset,
                        bInitialState, win32::wide(lpName));
}

BOOL SetEvent(HANDLE hEvent) { return ::SetEvent(hEvent); }

BOOL ResetEvent(HANDLE hEvent) { return ::ResetEvent(hEvent); }

HANDLE CreateMutexW(SECURITY_ATTRIBUTES *lpMutexAttributes, BOOL bInitialOwner, LPCWSTR lpName) {
  return ::CreateMutexW(reinterpret_cast<::LPSECURITY_ATTRIBUTES>(lpMutexAttributes), bInitialOwner,
                        win32::wide(lpName));
}

BOOL ReleaseMutex(HANDLE hMutex) { return ::ReleaseMutex(hMutex); }

DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  return ::WaitForSingleObject(hHandle, dwMilliseconds);
}

DWORD MsgWaitForMultipleObjects(DWORD nCount, const HANDLE *pHandles, BOOL fWaitAll,
                                DWORD dwMilliseconds, DWORD dwWakeMask) {
  return ::MsgWaitForMultipleObjects(nCount, pHandles, fWaitAll, dwMilliseconds, dwWakeMask);
}

BOOL DuplicateHandle(HANDLE hSourceProcessHandle, HANDLE hSourceHandle, HANDLE hTargetProcessHandle,
                     HANDLE *lpTargetHandle, DWORD dwDesiredAccess, BOOL bInheritHandle,
                     DWORD dwOptions) {
  return ::DuplicateHandle(hSourceProcessHandle, hSourceHandle, hTargetProcessHandle,
                           lpTargetHandle, dwDesiredAccess, bInheritHandle, dwOptions);
}

HANDLE CreateThread(SECURITY_ATTRIBUTES *lpThreadAttributes, SIZE_T dwStackSize,
                    LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter,
                    DWORD dwCreationFlags, DWORD *lpThreadId) {
  auto *pStart = new (std::nothrow) ThreadStart{lpStartAddress, lpParameter};
  if (pStart == nullptr) {
    ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  ::DWORD dwThreadId = 0;
  const HANDLE hThread =
      ::CreateThread(reinterpret_cast<::LPSECURITY_ATTRIBUTES>(lpThreadAttributes), dwStackSize,
                     startThread, pStart, dwCreationFlags, &dwThreadId);
  if (hThread == nullptr) {
    const ::DWORD dwError = ::GetLastError();
    delete pStart;
    ::SetLastError(dwError);
    return nullptr;
  }
  if (lpThreadId != nullptr)
    *lpThreadId = dwThreadId;
  return hThread;
}

BOOL GetExitCodeThread(HANDLE hThread, DWORD *lpExitCode) {
  return ::GetExitCodeThread(hThread, reinterpret_cast<::LPDWORD>(lpExitCode));
}

static_assert(sizeof(::CRITICAL_SECTION) <= sizeof(CRITICAL_SECTION::opaque) &&
              alignof(::CRITICAL_SECTION) <= alignof(CRITICAL_SECTION));

static ::CRITICAL_SECTION *native(CRITICAL_SECTION *lpCriticalSection) {
  return reinterpret_cast<::CRITICAL_SECTION *>(lpCriticalSection->opaque);
}

void InitializeCriticalSection(CRITICAL_SECTION *lpCriticalSection) {
  ::InitializeCriticalSection(native(lpCriticalSection));
}

void EnterCriticalSection(CRITICAL_SECTION *lpCriticalSection) {
  ::EnterCriticalSection(native(lpCriticalSection));
}

void LeaveCriticalSection(CRITICAL_SECTION *lpCriticalSection) {
  ::LeaveCriticalSection(native(lpCriticalSection));
}

void DeleteCriticalSection(CRITICAL_SECTION *lpCriticalSection) {
  ::DeleteCriticalSection(native(lpCriticalSection));
}

} // namespace zelsys
