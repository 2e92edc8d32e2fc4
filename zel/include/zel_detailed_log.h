// zel_detailed_log.h - a log entry with its source location.
#pragma once

#include "zel_logging.h"

#include <cstdint>
#include <type_traits>

class CZELDetailedLog : public CZELLogging {
public:
  CZELDetailedLog(ZEL_ULONG ulType, const ZEL_USHORT *pszMessage, ZEL_LONG lValue,
                  ZEL_ULONG ulValueKind, const ZEL_USHORT *pszModule, const ZEL_USHORT *pszFunction,
                  const ZEL_USHORT *pszSourceFile, ZEL_ULONG ulLine, bool bLogNow,
                  bool bLogOnDestroy, ZEL_WORD wOutputType, const ZEL_USHORT *pszLogName = nullptr,
                  const ZEL_USHORT *pszOutputPath = nullptr) noexcept;
  CZELDetailedLog(const CZELDetailedLog &other) noexcept = default;
  ~CZELDetailedLog() override;

  bool log() noexcept override;

  const CZELDetailedLogRecord &getRecord() const noexcept { return m_record; }

  // Longest formatted message, terminator included.
  static constexpr int MAX_MESSAGE_CHARS = 1024;

protected:
  // Tag of the constructor that formats its message from placeholders.
  struct Formatted {};

  // Builds the entry unwritten, formats pszFormat with the arguments (a null
  // text argument prints "Unknown"), stores the result as the message, and
  // then writes the entry if bLogNow asks for it. Without arguments the
  // message is stored unchanged.
  template <class... Args>
  CZELDetailedLog(Formatted, ZEL_ULONG ulType, const ZEL_USHORT *pszFormat, ZEL_LONG lValue,
                  ZEL_ULONG ulValueKind, const ZEL_USHORT *pszModule, const ZEL_USHORT *pszFunction,
                  const ZEL_USHORT *pszSourceFile, ZEL_ULONG ulLine, ZEL_WORD wOutputType,
                  bool bLogNow, bool bLogOnDestroy, Args... args) noexcept
      : CZELDetailedLog(ulType, pszFormat, lValue, ulValueKind, pszModule, pszFunction,
                        pszSourceFile, ulLine, false, bLogOnDestroy, wOutputType) {
    if constexpr (sizeof...(Args) > 0)
      formatMessage(pszFormat, placeholder(args)...);
    if (bLogNow)
      log();
  }

  CZELDetailedLogRecord m_record;

private:
  static const ZEL_USHORT *placeholder(const ZEL_USHORT *pszText) noexcept {
    return pszText ? pszText : u"Unknown";
  }
  template <class N, std::enable_if_t<std::is_integral_v<N>, int> = 0>
  static int placeholder(N number) noexcept {
    return static_cast<int>(number);
  }
  // wsprintfW into a 1024-character buffer; the cut text is kept.
  void formatMessage(const ZEL_USHORT *pszFormat, ...) noexcept;
};
