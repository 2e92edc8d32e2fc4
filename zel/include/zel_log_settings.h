// zel_log_settings.h - the reader of the logging configuration.
//
// The configuration is the values under HKEY_LOCAL_MACHINE
// "SOFTWARE\Korvel\Logs". CZELLogSettings holds no data: every query opens
// the key, reads one value and closes it again, so a change takes effect for
// the next entry; every failure counts as "absent". The dynamic-logging
// switch and the rotation limits are read once per process, by the first
// traced method. Queries never throw and never log (the logging does not log
// itself); they are safe to call from several threads at once.
#pragma once

#include "zel_types.h"

class CZELLogSettings {
public:
  // Dynamic-logging state: read once per process, then fixed.
  enum : ZEL_ULONG { DYNAMIC_UNKNOWN = 0, DYNAMIC_ON = 1, DYNAMIC_OFF = 2 };
  // The detail level when "LogDetail" is absent: CRITICAL, EXCEPTION_BAD,
  // ERROR and WARNING.
  static constexpr ZEL_WORD DEFAULT_LOG_DETAIL = 0x1B;
  // The EXIT-line refinements of a detail level.
  enum : ZEL_WORD {
    EXIT_ERRORS_ONLY = 0x1000,
    EXIT_FAILED_RESULTS = 0x2000,
    EXIT_FAILED_LOGICAL = 0x4000
  };

  bool isLoggingOn() const noexcept;
  ZEL_WORD getLogDetail() const noexcept;
  // The path value of one output bit ("TextOutput" for 0x01, "XMLOutput",
  // "ServerOutput", "HTMLOutput", "UnknownOutput"), terminated within
  // ulBytes. The event-log bit has no path and answers true unread.
  bool getOutputPath(ZEL_WORD wOutput, ZEL_USHORT *pszBuffer, ZEL_ULONG ulBytes) const noexcept;
  // Whether "AllowObjects" / "ExcludeObjects" is present; if so, bFound
  // tells whether pszModule occurs in it (case-sensitive substring).
  bool isObjectAllowed(const ZEL_USHORT *pszModule, bool &bFound) const noexcept;
  bool isObjectExcluded(const ZEL_USHORT *pszModule, bool &bFound) const noexcept;
  // A value named after the log: "<output mask>,<detail level>,<text>".
  bool hasLogValue(const ZEL_USHORT *pszLogName) const noexcept;
  ZEL_WORD getLogOutputType(const ZEL_USHORT *pszLogName) const noexcept;
  ZEL_WORD getLogDetailOverride(const ZEL_USHORT *pszLogName) const noexcept;
  bool getLogText(const ZEL_USHORT *pszLogName, ZEL_USHORT *pszBuffer,
                  ZEL_ULONG ulChars) const noexcept;
  // Readable settings that nothing in the framework consults.
  bool isShowMessageBox() const noexcept;
  ZEL_ULONG getForceOutputType() const noexcept;
  bool isShowSourceInfo() const noexcept;

  // True when function traces keep entries; reads the state on first use.
  static bool isDynamicLoggingOn() noexcept;
  static ZEL_ULONG getDynamicLoggingState() noexcept;
  // Fixes the state for the rest of the process (0 makes it read again,
  // with the rotation limits back at their defaults).
  static void setDynamicLoggingState(ZEL_ULONG ulState) noexcept;
  static ZEL_ULONG getMaxLogFileNum() noexcept;
  static ZEL_ULONG getMaxLogFileSize() noexcept;

private:
  static void readDynamicLoggingState() noexcept;
};
