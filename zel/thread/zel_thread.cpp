// zel_thread.cpp - CZELThread.
//
// Every operation opens a function trace under the class name. Only the
// constructors throw; start, stop and setComplete run under both handlers,
// so any failure is logged and answered with false (stop, as it must never
// leave its caller, logs it and still answers true). The owner never closes
// the handle of a worker that may still touch the object: a worker whose
// work has returned is waited for before its handle goes, and the
// destructor waits for the worker to end before the events die.
#include "zel_thread.h"

#include "zel_catch.h"
#include "zel_exceptions.h"
#include "zel_function_trace.h"
#include "zelsys/kernel.h"
#include "zelsys/security.h"
#include "zelsys/sync.h"
#include "zelsys/winconst.h"

static const ZEL_USHORT ZEL_SOURCE[] = u".\\zel_thread";
static const ZEL_USHORT ZEL_CLASS[] = u"CZELThread";
static const ZEL_USHORT ZEL_UNKNOWN_THREAD[] = u"Unknown Thread";

namespace {

ZEL_LONG lastError() { return static_cast<ZEL_LONG>(zelsys::GetLastError()); }

bool waitFor(CZELWindowsEvent &rEvent) { return rEvent.waitForSignal(zelsys::INFINITE); }

} // namespace

// The worker's start routine: the runner, then complete.
zelsys::DWORD zelThreadStarter(void *pParameter) {
  CZELFunctionTrace trace(ZEL_CLASS, u"threadStarter ( friend )", ZEL_SOURCE, __LINE__);
  auto *pThread = static_cast<CZELThread *>(pParameter);
  try {
    pThread->CZELThread::thread();
  } catch (CZELLogging &rEntry) {
    zelLogCaught(rEntry);
    zelLogUnhandled(CZELErrorSource::esLastError, ZEL_SOURCE, __LINE__);
  } catch (...) {
    zelLogUnhandled(CZELErrorSource::esLastError, ZEL_SOURCE, __LINE__);
  }
  const bool bResult = pThread->setComplete();
  trace.setResult(bResult);
  return 0;
}

CZELThread::CZELThread(const CZELWCharString &strName)
    : m_ulThreadId(0), m_hThread(nullptr), m_bActive(false),
      m_evDone(CZELWCharString(), 1, false, true), m_evStop(CZELWCharString(), 3, false, true),
      m_evStarted(CZELWCharString(), 2, false, true),
      m_evComplete(CZELWCharString(), 0, false, true), m_bInRunner(false) {
  CZELFunctionTrace trace(ZEL_CLASS, u"Constructor", ZEL_SOURCE, __LINE__);
  storeName(strName);
  trace.setResult(true);
}

CZELThread::CZELThread(const CZELThread &other) : CZELThread(other.m_strName) {}

CZELThread &CZELThread::operator=(const CZELThread &other) {
  CZELFunctionTrace trace(ZEL_CLASS, u"operator=", ZEL_SOURCE, __LINE__);
  // Handle, identifier and active flag describe this object's own worker,
  // which keeps running; only the name is taken over.
  const bool bResult =
      this == &other || zelAbsorb(ZEL_SOURCE, __LINE__, CZELErrorSource::esLastError,
                                  [&] { storeName(other.m_strName); });
  trace.setResult(bResult);
  return *this;
}

CZELThread::~CZELThread() {
  CZELFunctionTrace trace(ZEL_CLASS, u"Destructor", ZEL_SOURCE, __LINE__);
  if (m_bActive.load())
    stop();
  endFinishedWorker();
  trace.setResult(true);
}

void CZELThread::storeName(const CZELWCharString &strName) {
  const CZELWCharString strWanted(strName.getLength() == 0 ? CZELWCharString(ZEL_UNKNOWN_THREAD)
                                                           : strName);
  try {
    m_strName = strWanted;
    if (m_strName != strWanted)
      throw CZELUnhandledExceptionException(lastError(), ZEL_SOURCE, __LINE__, 1, true, false);
  } catch (CZELLogging &rEntry) {
    zelLogCaught(rEntry);
    throw CZELThreadInitException(strWanted.getBuffer(), lastError(), ZEL_SOURCE, __LINE__, 1,
                                  true);
  } catch (...) {
    zelLogUnhandled(CZELErrorSource::esLastError, ZEL_SOURCE, __LINE__);
    throw CZELThreadInitException(strWanted.getBuffer(), lastError(), ZEL_SOURCE, __LINE__, 1,
                                  true);
  }
}

