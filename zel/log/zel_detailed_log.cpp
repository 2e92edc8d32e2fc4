// zel_detailed_log.cpp - log entries with a source location.
#include "zel_detailed_log.h"

#include "zelsys/format.h"

#include <cstdarg>

static_assert(CZELDetailedLog::MAX_MESSAGE_CHARS == zelsys::WSPRINTF_BUFFER_CHARS,
              "messages are formatted into the system formatter's buffer");

CZELDetailedLog::CZELDetailedLog(ZEL_ULONG ulType, const ZEL_USHORT *pszMessage, ZEL_LONG lValue,
                                 ZEL_ULONG ulValueKind, const ZEL_USHORT *pszModule,
                                 const ZEL_USHORT *pszFunction, const ZEL_USHORT *pszSourceFile,
                                 ZEL_ULONG ulLine, bool bLogNow, bool bLogOnDestroy,
                                 ZEL_WORD wOutputType, const ZEL_USHORT *pszLogName,
                                 const ZEL_USHORT *pszOutputPath) noexcept
    : CZELLogging(wOutputType, bLogOnDestroy),
      m_record(ulType, pszMessage, lValue, ulValueKind, pszModule, pszFunction, pszSourceFile,
               ulLine, pszLogName, pszOutputPath) {
  if (bLogNow)
    log();
}

CZELDetailedLog::~CZELDetailedLog() {
  if (m_bLogOnDestroy)
    log();
}

bool CZELDetailedLog::log() noexcept { return writeEntry(m_record, &m_record); }

void CZELDetailedLog::formatMessage(const ZEL_USHORT *pszFormat, ...) noexcept {
  ZEL_USHORT szMessage[MAX_MESSAGE_CHARS];
  va_list args;
  va_start(args, pszFormat);
  zelsys::wvsprintfW(szMessage, pszFormat, args);
  va_end(args);
  m_record.setMessage(szMessage);
}
