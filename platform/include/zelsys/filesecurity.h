//===- zelsys/filesecurity.h - Owners and access lists of files ------------===//
//
// Security identifiers, access lists and security descriptors in Windows'
// binary layout, and the calls that read and write them on files, with the
// Windows names, argument order, results and last-error behaviour. Absolute
// descriptors hold pointers; those GetFileSecurityW fills are self-relative.
// The console user's name comes from the terminal-services calls. Constants
// are in winconst.h. This header may hold only declarations that compile on
// every platform.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "zelsys/wintypes.h"

namespace zelsys {

using PSID = void *;
using PSECURITY_DESCRIPTOR = void *;
using SECURITY_INFORMATION = DWORD;
using SECURITY_DESCRIPTOR_CONTROL = WORD;
using HLOCAL = void *;

struct SID_IDENTIFIER_AUTHORITY {
  BYTE Value[6]; // big-endian
};

// The header of an access list; its entries follow it.
struct ACL {
  BYTE AclRevision;
  BYTE Sbz1;
  WORD AclSize;
  WORD AceCount;
  WORD Sbz2;
};

struct ACE_HEADER {
  BYTE AceType;
  BYTE AceFlags;
  WORD AceSize;
};

// SidStart is the first DWORD of the SID, which runs on to AceSize.
struct ACCESS_ALLOWED_ACE {
  ACE_HEADER Header;
  DWORD Mask;
  DWORD SidStart;
};

struct ACL_SIZE_INFORMATION {
  DWORD AceCount;
  DWORD AclBytesInUse;
  DWORD AclBytesFree;
};

enum ACL_INFORMATION_CLASS { AclRevisionInformation = 1, AclSizeInformation = 2 };

// An absolute descriptor, built by the caller (InitializeSecurityDescriptor).
struct SECURITY_DESCRIPTOR {
  BYTE Revision;
  BYTE Sbz1;
  SECURITY_DESCRIPTOR_CONTROL Control;
  PSID Owner;
  PSID Group;
  ACL *Sacl;
  ACL *Dacl;
};

// A self-relative descriptor's header: offsets from its start, 0 for none.
struct SECURITY_DESCRIPTOR_RELATIVE {
  BYTE Revision;
  BYTE Sbz1;
  SECURITY_DESCRIPTOR_CONTROL Control;
  DWORD Owner;
  DWORD Group;
  DWORD Sacl;
  DWORD Dacl;
};

enum SE_OBJECT_TYPE { SE_UNKNOWN_OBJECT_TYPE = 0, SE_FILE_OBJECT = 1 };

enum WELL_KNOWN_SID_TYPE {
  WinWorldSid = 1,
  WinBuiltinAdministratorsSid = 26,
  WinBuiltinUsersSid = 27
};

enum WTS_INFO_CLASS { WTSUserName = 5, WTSDomainName = 7 };

enum SID_NAME_USE {
  SidTypeUser = 1,
  SidTypeGroup = 2,
  SidTypeAlias = 4,
  SidTypeWellKnownGroup = 5
};

// ---- SIDs --------------------------------------------------------------------
// The SID is allocated by the system and released with FreeSid.
BOOL AllocateAndInitializeSid(SID_IDENTIFIER_AUTHORITY *pIdentifierAuthority,
                              BYTE nSubAuthorityCount, DWORD nSubAuthority0, DWORD nSubAuthority1,
                              DWORD nSubAuthority2, DWORD nSubAuthority3, DWORD nSubAuthority4,
                              DWORD nSubAuthority5, DWORD nSubAuthority6, DWORD nSubAuthority7,
                              PSID *pSid);
PSID FreeSid(PSID pSid);
// On Windows looked up in advapi32 at run time (it is missing before XP);
// ERROR_CALL_NOT_IMPLEMENTED where it is missing. A small *cbSid fails with
// ERROR_INSUFFICIENT_BUFFER and the size needed.
BOOL CreateWellKnownSid(WELL_KNOWN_SID_TYPE WellKnownSidType, PSID DomainSid, PSID pSid,
                        DWORD *cbSid);
BOOL IsValidSid(PSID pSid);
BOOL EqualSid(PSID pSid1, PSID pSid2);
DWORD GetLengthSid(PSID pSid);
// The SID of an account name ("Users", "DOMAIN\name", a user's name).
BOOL LookupAccountNameW(LPCWSTR lpSystemName, LPCWSTR lpAccountName, PSID Sid, DWORD *cbSid,
                        LPWSTR ReferencedDomainName, DWORD *cchReferencedDomainName,
                        SID_NAME_USE *peUse);

// ---- File security -------------------------------------------------------------
// Returns a Win32 error code (ERROR_SUCCESS), not a BOOL.
DWORD SetNamedSecurityInfoW(LPWSTR pObjectName, SE_OBJECT_TYPE ObjectType,
                            SECURITY_INFORMATION SecurityInfo, PSID psidOwner, PSID psidGroup,
                            ACL *pDacl, ACL *pSacl);
// Fills a self-relative descriptor; a buffer too small (or null with
// nLength 0) fails with ERROR_INSUFFICIENT_BUFFER and the size needed.
BOOL GetFileSecurityW(LPCWSTR lpFileName, SECURITY_INFORMATION RequestedInformation,
                      PSECURITY_DESCRIPTOR pSecurityDescriptor, DWORD nLength,
                      DWORD *lpnLengthNeeded);
BOOL SetFileSecurityW(LPCWSTR lpFileName, SECURITY_INFORMATION SecurityInformation,
                      PSECURITY_DESCRIPTOR pSecurityDescriptor);

// ---- Descriptors -------------------------------------------------------------------
BOOL InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR pSecurityDescriptor, DWORD dwRevision);
BOOL GetSecurityDescriptorOwner(PSECURITY_DESCRIPTOR pSecurityDescriptor, PSID *pOwner,
                                BOOL *lpbOwnerDefaulted);
