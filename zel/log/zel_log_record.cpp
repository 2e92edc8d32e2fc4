// zel_log_record.cpp - the records of log entries.
#include "zel_log_record.h"

#include <algorithm>
#include <new>

namespace {

std::size_t textLength(const ZEL_USHORT *pszText) {
  std::size_t length = 0;
  while (pszText[length] != 0)
    ++length;
  return length;
}

} // namespace

const ZEL_USHORT *CZELLogType::label(ZEL_ULONG ulType) {
  switch (ulType) {
  case CRITICAL:
    return u"CRITICAL";
  case EXCEPTION_BAD:
    return u"EXCEPTION_BAD";
  case EXCEPTION_OK:
    return u"EXCEPTION_OK";
  case ERROR:
    return u"ERROR";
  case WARNING:
    return u"WARNING";
  case DEBUG:
    return u"DEBUG";
  case INFORMATION:
    return u"INFORMATION";
  case NOTIFICATION:
    return u"NOTIFICATION";
  case ENTRY:
    return u"ENTRY";
  case EXIT:
    return u"EXIT";
  case SUCCESS:
    return u"SUCCESS";
  case FAILURE:
    return u"FAILURE";
  default:
    return u"UNSPECIFIED";
  }
}

void CZELLogRecord::assignText(ZEL_USHORT *&pszField, const ZEL_USHORT *pszText) noexcept {
  delete[] pszField;
  pszField = nullptr;
  if (pszText == nullptr || pszText[0] == 0)
    return;
  const std::size_t length = textLength(pszText);
  pszField = new (std::nothrow) ZEL_USHORT[length + 1];
  if (pszField != nullptr)
    std::copy_n(pszText, length + 1, pszField);
}

CZELLogRecord::CZELLogRecord(ZEL_ULONG ulType, const ZEL_USHORT *pszMessage, ZEL_LONG lValue,
                             ZEL_ULONG ulValueKind, const ZEL_USHORT *pszLogName,
                             const ZEL_USHORT *pszOutputPath) noexcept
    : m_ulType(ulType), m_ulValueKind(ulValueKind), m_lValue(lValue) {
  setMessage(pszMessage);
  setLogName(pszLogName);
  setOutputPath(pszOutputPath);
}

CZELLogRecord::CZELLogRecord(const CZELLogRecord &other) noexcept
    : m_ulType(other.m_ulType), m_ulValueKind(other.m_ulValueKind), m_lValue(other.m_lValue) {
  setMessage(other.m_pszMessage);
  setLogName(other.m_pszLogName);
  setOutputPath(other.m_pszOutputPath);
}

CZELLogRecord &CZELLogRecord::operator=(const CZELLogRecord &other) noexcept {
  if (this != &other) {
    m_ulType = other.m_ulType;
    m_ulValueKind = other.m_ulValueKind;
    m_lValue = other.m_lValue;
    setMessage(other.m_pszMessage);
    setLogName(other.m_pszLogName);
    setOutputPath(other.m_pszOutputPath);
  }
  return *this;
}

CZELLogRecord::~CZELLogRecord() {
  delete[] m_pszMessage;
  delete[] m_pszLogName;
  delete[] m_pszOutputPath;
}

void CZELLogRecord::setMessage(const ZEL_USHORT *pszMessage) noexcept {
  assignText(m_pszMessage, pszMessage);
}

void CZELLogRecord::setLogName(const ZEL_USHORT *pszLogName) noexcept {
  assignText(m_pszLogName, pszLogName);
}

void CZELLogRecord::setOutputPath(const ZEL_USHORT *pszOutputPath) noexcept {
  assignText(m_pszOutputPath, pszOutputPath);
}

CZELDetailedLogRecord::CZELDetailedLogRecord(
    ZEL_ULONG ulType, const ZEL_USHORT *pszMessage, ZEL_LONG lValue, ZEL_ULONG ulValueKind,
    const ZEL_USHORT *pszModule, const ZEL_USHORT *pszFunction, const ZEL_USHORT *pszSourceFile,
    ZEL_ULONG ulLine, const ZEL_USHORT *pszLogName, const ZEL_USHORT *pszOutputPath) noexcept
    : CZELLogRecord(ulType, pszMessage, lValue, ulValueKind, pszLogName, pszOutputPath),
      m_ulLine(ulLine) {
  setModule(pszModule);
  setFunction(pszFunction);
  setSourceFile(pszSourceFile);
}

CZELDetailedLogRecord::CZELDetailedLogRecord(const CZELDetailedLogRecord &other) noexcept
    : CZELLogRecord(other), m_ulLine(other.m_ulLine) {
  setModule(other.m_pszModule);
  setFunction(other.m_pszFunction);
  setSourceFile(other.m_pszSourceFile);
}

CZELDetailedLogRecord &
CZELDetailedLogRecord::operator=(const CZELDetailedLogRecord &other) noexcept {
  if (this != &other) {
    CZELLogRecord::operator=(other);
    m_ulLine = other.m_ulLine;
    setModule(other.m_pszModule);
    setFunction(other.m_pszFunction);
    setSourceFile(other.m_pszSourceFile);
  }
  return *this;
}

CZELDetailedLogRecord::~CZELDetailedLogRecord() {
  delete[] m_pszModule;
  delete[] m_pszFunction;
  delete[] m_pszSourceFile;
}

void CZELDetailedLogRecord::setModule(const ZEL_USHORT *pszModule) noexcept {
  assignText(m_pszModule, pszModule);
}

void CZELDetailedLogRecord::setFunction(const ZEL_USHORT *pszFunction) noexcept {
  assignText(m_pszFunction, pszFunction);
}

void CZELDetailedLogRecord::setSourceFile(const ZEL_USHORT *pszSourceFile) noexcept {
  assignText(m_pszSourceFile, pszSourceFile);
}
