// zel_logging.cpp - the write procedure shared by every log entry.
#include "zel_logging.h"
#include "zel_log_sink.h"

#include "zelsys/kernel.h"

CZELLogging::CZELLogging(ZEL_WORD wOutputType, bool bLogOnDestroy) noexcept
    : m_bLogOnDestroy(bLogOnDestroy), m_wOutputType(wOutputType), m_wLogDetail(0),
      m_bLogged(false) {}

CZELLogging::~CZELLogging() = default;

// The registry-driven configuration is not read yet: until it is, the
// machine is taken as configured to write nothing.
bool CZELLogging::shouldLog(CZELLogRecord &) noexcept {
  m_wLogDetail = 0;
  return m_settings.isLoggingOn();
}

bool CZELLogging::isLogAllowed(CZELDetailedLogRecord &rRecord) noexcept {
  return shouldLog(rRecord);
}

bool CZELLogging::writeEntry(CZELLogRecord &rRecord, CZELDetailedLogRecord *pDetailed) noexcept {
  const zelsys::DWORD dwSavedError = zelsys::GetLastError();
  const bool bAllowed = pDetailed ? isLogAllowed(*pDetailed) : shouldLog(rRecord);
  bool bWritten = false;
  if (bAllowed)
    bWritten = pDetailed ? m_dispatcher.dispatch(m_wOutputType, *pDetailed)
                         : m_dispatcher.dispatchSimple(m_wOutputType, rRecord);
  if (CZELLogSink *pSink = CZELLogSink::attached())
    bWritten = pSink->write(rRecord, pDetailed, bAllowed) || bWritten;
  if (bWritten)
    m_bLogged = true;
  zelsys::SetLastError(dwSavedError);
  return bWritten;
}

// No output writes anything yet; the text log file is the first to come.
bool CZELLogDispatcher::dispatch(ZEL_WORD, const CZELDetailedLogRecord &) noexcept { return false; }

bool CZELLogDispatcher::dispatchSimple(ZEL_WORD, const CZELLogRecord &) noexcept { return false; }

namespace {
CZELLogSink *g_pSink = nullptr;
} // namespace

CZELLogSink *CZELLogSink::attach(CZELLogSink *pSink) noexcept {
  CZELLogSink *pPrevious = g_pSink;
  g_pSink = pSink;
  return pPrevious;
}

CZELLogSink *CZELLogSink::attached() noexcept { return g_pSink; }
