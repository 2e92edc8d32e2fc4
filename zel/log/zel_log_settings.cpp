// zel_log_settings.cpp - the logging configuration and the process-wide
// dynamic-logging state.
//
// Values are read straight through the platform's registry calls, not
// through the framework's registry classes: those report their failures as
// log entries, and an entry asking whether it may be written must not write
// entries itself. Only the once-per-process switch goes through
// CZELRegistryDword, whose methods do not trace. Every read leaves the
// caller's last-error value as it found it.
#include "zel_log_settings.h"

#include "zel_lock.h"
#include "zel_registry_dword.h"

#include "zelsys/kernel.h"
#include "zelsys/registry.h"
#include "zelsys/winconst.h"

#include <atomic>
#include <mutex>
#include <string>

namespace {

const ZEL_USHORT LOGS_KEY[] = u"SOFTWARE\\Korvel\\Logs";
constexpr ZEL_ULONG DEFAULT_MAX_LOG_FILE_NUM = 1;
constexpr ZEL_ULONG DEFAULT_MAX_LOG_FILE_SIZE = 10240; // kilobytes
constexpr ZEL_ULONG OBJECT_LIST_BYTES = 1024;
constexpr ZEL_ULONG LOG_VALUE_BYTES = 260;

std::atomic<ZEL_ULONG> g_ulDynamicLoggingState{CZELLogSettings::DYNAMIC_UNKNOWN};
std::atomic<ZEL_ULONG> g_ulMaxLogFileNum{DEFAULT_MAX_LOG_FILE_NUM};
std::atomic<ZEL_ULONG> g_ulMaxLogFileSize{DEFAULT_MAX_LOG_FILE_SIZE};
constinit CZELLock g_dynamicStateLock;

// Reads one value into pData (ulBytes) and tells whether it is present. Only
// a complete read counts: a value that does not fit, or that cannot be read
// for any reason, is absent, as a missing one is.
bool readValue(const ZEL_USHORT *pszName, void *pData, ZEL_ULONG ulBytes) noexcept {
  const zelsys::DWORD dwSavedError = zelsys::GetLastError();
  zelsys::HKEY hKey = nullptr;
  bool bPresent = false;
  if (zelsys::RegOpenKeyExW(zelsys::HKEY_LOCAL_MACHINE, LOGS_KEY, 0, zelsys::KEY_READ, &hKey) ==
      zelsys::ERROR_SUCCESS) {
    zelsys::DWORD dwBytes = ulBytes;
    bPresent = zelsys::RegQueryValueExW(hKey, pszName, nullptr, nullptr,
                                        static_cast<zelsys::BYTE *>(pData),
                                        &dwBytes) == zelsys::ERROR_SUCCESS;
    zelsys::RegCloseKey(hKey);
  }
  zelsys::SetLastError(dwSavedError);
  return bPresent;
}

bool readNumber(const ZEL_USHORT *pszName, ZEL_ULONG &ulValue) noexcept {
  ZEL_ULONG ulRead = 0;
  if (!readValue(pszName, &ulRead, sizeof ulRead))
    return false;
  ulValue = ulRead;
  return true;
}

ZEL_ULONG numberOr(const ZEL_USHORT *pszName, ZEL_ULONG ulDefault) noexcept {
  ZEL_ULONG ulValue = ulDefault;
  readNumber(pszName, ulValue);
  return ulValue;
}

// A string value of at most ulBytes (terminator included), terminated even
// when stored without one. Absent as empty.
bool readText(const ZEL_USHORT *pszName, ZEL_ULONG ulBytes, std::u16string &text) noexcept {
  try {
    std::u16string buffer(ulBytes / 2 + 1, u'\0');
    if (!readValue(pszName, buffer.data(), ulBytes))
      return false;
    text.assign(buffer.c_str());
    return true;
  } catch (...) {
    return false;
  }
}

bool listHolds(const ZEL_USHORT *pszList, const ZEL_USHORT *pszModule, bool &bFound) noexcept {
  std::u16string list;
  if (!readText(pszList, OBJECT_LIST_BYTES, list))
    return false;
  bFound = pszModule != nullptr && list.find(pszModule) != std::u16string::npos;
  return true;
}

// The three comma-separated fields of a per-log value: the text before the
// first comma, the text between the first and the second, the text after
// the last. A field the value does not have is empty.
std::u16string logField(const ZEL_USHORT *pszLogName, int iField) noexcept {
  std::u16string value;
  if (pszLogName == nullptr || !readText(pszLogName, LOG_VALUE_BYTES, value))
    return std::u16string();
  const std::size_t first = value.find(u',');
  const std::size_t second = first == std::u16string::npos ? first : value.find(u',', first + 1);
  if (iField == 1)
    return value.substr(0, first);
  if (first == std::u16string::npos)
    return std::u16string();
  if (iField == 2)
    return value.substr(first + 1, second == std::u16string::npos ? second : second - first - 1);
  return second == std::u16string::npos ? std::u16string() : value.substr(value.rfind(u',') + 1);
}

// A decimal number as the C library reads one: blanks, an optional sign,
// the leading digits; none gives 0. Kept to 16 bits by the callers.
ZEL_LONG decimalOf(const std::u16string &text) noexcept {
  std::size_t at = text.find_first_not_of(u" \t");
  if (at == std::u16string::npos)
    return 0;
  const bool bNegative = text[at] == u'-';
  if (text[at] == u'-' || text[at] == u'+')
    ++at;
  long long llValue = 0;
  for (; at < text.size() && text[at] >= u'0' && text[at] <= u'9' && llValue < 0x7FFFFFFF; ++at)
    llValue = llValue * 10 + (text[at] - u'0');
  return static_cast<ZEL_LONG>(bNegative ? -llValue : llValue);
}

} // namespace

