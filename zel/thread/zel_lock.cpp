// zel_lock.cpp - CZELLock. The first thread to use the lock sets up the
// critical section; any other that comes meanwhile yields until it is ready.
#include "zel_lock.h"

#include "zelsys/kernel.h"

CZELLock::~CZELLock() {
  if (m_iState.load(std::memory_order_acquire) == lsReady) {
    zelsys::DeleteCriticalSection(&m_section);
    m_iState.store(lsUnset, std::memory_order_release);
  }
}

void CZELLock::setUp() noexcept {
  int iExpected = lsUnset;
  if (m_iState.compare_exchange_strong(iExpected, lsSettingUp, std::memory_order_acq_rel)) {
    zelsys::InitializeCriticalSection(&m_section);
    m_iState.store(lsReady, std::memory_order_release);
    return;
  }
  while (m_iState.load(std::memory_order_acquire) != lsReady)
    zelsys::Sleep(0);
}

void CZELLock::lock() noexcept {
  if (m_iState.load(std::memory_order_acquire) != lsReady)
    setUp();
  zelsys::EnterCriticalSection(&m_section);
}

void CZELLock::unlock() noexcept { zelsys::LeaveCriticalSection(&m_section); }
