//===- zelsys/sync.h - Threads, events, mutexes and waiting ----------------===//
//
// Events, mutexes, threads of the calling process and waiting on them, with
// the Windows names, argument order, results and last-error behaviour.
// CloseHandle (security.h) closes each kind of handle.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "zelsys/wintypes.h"

namespace zelsys {

// A thread's start routine. The Windows implementation calls it through a
// routine of the system's calling convention.
using LPTHREAD_START_ROUTINE = DWORD (*)(LPVOID lpThreadParameter);

// lpName null or empty: an unnamed event. A name that is already an event's
// gives a new handle to that event (bManualReset and bInitialState are then
// ignored) with ERROR_ALREADY_EXISTS in the last error; a new event leaves
// ERROR_SUCCESS there. Names compare case-sensitively; a backslash may
// follow only the prefix "Local\" (the session's names, as with no
// prefix) or "Global\" (the machine's): ERROR_PATH_NOT_FOUND otherwise.
HANDLE CreateEventW(SECURITY_ATTRIBUTES *lpEventAttributes, BOOL bManualReset, BOOL bInitialState,
                    LPCWSTR lpName);
BOOL SetEvent(HANDLE hEvent);
BOOL ResetEvent(HANDLE hEvent);

// A mutex is owned by one thread at a time: a wait takes it, the owning
// thread may take it again, and it is free once each take has had its
// ReleaseMutex. Names follow the events' rules above (ERROR_ALREADY_EXISTS
// likewise) and reach the same mutex from every process of the machine.
// bInitialOwner makes the calling thread the owner of a mutex the call
// creates; an existing one is opened as it is. A thread that ends owning a
// mutex abandons it: the next wait takes it with WAIT_ABANDONED. A mutex and
// its name last as long as a handle to it. Where the substitute differs:
// when a process closes its last handle to a mutex one of its threads owns,
// the mutex is abandoned at once (Windows keeps it owned, for the other
// processes' handles, until that thread ends); and mutex names are kept
// apart from event names (Windows refuses another kind's name with
// ERROR_INVALID_HANDLE).
HANDLE CreateMutexW(SECURITY_ATTRIBUTES *lpMutexAttributes, BOOL bInitialOwner, LPCWSTR lpName);
// ERROR_NOT_OWNER when the calling thread does not own the mutex.
BOOL ReleaseMutex(HANDLE hMutex);

// WAIT_OBJECT_0 when the object is signalled (a wait on an automatic-reset
// event takes the signal and resets it, so only one waiter is released; a
// wait on a mutex takes it), WAIT_ABANDONED when it took an abandoned mutex,
// WAIT_TIMEOUT after dwMilliseconds (INFINITE: never), WAIT_FAILED with the
// last error set when the handle cannot be waited on.
DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);
// Without fWaitAll, as WaitForMultipleObjects: the lowest signalled index
// (WAIT_OBJECT_0 + index, WAIT_ABANDONED_0 + index for an abandoned mutex);
// an input message of dwWakeMask ends the wait too
// (WAIT_OBJECT_0 + nCount). With fWaitAll the wait ends when every object is
// signalled and an input message has come. The substitute has no message
// queue, so there no message ever comes and a wait for all runs out its time.
DWORD MsgWaitForMultipleObjects(DWORD nCount, const HANDLE *pHandles, BOOL fWaitAll,
                                DWORD dwMilliseconds, DWORD dwWakeMask);

// Within the calling process only (both process handles GetCurrentProcess()):
// a second handle to the same object; DUPLICATE_CLOSE_SOURCE closes the
// source handle whatever the outcome.
BOOL DuplicateHandle(HANDLE hSourceProcessHandle, HANDLE hSourceHandle, HANDLE hTargetProcessHandle,
                     HANDLE *lpTargetHandle, DWORD dwDesiredAccess, BOOL bInheritHandle,
                     DWORD dwOptions);

// Starts lpStartAddress(lpParameter) on a new thread at once (the substitute
// takes only dwCreationFlags 0; dwStackSize 0 is the default). The handle is
// signalled when the thread has ended.
HANDLE CreateThread(SECURITY_ATTRIBUTES *lpThreadAttributes, SIZE_T dwStackSize,
                    LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter,
                    DWORD dwCreationFlags, DWORD *lpThreadId);
// STILL_ACTIVE while the thread runs, then what its routine returned.
BOOL GetExitCodeThread(HANDLE hThread, DWORD *lpExitCode);

// A lock between the threads of one process that the thread holding it may
// take again (it is free once each Enter has had its Leave). The storage
// holds the platform's own lock, which must not move while initialized.
// Windows XP has these calls; the slimmer locks of later versions it lacks.
struct CRITICAL_SECTION {
  alignas(8) BYTE opaque[64];
};
void InitializeCriticalSection(CRITICAL_SECTION *lpCriticalSection);
void EnterCriticalSection(CRITICAL_SECTION *lpCriticalSection);
void LeaveCriticalSection(CRITICAL_SECTION *lpCriticalSection);
void DeleteCriticalSection(CRITICAL_SECTION *lpCriticalSection);

} // namespace zelsys
