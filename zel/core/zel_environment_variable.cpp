// zel_environment_variable.cpp - CZELEnvironmentVariable, one named variable
// of the process environment.
//
// Failures of the log hierarchy are logged and give false; anything else is
// logged as an unhandled exception and reaches the caller, since a foreign
// exception here means the process itself is in trouble.
#include "zel_environment_variable.h"

#include "zel_catch.h"
#include "zel_function_trace.h"

#include "zelsys/environment.h"
#include "zelsys/kernel.h"

static const ZEL_USHORT ZEL_SOURCE[] = u".\\zel_environment_variable";
static const ZEL_USHORT ZEL_CLASS[] = u"CZELEnvironmentVariable";

namespace {

// Runs one operation under its trace. Entries of the log hierarchy are
// written if they have not been and give false; a foreign exception becomes
// a logged CZELUnhandledExceptionException thrown to the caller.
template <class Body>
bool runOperation(const ZEL_USHORT *pszMethod, ZEL_ULONG ulLine, Body &&body) {
  CZELFunctionTrace trace(ZEL_CLASS, pszMethod, ZEL_SOURCE, ulLine);
  bool bResult = false;
  try {
    bResult = body();
  } catch (CZELLogging &rEntry) {
    zelLogCaught(rEntry);
  } catch (...) {
    trace.setResult(false);
    throw CZELUnhandledExceptionException(-1, ZEL_SOURCE, ulLine, 1, true, false);
  }
  trace.setResult(bResult);
  return bResult;
}

void requireName(const CZELWCharString &name, ZEL_ULONG ulLine) {
  if (!name.isValid())
    throw CZELUnknownVariableNameException(ZEL_SOURCE, ulLine, 1, true, false);
}

// A failed assignment is logged by the string and leaves the target as it
// was; comparing tells whether the value arrived (two empty strings are
// equal here, unlike under the string's own comparison).
bool assignChecked(CZELWCharString &rTarget, const CZELWCharString &value) {
  rTarget = value;
  return value.isValid() ? rTarget == value : !rTarget.isValid();
}

} // namespace

CZELEnvironmentVariable::CZELEnvironmentVariable(const CZELWCharString &name) : m_name(name) {}

bool CZELEnvironmentVariable::setName(const CZELWCharString &name) {
  return runOperation(u"setName", __LINE__, [&] { return assignChecked(m_name, name); });
}

bool CZELEnvironmentVariable::getValue(CZELWCharString &rValue) const {
  return runOperation(u"getValue", __LINE__, [&] {
    requireName(m_name, __LINE__);
    CZELBuffer<ZEL_USHORT> buffer(MAX_VALUE_UNITS); // zero-filled
    const zelsys::DWORD dwLength =
        zelsys::GetEnvironmentVariableW(m_name.getBuffer(), buffer.getBuffer(), MAX_VALUE_UNITS);
    // A value that does not fit comes back as the size it needs and leaves
    // the buffer unfilled: there is nothing to read, so it counts as absent.
    if (dwLength == 0 || dwLength >= MAX_VALUE_UNITS)
      return false;
    // The string stops at the terminator and never looks past the buffer.
    return assignChecked(rValue, CZELWCharString(buffer));
  });
}

bool CZELEnvironmentVariable::setValue(const CZELWCharString &value, bool bAppend,
                                       bool bComputeOnly) {
  return runOperation(u"setValue", __LINE__, [&] {
    requireName(m_name, __LINE__);
    CZELWCharString newText(value);
    if (bAppend) {
      CZELWCharString current;
      if (!getValue(current))
        return false;
      newText = current + value;
    }
    if (bComputeOnly)
      return true;
    // An empty text sets an empty value; a null one would remove the
    // variable instead.
    const ZEL_USHORT *pszText = newText.isValid() ? newText.getBuffer() : u"";
    if (!zelsys::SetEnvironmentVariableW(m_name.getBuffer(), pszText))
      throw CZELSetEnvironmentVariableException(static_cast<ZEL_LONG>(zelsys::GetLastError()),
                                                ZEL_SOURCE, __LINE__, 1, true, false);
    return true;
  });
}
