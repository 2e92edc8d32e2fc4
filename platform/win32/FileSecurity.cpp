//===- FileSecurity.cpp - Owners and access lists of files on Windows ------===//
//
// Thin forwarders to advapi32, kernel32 and wtsapi32; the records are
// Windows' own, so pointers pass through unchanged. CreateWellKnownSid is
// looked up in advapi32 at run time, as Windows before XP lacks it. Only
// code for Windows belongs here.
//
//===----------------------------------------------------------------------===//
#include "zelsys/filesecurity.h"
#include "WindowsSupport.h"

#include <aclapi.h>
#include <cstddef>
#include <wtsapi32.h>

namespace zelsys {

namespace {

static_assert(sizeof(::ACL) == sizeof(ACL), "ACL size");
static_assert(sizeof(::ACE_HEADER) == sizeof(ACE_HEADER), "ACE_HEADER size");
static_assert(sizeof(::ACCESS_ALLOWED_ACE) == sizeof(ACCESS_ALLOWED_ACE), "ACE size");
static_assert(sizeof(::SECURITY_DESCRIPTOR) == sizeof(SECURITY_DESCRIPTOR), "SD size");
static_assert(offsetof(::SECURITY_DESCRIPTOR, Dacl) == offsetof(SECURITY_DESCRIPTOR, Dacl),
              "SD layout");
static_assert(sizeof(::SECURITY_DESCRIPTOR_RELATIVE) == sizeof(SECURITY_DESCRIPTOR_RELATIVE),
              "relative SD size");
static_assert(sizeof(::ACL_SIZE_INFORMATION) == sizeof(ACL_SIZE_INFORMATION), "ACL size info");

::PACL native(ACL *pAcl) { return reinterpret_cast<::PACL>(pAcl); }

} // namespace

BOOL AllocateAndInitializeSid(SID_IDENTIFIER_AUTHORITY *pIdentifierAuthority,
                              BYTE nSubAuthorityCount, DWORD nSubAuthority0, DWORD nSubAuthority1,
                              DWORD nSubAuthority2, DWORD nSubAuthority3, DWORD nSubAuthority4,
                              DWORD nSubAuthority5, DWORD nSubAuthority6, DWORD nSubAuthority7,
                              PSID *pSid) {
  return ::AllocateAndInitializeSid(
      reinterpret_cast<::PSID_IDENTIFIER_AUTHORITY>(pIdentifierAuthority), nSubAuthorityCount,
      nSubAuthority0, nSubAuthority1, nSubAuthority2, nSubAuthority3, nSubAuthority4,
      nSubAuthority5, nSubAuthority6, nSubAuthority7, pSid);
}

PSID FreeSid(PSID pSid) { return ::FreeSid(pSid); }

BOOL CreateWellKnownSid(WELL_KNOWN_SID_TYPE WellKnownSidType, PSID DomainSid, PSID pSid,
                        DWORD *cbSid) {
  using CreateFunction = ::BOOL(WINAPI *)(::WELL_KNOWN_SID_TYPE, ::PSID, ::PSID, ::DWORD *);
  const auto pCreate =
      win32::entryOf<CreateFunction>(::GetModuleHandleW(L"advapi32.dll"), "CreateWellKnownSid");
  if (pCreate == nullptr) {
    ::SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
  }
  return pCreate(static_cast<::WELL_KNOWN_SID_TYPE>(WellKnownSidType), DomainSid, pSid,
                 reinterpret_cast<::DWORD *>(cbSid));
}

BOOL IsValidSid(PSID pSid) { return ::IsValidSid(pSid); }
BOOL EqualSid(PSID pSid1, PSID pSid2) { return ::EqualSid(pSid1, pSid2); }
DWORD GetLengthSid(PSID pSid) { return ::GetLengthSid(pSid); }

BOOL LookupAccountNameW(LPCWSTR lpSystemName, LPCWSTR lpAccountName, PSID Sid, DWORD *cbSid,
                        LPWSTR ReferencedDomainName, DWORD *cchReferencedDomainName,
                        SID_NAME_USE *peUse) {
  ::SID_NAME_USE use = ::SidTypeUnknown;
  const ::BOOL bDone =
      ::LookupAccountNameW(win32::wide(lpSystemName), win32::wide(lpAccountName), Sid,
                           reinterpret_cast<::DWORD *>(cbSid), win32::wide(ReferencedDomainName),
                           reinterpret_cast<::DWORD *>(cchReferencedDomainName), &use);
  if (peUse != nullptr)
    *peUse = static_cast<SID_NAME_USE>(use);
  return bDone;
}

DWORD SetNamedSecurityInfoW(LPWSTR pObjectName, SE_OBJECT_TYPE ObjectType,
                            SECURITY_INFORMATION SecurityInfo, PSID psidOwner, PSID psidGroup,
                            ACL *pDacl, ACL *pSacl) {
  return ::SetNamedSecurityInfoW(win32::wide(pObjectName),
                                 static_cast<::SE_OBJECT_TYPE>(ObjectType), SecurityInfo, psidOwner,
                                 psidGroup, native(pDacl), native(pSacl));
}

BOOL GetFileSecurityW(LPCWSTR lpFileName, SECURITY_INFORMATION RequestedInformation,
                      PSECURITY_DESCRIPTOR pSecurityDescriptor, DWORD nLength,
                      DWORD *lpnLengthNeeded) {
  return ::GetFileSecurityW(win32::wide(lpFileName), RequestedInformation, pSecurityDescriptor,
                            nLength, reinterpret_cast<::DWORD *>(lpnLengthNeeded));
}

BOOL SetFileSecurityW(LPCWSTR lpFileName, SECURITY_INFORMATION SecurityInformation,
                      PSECURITY_DESCRIPTOR pSecurityDescriptor) {
  return ::SetFileSecurityW(win32::wide(lpFileName), SecurityInformation, pSecurityDescriptor);
}

BOOL InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR pSecurityDescriptor, DWORD dwRevision) {
  return ::InitializeSecurityDescriptor(pSecurityDescriptor, dwRevision);
}

