//===- Sync.cpp - Events, threads and waits on the substitute --------------===//
//
// Events and threads are waitable objects (Sync.h) in the process's handle
// table. Named events live in a table of names that holds them weakly, so a
// name lasts exactly as long as a handle to its event. A thread runs on a
// detached std::thread that keeps its object alive until it has ended, when
// it stores the exit code and signals the object. Only code that works on
// every Unix.
//
//===----------------------------------------------------------------------===//
#include "zelsys/sync.h"
#include "Errors.h"
#include "Sync.h"
#include "zelsys/kernel.h"
#include "zelsys/security.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <pthread.h>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace zelsys {

namespace {

using Clock = std::chrono::steady_clock;

class Event : public posix::Waitable {
public:
  Event(bool bManualReset, bool bInitialState, std::u16string name)
      : Waitable(bInitialState), m_bManualReset(bManualReset), m_name(std::move(name)) {}
  ~Event() override;

private:
  void onAcquiredLocked() override {
    if (!m_bManualReset)
      resetLocked();
  }
  bool m_bManualReset;
  std::u16string m_name;
};

// Names of the process's events.
std::mutex gNameLock;
std::map<std::u16string, std::weak_ptr<Event>> gNamedEvents;

Event::~Event() {
  if (m_name.empty())
    return;
  // A new event of the same name may already have taken the entry.
  const std::lock_guard<std::mutex> guard(gNameLock);
  const auto found = gNamedEvents.find(m_name);
  if (found != gNamedEvents.end() && found->second.expired())
    gNamedEvents.erase(found);
}

class Thread : public posix::Waitable {
public:
  Thread() : Waitable(false) {}
  void finish(DWORD dwExitCode) {
    m_dwExitCode.store(dwExitCode);
    setSignalled(true);
  }
  DWORD exitCode() const { return m_dwExitCode.load(); }

private:
  std::atomic<DWORD> m_dwExitCode{STILL_ACTIVE};
};

// Thread ids are multiples of four, as on Windows, and never reused.
std::atomic<DWORD> gLastThreadId{0x400};

DWORD failWait(DWORD dwError) {
  SetLastError(dwError);
  return WAIT_FAILED;
}

// Waits on one object until it is acquired or the time is up.
DWORD waitOne(posix::Waitable &object, DWORD dwMilliseconds) {
  std::unique_lock<std::mutex> lock(object.lock());
  const auto acquired = [&] { return object.acquireLocked(); };
  if (dwMilliseconds == INFINITE) {
    object.changed().wait(lock, acquired);
    return WAIT_OBJECT_0;
  }
  const auto deadline = Clock::now() + std::chrono::milliseconds(dwMilliseconds);
  return object.changed().wait_until(lock, deadline, acquired) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

// One look at several objects: the index of the first one acquired, or -1.
long acquireAny(const std::vector<std::shared_ptr<posix::Waitable>> &objects) {
  for (std::size_t i = 0; i < objects.size(); ++i) {
    const std::lock_guard<std::mutex> guard(objects[i]->lock());
    if (objects[i]->acquireLocked())
      return static_cast<long>(i);
  }
  return -1;
}

} // namespace

HANDLE CreateEventW(SECURITY_ATTRIBUTES *, BOOL bManualReset, BOOL bInitialState, LPCWSTR lpName) {
  std::u16string name = lpName != nullptr ? std::u16string(lpName) : std::u16string();
  // The documented limit; Wine 8 takes longer names.
  if (name.size() > MAX_PATH) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return nullptr;
  }
  // Names live in the session's folder of objects, which "Local\" names;
  // "Global\" is the machine's own. There are no other folders.
  const std::u16string_view local = u"Local\\", global = u"Global\\";
  std::u16string_view leaf = name;
  if (leaf.starts_with(local)) {
    name.erase(0, local.size());
    leaf = name;
  } else if (leaf.starts_with(global)) {
    leaf.remove_prefix(global.size());
  }
  if (leaf.find(u'\\') != std::u16string_view::npos) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return nullptr;
  }
  std::shared_ptr<Event> event;
  DWORD dwError = ERROR_SUCCESS;
  {
    std::unique_lock<std::mutex> guard(gNameLock, std::defer_lock);
    if (!name.empty()) {
      guard.lock();
      auto &entry = gNamedEvents[name];
      event = entry.lock();
      if (event)
        dwError = ERROR_ALREADY_EXISTS;
      else
        entry = event =
            std::make_shared<Event>(bManualReset != FALSE, bInitialState != FALSE, name);
    } else {
      event = std::make_shared<Event>(bManualReset != FALSE, bInitialState != FALSE, name);
    }
  }
  const HANDLE hEvent = posix::addHandle(std::move(event));
  SetLastError(dwError);
  return hEvent;
}

BOOL SetEvent(HANDLE hEvent) {
  const auto event = posix::objectOf<Event>(hEvent);
  if (!event)
    return posix::failWith(ERROR_INVALID_HANDLE);
  event->setSignalled(true);
  return TRUE;
}

BOOL ResetEvent(HANDLE hEvent) {
  const auto event = posix::objectOf<Event>(hEvent);
  if (!event)
    return posix::failWith(ERROR_INVALID_HANDLE);
  event->setSignalled(false);
  return TRUE;
}

DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  const auto object = posix::objectOf<posix::Waitable>(hHandle);
  if (!object)
    return failWait(ERROR_INVALID_HANDLE);
  return waitOne(*object, dwMilliseconds);
}

