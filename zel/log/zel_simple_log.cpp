// zel_simple_log.cpp - log entries without a source location.
#include "zel_simple_log.h"

#include <new>

CZELSimpleLog::CZELSimpleLog(ZEL_WORD wOutputType, bool bLogOnDestroy, ZEL_ULONG ulType,
                             const ZEL_USHORT *pszMessage, ZEL_LONG lValue, ZEL_ULONG ulValueKind,
                             const ZEL_USHORT *pszLogName, const ZEL_USHORT *pszOutputPath) noexcept
    : CZELLogging(wOutputType, bLogOnDestroy),
      m_record(ulType, pszMessage, lValue, ulValueKind, pszLogName, pszOutputPath) {}

CZELSimpleLog::~CZELSimpleLog() {
  if (m_bLogOnDestroy)
    log();
}

bool CZELSimpleLog::log() noexcept { return writeEntry(m_record, nullptr); }

namespace {

// "Message Box displayed: " followed by the box's text, on the heap; null
// when it cannot be allocated (the entry then carries no message).
ZEL_USHORT *notificationText(const ZEL_USHORT *pszBoxText) noexcept {
  static constexpr ZEL_USHORT kPrefix[] = u"Message Box displayed: ";
  constexpr std::size_t prefixLength = sizeof kPrefix / sizeof kPrefix[0] - 1;
  std::size_t textLength = 0;
  while (pszBoxText && pszBoxText[textLength])
    ++textLength;
  auto *pszText = new (std::nothrow) ZEL_USHORT[prefixLength + textLength + 1];
  if (pszText == nullptr)
    return nullptr;
  for (std::size_t i = 0; i < prefixLength; ++i)
    pszText[i] = kPrefix[i];
  for (std::size_t i = 0; i < textLength; ++i)
    pszText[prefixLength + i] = pszBoxText[i];
  pszText[prefixLength + textLength] = 0;
  return pszText;
}

} // namespace

CLogNotification::CLogNotification(const ZEL_USHORT *pszMessageBoxText) noexcept
    : CZELSimpleLog(1, false, CZELLogType::NOTIFICATION, nullptr, 0, CZELValueKind::ERROR_CODE) {
  ZEL_USHORT *pszText = notificationText(pszMessageBoxText);
  m_record.setMessage(pszText);
  delete[] pszText;
  log();
}
