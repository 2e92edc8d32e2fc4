// zel_function_trace.h - ENTRY and EXIT lines around a method.
//
// A method opens a trace at entry and sets its result before returning; when
// dynamic logging is on, the trace writes an ENTRY line at once and an EXIT
// line carrying the result when it closes. CZELNullTrace is the compiled-out
// form used by the hot classes: same interface, no entry, no cost.
#pragma once

#include "zel_catch.h"
#include "zel_detailed_log.h"

#include <utility>

class _CZELLogEntry : public CZELDetailedLog {
public:
  _CZELLogEntry(const ZEL_USHORT *pszModule, const ZEL_USHORT *pszFunction,
                const ZEL_USHORT *pszSourceFile, ZEL_ULONG ulLine, ZEL_WORD wOutputType,
                bool bLogNow, bool bLogOnDestroy) noexcept;
  // Turns the entry into its EXIT line before the base writes it on destroy.
  ~_CZELLogEntry() override;

  void setResult(bool bResult) noexcept;
  void setLogicalResult(ZEL_LONG lResult) noexcept;
};

class CZELFunctionTrace {
public:
  CZELFunctionTrace(const ZEL_USHORT *pszClass, const ZEL_USHORT *pszMethod,
                    const ZEL_USHORT *pszSourceFile, ZEL_ULONG ulLine, ZEL_WORD wOutputType = 1,
                    bool bLogNow = true, bool bLogOnDestroy = true) noexcept;
  ~CZELFunctionTrace();
  CZELFunctionTrace(const CZELFunctionTrace &) = delete;
  CZELFunctionTrace &operator=(const CZELFunctionTrace &) = delete;

  void setResult(bool bResult) noexcept;
  void setLogicalResult(ZEL_LONG lResult) noexcept;
  // Whether an entry is kept (dynamic logging was on at opening).
  bool isActive() const noexcept { return m_pEntry != nullptr; }

private:
  _CZELLogEntry *m_pEntry;
};

// A working trace for a method that answers a question: the result it
// records is logical (1 yes, 0 no or failed) rather than success.
class CZELLogicalTrace : public CZELFunctionTrace {
public:
  using CZELFunctionTrace::CZELFunctionTrace;
  void setResult(bool bResult) noexcept { setLogicalResult(bResult ? 1 : 0); }
};

class CZELNullTrace {
public:
  CZELNullTrace(const ZEL_USHORT *, const ZEL_USHORT *, const ZEL_USHORT *, ZEL_ULONG, ZEL_WORD = 1,
                bool = true, bool = true) noexcept {}
  void setResult(bool) noexcept {}
  void setLogicalResult(ZEL_LONG) noexcept {}
  bool isActive() const noexcept { return false; }
};

// The shape of a public method that absorbs its failures: a trace (Trace:
// CZELFunctionTrace, CZELLogicalTrace, or CZELNullTrace where ENTRY and EXIT
// lines would be too many) around the body run under both handlers; the
// trace records the result.
template <class Trace = CZELFunctionTrace, class Body>
bool zelTracedAbsorb(const ZEL_USHORT *pszClass, const ZEL_USHORT *pszMethod,
                     const ZEL_USHORT *pszSourceFile, ZEL_ULONG ulLine, CZELErrorSource eSource,
                     Body &&body) {
  Trace trace(pszClass, pszMethod, pszSourceFile, ulLine);
  const bool bResult = zelAbsorb(pszSourceFile, ulLine, eSource, std::forward<Body>(body));
  trace.setResult(bResult);
  return bResult;
}
