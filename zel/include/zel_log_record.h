// zel_log_record.h - the record every log entry carries.
//
// CZELLogRecord holds what happened (type, message, value); the detailed form
// adds where (module, function, source file, line). String fields own heap
// copies; an empty or null text leaves a field null, and a copy that cannot
// be allocated leaves it null without a report, so building a record never
// throws.
#pragma once

#include "zel_types.h"

// Entry types. Single bits, so that a detail level can select them by mask.
struct CZELLogType {
  enum : ZEL_ULONG {
    UNSPECIFIED = 0x000,
    CRITICAL = 0x001,
    EXCEPTION_BAD = 0x002,
    EXCEPTION_OK = 0x004,
    ERROR = 0x008,
    WARNING = 0x010,
    DEBUG = 0x020,
    INFORMATION = 0x040,
    NOTIFICATION = 0x080,
    ENTRY = 0x100,
    EXIT = 0x200,
    SUCCESS = 0x400,
    FAILURE = 0x800
  };
  // The label a text output prints for a type; unknown types are "UNSPECIFIED".
  static const ZEL_USHORT *label(ZEL_ULONG ulType);
};

// How a record's value is to be read.
struct CZELValueKind {
  enum : ZEL_ULONG { ERROR_CODE = 0, BOOLEAN_RESULT = 1, LOGICAL_RESULT = 2, RETURN_CODE = 3 };
};

class CZELLogRecord {
public:
  CZELLogRecord(ZEL_ULONG ulType, const ZEL_USHORT *pszMessage, ZEL_LONG lValue = 0,
                ZEL_ULONG ulValueKind = CZELValueKind::BOOLEAN_RESULT,
                const ZEL_USHORT *pszLogName = nullptr,
                const ZEL_USHORT *pszOutputPath = nullptr) noexcept;
  CZELLogRecord(const CZELLogRecord &other) noexcept;
  CZELLogRecord &operator=(const CZELLogRecord &other) noexcept;
  ~CZELLogRecord();

  void setMessage(const ZEL_USHORT *pszMessage) noexcept;
  void setLogName(const ZEL_USHORT *pszLogName) noexcept;
  void setOutputPath(const ZEL_USHORT *pszOutputPath) noexcept;

  ZEL_ULONG m_ulType;
  ZEL_USHORT *m_pszMessage = nullptr;
  ZEL_USHORT *m_pszLogName = nullptr;
  ZEL_USHORT *m_pszOutputPath = nullptr;
  ZEL_ULONG m_ulValueKind;
  ZEL_LONG m_lValue;

protected:
  // Replaces an owned text field with a copy of pszText (null when empty).
  static void assignText(ZEL_USHORT *&pszField, const ZEL_USHORT *pszText) noexcept;
};

class CZELDetailedLogRecord : public CZELLogRecord {
public:
  CZELDetailedLogRecord(ZEL_ULONG ulType, const ZEL_USHORT *pszMessage, ZEL_LONG lValue,
                        ZEL_ULONG ulValueKind, const ZEL_USHORT *pszModule,
                        const ZEL_USHORT *pszFunction, const ZEL_USHORT *pszSourceFile,
                        ZEL_ULONG ulLine, const ZEL_USHORT *pszLogName = nullptr,
                        const ZEL_USHORT *pszOutputPath = nullptr) noexcept;
  CZELDetailedLogRecord(const CZELDetailedLogRecord &other) noexcept;
  CZELDetailedLogRecord &operator=(const CZELDetailedLogRecord &other) noexcept;
  ~CZELDetailedLogRecord();

  void setModule(const ZEL_USHORT *pszModule) noexcept;
  void setFunction(const ZEL_USHORT *pszFunction) noexcept;
  void setSourceFile(const ZEL_USHORT *pszSourceFile) noexcept;

  ZEL_USHORT *m_pszModule = nullptr;
  ZEL_USHORT *m_pszFunction = nullptr;
  ZEL_USHORT *m_pszSourceFile = nullptr;
  ZEL_ULONG m_ulLine;
};
