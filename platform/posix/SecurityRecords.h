//===- SecurityRecords.h - SIDs, access lists and descriptors as bytes -----===//
//
// The substitute's view of Windows' security records: SIDs, access-list
// entries, access lists and the two forms of security descriptor, read and
// built in Windows' binary layout (little-endian, entries DWORD-aligned, a
// SID's authority big-endian). Well-formedness is checked before anything
// is read. Only code that works on every Unix.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "zelsys/filesecurity.h"
#include "zelsys/winconst.h"

#include <cstddef>
#include <cstring>
#include <initializer_list>
#include <vector>

namespace zelsys::posix {

using Bytes = std::vector<BYTE>;

// ---- SIDs --------------------------------------------------------------------------
inline Bytes makeSid(BYTE authority, std::initializer_list<DWORD> subs) {
  Bytes sid(8 + 4 * subs.size(), 0);
  sid[0] = 1;
  sid[1] = static_cast<BYTE>(subs.size());
  sid[7] = authority;
  std::size_t at = 8;
  for (DWORD sub : subs) {
    std::memcpy(&sid[at], &sub, 4);
    at += 4;
  }
  return sid;
}

inline const Bytes kAdministrators =
    makeSid(5, {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS});
inline const Bytes kUsers = makeSid(5, {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_USERS});
inline const Bytes kEveryone = makeSid(1, {0});

inline bool validSid(const void *pSid) {
  const auto *p = static_cast<const BYTE *>(pSid);
  return p != nullptr && p[0] == 1 && p[1] <= 15;
}
inline DWORD sidSize(const void *pSid) { return 8 + 4 * static_cast<const BYTE *>(pSid)[1]; }
inline Bytes sidBytes(const void *pSid) {
  const auto *p = static_cast<const BYTE *>(pSid);
  return Bytes(p, p + sidSize(pSid));
}
// ---- Access lists ------------------------------------------------------------------
struct AceEntry {
  BYTE type = ACCESS_ALLOWED_ACE_TYPE;
  BYTE flags = 0;
  DWORD mask = 0;
  Bytes sid;
};

// Walks a list's entries; false for a list that is not well formed.
inline bool aceOffsets(const ACL *pAcl, std::vector<std::size_t> &offsets, std::size_t &used) {
  if (pAcl == nullptr || pAcl->AclRevision < 2 || pAcl->AclRevision > 4 ||
      pAcl->AclSize < sizeof(ACL))
    return false;
  const auto *base = reinterpret_cast<const BYTE *>(pAcl);
  std::size_t at = sizeof(ACL);
  offsets.clear();
  for (WORD i = 0; i < pAcl->AceCount; ++i) {
    if (at + sizeof(ACE_HEADER) > pAcl->AclSize)
      return false;
    ACE_HEADER header;
    std::memcpy(&header, base + at, sizeof header);
    if (header.AceSize < sizeof(ACE_HEADER) || header.AceSize % 4 != 0 ||
        at + header.AceSize > pAcl->AclSize)
      return false;
    offsets.push_back(at);
    at += header.AceSize;
  }
  used = at;
  return true;
}

inline bool parseAcl(const ACL *pAcl, std::vector<AceEntry> &entries) {
  std::vector<std::size_t> offsets;
  std::size_t used = 0;
  if (!aceOffsets(pAcl, offsets, used))
    return false;
  const auto *base = reinterpret_cast<const BYTE *>(pAcl);
  entries.clear();
  for (std::size_t at : offsets) {
    ACE_HEADER header;
    std::memcpy(&header, base + at, sizeof header);
    AceEntry entry;
    entry.type = header.AceType;
    entry.flags = header.AceFlags;
    if (header.AceType <= ACCESS_DENIED_ACE_TYPE) {
      if (header.AceSize < 8 + 8 || !validSid(base + at + 8) ||
          8 + sidSize(base + at + 8) > header.AceSize)
        return false;
      std::memcpy(&entry.mask, base + at + 4, 4);
      entry.sid = sidBytes(base + at + 8);
    } else {
      // Entries of other kinds are kept as they are, SID and all.
      entry.sid.assign(base + at + 4, base + at + header.AceSize);
    }
    entries.push_back(std::move(entry));
  }
  return true;
}

inline Bytes aceBytes(const AceEntry &entry) {
  const bool known = entry.type <= ACCESS_DENIED_ACE_TYPE;
  const std::size_t size = 4 + (known ? 4 : 0) + entry.sid.size();
  Bytes ace(size, 0);
  ace[0] = entry.type;
  ace[1] = entry.flags;
  const WORD wSize = static_cast<WORD>(size);
  std::memcpy(&ace[2], &wSize, 2);
  if (known) {
    std::memcpy(&ace[4], &entry.mask, 4);
    std::copy(entry.sid.begin(), entry.sid.end(), ace.begin() + 8);
  } else {
    std::copy(entry.sid.begin(), entry.sid.end(), ace.begin() + 4);
  }
  return ace;
}

inline Bytes aclBytes(const std::vector<AceEntry> &entries) {
  Bytes acl(sizeof(ACL), 0);
  for (const AceEntry &entry : entries) {
    const Bytes ace = aceBytes(entry);
    acl.insert(acl.end(), ace.begin(), ace.end());
  }
  ACL header{ACL_REVISION, 0, static_cast<WORD>(acl.size()), static_cast<WORD>(entries.size()), 0};
  std::memcpy(acl.data(), &header, sizeof header);
  return acl;
}

// The parts of a descriptor, absolute or self-relative.
struct Parts {
  WORD control = 0;
  PSID owner = nullptr;
  PSID group = nullptr;
  ACL *dacl = nullptr;
};

inline bool partsOf(PSECURITY_DESCRIPTOR pSd, Parts &parts) {
  if (pSd == nullptr)
    return false;
  const auto *header = static_cast<const SECURITY_DESCRIPTOR *>(pSd);
  if (header->Revision != SECURITY_DESCRIPTOR_REVISION)
    return false;
  parts.control = header->Control;
  if (header->Control & SE_SELF_RELATIVE) {
    const auto *relative = static_cast<const SECURITY_DESCRIPTOR_RELATIVE *>(pSd);
    auto *base = static_cast<BYTE *>(pSd);
    parts.owner = relative->Owner != 0 ? base + relative->Owner : nullptr;
    parts.group = relative->Group != 0 ? base + relative->Group : nullptr;
    parts.dacl = relative->Dacl != 0 ? reinterpret_cast<ACL *>(base + relative->Dacl) : nullptr;
  } else {
    parts.owner = header->Owner;
    parts.group = header->Group;
    parts.dacl = header->Dacl;
  }
  if (!(parts.control & SE_DACL_PRESENT))
    parts.dacl = nullptr;
  return true;
}

} // namespace zelsys::posix