bool CZELLogSettings::isLoggingOn() const noexcept { return numberOr(u"Logging", 0) != 0; }

ZEL_WORD CZELLogSettings::getLogDetail() const noexcept {
  return static_cast<ZEL_WORD>(numberOr(u"LogDetail", DEFAULT_LOG_DETAIL) & 0xFFFF);
}

bool CZELLogSettings::getOutputPath(ZEL_WORD wOutput, ZEL_USHORT *pszBuffer,
                                    ZEL_ULONG ulBytes) const noexcept {
  if (pszBuffer == nullptr || ulBytes < sizeof(ZEL_USHORT))
    return false;
  const ZEL_USHORT *pszName = nullptr;
  switch (wOutput) {
  case 0x01:
    pszName = u"TextOutput";
    break;
  case 0x02:
    pszName = u"XMLOutput";
    break;
  case 0x04:
    pszName = u"ServerOutput";
    break;
  case 0x08:
    pszName = u"HTMLOutput";
    break;
  case 0x10:
    return true;
  case 0x20:
    pszName = u"UnknownOutput";
    break;
  default:
    return false;
  }
  std::u16string path;
  if (!readText(pszName, ulBytes, path))
    return false;
  const std::size_t chars = std::min<std::size_t>(path.size(), ulBytes / 2 - 1);
  path.copy(pszBuffer, chars);
  pszBuffer[chars] = 0;
  return true;
}

bool CZELLogSettings::isObjectAllowed(const ZEL_USHORT *pszModule, bool &bFound) const noexcept {
  return listHolds(u"AllowObjects", pszModule, bFound);
}

bool CZELLogSettings::isObjectExcluded(const ZEL_USHORT *pszModule, bool &bFound) const noexcept {
  return listHolds(u"ExcludeObjects", pszModule, bFound);
}

bool CZELLogSettings::hasLogValue(const ZEL_USHORT *pszLogName) const noexcept {
  std::u16string value;
  return pszLogName != nullptr && readText(pszLogName, LOG_VALUE_BYTES, value);
}

ZEL_WORD CZELLogSettings::getLogOutputType(const ZEL_USHORT *pszLogName) const noexcept {
  return static_cast<ZEL_WORD>(decimalOf(logField(pszLogName, 1)) & 0xFFFF);
}

ZEL_WORD CZELLogSettings::getLogDetailOverride(const ZEL_USHORT *pszLogName) const noexcept {
  return static_cast<ZEL_WORD>(decimalOf(logField(pszLogName, 2)) & 0xFFFF);
}

bool CZELLogSettings::getLogText(const ZEL_USHORT *pszLogName, ZEL_USHORT *pszBuffer,
                                 ZEL_ULONG ulChars) const noexcept {
  if (pszBuffer == nullptr || ulChars == 0 || !hasLogValue(pszLogName))
    return false;
  const std::u16string text = logField(pszLogName, 3);
  const std::size_t chars = std::min<std::size_t>(text.size(), ulChars - 1);
  text.copy(pszBuffer, chars);
  pszBuffer[chars] = 0;
  return true;
}

bool CZELLogSettings::isShowMessageBox() const noexcept {
  return numberOr(u"ShowMessageBox", 0) != 0;
}

ZEL_ULONG CZELLogSettings::getForceOutputType() const noexcept {
  return numberOr(u"ForceOutputType", 0);
}

bool CZELLogSettings::isShowSourceInfo() const noexcept {
  return numberOr(u"ShowSourceInfo", 0) != 0;
}

// Off unless the switch can be read and is 1; the rotation limits keep their
// defaults when it cannot be read. One thread reads; the others wait for it.
void CZELLogSettings::readDynamicLoggingState() noexcept {
  const std::lock_guard<CZELLock> lock(g_dynamicStateLock);
  if (g_ulDynamicLoggingState != DYNAMIC_UNKNOWN)
    return;
  // Off first: the reads below run traced methods, which must find the
  // state known.
  g_ulDynamicLoggingState = DYNAMIC_OFF;
  try {
    const zelsys::DWORD dwSavedError = zelsys::GetLastError();
    ZEL_ULONG ulValue = 0;
    auto read = [&](const ZEL_USHORT *pszName) {
      return CZELRegistryDword(zelsys::HKEY_LOCAL_MACHINE, LOGS_KEY, pszName, zelsys::KEY_READ)
          .getRegistryDword(&ulValue, false);
    };
    if (read(u"DynamicLogging")) {
      if (ulValue == 1)
        g_ulDynamicLoggingState = DYNAMIC_ON;
      if (read(u"MaxLogFileNum"))
        g_ulMaxLogFileNum = ulValue;
      if (read(u"MaxLogFileSize"))
        g_ulMaxLogFileSize = ulValue;
    }
    zelsys::SetLastError(dwSavedError);
  } catch (...) {
    // The state stays off.
  }
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
  const std::lock_guard<CZELLock> lock(g_dynamicStateLock);
  if (ulState == DYNAMIC_UNKNOWN) {
    g_ulMaxLogFileNum = DEFAULT_MAX_LOG_FILE_NUM;
    g_ulMaxLogFileSize = DEFAULT_MAX_LOG_FILE_SIZE;
  }
  g_ulDynamicLoggingState = ulState;
}

ZEL_ULONG CZELLogSettings::getMaxLogFileNum() noexcept { return g_ulMaxLogFileNum; }

ZEL_ULONG CZELLogSettings::getMaxLogFileSize() noexcept { return g_ulMaxLogFileSize; }
