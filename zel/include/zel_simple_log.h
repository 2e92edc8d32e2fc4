// zel_simple_log.h - a log entry without a source location.
#pragma once

#include "zel_logging.h"

class CZELSimpleLog : public CZELLogging {
public:
  CZELSimpleLog(ZEL_WORD wOutputType, bool bLogOnDestroy, ZEL_ULONG ulType,
                const ZEL_USHORT *pszMessage, ZEL_LONG lValue, ZEL_ULONG ulValueKind,
                const ZEL_USHORT *pszLogName = nullptr,
                const ZEL_USHORT *pszOutputPath = nullptr) noexcept;
  CZELSimpleLog(const CZELSimpleLog &other) noexcept = default;
  ~CZELSimpleLog() override;

  bool log() noexcept override;

  const CZELLogRecord &getRecord() const noexcept { return m_record; }

protected:
  CZELLogRecord m_record;
};

// The line written each time a message box has been shown.
class CLogNotification : public CZELSimpleLog {
public:
  explicit CLogNotification(const ZEL_USHORT *pszMessageBoxText) noexcept;
};