BOOL GetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR pSecurityDescriptor, BOOL *lpbDaclPresent,
                               ACL **pDacl, BOOL *lpbDaclDefaulted);
BOOL SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR pSecurityDescriptor, BOOL bDaclPresent,
                               ACL *pDacl, BOOL bDaclDefaulted);
BOOL GetSecurityDescriptorControl(PSECURITY_DESCRIPTOR pSecurityDescriptor,
                                  SECURITY_DESCRIPTOR_CONTROL *pControl, DWORD *lpdwRevision);
// Only the inheritance bits (SE_DACL_AUTO_INHERIT_REQ, ..._AUTO_INHERITED,
// ..._PROTECTED and their SACL twins), SE_DACL_UNTRUSTED and
// SE_SERVER_SECURITY may be set this way; others fail with
// ERROR_INVALID_PARAMETER.
BOOL SetSecurityDescriptorControl(PSECURITY_DESCRIPTOR pSecurityDescriptor,
                                  SECURITY_DESCRIPTOR_CONTROL ControlBitsOfInterest,
                                  SECURITY_DESCRIPTOR_CONTROL ControlBitsToSet);

// ---- Access lists -------------------------------------------------------------------
BOOL GetAclInformation(ACL *pAcl, LPVOID pAclInformation, DWORD nAclInformationLength,
                       ACL_INFORMATION_CLASS dwAclInformationClass);
BOOL InitializeAcl(ACL *pAcl, DWORD nAclLength, DWORD dwAclRevision);
BOOL GetAce(ACL *pAcl, DWORD dwAceIndex, LPVOID *pAce);
// dwStartingAceIndex MAXDWORD appends.
BOOL AddAce(ACL *pAcl, DWORD dwAceRevision, DWORD dwStartingAceIndex, LPVOID pAceList,
            DWORD nAceListLength);
BOOL AddAccessAllowedAce(ACL *pAcl, DWORD dwAceRevision, DWORD AccessMask, PSID pSid);

// ---- Memory and the console session -----------------------------------------------
HLOCAL LocalAlloc(UINT uFlags, SIZE_T uBytes);
// Null on success, the block on failure.
HLOCAL LocalFree(HLOCAL hMem);
// 0xFFFFFFFF when no session is attached to the console.
DWORD WTSGetActiveConsoleSessionId();
// hServer null: this machine. *ppBuffer is released with WTSFreeMemory.
BOOL WTSQuerySessionInformationW(HANDLE hServer, DWORD SessionId, WTS_INFO_CLASS WTSInfoClass,
                                 LPWSTR *ppBuffer, DWORD *pBytesReturned);
void WTSFreeMemory(LPVOID pMemory);

} // namespace zelsys
