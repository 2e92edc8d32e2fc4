//===- SecurityRecords.cpp - SID, list and descriptor calls on the substitute ===//
//
// The calls that only build, read and change security records in the
// caller's memory, as Windows documents them: SIDs (allocated with the C
// heap and released by FreeSid), access lists, descriptors, and local
// memory. Files are not touched here (FileSecurity.cpp). Only code that
// works on every Unix.
//
//===----------------------------------------------------------------------===//
#include "SecurityRecords.h"
#include "Errors.h"
#include "zelsys/kernel.h"

#include <algorithm>
#include <cstdlib>

namespace zelsys {

using posix::AceEntry;
using posix::Bytes;
using posix::failWith;
using posix::sidBytes;
using posix::sidSize;
using posix::validSid;

namespace {

constexpr DWORD kMaxDword = 0xFFFFFFFFu;

} // namespace

// ---- SIDs --------------------------------------------------------------------------
BOOL AllocateAndInitializeSid(SID_IDENTIFIER_AUTHORITY *pIdentifierAuthority,
                              BYTE nSubAuthorityCount, DWORD nSubAuthority0, DWORD nSubAuthority1,
                              DWORD nSubAuthority2, DWORD nSubAuthority3, DWORD nSubAuthority4,
                              DWORD nSubAuthority5, DWORD nSubAuthority6, DWORD nSubAuthority7,
                              PSID *pSid) {
  if (pIdentifierAuthority == nullptr || pSid == nullptr)
    return failWith(ERROR_NOACCESS);
  if (nSubAuthorityCount > 8)
    return failWith(ERROR_INVALID_SID);
  const DWORD subs[8] = {nSubAuthority0, nSubAuthority1, nSubAuthority2, nSubAuthority3,
                         nSubAuthority4, nSubAuthority5, nSubAuthority6, nSubAuthority7};
  auto *sid = static_cast<BYTE *>(std::calloc(1, 8 + 4 * nSubAuthorityCount));
  if (sid == nullptr)
    return failWith(ERROR_NOT_ENOUGH_MEMORY);
  sid[0] = 1;
  sid[1] = nSubAuthorityCount;
  std::memcpy(sid + 2, pIdentifierAuthority->Value, 6);
  std::memcpy(sid + 8, subs, 4 * nSubAuthorityCount);
  *pSid = sid;
  return TRUE;
}

PSID FreeSid(PSID pSid) {
  std::free(pSid);
  return nullptr;
}

BOOL CreateWellKnownSid(WELL_KNOWN_SID_TYPE WellKnownSidType, PSID DomainSid, PSID pSid,
                        DWORD *cbSid) {
  (void)DomainSid; // none of the known types needs a domain
  if (cbSid == nullptr)
    return failWith(ERROR_INVALID_PARAMETER);
  const Bytes *known = WellKnownSidType == WinWorldSid                   ? &posix::kEveryone
                       : WellKnownSidType == WinBuiltinAdministratorsSid ? &posix::kAdministrators
                       : WellKnownSidType == WinBuiltinUsersSid          ? &posix::kUsers
                                                                         : nullptr;
  if (known == nullptr)
    return failWith(ERROR_INVALID_PARAMETER);
  if (pSid == nullptr || *cbSid < known->size()) {
    *cbSid = static_cast<DWORD>(known->size());
    return failWith(ERROR_INSUFFICIENT_BUFFER);
  }
  std::memcpy(pSid, known->data(), known->size());
  *cbSid = static_cast<DWORD>(known->size());
  return TRUE;
}

BOOL IsValidSid(PSID pSid) { return validSid(pSid) ? TRUE : FALSE; }

BOOL EqualSid(PSID pSid1, PSID pSid2) {
  if (!validSid(pSid1) || !validSid(pSid2))
    return failWith(ERROR_INVALID_SID);
  SetLastError(ERROR_SUCCESS);
  return sidBytes(pSid1) == sidBytes(pSid2) ? TRUE : FALSE;
}

DWORD GetLengthSid(PSID pSid) { return validSid(pSid) ? sidSize(pSid) : 0; }

// ---- Descriptors -------------------------------------------------------------------
BOOL InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR pSecurityDescriptor, DWORD dwRevision) {
  if (pSecurityDescriptor == nullptr)
    return failWith(ERROR_NOACCESS);
  if (dwRevision != SECURITY_DESCRIPTOR_REVISION)
    return failWith(ERROR_UNKNOWN_REVISION);
  SECURITY_DESCRIPTOR empty{};
  empty.Revision = SECURITY_DESCRIPTOR_REVISION;
  std::memcpy(pSecurityDescriptor, &empty, sizeof empty);
  return TRUE;
}

