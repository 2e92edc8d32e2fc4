// zel_logging.h - the root of every log entry, warning and exception.
//
// An entry writes itself (normally at construction) and remembers that it was
// written, so that a catch site writes it only if that has not happened yet.
// Writing never throws and never changes the caller's last-error value.
#pragma once

#include "zel_log_dispatcher.h"
#include "zel_log_record.h"
#include "zel_log_settings.h"

class CZELLogging {
public:
  CZELLogging(ZEL_WORD wOutputType, bool bLogOnDestroy) noexcept;
  CZELLogging(const CZELLogging &other) noexcept = default;
  CZELLogging &operator=(const CZELLogging &other) noexcept = default;
  virtual ~CZELLogging();

  // Writes the entry now, whether or not it was written before.
  virtual bool log() noexcept = 0;

  bool isLogged() const noexcept { return m_bLogged; }
  ZEL_WORD getOutputType() const noexcept { return m_wOutputType; }
  ZEL_WORD getLogDetail() const noexcept { return m_wLogDetail; }
  bool isLogOnDestroy() const noexcept { return m_bLogOnDestroy; }

protected:
  // The write decision for entries without a source location.
  bool shouldLog(CZELLogRecord &rRecord) noexcept;
  // The write decision for detailed entries: shouldLog plus the module lists.
  bool isLogAllowed(CZELDetailedLogRecord &rRecord) noexcept;

  // The one write procedure behind every log(): decide, dispatch, remember,
  // and leave the last-error value as it was. pDetailed is rRecord itself
  // when the entry has a source location.
  bool writeEntry(CZELLogRecord &rRecord, CZELDetailedLogRecord *pDetailed) noexcept;

  bool m_bLogOnDestroy;
  ZEL_WORD m_wOutputType;
  ZEL_WORD m_wLogDetail;
  bool m_bLogged;
  CZELLogSettings m_settings;
  CZELLogDispatcher m_dispatcher;
};
