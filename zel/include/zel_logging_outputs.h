// zel_logging_outputs.h - the outputs that accept entries and write nothing:
// XML (also used for HTML), server, unknown, and the Windows event log.
//
// They keep the output mask's other bits meaningful without a destination
// behind them: each reports false, so an entry sent only to them stays
// unwritten and a catch site may write it again. The event log, too, writes
// nothing: an entry's record has no event type, category or identifier to
// report, and the dispatchers never ask it.
#pragma once

#include "zel_log_record.h"

class CZELLoggingOutputXML {
public:
  virtual ~CZELLoggingOutputXML() = default;
  virtual bool write(const CZELLogRecord &) noexcept { return false; }
};

class CZELLoggingOutputServer {
public:
  virtual ~CZELLoggingOutputServer() = default;
  virtual bool write(const CZELLogRecord &) noexcept { return false; }
};

class CZELLoggingOutputUnknown {
public:
  virtual ~CZELLoggingOutputUnknown() = default;
  virtual bool write(const CZELLogRecord &) noexcept { return false; }
};

class CZELLoggingOutputWinEvent {
public:
  virtual ~CZELLoggingOutputWinEvent() = default;
  virtual bool write(const CZELLogRecord &) noexcept { return false; }
};
