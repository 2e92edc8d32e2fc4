// zel_windows_event.cpp - CZELWindowsEvent.
//
// Every operation opens a function trace under the class name. Only the
// constructor throws (CZELWindowsEventInitException, after the failed
// platform call has been logged as CZELCreateEventException). The others
// run under both handlers: a failed platform call becomes a logged entry of
// its own class and the answer false; copies and the destructor never throw.
#include "zel_windows_event.h"

#include "zel_catch.h"
#include "zel_exceptions.h"
#include "zel_function_trace.h"
#include "zelsys/kernel.h"
#include "zelsys/security.h"
#include "zelsys/sync.h"
#include "zelsys/winconst.h"

static const ZEL_USHORT ZEL_SOURCE[] = u".\\zel_windows_event";
static const ZEL_USHORT ZEL_CLASS[] = u"CZELWindowsEvent";
static const ZEL_USHORT ZEL_HANDLE_NAME[] = u"m_hEvent";

namespace {

ZEL_LONG lastError() { return static_cast<ZEL_LONG>(zelsys::GetLastError()); }

// The platform takes a null name for an unnamed event.
const ZEL_USHORT *platformName(const CZELWCharString &strName) {
  return strName.getLength() == 0 ? nullptr : strName.getBuffer();
}

template <class Body> bool absorb(const ZEL_USHORT *pszMethod, ZEL_ULONG ulLine, Body &&body) {
  return zelTracedAbsorb(ZEL_CLASS, pszMethod, ZEL_SOURCE, ulLine, CZELErrorSource::esLastError,
                         std::forward<Body>(body));
}

} // namespace

CZELWindowsEvent::CZELWindowsEvent(const CZELWCharString &strName, ZEL_LONG lId, bool bInitialState,
                                   bool bManualReset, zelsys::SECURITY_ATTRIBUTES *pSecurity)
    : CZELEvent(strName, lId), m_hEvent(nullptr) {
  CZELFunctionTrace trace(ZEL_CLASS, u"Constructor", ZEL_SOURCE, __LINE__);
  m_hEvent =
      zelsys::CreateEventW(pSecurity, bManualReset ? zelsys::TRUE : zelsys::FALSE,
                           bInitialState ? zelsys::TRUE : zelsys::FALSE, platformName(m_strName));
  if (m_hEvent == nullptr) {
    const ZEL_LONG lError = lastError();
    CZELCreateEventException(m_strName.getBuffer(), lError, ZEL_SOURCE, __LINE__, 1, true, false);
    trace.setResult(false);
    throw CZELWindowsEventInitException(m_strName.getBuffer(), lError, ZEL_SOURCE, __LINE__, 1,
                                        true);
  }
  trace.setResult(true);
}

CZELWindowsEvent::CZELWindowsEvent(const CZELWindowsEvent &other)
    : CZELEvent(other), m_hEvent(nullptr) {
  CZELFunctionTrace trace(ZEL_CLASS, u"Copy Constructor", ZEL_SOURCE, __LINE__);
  duplicateFrom(other.m_hEvent);
  trace.setResult(m_hEvent != nullptr);
}

CZELWindowsEvent &CZELWindowsEvent::operator=(const CZELWindowsEvent &other) {
  CZELFunctionTrace trace(ZEL_CLASS, u"operator=", ZEL_SOURCE, __LINE__);
  if (this != &other) {
    zelAbsorb(ZEL_SOURCE, __LINE__, CZELErrorSource::esLastError,
              [&] { CZELEvent::operator=(other); });
    closeEvent();
    duplicateFrom(other.m_hEvent);
  }
  trace.setResult(m_hEvent != nullptr);
  return *this;
}

CZELWindowsEvent::~CZELWindowsEvent() {
  CZELFunctionTrace trace(ZEL_CLASS, u"Destructor", ZEL_SOURCE, __LINE__);
  closeEvent();
  trace.setResult(true);
}

void CZELWindowsEvent::closeEvent() noexcept {
  if (m_hEvent == nullptr)
    return;
  if (!zelsys::CloseHandle(m_hEvent))
    CCloseHandleWarning(ZEL_HANDLE_NAME, lastError(), ZEL_SOURCE, __LINE__, 1, true, false);
  m_hEvent = nullptr;
}

void CZELWindowsEvent::duplicateFrom(zelsys::HANDLE hOther) noexcept {
  // An event without a handle has nothing to share.
  if (hOther == nullptr)
    return;
  const zelsys::HANDLE hProcess = zelsys::GetCurrentProcess();
  zelsys::HANDLE hCopy = nullptr;
  if (!zelsys::DuplicateHandle(hProcess, hOther, hProcess, &hCopy, 0, zelsys::FALSE,
                               zelsys::DUPLICATE_SAME_ACCESS)) {
    CZELDuplicateHandleException(ZEL_HANDLE_NAME, lastError(), ZEL_SOURCE, __LINE__, 1, true,
                                 false);
    hCopy = nullptr;
  }
  m_hEvent = hCopy;
}

bool CZELWindowsEvent::isSignaled() {
  CZELFunctionTrace trace(ZEL_CLASS, u"isSignaled", ZEL_SOURCE, __LINE__);
  const bool bResult = waitForSignal(0);
  trace.setResult(bResult);
  return bResult;
}

bool CZELWindowsEvent::reset() {
  return absorb(u"reset", __LINE__, [&] {
    if (!zelsys::ResetEvent(m_hEvent))
      throw CZELResetEventException(ZEL_HANDLE_NAME, lastError(), ZEL_SOURCE, __LINE__, 1, true,
                                    false);
  });
}

bool CZELWindowsEvent::set() {
  return absorb(u"set", __LINE__, [&] {
    if (!zelsys::SetEvent(m_hEvent))
      throw CZELSetEventException(ZEL_HANDLE_NAME, lastError(), ZEL_SOURCE, __LINE__, 1, true,
                                  false);
  });
}

bool CZELWindowsEvent::waitForSignal(ZEL_ULONG ulMilliseconds) {
  return absorb(u"waitForSignal", __LINE__, [&] {
    if (m_hEvent == nullptr) {
      CZELLogWarning(u"handle to event is NULL", -1, CZELValueKind::ERROR_CODE, ZEL_CLASS,
                     u"waitForSignal", ZEL_SOURCE, __LINE__, 1, true, false);
      return false;
    }
    return zelsys::WaitForSingleObject(m_hEvent, ulMilliseconds) == zelsys::WAIT_OBJECT_0;
  });
}
