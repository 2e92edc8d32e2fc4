// zel_thread.h - CZELThread, a unit of work run on a worker thread.
//
// A work class derives from CZELThread and overrides thread() with its
// work, which should watch getStopEvent() and return once it is set. start
// runs the work on a new worker (or on the calling thread) between four
// manual-reset events: started (set just before the work begins), done (set
// when it has returned), stop (set by stop to ask the work to end) and
// complete (set when the worker has finished everything). stop and the
// destructor block until the worker has ended, so a derived class whose
// work uses its own members must call stop in its own destructor, before
// those members go.
//
// A plain CZELThread has no work: its thread() is the runner itself, and
// called as the work (from inside the runner) it returns at once, so a plain
// object started runs through its events without doing anything.
#pragma once

#include "zel_types.h"
#include "zel_wchar_string.h"
#include "zel_windows_event.h"
#include "zelsys/wintypes.h"

#include <atomic>

// What start waits for once the worker exists.
enum CZELThreadStartMode : ZEL_ULONG {
  tsmNoWait = 0,      // nothing: the thread counts as active at once
  tsmWaitStarted = 1, // the started event: the work has begun
  tsmWaitDone = 2     // the done event: the work has returned
};

class CZELThread {
public:
  // An empty name becomes "Unknown Thread". Throws
  // CZELWindowsEventInitException or CZELThreadInitException.
  explicit CZELThread(const CZELWCharString &strName);
  // Copies only the name: the copy has its own events and no worker.
  CZELThread(const CZELThread &other);
  CZELThread &operator=(const CZELThread &other);
  virtual ~CZELThread();

  // The runner: sets started, runs the work (the override of this slot),
  // sets done and clears the active flag.
  virtual void thread();

  // With bCreateThread a new worker runs the runner and ulStartMode
  // (CZELThreadStartMode) says what to wait for; without it the runner runs
  // on the calling thread. Does nothing (true) while a worker is active.
  bool start(ZEL_ULONG ulStartMode, bool bCreateThread);
  // Asks an active worker to stop and waits until it has completed.
  bool stop();
  bool setComplete();
  // Closes the worker's handle.
  void cleanThread();

  const CZELWCharString &getName() const { return m_strName; }
  ZEL_ULONG getThreadId() const { return m_ulThreadId; }
  bool isActive() const { return m_bActive.load(); }
  CZELWindowsEvent &getStopEvent() { return m_evStop; }
  CZELWindowsEvent &getStartedEvent() { return m_evStarted; }
  CZELWindowsEvent &getDoneEvent() { return m_evDone; }
  CZELWindowsEvent &getCompleteEvent() { return m_evComplete; }

private:
  friend zelsys::DWORD zelThreadStarter(void *pThread);
  void storeName(const CZELWCharString &strName);
  // Waits until rEvent is set or the worker has ended.
  void waitForWorker(CZELWindowsEvent &rEvent);
  // Waits for a worker that has left its work to end, then closes its handle.
  void endFinishedWorker();

  CZELWCharString m_strName;
  ZEL_ULONG m_ulThreadId;
  zelsys::HANDLE m_hThread;
  // Written by the owner (start, stop) and by the worker (the runner), so
  // it is atomic.
  std::atomic<bool> m_bActive;
  CZELWindowsEvent m_evDone;
  CZELWindowsEvent m_evStop;
  CZELWindowsEvent m_evStarted;
  CZELWindowsEvent m_evComplete;
  // The runner is running on this object (only its own thread looks).
  bool m_bInRunner;
};
