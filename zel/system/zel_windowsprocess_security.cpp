// zel_windowsprocess_security.cpp - the file-security half of
// CZELWindowsProcess: privileges, taking ownership, granting full access.
//
// Every operation opens a function trace and runs its body under the
// framework's two handlers (absorb, the system's last error for foreign
// failures). A failing call raises its own exception, written at once, so
// the handler only turns it into false. What an operation acquires (the
// token it opened, SIDs, the descriptor buffers, the new list) is owned by
// a guard that releases it on every way out.
#include "zel_windowsprocess.h"

#include "zel_function_trace.h"
#include "zel_logged_on_user.h"
#include "zel_windows_os_info.h"

#include "zelsys/filesecurity.h"
#include "zelsys/kernel.h"
#include "zelsys/security.h"
#include "zelsys/winconst.h"

#include <cstddef>
#include <cstring>
#include <memory>

static const ZEL_USHORT ZEL_SOURCE[] = u".\\zel_windowsprocess";
static const ZEL_USHORT ZEL_CLASS[] = u"CZELWindowsProcess";

namespace {

ZEL_LONG lastError() { return static_cast<ZEL_LONG>(zelsys::GetLastError()); }

template <class Body>
bool runOperation(const ZEL_USHORT *pszMethod, ZEL_ULONG ulLine, Body &&body) {
  return zelTracedAbsorb(ZEL_CLASS, pszMethod, ZEL_SOURCE, ulLine, CZELErrorSource::esLastError,
                         body);
}

struct SidFree {
  void operator()(void *pSid) const { zelsys::FreeSid(pSid); }
};
struct LocalFreer {
  void operator()(void *pMemory) const { zelsys::LocalFree(pMemory); }
};
using SidPtr = std::unique_ptr<void, SidFree>;
using LocalPtr = std::unique_ptr<void, LocalFreer>;

// A local allocation of cbSize bytes; CZELMemAllocException names it.
LocalPtr localAlloc(zelsys::SIZE_T cbSize, const ZEL_USHORT *pszName, ZEL_ULONG ulLine) {
  LocalPtr memory(zelsys::LocalAlloc(zelsys::LPTR, cbSize));
  if (!memory)
    throw CZELMemAllocException(pszName, ZEL_SOURCE, ulLine, 1, true, false);
  return memory;
}

// The built-in Users group (only where the system offers the well-known
// SIDs: XP and later, as the OS facts tell).
LocalPtr usersGroupSid() {
  const CZELWindowsOSInfo osInfo;
  if (!osInfo.isXP() && !osInfo.getOSQuery37())
    throw CZELUnhandledExceptionException(-1, ZEL_SOURCE, __LINE__, 1, true, false);
  LocalPtr sid = localAlloc(zelsys::SECURITY_MAX_SID_SIZE, u"pUsersSID", __LINE__);
  zelsys::DWORD cbSid = zelsys::SECURITY_MAX_SID_SIZE;
  if (!zelsys::CreateWellKnownSid(zelsys::WinBuiltinUsersSid, nullptr, sid.get(), &cbSid))
    throw CZELUnhandledExceptionException(lastError(), ZEL_SOURCE, __LINE__, 1, true, false);
  return sid;
}

LocalPtr loggedOnUserSid() {
  CZELBuffer<ZEL_BYTE> bufSid;
  if (!CZELLoggedOnUser().getSid(bufSid) || !bufSid.isValid())
    throw CZELUnhandledExceptionException(lastError(), ZEL_SOURCE, __LINE__, 1, true, false);
  LocalPtr sid = localAlloc(bufSid.getSize(), u"pUserSID", __LINE__);
  std::memcpy(sid.get(), bufSid.getBuffer(), bufSid.getSize());
  return sid;
}

} // namespace

