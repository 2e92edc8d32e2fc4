// zel_log_settings.h - the reader of the logging configuration.
//
// CZELLogSettings holds no data: every query reads the machine's logging
// configuration afresh, and every failure counts as "absent". The
// process-wide dynamic-logging state lives here too.
#pragma once

#include "zel_types.h"

class CZELLogSettings {
public:
  // Dynamic-logging state: read once per process, then fixed.
  enum : ZEL_ULONG { DYNAMIC_UNKNOWN = 0, DYNAMIC_ON = 1, DYNAMIC_OFF = 2 };

  bool isLoggingOn() const noexcept;
  ZEL_WORD getLogDetail() const noexcept;

  // True when function traces keep entries; reads the state on first use.
  static bool isDynamicLoggingOn() noexcept;
  static ZEL_ULONG getDynamicLoggingState() noexcept;
  // Fixes the state for the rest of the process (0 makes it read again).
  static void setDynamicLoggingState(ZEL_ULONG ulState) noexcept;
  static ZEL_ULONG getMaxLogFileNum() noexcept;
  static ZEL_ULONG getMaxLogFileSize() noexcept;

private:
  static void readDynamicLoggingState() noexcept;
};
