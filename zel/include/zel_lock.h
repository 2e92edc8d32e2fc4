// zel_lock.h - CZELLock, a lock between the threads of one process over the
// platform's critical section.
//
// A process-wide lock may be used while other objects are constructed or
// destroyed at start and exit, in whatever order: it is constant-initialized,
// sets itself up at its first use and returns to that state when destroyed.
// The thread that holds it may take it again. lock() and unlock() make it a
// lock for std::lock_guard.
#pragma once

#include "zelsys/sync.h"

#include <atomic>

class CZELLock {
public:
  constexpr CZELLock() noexcept = default;
  CZELLock(const CZELLock &) = delete;
  CZELLock &operator=(const CZELLock &) = delete;
  ~CZELLock();

  void lock() noexcept;
  void unlock() noexcept;

private:
  enum : int { lsUnset, lsSettingUp, lsReady };

  void setUp() noexcept;

  std::atomic<int> m_iState{lsUnset};
  zelsys::CRITICAL_SECTION m_section{};
};