BOOL GetSecurityDescriptorOwner(PSECURITY_DESCRIPTOR pSecurityDescriptor, PSID *pOwner,
                                BOOL *lpbOwnerDefaulted) {
  posix::Parts parts;
  if (pOwner == nullptr || lpbOwnerDefaulted == nullptr)
    return failWith(ERROR_NOACCESS);
  if (!posix::partsOf(pSecurityDescriptor, parts))
    return failWith(ERROR_UNKNOWN_REVISION);
  *pOwner = parts.owner;
  *lpbOwnerDefaulted = (parts.control & SE_OWNER_DEFAULTED) ? TRUE : FALSE;
  return TRUE;
}

BOOL GetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR pSecurityDescriptor, BOOL *lpbDaclPresent,
                               ACL **pDacl, BOOL *lpbDaclDefaulted) {
  posix::Parts parts;
  if (lpbDaclPresent == nullptr || pDacl == nullptr || lpbDaclDefaulted == nullptr)
    return failWith(ERROR_NOACCESS);
  if (!posix::partsOf(pSecurityDescriptor, parts))
    return failWith(ERROR_UNKNOWN_REVISION);
  *lpbDaclPresent = (parts.control & SE_DACL_PRESENT) ? TRUE : FALSE;
  // Windows leaves the other two alone when there is no list.
  if (*lpbDaclPresent) {
    *pDacl = parts.dacl;
    *lpbDaclDefaulted = (parts.control & SE_DACL_DEFAULTED) ? TRUE : FALSE;
  }
  return TRUE;
}

BOOL SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR pSecurityDescriptor, BOOL bDaclPresent,
                               ACL *pDacl, BOOL bDaclDefaulted) {
  if (pSecurityDescriptor == nullptr)
    return failWith(ERROR_NOACCESS);
  auto *sd = static_cast<SECURITY_DESCRIPTOR *>(pSecurityDescriptor);
  if (sd->Revision != SECURITY_DESCRIPTOR_REVISION)
    return failWith(ERROR_UNKNOWN_REVISION);
  if (sd->Control & SE_SELF_RELATIVE)
    return failWith(ERROR_INVALID_SECURITY_DESCR);
  sd->Control = static_cast<WORD>(sd->Control & ~(SE_DACL_PRESENT | SE_DACL_DEFAULTED));
  sd->Dacl = nullptr;
  if (bDaclPresent) {
    sd->Control |= SE_DACL_PRESENT;
    sd->Dacl = pDacl;
    if (bDaclDefaulted)
      sd->Control |= SE_DACL_DEFAULTED;
  }
  return TRUE;
}

BOOL GetSecurityDescriptorControl(PSECURITY_DESCRIPTOR pSecurityDescriptor,
                                  SECURITY_DESCRIPTOR_CONTROL *pControl, DWORD *lpdwRevision) {
  if (pSecurityDescriptor == nullptr || pControl == nullptr || lpdwRevision == nullptr)
    return failWith(ERROR_NOACCESS);
  const auto *sd = static_cast<const SECURITY_DESCRIPTOR *>(pSecurityDescriptor);
  *lpdwRevision = sd->Revision;
  if (sd->Revision != SECURITY_DESCRIPTOR_REVISION)
    return failWith(ERROR_UNKNOWN_REVISION);
  *pControl = sd->Control;
  return TRUE;
}