BOOL GetSecurityDescriptorOwner(PSECURITY_DESCRIPTOR pSecurityDescriptor, PSID *pOwner,
                                BOOL *lpbOwnerDefaulted) {
  return ::GetSecurityDescriptorOwner(pSecurityDescriptor, pOwner,
                                      reinterpret_cast<::BOOL *>(lpbOwnerDefaulted));
}

BOOL GetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR pSecurityDescriptor, BOOL *lpbDaclPresent,
                               ACL **pDacl, BOOL *lpbDaclDefaulted) {
  return ::GetSecurityDescriptorDacl(
      pSecurityDescriptor, reinterpret_cast<::BOOL *>(lpbDaclPresent),
      reinterpret_cast<::PACL *>(pDacl), reinterpret_cast<::BOOL *>(lpbDaclDefaulted));
}

BOOL SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR pSecurityDescriptor, BOOL bDaclPresent,
                               ACL *pDacl, BOOL bDaclDefaulted) {
  return ::SetSecurityDescriptorDacl(pSecurityDescriptor, bDaclPresent, native(pDacl),
                                     bDaclDefaulted);
}

BOOL GetSecurityDescriptorControl(PSECURITY_DESCRIPTOR pSecurityDescriptor,
                                  SECURITY_DESCRIPTOR_CONTROL *pControl, DWORD *lpdwRevision) {
  return ::GetSecurityDescriptorControl(pSecurityDescriptor, pControl,
                                        reinterpret_cast<::DWORD *>(lpdwRevision));
}

BOOL SetSecurityDescriptorControl(PSECURITY_DESCRIPTOR pSecurityDescriptor,
                                  SECURITY_DESCRIPTOR_CONTROL ControlBitsOfInterest,
                                  SECURITY_DESCRIPTOR_CONTROL ControlBitsToSet) {
  return ::SetSecurityDescriptorControl(pSecurityDescriptor, ControlBitsOfInterest,
                                        ControlBitsToSet);
}

BOOL GetAclInformation(ACL *pAcl, LPVOID pAclInformation, DWORD nAclInformationLength,
                       ACL_INFORMATION_CLASS dwAclInformationClass) {
  return ::GetAclInformation(native(pAcl), pAclInformation, nAclInformationLength,
                             static_cast<::ACL_INFORMATION_CLASS>(dwAclInformationClass));
}

BOOL InitializeAcl(ACL *pAcl, DWORD nAclLength, DWORD dwAclRevision) {
  return ::InitializeAcl(native(pAcl), nAclLength, dwAclRevision);
}

BOOL GetAce(ACL *pAcl, DWORD dwAceIndex, LPVOID *pAce) {
  return ::GetAce(native(pAcl), dwAceIndex, pAce);
}

BOOL AddAce(ACL *pAcl, DWORD dwAceRevision, DWORD dwStartingAceIndex, LPVOID pAceList,
            DWORD nAceListLength) {
  return ::AddAce(native(pAcl), dwAceRevision, dwStartingAceIndex, pAceList, nAceListLength);
}

BOOL AddAccessAllowedAce(ACL *pAcl, DWORD dwAceRevision, DWORD AccessMask, PSID pSid) {
  return ::AddAccessAllowedAce(native(pAcl), dwAceRevision, AccessMask, pSid);
}

HLOCAL LocalAlloc(UINT uFlags, SIZE_T uBytes) { return ::LocalAlloc(uFlags, uBytes); }
HLOCAL LocalFree(HLOCAL hMem) { return ::LocalFree(hMem); }

DWORD WTSGetActiveConsoleSessionId() { return ::WTSGetActiveConsoleSessionId(); }

BOOL WTSQuerySessionInformationW(HANDLE hServer, DWORD SessionId, WTS_INFO_CLASS WTSInfoClass,
                                 LPWSTR *ppBuffer, DWORD *pBytesReturned) {
  return ::WTSQuerySessionInformationW(
      hServer, SessionId, static_cast<::WTS_INFO_CLASS>(WTSInfoClass),
      reinterpret_cast<::LPWSTR *>(ppBuffer), reinterpret_cast<::DWORD *>(pBytesReturned));
}

void WTSFreeMemory(LPVOID pMemory) { ::WTSFreeMemory(pMemory); }

} // namespace zelsys
