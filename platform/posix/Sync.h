//===- Sync.h - Kernel objects that can be waited on -----------------------===//
//
// A waitable object is a kernel object with a signalled state guarded by its
// own mutex; every change of the state wakes the object's condition variable.
// A wait on one object sleeps on that condition variable. A wait on several
// sleeps in short slices between looks at each of them, since no single
// condition variable covers them. Events, threads and processes derive from
// it; a mutex, whose state may change in another process, waits its own way.
// Named objects are found through a table of names per kind.
// Only code that works on every Unix.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "Handles.h"
#include "zelsys/winconst.h"

#include <condition_variable>
#include <map>
#include <mutex>
#include <string>

namespace zelsys::posix {

class Waitable : public KernelObject {
public:
  // Waits until the object is acquired: WAIT_OBJECT_0, WAIT_ABANDONED for an
  // abandoned mutex; WAIT_TIMEOUT when the time is up; WAIT_FAILED with the
  // last error set.
  virtual DWORD wait(DWORD dwMilliseconds);
  // One look without waiting, with wait's results.
  virtual DWORD tryAcquire();

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

// Gives up the mutexes the calling thread owns, abandoned; a thread calls it
// as it ends, before its end is signalled.
void abandonOwnedMutexes();

// Parses a kernel object's name as CreateEventW and CreateMutexW take it
// into the key its object is kept under: empty for no name, "Local\"
// dropped (the session's names are the unprefixed ones), "Global\" kept.
// ERROR_SUCCESS, or the error the call reports for the name.
DWORD objectNameKey(LPCWSTR lpName, std::u16string &key);

// The handle CreateEventW and CreateMutexW return for an object, with the
// last error saying whether its name was in use already.
HANDLE addCreatedHandle(std::shared_ptr<KernelObject> object, bool bExisted);

// The named objects of one kind in this process, held weakly, so a name
// lasts exactly as long as a handle to its object. Keep each table for the
// whole run (never destroyed): objects still open at exit end after the
// other statics, and their destructors forget their names here.
template <typename T> class ObjectNames {
public:
  // The object of that name (bExisted true), or else the one make() gives,
  // entered under the name; null when make() gives none. make runs under
  // the table's lock, so two threads never both make one.
  template <typename Make>
  std::shared_ptr<T> findOrMake(const std::u16string &key, bool &bExisted, Make make) {
    const std::lock_guard<std::mutex> guard(m_lock);
    auto &entry = m_objects[key];
    std::shared_ptr<T> object = entry.lock();
    bExisted = object != nullptr;
    if (!object) {
      object = make();
      if (object)
        entry = object;
      else
        m_objects.erase(key);
    }
    return object;
  }

  // For an object's destructor: a newer object of the name may already
  // have taken the entry.
  void forget(const std::u16string &key) {
    const std::lock_guard<std::mutex> guard(m_lock);
    const auto found = m_objects.find(key);
    if (found != m_objects.end() && found->second.expired())
      m_objects.erase(found);
  }

private:
  std::mutex m_lock;
  std::map<std::u16string, std::weak_ptr<T>> m_objects;
};

} // namespace zelsys::posix