BOOL SetSecurityDescriptorControl(PSECURITY_DESCRIPTOR pSecurityDescriptor,
                                  SECURITY_DESCRIPTOR_CONTROL ControlBitsOfInterest,
                                  SECURITY_DESCRIPTOR_CONTROL ControlBitsToSet) {
  // SE_DACL_UNTRUSTED (0x40) and SE_SERVER_SECURITY (0x80) too, as Windows.
  constexpr WORD kSettable = 0x40 | 0x80 | SE_DACL_AUTO_INHERIT_REQ | SE_SACL_AUTO_INHERIT_REQ |
                             SE_DACL_AUTO_INHERITED | SE_SACL_AUTO_INHERITED | SE_DACL_PROTECTED |
                             SE_SACL_PROTECTED;
  if (pSecurityDescriptor == nullptr)
    return failWith(ERROR_NOACCESS);
  auto *sd = static_cast<SECURITY_DESCRIPTOR *>(pSecurityDescriptor);
  if (sd->Revision != SECURITY_DESCRIPTOR_REVISION)
    return failWith(ERROR_UNKNOWN_REVISION);
  if ((ControlBitsOfInterest & ~kSettable) != 0 || (ControlBitsToSet & ~kSettable) != 0)
    return failWith(ERROR_INVALID_PARAMETER);
  sd->Control = static_cast<WORD>((sd->Control & ~ControlBitsOfInterest) |
                                  (ControlBitsToSet & ControlBitsOfInterest));
  return TRUE;
}

// ---- Access lists -------------------------------------------------------------------
BOOL GetAclInformation(ACL *pAcl, LPVOID pAclInformation, DWORD nAclInformationLength,
                       ACL_INFORMATION_CLASS dwAclInformationClass) {
  std::vector<std::size_t> offsets;
  std::size_t used = 0;
  if (pAclInformation == nullptr)
    return failWith(ERROR_NOACCESS);
  if (!posix::aceOffsets(pAcl, offsets, used))
    return failWith(ERROR_INVALID_ACL);
  if (dwAclInformationClass == AclSizeInformation) {
    if (nAclInformationLength < sizeof(ACL_SIZE_INFORMATION))
      return failWith(ERROR_INSUFFICIENT_BUFFER);
    const ACL_SIZE_INFORMATION info{pAcl->AceCount, static_cast<DWORD>(used),
                                    static_cast<DWORD>(pAcl->AclSize - used)};
    std::memcpy(pAclInformation, &info, sizeof info);
    return TRUE;
  }
  if (dwAclInformationClass == AclRevisionInformation) {
    if (nAclInformationLength < sizeof(DWORD))
      return failWith(ERROR_INSUFFICIENT_BUFFER);
    const DWORD revision = pAcl->AclRevision;
    std::memcpy(pAclInformation, &revision, sizeof revision);
    return TRUE;
  }
  return failWith(ERROR_INVALID_PARAMETER);
}

BOOL InitializeAcl(ACL *pAcl, DWORD nAclLength, DWORD dwAclRevision) {
  if (pAcl == nullptr)
    return failWith(ERROR_NOACCESS);
  if (nAclLength < sizeof(ACL))
    return failWith(ERROR_INSUFFICIENT_BUFFER);
  if (dwAclRevision < 2 || dwAclRevision > 4 || nAclLength > 0xFFFF)
    return failWith(ERROR_INVALID_PARAMETER);
  const ACL header{static_cast<BYTE>(dwAclRevision), 0, static_cast<WORD>(nAclLength & ~3u), 0, 0};
  std::memcpy(pAcl, &header, sizeof header);
  return TRUE;
}