bool CZELWindowsProcess::setPrivilege(const CZELWCharString &strPrivilege, bool bEnable,
                                      zelsys::HANDLE hToken) {
  return runOperation(u"setPrivilege", __LINE__, [&] {
    // A token opened here is closed on every way out; a failing close is a
    // warning only.
    zelsys::HANDLE hLocalToken = nullptr;
    struct TokenCloser {
      zelsys::HANDLE &hHeld;
      ~TokenCloser() {
        if (hHeld != nullptr && !zelsys::CloseHandle(hHeld))
          CCloseHandleWarning(u"hLocalToken", lastError(), ZEL_SOURCE, __LINE__, 1, true, false);
      }
    } closer{hLocalToken};
    if (hToken == nullptr) {
      if (!zelsys::OpenProcessToken(zelsys::GetCurrentProcess(), zelsys::TOKEN_ADJUST_PRIVILEGES,
                                    &hLocalToken)) {
        hLocalToken = nullptr;
        throw CZELOpenProcessTokenException(u"GetCurrentProcess()", lastError(), ZEL_SOURCE,
                                            __LINE__, 1, true, false);
      }
      hToken = hLocalToken;
    }
    zelsys::TOKEN_PRIVILEGES privileges{};
    if (!zelsys::LookupPrivilegeValueW(nullptr, strPrivilege.getBuffer(),
                                       &privileges.Privileges[0].Luid))
      throw CZELLookupPrivilegeValueException(strPrivilege.getBuffer(), lastError(), ZEL_SOURCE,
                                              __LINE__, 1, true, false);
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = bEnable ? zelsys::SE_PRIVILEGE_ENABLED : 0;
    if (!zelsys::AdjustTokenPrivileges(hToken, zelsys::FALSE, &privileges, 16, nullptr, nullptr))
      throw CZELAdjustTokenPrivilegesException(u"hToken", lastError(), ZEL_SOURCE, __LINE__, 1,
                                               true, false);
    return true;
  });
}

bool CZELWindowsProcess::takeOwnership(const CZELWCharString &strPath) {
  return runOperation(u"takeOwnership", __LINE__, [&] {
    zelsys::SID_IDENTIFIER_AUTHORITY ntAuthority{{0, 0, 0, 0, 0, 5}};
    zelsys::PSID pSIDAdmin = nullptr;
    if (!zelsys::AllocateAndInitializeSid(&ntAuthority, 2, zelsys::SECURITY_BUILTIN_DOMAIN_RID,
                                          zelsys::DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                          &pSIDAdmin))
      throw CZELAllocateAndInitializeSidException(u"pSIDAdmin", lastError(), ZEL_SOURCE, __LINE__,
                                                  1, true, false);
    const SidPtr adminSid(pSIDAdmin);
    if (!setPrivilege(zelsys::SE_TAKE_OWNERSHIP_NAME, true, nullptr))
      return false;
    // The call takes a writable name; it gets a copy of the path.
    std::u16string path(strPath.getBuffer() != nullptr ? strPath.getBuffer() : u"");
    const zelsys::DWORD dwResult = zelsys::SetNamedSecurityInfoW(
        path.data(), zelsys::SE_FILE_OBJECT, zelsys::OWNER_SECURITY_INFORMATION, pSIDAdmin, nullptr,
        nullptr, nullptr);
    if (dwResult != zelsys::ERROR_SUCCESS) {
      // The privilege is switched off again before the failure is reported.
      setPrivilege(zelsys::SE_TAKE_OWNERSHIP_NAME, false, nullptr);
      throw CZELSetNamedSecurityInfoException(strPath.getBuffer(), static_cast<ZEL_LONG>(dwResult),
                                              ZEL_SOURCE, __LINE__, 1, true, false);
    }
    return setPrivilege(zelsys::SE_TAKE_OWNERSHIP_NAME, false, nullptr);
  });
}

