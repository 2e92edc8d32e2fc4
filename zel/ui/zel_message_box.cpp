// zel_message_box.cpp - CZELMessageBox, the framework's modal message box.
//
// Every operation opens a function trace under the class name; the
// constructor's carries the class name as its method name. Only the
// constructor throws (CZELMessageBoxInitException, after the failure has
// been logged). The other operations catch everything: whatever goes wrong
// is recorded as a logged CZELUnhandledExceptionException with the last
// system error (an entry of the hierarchy is written first if nobody has
// written it yet) and the operation answers false. A text is replaced only
// once its copy is complete, so a failed replacement keeps the old one.
#include "zel_message_box.h"

#include "zel_function_trace.h"
#include "zel_simple_log.h"
#include "zel_windows_resource.h"

#include "zelsys/kernel.h"
#include "zelsys/winconst.h"

static const ZEL_USHORT ZEL_SOURCE[] = u".\\zel_message_box";
static const ZEL_USHORT ZEL_CLASS[] = u"CZELMessageBox";

namespace {

void recordUnhandled(ZEL_ULONG ulLine) noexcept {
  zelLogUnhandled(CZELErrorSource::esLastError, ZEL_SOURCE, ulLine);
}

// Runs body under a trace; any failure becomes a logged unhandled-exception
// entry and a false result.
template <class Body>
bool runOperation(const ZEL_USHORT *pszMethod, ZEL_ULONG ulLine, Body &&body) {
  CZELFunctionTrace trace(ZEL_CLASS, pszMethod, ZEL_SOURCE, ulLine);
  bool bResult = false;
  try {
    bResult = body();
  } catch (CZELLogging &rEntry) {
    zelLogCaught(rEntry);
    recordUnhandled(ulLine);
  } catch (...) {
    recordUnhandled(ulLine);
  }
  trace.setResult(bResult);
  return bResult;
}

// Stores a complete copy of strSource in strTarget, or throws.
void replaceText(CZELWCharString &strTarget, const CZELWCharString &strSource) {
  CZELWCharString strCopy(strSource);
  strTarget = strCopy;
  if (strTarget != strCopy)
    throw CZELUnhandledExceptionException(static_cast<ZEL_LONG>(zelsys::GetLastError()), ZEL_SOURCE,
                                          __LINE__, 1, true, false);
}

// An empty string holds no storage; the box shows it as empty text (a null
// caption would read "Error").
const ZEL_USHORT *textOf(const CZELWCharString &strText) {
  return strText.getBuffer() != nullptr ? strText.getBuffer() : u"";
}

// Text ulId of the program's own string table.
bool loadOwnString(ZEL_ULONG ulId, CZELWCharString &strText) {
  const CZELWindowsResource resource;
  return resource.loadString(ulId, strText);
}

} // namespace

CZELMessageBox::CZELMessageBox(zelsys::HWND hOwner, const CZELWCharString &strTitle,
                               const CZELWCharString &strMessage, const CZELFlags &flgStyle)
    : m_lResult(zelsys::IDCANCEL), m_flgStyle(flgStyle), m_hOwner(hOwner) {
  CZELFunctionTrace trace(ZEL_CLASS, ZEL_CLASS, ZEL_SOURCE, __LINE__);
  try {
    replaceText(m_strMessage, strMessage);
    replaceText(m_strTitle, strTitle);
  } catch (CZELLogging &rEntry) {
    zelLogCaught(rEntry);
    trace.setResult(false);
    throw CZELMessageBoxInitException(static_cast<ZEL_LONG>(zelsys::GetLastError()), ZEL_SOURCE,
                                      __LINE__, 1, true, false);
  } catch (...) {
    recordUnhandled(__LINE__);
    trace.setResult(false);
    throw CZELMessageBoxInitException(static_cast<ZEL_LONG>(zelsys::GetLastError()), ZEL_SOURCE,
                                      __LINE__, 1, true, false);
  }
  trace.setResult(true);
}

CZELMessageBox::~CZELMessageBox() {
  CZELFunctionTrace trace(ZEL_CLASS, u"Destructor", ZEL_SOURCE, __LINE__);
  trace.setResult(true);
}

bool CZELMessageBox::showMessageBox() {
  return runOperation(u"showMessageBox", __LINE__, [&] {
    m_lResult = zelsys::MessageBoxW(m_hOwner, textOf(m_strMessage), textOf(m_strTitle),
                                    m_flgStyle.getFlags());
    // The line says a box was displayed, so a box the platform could not
    // show leaves none.
    if (m_lResult == 0)
      return false;
    const CLogNotification notification(textOf(m_strMessage));
    return true;
  });
}

bool CZELMessageBox::setTitle(ZEL_ULONG ulId) {
  return runOperation(u"setTitle", __LINE__, [&] {
    CZELWCharString strTitle;
    if (!loadOwnString(ulId, strTitle))
      return false;
    replaceText(m_strTitle, strTitle);
    return true;
  });
}

bool CZELMessageBox::setMsg(ZEL_ULONG ulId) {
  return runOperation(u"setMsg", __LINE__, [&] {
    CZELWCharString strMessage;
    if (!loadOwnString(ulId, strMessage))
      return false;
    replaceText(m_strMessage, strMessage);
    return true;
  });
}

bool CZELMessageBox::setTitle(const CZELWCharString &strTitle) {
  return runOperation(u"setTitle", __LINE__, [&] {
    replaceText(m_strTitle, strTitle);
    return true;
  });
}

bool CZELMessageBox::setMsg(const CZELWCharString &strMessage) {
  return runOperation(u"setMsg", __LINE__, [&] {
    replaceText(m_strMessage, strMessage);
    return true;
  });
}

void CZELMessageBox::setStyle(const CZELFlags &flgStyle) {
  CZELFunctionTrace trace(ZEL_CLASS, u"setStyle", ZEL_SOURCE, __LINE__);
  m_flgStyle = flgStyle;
  trace.setResult(true);
}