BOOL GetAce(ACL *pAcl, DWORD dwAceIndex, LPVOID *pAce) {
  std::vector<std::size_t> offsets;
  std::size_t used = 0;
  if (pAce == nullptr)
    return failWith(ERROR_NOACCESS);
  if (!posix::aceOffsets(pAcl, offsets, used))
    return failWith(ERROR_INVALID_ACL);
  if (dwAceIndex >= offsets.size())
    return failWith(ERROR_INVALID_PARAMETER);
  *pAce = reinterpret_cast<BYTE *>(pAcl) + offsets[dwAceIndex];
  return TRUE;
}

BOOL AddAce(ACL *pAcl, DWORD dwAceRevision, DWORD dwStartingAceIndex, LPVOID pAceList,
            DWORD nAceListLength) {
  std::vector<std::size_t> offsets;
  std::size_t used = 0;
  if (!posix::aceOffsets(pAcl, offsets, used))
    return failWith(ERROR_INVALID_ACL);
  if (dwAceRevision < 2 || dwAceRevision > 4 || pAceList == nullptr)
    return failWith(ERROR_INVALID_PARAMETER);
  // The list must be whole entries.
  const auto *list = static_cast<const BYTE *>(pAceList);
  WORD count = 0;
  for (std::size_t at = 0; at < nAceListLength; ++count) {
    ACE_HEADER header;
    if (at + sizeof header > nAceListLength)
      return failWith(ERROR_INVALID_PARAMETER);
    std::memcpy(&header, list + at, sizeof header);
    if (header.AceSize < sizeof header || at + header.AceSize > nAceListLength)
      return failWith(ERROR_INVALID_PARAMETER);
    at += header.AceSize;
  }
  if (used + nAceListLength > pAcl->AclSize)
    return failWith(ERROR_INSUFFICIENT_BUFFER);
  auto *base = reinterpret_cast<BYTE *>(pAcl);
  const std::size_t insertAt =
      dwStartingAceIndex == kMaxDword || dwStartingAceIndex >= offsets.size()
          ? used
          : offsets[dwStartingAceIndex];
  std::memmove(base + insertAt + nAceListLength, base + insertAt, used - insertAt);
  std::memcpy(base + insertAt, list, nAceListLength);
  pAcl->AceCount = static_cast<WORD>(pAcl->AceCount + count);
  pAcl->AclRevision = static_cast<BYTE>(std::max<DWORD>(pAcl->AclRevision, dwAceRevision));
  return TRUE;
}

BOOL AddAccessAllowedAce(ACL *pAcl, DWORD dwAceRevision, DWORD AccessMask, PSID pSid) {
  std::vector<std::size_t> offsets;
  std::size_t used = 0;
  if (!posix::aceOffsets(pAcl, offsets, used))
    return failWith(ERROR_INVALID_ACL);
  if (!validSid(pSid))
    return failWith(ERROR_INVALID_SID);
  if (dwAceRevision < 2 || dwAceRevision > 4)
    return failWith(ERROR_REVISION_MISMATCH);
  const Bytes ace =
      posix::aceBytes(AceEntry{ACCESS_ALLOWED_ACE_TYPE, 0, AccessMask, sidBytes(pSid)});
  if (used + ace.size() > pAcl->AclSize)
    return failWith(ERROR_ALLOTTED_SPACE_EXCEEDED);
  std::memcpy(reinterpret_cast<BYTE *>(pAcl) + used, ace.data(), ace.size());
  pAcl->AceCount = static_cast<WORD>(pAcl->AceCount + 1);
  return TRUE;
}

// ---- Memory -------------------------------------------------------------------------
HLOCAL LocalAlloc(UINT uFlags, SIZE_T uBytes) {
  void *p = (uFlags & LMEM_ZEROINIT) ? std::calloc(1, uBytes == 0 ? 1 : uBytes)
                                     : std::malloc(uBytes == 0 ? 1 : uBytes);
  if (p == nullptr)
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return p;
}

HLOCAL LocalFree(HLOCAL hMem) {
  std::free(hMem);
  return nullptr;
}

} // namespace zelsys
