// zel_logged_on_user.cpp - CZELLoggedOnUser, the user at the console.
//
// The console session's user name comes from the terminal-services query
// of the active console session, and its SID from the account lookup (the
// two-call size protocol). Every operation absorbs its failures: nobody at
// the console and a failing call alike give false.
#include "zel_logged_on_user.h"

#include "zel_function_trace.h"

#include "zelsys/filesecurity.h"
#include "zelsys/kernel.h"
#include "zelsys/winconst.h"

#include <string>

static const ZEL_USHORT ZEL_SOURCE[] = u".\\zel_logged_on_user";
static const ZEL_USHORT ZEL_CLASS[] = u"CZELLoggedOnUser";

namespace {

constexpr zelsys::DWORD NO_CONSOLE_SESSION = 0xFFFFFFFFu;

bool consoleUserName(std::u16string &name) {
  const zelsys::DWORD dwSession = zelsys::WTSGetActiveConsoleSessionId();
  if (dwSession == NO_CONSOLE_SESSION)
    return false;
  zelsys::LPWSTR pszName = nullptr;
  zelsys::DWORD dwBytes = 0;
  if (!zelsys::WTSQuerySessionInformationW(nullptr, dwSession, zelsys::WTSUserName, &pszName,
                                           &dwBytes))
    return false;
  name = pszName != nullptr ? pszName : u"";
  zelsys::WTSFreeMemory(pszName);
  // A session without a user (the logon screen) has an empty name.
  return !name.empty();
}

} // namespace

CZELLoggedOnUser::CZELLoggedOnUser() {
  CZELFunctionTrace trace(ZEL_CLASS, u"Constructor", ZEL_SOURCE, __LINE__);
  trace.setResult(true);
}

CZELLoggedOnUser::~CZELLoggedOnUser() {
  CZELFunctionTrace trace(ZEL_CLASS, u"Destructor ~CZELLoggedOnUser", ZEL_SOURCE, __LINE__);
  trace.setResult(true);
}

bool CZELLoggedOnUser::getUserName(CZELWCharString &strName) const {
  return zelTracedAbsorb(ZEL_CLASS, u"getUserName", ZEL_SOURCE, __LINE__,
                         CZELErrorSource::esLastError, [&] {
                           std::u16string name;
                           if (!consoleUserName(name))
                             return false;
                           strName = name.c_str();
                           return true;
                         });
}

bool CZELLoggedOnUser::getSid(CZELBuffer<ZEL_BYTE> &bufSid) const {
  return zelTracedAbsorb(
      ZEL_CLASS, u"getSid", ZEL_SOURCE, __LINE__, CZELErrorSource::esLastError, [&] {
        std::u16string name;
        if (!consoleUserName(name))
          return false;
        zelsys::DWORD cbSid = 0;
        zelsys::DWORD cchDomain = 0;
        zelsys::SID_NAME_USE eUse = zelsys::SidTypeUser;
        if (zelsys::LookupAccountNameW(nullptr, name.c_str(), nullptr, &cbSid, nullptr, &cchDomain,
                                       &eUse) ||
            zelsys::GetLastError() != zelsys::ERROR_INSUFFICIENT_BUFFER || cbSid == 0)
          return false;
        CZELBuffer<ZEL_BYTE> sid;
        std::u16string domain(cchDomain, u'\0');
        if (!sid.allocBuffer(cbSid) ||
            !zelsys::LookupAccountNameW(nullptr, name.c_str(), sid.getBuffer(), &cbSid,
                                        domain.data(), &cchDomain, &eUse))
          return false;
        return bufSid.swapBuffer(sid);
      });
}