DWORD MsgWaitForMultipleObjects(DWORD nCount, const HANDLE *pHandles, BOOL fWaitAll,
                                DWORD dwMilliseconds, DWORD) {
  // One slot stays free for the message queue, as on Windows.
  if (nCount >= MAXIMUM_WAIT_OBJECTS || (nCount > 0 && pHandles == nullptr))
    return failWait(ERROR_INVALID_PARAMETER);
  std::vector<std::shared_ptr<posix::Waitable>> objects;
  for (DWORD i = 0; i < nCount; ++i) {
    auto object = posix::objectOf<posix::Waitable>(pHandles[i]);
    if (!object)
      return failWait(ERROR_INVALID_HANDLE);
    objects.push_back(std::move(object));
  }
  // Waiting for all objects ends only once a window message has come as
  // well, and none ever comes here: the time runs out.
  const bool bWaitAll = fWaitAll != FALSE;
  if (objects.size() == 1 && !bWaitAll)
    return waitOne(*objects.front(), dwMilliseconds);
  const auto deadline = Clock::now() + std::chrono::milliseconds(dwMilliseconds);
  for (;;) {
    const long lIndex = bWaitAll ? -1 : acquireAny(objects);
    if (lIndex >= 0)
      return WAIT_OBJECT_0 + static_cast<DWORD>(lIndex);
    const auto now = Clock::now();
    if (dwMilliseconds != INFINITE && now >= deadline)
      return WAIT_TIMEOUT;
    auto slice = std::chrono::milliseconds(1);
    if (dwMilliseconds != INFINITE)
      slice =
          std::min(slice, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now));
    std::this_thread::sleep_for(slice);
  }
}

BOOL DuplicateHandle(HANDLE hSourceProcessHandle, HANDLE hSourceHandle, HANDLE hTargetProcessHandle,
                     HANDLE *lpTargetHandle, DWORD, BOOL, DWORD dwOptions) {
  // Only this process's handles can be reached.
  if (hSourceProcessHandle != GetCurrentProcess() || hTargetProcessHandle != GetCurrentProcess())
    return posix::failWith(ERROR_INVALID_HANDLE);
  // Searches are no kernel objects: only what CloseHandle closes has a
  // second handle.
  const auto object = posix::lookupHandle(hSourceHandle);
  if (!object || object->closer() != posix::Closer::CloseHandle)
    return posix::failWith(ERROR_INVALID_HANDLE);
  if (lpTargetHandle != nullptr)
    *lpTargetHandle = posix::addHandle(object);
  if ((dwOptions & DUPLICATE_CLOSE_SOURCE) != 0)
    posix::removeHandle(hSourceHandle, posix::Closer::CloseHandle);
  return TRUE;
}

HANDLE CreateThread(SECURITY_ATTRIBUTES *, SIZE_T, LPTHREAD_START_ROUTINE lpStartAddress,
                    LPVOID lpParameter, DWORD dwCreationFlags, DWORD *lpThreadId) {
  if (lpStartAddress == nullptr || dwCreationFlags != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto thread = std::make_shared<Thread>();
  const DWORD dwThreadId = gLastThreadId.fetch_add(4) + 4;
  // The handle exists before the thread runs, so the routine may already
  // wait on a duplicate of it.
  const HANDLE hThread = posix::addHandle(thread);
  try {
    std::thread([thread, lpStartAddress, lpParameter] {
      thread->finish(lpStartAddress(lpParameter));
    }).detach();
  } catch (...) {
    posix::removeHandle(hThread, posix::Closer::CloseHandle);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if (lpThreadId != nullptr)
    *lpThreadId = dwThreadId;
  return hThread;
}

BOOL GetExitCodeThread(HANDLE hThread, DWORD *lpExitCode) {
  const auto thread = posix::objectOf<Thread>(hThread);
  if (!thread)
    return posix::failWith(ERROR_INVALID_HANDLE);
  if (lpExitCode == nullptr)
    return posix::failWith(ERROR_NOACCESS);
  *lpExitCode = thread->exitCode();
  return TRUE;
}

// A recursive POSIX mutex in the caller's storage.
static_assert(sizeof(pthread_mutex_t) <= sizeof(CRITICAL_SECTION::opaque) &&
              alignof(pthread_mutex_t) <= alignof(CRITICAL_SECTION));

static pthread_mutex_t *native(CRITICAL_SECTION *lpCriticalSection) {
  return reinterpret_cast<pthread_mutex_t *>(lpCriticalSection->opaque);
}

void InitializeCriticalSection(CRITICAL_SECTION *lpCriticalSection) {
  pthread_mutexattr_t attributes;
  pthread_mutexattr_init(&attributes);
  pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutex_init(native(lpCriticalSection), &attributes);
  pthread_mutexattr_destroy(&attributes);
}

void EnterCriticalSection(CRITICAL_SECTION *lpCriticalSection) {
  pthread_mutex_lock(native(lpCriticalSection));
}

void LeaveCriticalSection(CRITICAL_SECTION *lpCriticalSection) {
  pthread_mutex_unlock(native(lpCriticalSection));
}

void DeleteCriticalSection(CRITICAL_SECTION *lpCriticalSection) {
  pthread_mutex_destroy(native(lpCriticalSection));
}

} // namespace zelsys
