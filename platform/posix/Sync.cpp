//===- Sync.cpp - Events, threads and waits on the substitute --------------===//
//
// Events and threads are waitable objects (Sync.h) in the process's handle
// table; named events live in the process's table of event names, so they
// reach no other process. (Mutexes are in Mutex.cpp.) A thread runs on a
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

posix::ObjectNames<Event> &eventNames() {
  static auto *const names = new posix::ObjectNames<Event>;
  return *names;
}

Event::~Event() {
  if (!m_name.empty())
    eventNames().forget(m_name);
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

// One look at several objects: WAIT_OBJECT_0 or WAIT_ABANDONED_0 plus the
// index of the first one acquired, WAIT_TIMEOUT or WAIT_FAILED.
DWORD acquireAny(const std::vector<std::shared_ptr<posix::Waitable>> &objects) {
  for (std::size_t i = 0; i < objects.size(); ++i) {
    const DWORD dwResult = objects[i]->tryAcquire();
    if (dwResult == WAIT_OBJECT_0 || dwResult == WAIT_ABANDONED)
      return dwResult + static_cast<DWORD>(i);
    if (dwResult == WAIT_FAILED)
      return dwResult;
  }
  return WAIT_TIMEOUT;
}

} // namespace

DWORD posix::Waitable::wait(DWORD dwMilliseconds) {
  std::unique_lock<std::mutex> guard(m_lock);
  const auto acquired = [&] { return acquireLocked(); };
  if (dwMilliseconds == INFINITE) {
    m_changed.wait(guard, acquired);
    return WAIT_OBJECT_0;
  }
  const auto deadline = Clock::now() + std::chrono::milliseconds(dwMilliseconds);
  return m_changed.wait_until(guard, deadline, acquired) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

DWORD posix::Waitable::tryAcquire() {
  const std::lock_guard<std::mutex> guard(m_lock);
  return acquireLocked() ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

HANDLE posix::addCreatedHandle(std::shared_ptr<KernelObject> object, bool bExisted) {
  const HANDLE hObject = addHandle(std::move(object));
  SetLastError(bExisted ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return hObject;
}

DWORD posix::objectNameKey(LPCWSTR lpName, std::u16string &key) {
  key = lpName != nullptr ? std::u16string(lpName) : std::u16string();
  // The documented limit; Wine 8 takes longer names.
  if (key.size() > MAX_PATH)
    return ERROR_FILENAME_EXCED_RANGE;
  // Names live in the session's folder of objects, which "Local\" names;
  // "Global\" is the machine's own. There are no other folders.
  const std::u16string_view local = u"Local\\", global = u"Global\\";
  std::u16string_view leaf = key;
  if (leaf.starts_with(local)) {
    key.erase(0, local.size());
    leaf = key;
  } else if (leaf.starts_with(global)) {
    leaf.remove_prefix(global.size());
  }
  return leaf.find(u'\\') == std::u16string_view::npos ? ERROR_SUCCESS : ERROR_PATH_NOT_FOUND;
}

HANDLE CreateEventW(SECURITY_ATTRIBUTES *, BOOL bManualReset, BOOL bInitialState, LPCWSTR lpName) {
  std::u16string name;
  if (const DWORD dwError = posix::objectNameKey(lpName, name); dwError != ERROR_SUCCESS) {
    SetLastError(dwError);
    return nullptr;
  }
  const auto make = [&] {
    return std::make_shared<Event>(bManualReset != FALSE, bInitialState != FALSE, name);
  };
  bool bExisted = false;
  std::shared_ptr<Event> event =
      name.empty() ? make() : eventNames().findOrMake(name, bExisted, make);
  return posix::addCreatedHandle(std::move(event), bExisted);
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
  return object->wait(dwMilliseconds);
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
    return objects.front()->wait(dwMilliseconds);
  const auto deadline = Clock::now() + std::chrono::milliseconds(dwMilliseconds);
  for (;;) {
    const DWORD dwResult = bWaitAll ? WAIT_TIMEOUT : acquireAny(objects);
    if (dwResult != WAIT_TIMEOUT)
      return dwResult;
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
      const DWORD dwExitCode = lpStartAddress(lpParameter);
      posix::abandonOwnedMutexes();
      thread->finish(dwExitCode);
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
