//===- Sync.h - Kernel objects that can be waited on -----------------------===//
//
// A waitable object is a kernel object with a signalled state guarded by its
// own mutex; every change of the state wakes the object's condition variable.
// A wait on one object sleeps on that condition variable. A wait on several
// sleeps in short slices between looks at each of them, since no single
// condition variable covers them. Events and threads derive from it here;
// processes will too.
// Only code that works on every Unix.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "Handles.h"

#include <condition_variable>
#include <mutex>

namespace zelsys::posix {

class Waitable : public KernelObject {
public:
  // Ends a wait if the object is signalled, taking the signal where the
  // object says so (an automatic-reset event). Needs m_lock held.
  bool acquireLocked() {
    if (!m_bSignalled)
      return false;
    onAcquiredLocked();
    return true;
  }

  std::mutex &lock() { return m_lock; }
  std::condition_variable &changed() { return m_changed; }

  // Sets or clears the signalled state; setting it wakes every waiter.
  void setSignalled(bool bSignalled) {
    {
      const std::lock_guard<std::mutex> guard(m_lock);
      m_bSignalled = bSignalled;
    }
    if (bSignalled)
      m_changed.notify_all();
  }

protected:
  explicit Waitable(bool bSignalled) : m_bSignalled(bSignalled) {}
  // What a completed wait does to the object; by default nothing.
  virtual void onAcquiredLocked() {}
  void resetLocked() { m_bSignalled = false; }

private:
  std::mutex m_lock;
  std::condition_variable m_changed;
  bool m_bSignalled;
};

} // namespace zelsys::posix