bool CZELWindowsProcess::addAccessRights(const CZELWCharString &strPath, bool bUsersGroup) {
  return runOperation(u"addAccessRights", __LINE__, [&] {
    const zelsys::LPCWSTR pszPath = strPath.getBuffer();
    auto getFileSecurityFailed = [&](ZEL_ULONG ulLine) {
      return CZELGetFileSecurityException(pszPath, lastError(), ZEL_SOURCE, ulLine, 1, true, false);
    };
    // The size of the descriptor, taking ownership once if refused.
    zelsys::DWORD cbNeeded = 0;
    if (zelsys::GetFileSecurityW(pszPath, zelsys::DACL_SECURITY_INFORMATION, nullptr, 0, &cbNeeded))
      throw getFileSecurityFailed(__LINE__);
    if (zelsys::GetLastError() == zelsys::ERROR_ACCESS_DENIED) {
      if (!takeOwnership(strPath))
        throw CZELUnhandledExceptionException(lastError(), ZEL_SOURCE, __LINE__, 1, true, false);
      if (zelsys::GetFileSecurityW(pszPath, zelsys::DACL_SECURITY_INFORMATION, nullptr, 0,
                                   &cbNeeded))
        throw getFileSecurityFailed(__LINE__);
    }
    if (zelsys::GetLastError() != zelsys::ERROR_INSUFFICIENT_BUFFER)
      throw getFileSecurityFailed(__LINE__);
    const LocalPtr oldSd = localAlloc(cbNeeded, u"pOldSD", __LINE__);
    if (!zelsys::GetFileSecurityW(pszPath, zelsys::DACL_SECURITY_INFORMATION, oldSd.get(), cbNeeded,
                                  &cbNeeded))
      throw getFileSecurityFailed(__LINE__);

    // The new descriptor and the old list.
    zelsys::SECURITY_DESCRIPTOR newSd{};
    if (!zelsys::InitializeSecurityDescriptor(&newSd, zelsys::SECURITY_DESCRIPTOR_REVISION))
      throw CZELInitializeSecurityDescriptorException(u"newSD", lastError(), ZEL_SOURCE, __LINE__,
                                                      1, true, false);
    zelsys::BOOL bPresent = zelsys::FALSE;
    zelsys::BOOL bDefaulted = zelsys::FALSE;
    zelsys::ACL *pOldAcl = nullptr;
    if (!zelsys::GetSecurityDescriptorDacl(oldSd.get(), &bPresent, &pOldAcl, &bDefaulted))
      throw CZELGetSecurityDescriptorDaclException(u"pOldSD", lastError(), ZEL_SOURCE, __LINE__, 1,
                                                   true, false);
    zelsys::ACL_SIZE_INFORMATION sizeInfo{0, sizeof(zelsys::ACL), 0};
    if (bPresent && pOldAcl != nullptr &&
        !zelsys::GetAclInformation(pOldAcl, &sizeInfo, sizeof sizeInfo, zelsys::AclSizeInformation))
      throw CZELGetAclInformationException(u"pOldACL", lastError(), ZEL_SOURCE, __LINE__, 1, true,
                                           false);

    // The account.
    const LocalPtr accountSid = bUsersGroup ? usersGroupSid() : loggedOnUserSid();
    const zelsys::PSID pSid = accountSid.get();

    // The new list, with room for one more entry.
    const zelsys::DWORD cbNewAcl = sizeInfo.AclBytesInUse + zelsys::GetLengthSid(pSid) + 8;
    const LocalPtr newAclMemory = localAlloc(cbNewAcl, u"pNewACL", __LINE__);
    auto *pNewAcl = static_cast<zelsys::ACL *>(newAclMemory.get());
    if (!zelsys::InitializeAcl(pNewAcl, cbNewAcl, zelsys::ACL_REVISION))
      throw CZELInitializeAclException(u"pNewACL", lastError(), ZEL_SOURCE, __LINE__, 1, true,
                                       false);

    // The explicit entries without the account's, the account's
    // full-access entry, then the inherited entries unchanged.
    auto copyEntry = [&](zelsys::DWORD dwIndex, bool &bInherited, bool bCopyAccount) {
      void *pAce = nullptr;
      if (!zelsys::GetAce(pOldAcl, dwIndex, &pAce))
        throw CZELGetAceException(u"pOldACL", lastError(), ZEL_SOURCE, __LINE__, 1, true, false);
      zelsys::ACE_HEADER header;
      std::memcpy(&header, pAce, sizeof header);
      bInherited = (header.AceFlags & zelsys::INHERITED_ACE) != 0;
      // Only allowed and denied entries hold their SID at SidStart, and only
      // a SID that fits inside the entry is compared.
      const zelsys::DWORD cbSid = zelsys::GetLengthSid(pSid);
      if (!bInherited && !bCopyAccount && header.AceType <= zelsys::ACCESS_DENIED_ACE_TYPE &&
          header.AceSize >= offsetof(zelsys::ACCESS_ALLOWED_ACE, SidStart) + cbSid) {
        auto *pEntry = static_cast<zelsys::BYTE *>(pAce);
        if (zelsys::EqualSid(pEntry + offsetof(zelsys::ACCESS_ALLOWED_ACE, SidStart), pSid))
          return;
      }
      if (bInherited && !bCopyAccount)
        return;
      if (!zelsys::AddAce(pNewAcl, zelsys::ACL_REVISION, 0xFFFFFFFFu, pAce, header.AceSize))
        throw CZELAddAceException(u"pNewACL", lastError(), ZEL_SOURCE, __LINE__, 1, true, false);
    };
    zelsys::DWORD dwIndex = 0;
    for (bool bInherited = false; dwIndex < sizeInfo.AceCount; ++dwIndex) {
      copyEntry(dwIndex, bInherited, false);
      if (bInherited)
        break;
    }
    if (!zelsys::AddAccessAllowedAce(pNewAcl, zelsys::ACL_REVISION, zelsys::GENERIC_ALL, pSid))
      throw CZELAddAccessAllowedAceException(u"pNewACL", lastError(), ZEL_SOURCE, __LINE__, 1, true,
                                             false);
    for (bool bInherited = true; dwIndex < sizeInfo.AceCount; ++dwIndex)
      copyEntry(dwIndex, bInherited, true);

    // The list into the descriptor, with the old inheritance state.
    if (!zelsys::SetSecurityDescriptorDacl(&newSd, zelsys::TRUE, pNewAcl, zelsys::FALSE))
      throw CZELSetSecurityDescriptorDaclException(u"newSD", lastError(), ZEL_SOURCE, __LINE__, 1,
                                                   true, false);
    zelsys::SECURITY_DESCRIPTOR_CONTROL control = 0;
    zelsys::DWORD dwRevision = 0;
    if (!zelsys::GetSecurityDescriptorControl(oldSd.get(), &control, &dwRevision))
      throw CZELGetSecurityDescriptorControlException(u"pOldSD", lastError(), ZEL_SOURCE, __LINE__,
                                                      1, true, false);
    zelsys::SECURITY_DESCRIPTOR_CONTROL wanted = 0;
    if (control & zelsys::SE_DACL_AUTO_INHERITED)
      wanted = zelsys::SE_DACL_AUTO_INHERIT_REQ | zelsys::SE_DACL_AUTO_INHERITED;
    else if (control & zelsys::SE_DACL_PROTECTED)
      wanted = zelsys::SE_DACL_PROTECTED;
    if (wanted != 0 && !zelsys::SetSecurityDescriptorControl(&newSd, wanted, wanted))
      throw CZELSetSecurityDescriptorControlException(u"newSD", lastError(), ZEL_SOURCE, __LINE__,
                                                      1, true, false);

    // Written back.
    if (!zelsys::SetFileSecurityW(pszPath, zelsys::DACL_SECURITY_INFORMATION, &newSd))
      throw CZELSetFileSecurityException(pszPath, lastError(), ZEL_SOURCE, __LINE__, 1, true,
                                         false);
    return true;
  });
}