void CZELThread::thread() {
  // Called as the work of a plain CZELThread: there is none.
  if (m_bInRunner)
    return;
  CZELFunctionTrace trace(ZEL_CLASS, u"thread", ZEL_SOURCE, __LINE__);
  m_bInRunner = true;
  bool bResult = false;
  try {
    if (m_evStarted.set()) {
      thread();
      bResult = m_evDone.set();
    }
  } catch (...) {
    m_bInRunner = false;
    m_bActive.store(false);
    throw;
  }
  m_bInRunner = false;
  m_bActive.store(false);
  trace.setResult(bResult);
}

void CZELThread::waitForWorker(CZELWindowsEvent &rEvent) {
  // A work that throws never sets done, nor started if that could not be
  // set: the end of the worker ends the wait as well.
  const zelsys::HANDLE hWaits[] = {rEvent.getHandle(), m_hThread};
  zelsys::MsgWaitForMultipleObjects(2, hWaits, zelsys::FALSE, zelsys::INFINITE, 0);
}

void CZELThread::endFinishedWorker() {
  // The worker is past its work (the active flag is clear), so it only has
  // to set complete and return; closing its handle first would let the
  // next run's events, or freed ones, be set by it.
  if (m_hThread != nullptr)
    zelsys::WaitForSingleObject(m_hThread, zelsys::INFINITE);
  cleanThread();
}

bool CZELThread::start(ZEL_ULONG ulStartMode, bool bCreateThread) {
  return zelTracedAbsorb(
      ZEL_CLASS, u"start", ZEL_SOURCE, __LINE__, CZELErrorSource::esLastError, [&] {
        if (!m_bActive.load())
          endFinishedWorker();
        if (m_hThread != nullptr)
          return true;
        if (!(m_evStop.reset() && m_evDone.reset() && m_evStarted.reset() && m_evComplete.reset()))
          return false;
        if (!bCreateThread) {
          thread();
          return true;
        }
        // Marked before the worker exists, so that a short work cannot clear
        // the flag before it is set and leave it set for good.
        m_bActive.store(ulStartMode != tsmWaitDone);
        zelsys::DWORD dwThreadId = 0;
        m_hThread = zelsys::CreateThread(nullptr, 0, zelThreadStarter, this, 0, &dwThreadId);
        if (m_hThread == nullptr) {
          m_bActive.store(false);
          CZELCreateThreadException(m_strName.getBuffer(), lastError(), ZEL_SOURCE, __LINE__, 1,
                                    true, false);
          return false;
        }
        m_ulThreadId = dwThreadId;
        if (ulStartMode == tsmWaitStarted)
          waitForWorker(m_evStarted);
        else if (ulStartMode == tsmWaitDone)
          waitForWorker(m_evDone);
        return true;
      });
}

bool CZELThread::stop() {
  CZELFunctionTrace trace(ZEL_CLASS, u"stop", ZEL_SOURCE, __LINE__);
  zelAbsorb(ZEL_SOURCE, __LINE__, CZELErrorSource::esLastError, [&] {
    if (m_hThread == nullptr || !m_bActive.load())
      return;
    CZELLogDebug(u"In CZELThread::stop() and thread is valid/active", 0,
                 CZELValueKind::BOOLEAN_RESULT, ZEL_CLASS, m_strName.getBuffer(), ZEL_SOURCE,
                 __LINE__, 1, true, false);
    if (m_evStop.set()) {
      waitFor(m_evComplete);
      m_bActive.store(false);
    }
  });
  trace.setResult(true);
  return true;
}

bool CZELThread::setComplete() {
  return zelTracedAbsorb(ZEL_CLASS, u"setComplete", ZEL_SOURCE, __LINE__,
                         CZELErrorSource::esLastError, [&] { return m_evComplete.set(); });
}

void CZELThread::cleanThread() {
  CZELFunctionTrace trace(ZEL_CLASS, u"cleanThread", ZEL_SOURCE, __LINE__);
  if (m_hThread != nullptr && !zelsys::CloseHandle(m_hThread))
    CCloseHandleWarning(u"m_hThread", lastError(), ZEL_SOURCE, __LINE__, 1, true, false);
  m_hThread = nullptr;
  trace.setResult(true);
}
