// zel_function_trace.cpp - method tracing.
#include "zel_function_trace.h"

#include <new>

_CZELLogEntry::_CZELLogEntry(const ZEL_USHORT *pszModule, const ZEL_USHORT *pszFunction,
                             const ZEL_USHORT *pszSourceFile, ZEL_ULONG ulLine,
                             ZEL_WORD wOutputType, bool bLogNow, bool bLogOnDestroy) noexcept
    : CZELDetailedLog(CZELLogType::ENTRY, nullptr, 0, CZELValueKind::BOOLEAN_RESULT, pszModule,
                      pszFunction, pszSourceFile, ulLine, bLogNow, bLogOnDestroy, wOutputType) {}

_CZELLogEntry::~_CZELLogEntry() { m_record.m_ulType = CZELLogType::EXIT; }

void _CZELLogEntry::setResult(bool bResult) noexcept {
  m_record.m_ulValueKind = CZELValueKind::BOOLEAN_RESULT;
  m_record.m_lValue = bResult ? 1 : 0;
}

void _CZELLogEntry::setLogicalResult(ZEL_LONG lResult) noexcept {
  m_record.m_ulValueKind = CZELValueKind::LOGICAL_RESULT;
  m_record.m_lValue = lResult;
}

CZELFunctionTrace::CZELFunctionTrace(const ZEL_USHORT *pszClass, const ZEL_USHORT *pszMethod,
                                     const ZEL_USHORT *pszSourceFile, ZEL_ULONG ulLine,
                                     ZEL_WORD wOutputType, bool bLogNow,
                                     bool bLogOnDestroy) noexcept
    : m_pEntry(nullptr) {
  // Tracing costs an allocation per call: only when the machine asks for it.
  if (!CZELLogSettings::isDynamicLoggingOn() || !CZELLogSettings().isLoggingOn())
    return;
  m_pEntry = new (std::nothrow) _CZELLogEntry(pszClass, pszMethod, pszSourceFile, ulLine,
                                              wOutputType, bLogNow, bLogOnDestroy);
}

CZELFunctionTrace::~CZELFunctionTrace() { delete m_pEntry; }

void CZELFunctionTrace::setResult(bool bResult) noexcept {
  if (m_pEntry)
    m_pEntry->setResult(bResult);
}

void CZELFunctionTrace::setLogicalResult(ZEL_LONG lResult) noexcept {
  if (m_pEntry)
    m_pEntry->setLogicalResult(lResult);
}
