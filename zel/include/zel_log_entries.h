// zel_log_entries.h - the three kinds of detailed entry classes derive from:
// exceptions (CZELLogException1), warnings (CZELLogWarning) and free-text
// debug lines (CZELLogDebug). They differ only in their entry type.
#pragma once

#include "zel_detailed_log.h"

template <ZEL_ULONG TYPE> class CZELTypedLog : public CZELDetailedLog {
public:
  // Note the order: the output mask comes before the two flags here.
  CZELTypedLog(const ZEL_USHORT *pszMessage, ZEL_LONG lValue, ZEL_ULONG ulValueKind,
               const ZEL_USHORT *pszModule, const ZEL_USHORT *pszFunction,
               const ZEL_USHORT *pszSourceFile, ZEL_ULONG ulLine, ZEL_WORD wOutputType,
               bool bLogNow, bool bLogOnDestroy) noexcept
      : CZELDetailedLog(TYPE, pszMessage, lValue, ulValueKind, pszModule, pszFunction,
                        pszSourceFile, ulLine, bLogNow, bLogOnDestroy, wOutputType) {}

protected:
  template <class... Args>
  CZELTypedLog(Formatted tag, const ZEL_USHORT *pszFormat, ZEL_LONG lValue, ZEL_ULONG ulValueKind,
               const ZEL_USHORT *pszModule, const ZEL_USHORT *pszFunction,
               const ZEL_USHORT *pszSourceFile, ZEL_ULONG ulLine, ZEL_WORD wOutputType,
               bool bLogNow, bool bLogOnDestroy, Args... args) noexcept
      : CZELDetailedLog(tag, TYPE, pszFormat, lValue, ulValueKind, pszModule, pszFunction,
                        pszSourceFile, ulLine, wOutputType, bLogNow, bLogOnDestroy, args...) {}
};

// Base of every thrown exception class.
class CZELLogException1 : public CZELTypedLog<CZELLogType::EXCEPTION_BAD> {
public:
  using CZELTypedLog::CZELTypedLog;
};

// Base of every warning class.
class CZELLogWarning : public CZELTypedLog<CZELLogType::WARNING> {
public:
  using CZELTypedLog::CZELTypedLog;
};

// A free-text diagnostic line, normally built, written and dropped at once.
class CZELLogDebug : public CZELTypedLog<CZELLogType::DEBUG> {
public:
  using CZELTypedLog::CZELTypedLog;
};
