// zel_log_settings.cpp - the logging configuration and the process-wide
// logging state (plain globals: the framework logs from one thread).
#include "zel_log_settings.h"

namespace {
ZEL_ULONG g_ulDynamicLoggingState = CZELLogSettings::DYNAMIC_UNKNOWN;
ZEL_ULONG g_ulMaxLogFileNum = 1;
ZEL_ULONG g_ulMaxLogFileSize = 10240; // kilobytes
} // namespace

// Without a readable configuration every value counts as absent, and an
// absent "Logging" value means off.
bool CZELLogSettings::isLoggingOn() const noexcept { return false; }

ZEL_WORD CZELLogSettings::getLogDetail() const noexcept {
  return 0x1B; // CRITICAL, EXCEPTION_BAD, ERROR, WARNING
}

void CZELLogSettings::readDynamicLoggingState() noexcept {
  // Off unless the switch can be read and is 1; the rotation limits keep
  // their defaults when it cannot be read.
  g_ulDynamicLoggingState = DYNAMIC_OFF;
}

bool CZELLogSettings::isDynamicLoggingOn() noexcept {
  return getDynamicLoggingState() == DYNAMIC_ON;
}

ZEL_ULONG CZELLogSettings::getDynamicLoggingState() noexcept {
  if (g_ulDynamicLoggingState == DYNAMIC_UNKNOWN)
    readDynamicLoggingState();
  return g_ulDynamicLoggingState;
}

void CZELLogSettings::setDynamicLoggingState(ZEL_ULONG ulState) noexcept {
  g_ulDynamicLoggingState = ulState;
}

ZEL_ULONG CZELLogSettings::getMaxLogFileNum() noexcept { return g_ulMaxLogFileNum; }

ZEL_ULONG CZELLogSettings::getMaxLogFileSize() noexcept { return g_ulMaxLogFileSize; }
