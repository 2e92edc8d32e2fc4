// zel_win_reboot.cpp - CZELWinReboot, restarting or powering off the
// machine.
//
// Every operation opens a function trace and runs its body under the
// framework's two handlers (absorb): enabling the privilege records a
// foreign failure with the last system error, the restart requests with the
// C library's error number. A token that cannot be opened is the one
// failure written as its own entry; every other one is a false result. The
// stored privilege record keeps the privilege's identifier between enabling
// and switching off, so switching off changes exactly what was enabled.
#include "zel_win_reboot.h"

#include "zel_flags.h"
#include "zel_function_trace.h"
#include "zel_message_box.h"

#include "zelsys/kernel.h"
#include "zelsys/shutdown.h"
#include "zelsys/winconst.h"

#include <string>

static const ZEL_USHORT ZEL_SOURCE[] = u".\\zel_win_reboot";
static const ZEL_USHORT ZEL_CLASS[] = u"CZELWinReboot";

namespace {

constexpr ZEL_ULONG RESTART_COUNTDOWN_SECONDS = 20;

template <class Body>
bool runOperation(const ZEL_USHORT *pszMethod, ZEL_ULONG ulLine, CZELErrorSource eSource,
                  Body &&body) {
  return zelTracedAbsorb(ZEL_CLASS, pszMethod, ZEL_SOURCE, ulLine, eSource, body);
}

ZEL_LONG lastError() { return static_cast<ZEL_LONG>(zelsys::GetLastError()); }

} // namespace

CZELWinReboot::CZELWinReboot() : m_hToken(nullptr), m_tokenPrivileges{} {
  CZELFunctionTrace trace(ZEL_CLASS, u"Default Constructor", ZEL_SOURCE, __LINE__);
  trace.setResult(true);
}

CZELWinReboot::~CZELWinReboot() {
  CZELFunctionTrace trace(ZEL_CLASS, u"Destructor", ZEL_SOURCE, __LINE__);
  if (m_hToken != nullptr)
    zelsys::CloseHandle(m_hToken);
  trace.setResult(true);
}

bool CZELWinReboot::setShutdownPrivilege() {
  return runOperation(u"setShutdownPrivilege", __LINE__, CZELErrorSource::esLastError, [&] {
    const zelsys::HANDLE hProcess = zelsys::GetCurrentProcess();
    if (hProcess == nullptr)
      return false;
    // Each enabling opens the token anew; the handle of the last one is
    // let go first, so repeated requests hold one handle, not one each.
    if (m_hToken != nullptr) {
      zelsys::CloseHandle(m_hToken);
      m_hToken = nullptr;
    }
    if (!zelsys::OpenProcessToken(hProcess, zelsys::TOKEN_ADJUST_PRIVILEGES | zelsys::TOKEN_QUERY,
                                  &m_hToken)) {
      m_hToken = nullptr;
      throw CZELOpenProcessTokenException(u"hProcess", lastError(), ZEL_SOURCE, __LINE__, 1, true,
                                          false);
    }
    if (!zelsys::LookupPrivilegeValueW(nullptr, zelsys::SE_SHUTDOWN_NAME,
                                       &m_tokenPrivileges.Privileges[0].Luid))
      return false;
    m_tokenPrivileges.PrivilegeCount = 1;
    m_tokenPrivileges.Privileges[0].Attributes = zelsys::SE_PRIVILEGE_ENABLED;
    // The call also succeeds for a token that lacks the privilege; only the
    // last error tells, and then nothing may be requested.
    return zelsys::AdjustTokenPrivileges(m_hToken, zelsys::FALSE, &m_tokenPrivileges, 0, nullptr,
                                         nullptr) != zelsys::FALSE &&
           zelsys::GetLastError() == zelsys::ERROR_SUCCESS;
  });
}

bool CZELWinReboot::setShutdownPrivilege(bool bEnable) {
  if (bEnable)
    return setShutdownPrivilege();
  return runOperation(u"setShutdownPrivilege", __LINE__, CZELErrorSource::esLastError, [&] {
    m_tokenPrivileges.Privileges[0].Attributes = 0;
    return zelsys::AdjustTokenPrivileges(m_hToken, zelsys::FALSE, &m_tokenPrivileges, 0, nullptr,
                                         nullptr) != zelsys::FALSE;
  });
}

bool CZELWinReboot::doReboot(ERebootKind eKind, bool bAsk, const CZELWCharString &strTitle,
                             const CZELWCharString &strMessage, zelsys::HWND hOwner) {
  return runOperation(u"doReboot", __LINE__, CZELErrorSource::esErrno, [&] {
    if (!setShutdownPrivilege())
      return false;
    if (bAsk) {
      CZELMessageBox box(hOwner, strTitle, strMessage, CZELFlags());
      box.setStyle(CZELFlags(zelsys::MB_YESNO));
      const bool bAsked = box.setTitle(strTitle) && box.setMsg(strMessage) && box.showMessageBox();
      // Anything but Yes (No, or a box that could not be shown) leaves the
      // machine alone: the privilege was enabled, nothing was requested.
      if (!bAsked || box.getResult() != zelsys::IDYES)
        return true;
    }
    const zelsys::UINT uFlags =
        (eKind == rkPowerOff ? zelsys::EWX_POWEROFF : zelsys::EWX_REBOOT) | zelsys::EWX_FORCEIFHUNG;
    return zelsys::ExitWindowsEx(uFlags, 0) == 1;
  });
}

bool CZELWinReboot::rebootSystem(bool bAsk, const CZELWCharString &strTitle,
                                 const CZELWCharString &strMessage, zelsys::HWND hOwner) {
  return runOperation(u"rebootSystem", __LINE__, CZELErrorSource::esErrno, [&] {
    const bool bResult = doReboot(rkRestart, bAsk, strTitle, strMessage, hOwner);
    setShutdownPrivilege(false);
    return bResult;
  });
}

bool CZELWinReboot::shutdownSystem(bool bAsk, const CZELWCharString &strTitle,
                                   const CZELWCharString &strMessage, zelsys::HWND hOwner) {
  return runOperation(u"shutdownSystem", __LINE__, CZELErrorSource::esErrno, [&] {
    const bool bResult = doReboot(rkPowerOff, bAsk, strTitle, strMessage, hOwner);
    setShutdownPrivilege(false);
    return bResult;
  });
}

bool CZELWinReboot::forceSystemShutdownStyleReboot(const CZELWCharString &strMessage) {
  return runOperation(u"forceSystemShutdownStyleReboot", __LINE__, CZELErrorSource::esErrno, [&] {
    if (!setShutdownPrivilege())
      return false;
    // The call takes a writable text; it gets a copy of the message.
    const ZEL_USHORT *pszMessage = strMessage.getBuffer();
    std::u16string message(pszMessage != nullptr ? pszMessage : u"");
    const bool bStarted = zelsys::InitiateSystemShutdownW(
                              nullptr, message.empty() ? nullptr : message.data(),
                              RESTART_COUNTDOWN_SECONDS, zelsys::FALSE, zelsys::TRUE) == 1;
    setShutdownPrivilege(false);
    return bStarted;
  });
}
