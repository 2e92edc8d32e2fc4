// zel_logging.cpp - the write procedure shared by every log entry.
#include "zel_logging.h"
#include "zel_log_sink.h"

#include "zelsys/kernel.h"
#include "zelsys/winconst.h"

#include <algorithm>
#include <atomic>
#include <string>

CZELLogging::CZELLogging(ZEL_WORD wOutputType, bool bLogOnDestroy) noexcept
    : m_bLogOnDestroy(bLogOnDestroy), m_wOutputType(wOutputType), m_wLogDetail(0),
      m_bLogged(false) {}

CZELLogging::~CZELLogging() = default;

namespace {

constexpr ZEL_ULONG MAX_LOG_NAME = 128;
constexpr ZEL_ULONG LOG_TEXT_CHARS = 256;

bool isEmpty(const ZEL_USHORT *pszText) { return pszText == nullptr || *pszText == 0; }

// The program's file name without folder and extension, at most 128
// characters: the log name of entries that do not name their log.
bool programLogName(std::u16string &name) noexcept {
  ZEL_USHORT szPath[zelsys::MAX_PATH] = {};
  const zelsys::DWORD dwLength = zelsys::GetModuleFileNameW(nullptr, szPath, zelsys::MAX_PATH);
  if (dwLength == 0 || dwLength >= zelsys::MAX_PATH)
    return false;
  const std::u16string path(szPath, dwLength);
  const std::size_t start = path.find_last_of(u"\\/") + 1;
  const std::size_t dot = path.rfind(u'.');
  const std::size_t end = dot == std::u16string::npos || dot < start ? path.size() : dot;
  name = path.substr(start, std::min<std::size_t>(end - start, MAX_LOG_NAME));
  return !name.empty();
}

// Whether an EXIT line passes the refinement bits of the detail level.
bool exitPasses(ZEL_WORD wDetail, const CZELLogRecord &rRecord) {
  const bool bFailed = (rRecord.m_lValue & 0xFF) == 0;
  if (rRecord.m_ulValueKind == CZELValueKind::ERROR_CODE &&
      (wDetail & CZELLogSettings::EXIT_ERRORS_ONLY))
    return rRecord.m_lValue != 0;
  if (rRecord.m_ulValueKind == CZELValueKind::BOOLEAN_RESULT &&
      (wDetail & CZELLogSettings::EXIT_FAILED_RESULTS))
    return bFailed;
  if (rRecord.m_ulValueKind == CZELValueKind::LOGICAL_RESULT &&
      (wDetail & CZELLogSettings::EXIT_FAILED_LOGICAL))
    return bFailed;
  return (wDetail & (CZELLogSettings::EXIT_ERRORS_ONLY | CZELLogSettings::EXIT_FAILED_RESULTS |
                     CZELLogSettings::EXIT_FAILED_LOGICAL)) == 0;
}

} // namespace

bool CZELLogging::shouldLog(CZELLogRecord &rRecord) noexcept {
  m_wLogDetail = 0;
  if (!m_settings.isLoggingOn())
    return false;
  if (isEmpty(rRecord.m_pszLogName)) {
    std::u16string name;
    try {
      if (!programLogName(name))
        return false;
    } catch (...) {
      return false;
    }
    rRecord.setLogName(name.c_str());
  }
  // A value named after the log decides alone: its mask and detail level
  // replace the entry's, and the entry is written whatever its type.
  if (m_settings.hasLogValue(rRecord.m_pszLogName)) {
    ZEL_USHORT szText[LOG_TEXT_CHARS] = {};
    if (!m_settings.getLogText(rRecord.m_pszLogName, szText, LOG_TEXT_CHARS))
      return false;
    m_wLogDetail = m_settings.getLogDetailOverride(rRecord.m_pszLogName);
    m_wOutputType = m_settings.getLogOutputType(rRecord.m_pszLogName);
    return true;
  }
  m_wLogDetail = m_settings.getLogDetail();
  if ((m_wLogDetail & rRecord.m_ulType) != rRecord.m_ulType)
    return false;
  return rRecord.m_ulType != CZELLogType::EXIT || exitPasses(m_wLogDetail, rRecord);
}

bool CZELLogging::isLogAllowed(CZELDetailedLogRecord &rRecord) noexcept {
  if (!shouldLog(rRecord))
    return false;
  if (isEmpty(rRecord.m_pszModule))
    return true;
  bool bFound = false;
  if (m_settings.isObjectAllowed(rRecord.m_pszModule, bFound))
    return bFound;
  if (m_settings.isObjectExcluded(rRecord.m_pszModule, bFound))
    return !bFound;
  return true;
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

namespace {
std::atomic<CZELLogSink *> g_pSink{nullptr};
} // namespace

CZELLogSink *CZELLogSink::attach(CZELLogSink *pSink) noexcept { return g_pSink.exchange(pSink); }

CZELLogSink *CZELLogSink::attached() noexcept { return g_pSink; }
