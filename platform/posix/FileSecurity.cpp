//===- FileSecurity.cpp - Owners and access lists of files on the substitute ===//
//
// The owner and access list of files, the account lookup and the console
// session. The records are Windows' (SecurityRecords.h). A file's access list
// is enforced by its POSIX ACL; what POSIX cannot hold (the order of the
// entries, their flags, deny entries, exact masks) is kept beside it in the
// extended attribute "user.zelsys.dacl" and used only while the POSIX ACL
// still says what that list says, so a change made by host tools wins.
//
// Accounts: uid 0 and gid 0 are BUILTIN\Administrators (S-1-5-32-544), as
// an elevated administrator's files are owned by that group on Windows; the
// host group "users" is BUILTIN\Users (S-1-5-32-545); other users are
// S-1-5-21-<the machine's domain>-<uid>, other groups S-1-22-2-<gid>;
// "other" is Everyone (S-1-1-0). Other SIDs are kept in the list but give no
// host rights.
//
// Rights: read, write and execute stand for FILE_GENERIC_READ, _WRITE and
// _EXECUTE; all three read back as FILE_ALL_ACCESS. Allowed entries give
// rights (GENERIC_ALL gives all three); deny entries are kept but not
// enforced. Inheritance: on a folder, entries that objects inherit form its
// default ACL, which the host copies to every file created in it; a file
// read without a kept list shows the entries that its folder's default ACL
// holds as inherited (INHERITED_ACE), after its own ones.
//
// Owner: setting the owner changes the file's uid (Administrators: uid 0),
// the group its gid; the host refuses where it would refuse chown. The kept
// list is carried over to the new owner. Privileges are always granted.
// Only code that works on every Unix.
//
//===----------------------------------------------------------------------===//
#include "zelsys/filesecurity.h"
#include "Errors.h"
#include "HostPath.h"
#include "SecurityRecords.h"
#include "Utf.h"
#include "zelsys/kernel.h"
#include "zelsys/sysinfo.h"
#include "zelsys/winconst.h"

#include <acl/libacl.h>
#include <sys/acl.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <grp.h>
#include <map>
#include <pwd.h>
#include <string>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace zelsys {

namespace {

using posix::AceEntry;
using posix::Bytes;
using posix::failWith;
using posix::kAdministrators;
using posix::kEveryone;
using posix::kUsers;
using posix::makeSid;
using posix::sidBytes;
using posix::validSid;

constexpr char kKeptList[] = "user.zelsys.dacl";
// The emulated machine's domain, as its user's registry hive names it.
constexpr DWORD kMachineDomain[3] = {3520415761u, 2417853016u, 1264082235u};
constexpr DWORD kUnixGroupAuthority = 22;
constexpr DWORD kMaxDword = 0xFFFFFFFFu;
constexpr DWORD kErrorInvalidPrimaryGroup = 1308;

DWORD subAuthority(const Bytes &sid, std::size_t i) {
  DWORD value = 0;
  std::memcpy(&value, &sid[8 + 4 * i], 4);
  return value;
}

gid_t usersGroup() {
  const struct group *entry = ::getgrnam("users");
  return entry != nullptr ? entry->gr_gid : static_cast<gid_t>(-1);
}

Bytes sidOfUid(uid_t uid) {
  if (uid == 0)
    return kAdministrators;
  return makeSid(
      5, {21, kMachineDomain[0], kMachineDomain[1], kMachineDomain[2], static_cast<DWORD>(uid)});
}

Bytes sidOfGid(gid_t gid) {
  if (gid == 0)
    return kAdministrators;
  if (gid == usersGroup())
    return kUsers;
  return makeSid(kUnixGroupAuthority, {2, static_cast<DWORD>(gid)});
}

// The host user a SID names, if any.
bool uidOfSid(const Bytes &sid, uid_t &uid) {
  if (sid == kAdministrators) {
    uid = 0;
    return true;
  }
  if (sid.size() == 8 + 4 * 5 && sid[7] == 5 && subAuthority(sid, 0) == 21 &&
      subAuthority(sid, 1) == kMachineDomain[0] && subAuthority(sid, 2) == kMachineDomain[1] &&
      subAuthority(sid, 3) == kMachineDomain[2] && subAuthority(sid, 4) != 0) {
    uid = static_cast<uid_t>(subAuthority(sid, 4));
    return true;
  }
  return false;
}

bool gidOfSid(const Bytes &sid, gid_t &gid) {
  if (sid == kAdministrators) {
    gid = 0;
    return true;
  }
  if (sid == kUsers) {
    gid = usersGroup();
    return gid != static_cast<gid_t>(-1);
  }
  if (sid.size() == 8 + 4 * 2 && sid[7] == kUnixGroupAuthority && subAuthority(sid, 0) == 2) {
    gid = static_cast<gid_t>(subAuthority(sid, 1));
    return true;
  }
  return false;
}

// ---- Rights and the POSIX ACL ------------------------------------------------------
unsigned permsOfMask(DWORD mask) {
  if (mask & GENERIC_ALL)
    return 7;
  unsigned perms = 0;
  if (mask & (GENERIC_READ | 0x1u))
    perms |= 4;
  if (mask & (GENERIC_WRITE | 0x2u | 0x4u))
    perms |= 2;
  if (mask & (GENERIC_EXECUTE | 0x20u))
    perms |= 1;
  return perms;
}

DWORD maskOfPerms(unsigned perms) {
  if (perms == 7)
    return FILE_ALL_ACCESS;
  return ((perms & 4) ? FILE_GENERIC_READ : 0) | ((perms & 2) ? FILE_GENERIC_WRITE : 0) |
         ((perms & 1) ? FILE_GENERIC_EXECUTE : 0);
}

// One POSIX ACL without its mask: (tag, qualifier) => rwx bits.
using PosixAcl = std::map<std::pair<acl_tag_t, unsigned>, unsigned>;

PosixAcl baseAcl() {
  return {{{ACL_USER_OBJ, 0u}, 0u}, {{ACL_GROUP_OBJ, 0u}, 0u}, {{ACL_OTHER, 0u}, 0u}};
}

// Where the rights of a SID land on a file of this owner and group.
std::vector<std::pair<acl_tag_t, unsigned>> targetsOf(const Bytes &sid, const struct stat &st) {
  std::vector<std::pair<acl_tag_t, unsigned>> targets;
  if (sid == kEveryone)
    targets.emplace_back(ACL_OTHER, 0u);
  uid_t uid = 0;
  if (uidOfSid(sid, uid))
    targets.emplace_back(uid == st.st_uid ? ACL_USER_OBJ : ACL_USER,
                         uid == st.st_uid ? 0u : static_cast<unsigned>(uid));
  gid_t gid = 0;
  if (gidOfSid(sid, gid)) {
    // Administrators as the file's user already holds the rights.
    if (gid == st.st_gid)
      targets.emplace_back(ACL_GROUP_OBJ, 0u);
    else if (!(sid == kAdministrators && st.st_uid == 0))
      targets.emplace_back(ACL_GROUP, static_cast<unsigned>(gid));
  }
  return targets;
}

// The POSIX ACL an access list stands for: the file's own (bDefault false)
// or the default one of a folder.
PosixAcl project(const std::vector<AceEntry> &entries, const struct stat &st, bool bDefault) {
  PosixAcl acl = baseAcl();
  for (const AceEntry &entry : entries) {
    if (entry.type != ACCESS_ALLOWED_ACE_TYPE)
      continue;
    const bool applies = bDefault
                             ? (entry.flags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE)) != 0
                             : (entry.flags & INHERIT_ONLY_ACE) == 0;
    if (!applies)
      continue;
    for (const auto &target : targetsOf(entry.sid, st))
      acl[target] |= permsOfMask(entry.mask);
  }
  return acl;
}

// Reads a POSIX ACL; with bEffective the named and group entries are
// limited by the mask, as the host grants them. Missing: empty.
PosixAcl readPosix(const std::string &path, acl_type_t type, bool bEffective) {
  PosixAcl result;
  acl_t acl = ::acl_get_file(path.c_str(), type);
  if (acl == nullptr)
    return result;
  unsigned mask = 7;
  std::vector<std::pair<std::pair<acl_tag_t, unsigned>, unsigned>> entries;
  acl_entry_t entry;
  for (int which = ACL_FIRST_ENTRY; ::acl_get_entry(acl, which, &entry) == 1;
       which = ACL_NEXT_ENTRY) {
    acl_tag_t tag = ACL_UNDEFINED_TAG;
    ::acl_get_tag_type(entry, &tag);
    acl_permset_t permset;
    ::acl_get_permset(entry, &permset);
    const unsigned perms = (::acl_get_perm(permset, ACL_READ) == 1 ? 4u : 0u) |
                           (::acl_get_perm(permset, ACL_WRITE) == 1 ? 2u : 0u) |
                           (::acl_get_perm(permset, ACL_EXECUTE) == 1 ? 1u : 0u);
    unsigned id = 0;
    if (tag == ACL_USER || tag == ACL_GROUP) {
      void *pId = ::acl_get_qualifier(entry);
      if (pId != nullptr) {
        id = tag == ACL_USER ? static_cast<unsigned>(*static_cast<uid_t *>(pId))
                             : static_cast<unsigned>(*static_cast<gid_t *>(pId));
        ::acl_free(pId);
      }
    }
    if (tag == ACL_MASK)
      mask = perms;
    else
      entries.push_back({{tag, id}, perms});
  }
  ::acl_free(acl);
  for (const auto &[key, perms] : entries) {
    const bool limited =
        key.first == ACL_USER || key.first == ACL_GROUP || key.first == ACL_GROUP_OBJ;
    result[key] = bEffective && limited ? perms & mask : perms;
  }
  return result;
}

bool writePosix(const std::string &path, acl_type_t type, const PosixAcl &wanted) {
  acl_t acl = ::acl_init(static_cast<int>(wanted.size() + 1));
  if (acl == nullptr)
    return false;
  bool named = false;
  bool ok = true;
  for (const auto &[key, perms] : wanted) {
    acl_entry_t entry;
    acl_permset_t permset;
    ok = ok && ::acl_create_entry(&acl, &entry) == 0 && ::acl_set_tag_type(entry, key.first) == 0;
    if (ok && (key.first == ACL_USER || key.first == ACL_GROUP)) {
      named = true;
      const id_t id = key.second;
      ok = ::acl_set_qualifier(entry, &id) == 0;
    }
    ok = ok && ::acl_get_permset(entry, &permset) == 0 && ::acl_clear_perms(permset) == 0;
    if (ok && (perms & 4))
      ok = ::acl_add_perm(permset, ACL_READ) == 0;
    if (ok && (perms & 2))
      ok = ::acl_add_perm(permset, ACL_WRITE) == 0;
    if (ok && (perms & 1))
      ok = ::acl_add_perm(permset, ACL_EXECUTE) == 0;
  }
  // Without named entries no mask is needed, and the file keeps a plain mode.
  if (ok && named)
    ok = ::acl_calc_mask(&acl) == 0;
  ok = ok && ::acl_set_file(path.c_str(), type, acl) == 0;
  const int saved = errno;
  ::acl_free(acl);
  errno = saved;
  return ok;
}

// ---- A file's list, kept and enforced -----------------------------------------------
struct FileList {
  WORD control = 0; // SE_DACL_AUTO_INHERITED and SE_DACL_PROTECTED
  std::vector<AceEntry> entries;
};

bool readKept(const std::string &path, FileList &list) {
  const ssize_t size = ::getxattr(path.c_str(), kKeptList, nullptr, 0);
  if (size < static_cast<ssize_t>(2 + sizeof(ACL)))
    return false;
  Bytes bytes(static_cast<std::size_t>(size));
  if (::getxattr(path.c_str(), kKeptList, bytes.data(), bytes.size()) != size)
    return false;
  std::memcpy(&list.control, bytes.data(), 2);
  // Copied to aligned storage before it is read as a list.
  std::vector<DWORD> aligned((bytes.size() - 2 + 3) / 4);
  std::memcpy(aligned.data(), bytes.data() + 2, bytes.size() - 2);
  const auto *pAcl = reinterpret_cast<const ACL *>(aligned.data());
  return pAcl->AclSize <= bytes.size() - 2 && posix::parseAcl(pAcl, list.entries);
}

std::string parentOf(const std::string &path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == 0 || slash == std::string::npos ? std::string("/") : path.substr(0, slash);
}

void addMerged(std::vector<AceEntry> &entries, Bytes sid, DWORD mask, BYTE flags) {
  for (AceEntry &entry : entries)
    if (entry.sid == sid && entry.flags == flags) {
      entry.mask = maskOfPerms(permsOfMask(entry.mask) | permsOfMask(mask));
      return;
    }
  entries.push_back(AceEntry{ACCESS_ALLOWED_ACE_TYPE, flags, mask, std::move(sid)});
}

Bytes sidOfTarget(const std::pair<acl_tag_t, unsigned> &key, const struct stat &st) {
  switch (key.first) {
  case ACL_USER_OBJ:
    return sidOfUid(st.st_uid);
  case ACL_USER:
    return sidOfUid(static_cast<uid_t>(key.second));
  case ACL_GROUP_OBJ:
    return sidOfGid(st.st_gid);
  case ACL_GROUP:
    return sidOfGid(static_cast<gid_t>(key.second));
  default:
    return kEveryone;
  }
}

// The list a file's POSIX ACL stands for, when none is kept.
FileList synthesize(const std::string &path, const struct stat &st) {
  FileList list;
  const PosixAcl own = readPosix(path, ACL_TYPE_ACCESS, true);
  const PosixAcl fromParent = readPosix(parentOf(path), ACL_TYPE_DEFAULT, false);
  std::vector<AceEntry> inherited;
  for (const auto &[key, perms] : own) {
    if (perms == 0)
      continue;
    const auto found = fromParent.find(key);
    const bool bInherited = found != fromParent.end() && found->second != 0;
    addMerged(bInherited ? inherited : list.entries, sidOfTarget(key, st), maskOfPerms(perms),
              bInherited ? INHERITED_ACE : 0);
  }
  if (S_ISDIR(st.st_mode))
    for (const auto &[key, perms] : readPosix(path, ACL_TYPE_DEFAULT, false))
      if (perms != 0)
        addMerged(list.entries, sidOfTarget(key, st), maskOfPerms(perms),
                  OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE | INHERIT_ONLY_ACE);
  if (!inherited.empty())
    list.control |= SE_DACL_AUTO_INHERITED;
  list.entries.insert(list.entries.end(), inherited.begin(), inherited.end());
  return list;
}

// Whether a kept list still says what the POSIX ACLs say.
bool keptHolds(const std::string &path, const struct stat &st, const FileList &list) {
  if (project(list.entries, st, false) != readPosix(path, ACL_TYPE_ACCESS, false))
    return false;
  if (!S_ISDIR(st.st_mode))
    return true;
  const PosixAcl defaults = readPosix(path, ACL_TYPE_DEFAULT, false);
  const PosixAcl wanted = project(list.entries, st, true);
  return defaults.empty() ? wanted == baseAcl() : defaults == wanted;
}

FileList readList(const std::string &path, const struct stat &st) {
  FileList list;
  if (readKept(path, list) && keptHolds(path, st, list))
    return list;
  return synthesize(path, st);
}

// Enforces a list on the host and keeps it. A null list (bPresent false)
// grants everyone everything, as on Windows.
DWORD writeList(const std::string &path, const struct stat &st, const FileList *pList) {
  if (pList == nullptr) {
    PosixAcl all = baseAcl();
    for (auto &item : all)
      item.second = 7;
    if (!writePosix(path, ACL_TYPE_ACCESS, all))
      return posix::win32ErrorFromErrno(errno);
    if (S_ISDIR(st.st_mode))
      ::acl_delete_def_file(path.c_str());
    ::removexattr(path.c_str(), kKeptList);
    return ERROR_SUCCESS;
  }
  if (!writePosix(path, ACL_TYPE_ACCESS, project(pList->entries, st, false)))
    return posix::win32ErrorFromErrno(errno);
  if (S_ISDIR(st.st_mode)) {
    const PosixAcl defaults = project(pList->entries, st, true);
    const bool ok = defaults == baseAcl() ? ::acl_delete_def_file(path.c_str()) == 0
                                          : writePosix(path, ACL_TYPE_DEFAULT, defaults);
    if (!ok)
      return posix::win32ErrorFromErrno(errno);
  }
  Bytes kept(2, 0);
  std::memcpy(kept.data(), &pList->control, 2);
  const Bytes acl = posix::aclBytes(pList->entries);
  kept.insert(kept.end(), acl.begin(), acl.end());
  if (::setxattr(path.c_str(), kKeptList, kept.data(), kept.size(), 0) != 0)
    return posix::win32ErrorFromErrno(errno);
  return ERROR_SUCCESS;
}

DWORD resolve(LPCWSTR lpFileName, std::string &path, struct stat &st) {
  if (lpFileName == nullptr)
    return ERROR_INVALID_PARAMETER;
  DWORD dwError = ERROR_SUCCESS;
  if (!posix::hostPathFromWindows(lpFileName, path, dwError))
    return dwError;
  if (::stat(path.c_str(), &st) != 0)
    return posix::win32ErrorFromErrno(errno);
  return ERROR_SUCCESS;
}

// Changes the owner and/or group, carrying a kept list over.
DWORD changeOwner(const std::string &path, struct stat &st, PSID pOwner, PSID pGroup) {
  uid_t uid = static_cast<uid_t>(-1);
  gid_t gid = static_cast<gid_t>(-1);
  if (pOwner != nullptr && (!validSid(pOwner) || !uidOfSid(sidBytes(pOwner), uid)))
    return ERROR_INVALID_OWNER;
  if (pGroup != nullptr && (!validSid(pGroup) || !gidOfSid(sidBytes(pGroup), gid)))
    return kErrorInvalidPrimaryGroup;
  FileList list;
  const bool kept = readKept(path, list) && keptHolds(path, st, list);
  if (::chown(path.c_str(), uid, gid) != 0)
    return posix::win32ErrorFromErrno(errno);
  if (::stat(path.c_str(), &st) != 0)
    return posix::win32ErrorFromErrno(errno);
  return kept ? writeList(path, st, &list) : ERROR_SUCCESS;
}

} // namespace

// ---- SIDs --------------------------------------------------------------------------
BOOL LookupAccountNameW(LPCWSTR lpSystemName, LPCWSTR lpAccountName, PSID Sid, DWORD *cbSid,
                        LPWSTR ReferencedDomainName, DWORD *cchReferencedDomainName,
                        SID_NAME_USE *peUse) {
  if (lpSystemName != nullptr && lpSystemName[0] != u'\0')
    return failWith(ERROR_INVALID_COMPUTERNAME);
  if (lpAccountName == nullptr || cbSid == nullptr || cchReferencedDomainName == nullptr ||
      peUse == nullptr)
    return failWith(ERROR_INVALID_PARAMETER);
  WCHAR computer[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD computerSize = MAX_COMPUTERNAME_LENGTH + 1;
  if (!GetComputerNameW(computer, &computerSize))
    computer[0] = u'\0';
  std::u16string name(lpAccountName);
  std::u16string domain;
  if (const std::size_t slash = name.find(u'\\'); slash != std::u16string::npos) {
    domain = name.substr(0, slash);
    name = name.substr(slash + 1);
  }
  Bytes sid;
  std::u16string found;
  SID_NAME_USE use = SidTypeUser;
  const bool builtin = domain.empty() || posix::equalsIgnoreCase(domain, u"BUILTIN");
  if (builtin && posix::equalsIgnoreCase(name, u"Administrators")) {
    sid = kAdministrators, found = u"BUILTIN", use = SidTypeAlias;
  } else if (builtin && posix::equalsIgnoreCase(name, u"Users")) {
    sid = kUsers, found = u"BUILTIN", use = SidTypeAlias;
  } else if (domain.empty() && posix::equalsIgnoreCase(name, u"Everyone")) {
    sid = kEveryone, use = SidTypeWellKnownGroup;
  } else if (domain.empty() || posix::equalsIgnoreCase(domain, computer)) {
    const struct passwd *entry = ::getpwnam(posix::utf16ToUtf8(name).c_str());
    if (entry == nullptr)
      return failWith(ERROR_NONE_MAPPED);
    sid = sidOfUid(entry->pw_uid);
    found = computer;
    use = entry->pw_uid == 0 ? SidTypeAlias : SidTypeUser;
  } else {
    return failWith(ERROR_NONE_MAPPED);
  }
  if (Sid == nullptr || *cbSid < sid.size() || ReferencedDomainName == nullptr ||
      *cchReferencedDomainName <= found.size()) {
    *cbSid = static_cast<DWORD>(sid.size());
    *cchReferencedDomainName = static_cast<DWORD>(found.size() + 1);
    return failWith(ERROR_INSUFFICIENT_BUFFER);
  }
  std::memcpy(Sid, sid.data(), sid.size());
  std::copy(found.begin(), found.end(), ReferencedDomainName);
  ReferencedDomainName[found.size()] = u'\0';
  *cbSid = static_cast<DWORD>(sid.size());
  *cchReferencedDomainName = static_cast<DWORD>(found.size());
  *peUse = use;
  return TRUE;
}

// ---- File security -----------------------------------------------------------------
DWORD SetNamedSecurityInfoW(LPWSTR pObjectName, SE_OBJECT_TYPE ObjectType,
                            SECURITY_INFORMATION SecurityInfo, PSID psidOwner, PSID psidGroup,
                            ACL *pDacl, ACL *pSacl) {
  (void)pSacl;
  if (ObjectType != SE_FILE_OBJECT)
    return ERROR_INVALID_PARAMETER;
  if (SecurityInfo & SACL_SECURITY_INFORMATION)
    return ERROR_PRIVILEGE_NOT_HELD;
  std::string path;
  struct stat st {};
  if (const DWORD dwError = resolve(pObjectName, path, st))
    return dwError;
  if (SecurityInfo & (OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION)) {
    PSID pOwner = (SecurityInfo & OWNER_SECURITY_INFORMATION) ? psidOwner : nullptr;
    PSID pGroup = (SecurityInfo & GROUP_SECURITY_INFORMATION) ? psidGroup : nullptr;
    if ((SecurityInfo & OWNER_SECURITY_INFORMATION) && pOwner == nullptr)
      return ERROR_INVALID_OWNER;
    if (const DWORD dwError = changeOwner(path, st, pOwner, pGroup))
      return dwError;
  }
  if (SecurityInfo & DACL_SECURITY_INFORMATION) {
    FileList list;
    if (pDacl != nullptr && !posix::parseAcl(pDacl, list.entries))
      return ERROR_INVALID_ACL;
    return writeList(path, st, pDacl != nullptr ? &list : nullptr);
  }
  return ERROR_SUCCESS;
}

BOOL GetFileSecurityW(LPCWSTR lpFileName, SECURITY_INFORMATION RequestedInformation,
                      PSECURITY_DESCRIPTOR pSecurityDescriptor, DWORD nLength,
                      DWORD *lpnLengthNeeded) {
  if (lpnLengthNeeded == nullptr)
    return failWith(ERROR_NOACCESS);
  if (RequestedInformation & SACL_SECURITY_INFORMATION)
    return failWith(ERROR_PRIVILEGE_NOT_HELD);
  std::string path;
  struct stat st {};
  if (const DWORD dwError = resolve(lpFileName, path, st))
    return failWith(dwError);
  SECURITY_DESCRIPTOR_RELATIVE header{};
  header.Revision = SECURITY_DESCRIPTOR_REVISION;
  header.Control = SE_SELF_RELATIVE;
  Bytes body;
  auto append = [&](const Bytes &part) {
    const DWORD offset = static_cast<DWORD>(sizeof header + body.size());
    body.insert(body.end(), part.begin(), part.end());
    return offset;
  };
  if (RequestedInformation & OWNER_SECURITY_INFORMATION)
    header.Owner = append(sidOfUid(st.st_uid));
  if (RequestedInformation & GROUP_SECURITY_INFORMATION)
    header.Group = append(sidOfGid(st.st_gid));
  if (RequestedInformation & DACL_SECURITY_INFORMATION) {
    const FileList list = readList(path, st);
    header.Control |= static_cast<WORD>(SE_DACL_PRESENT | list.control);
    header.Dacl = append(posix::aclBytes(list.entries));
  }
  const DWORD size = static_cast<DWORD>(sizeof header + body.size());
  *lpnLengthNeeded = size;
  if (pSecurityDescriptor == nullptr || nLength < size)
    return failWith(ERROR_INSUFFICIENT_BUFFER);
  std::memcpy(pSecurityDescriptor, &header, sizeof header);
  std::memcpy(static_cast<BYTE *>(pSecurityDescriptor) + sizeof header, body.data(), body.size());
  return TRUE;
}

BOOL SetFileSecurityW(LPCWSTR lpFileName, SECURITY_INFORMATION SecurityInformation,
                      PSECURITY_DESCRIPTOR pSecurityDescriptor) {
  posix::Parts parts;
  if (!posix::partsOf(pSecurityDescriptor, parts))
    return failWith(ERROR_INVALID_SECURITY_DESCR);
  if (SecurityInformation & DACL_SECURITY_INFORMATION) {
    FileList list;
    if (parts.dacl != nullptr && !posix::parseAcl(parts.dacl, list.entries))
      return failWith(ERROR_INVALID_ACL);
  }
  if (SecurityInformation & SACL_SECURITY_INFORMATION)
    return failWith(ERROR_PRIVILEGE_NOT_HELD);
  std::string path;
  struct stat st {};
  if (const DWORD dwError = resolve(lpFileName, path, st))
    return failWith(dwError);
  PSID pOwner = (SecurityInformation & OWNER_SECURITY_INFORMATION) ? parts.owner : nullptr;
  PSID pGroup = (SecurityInformation & GROUP_SECURITY_INFORMATION) ? parts.group : nullptr;
  if (pOwner != nullptr || pGroup != nullptr)
    if (const DWORD dwError = changeOwner(path, st, pOwner, pGroup))
      return failWith(dwError);
  if (SecurityInformation & DACL_SECURITY_INFORMATION) {
    FileList list;
    list.control = parts.control & (SE_DACL_AUTO_INHERITED | SE_DACL_PROTECTED);
    if (parts.dacl != nullptr)
      posix::parseAcl(parts.dacl, list.entries);
    if (const DWORD dwError = writeList(path, st, parts.dacl != nullptr ? &list : nullptr))
      return failWith(dwError);
  }
  return TRUE;
}

// ---- Memory and the console session -----------------------------------------------
namespace {

// The console session is the host's terminal session: the calling process's
// session when it has a controlling terminal. Its user owns the session
// leader (the login shell).
bool consoleSession(pid_t &session, uid_t &uid) {
  std::string stat;
  if (FILE *file = std::fopen("/proc/self/stat", "r")) {
    char buffer[1024];
    const std::size_t got = std::fread(buffer, 1, sizeof buffer - 1, file);
    std::fclose(file);
    stat.assign(buffer, got);
  }
  // Fields after the command name: state ppid pgrp session tty_nr ...
  const std::size_t close = stat.rfind(')');
  if (close == std::string::npos)
    return false;
  char state = 0;
  long ppid = 0, pgrp = 0, sid = 0, tty = 0;
  if (std::sscanf(stat.c_str() + close + 1, " %c %ld %ld %ld %ld", &state, &ppid, &pgrp, &sid,
                  &tty) != 5 ||
      tty == 0 || sid <= 0)
    return false;
  struct stat leader {};
  if (::stat(("/proc/" + std::to_string(sid)).c_str(), &leader) != 0)
    return false;
  session = static_cast<pid_t>(sid);
  uid = leader.st_uid;
  return true;
}

} // namespace

DWORD WTSGetActiveConsoleSessionId() {
  pid_t session = 0;
  uid_t uid = 0;
  return consoleSession(session, uid) ? static_cast<DWORD>(session) : kMaxDword;
}

BOOL WTSQuerySessionInformationW(HANDLE hServer, DWORD SessionId, WTS_INFO_CLASS WTSInfoClass,
                                 LPWSTR *ppBuffer, DWORD *pBytesReturned) {
  if (hServer != nullptr)
    return failWith(ERROR_INVALID_HANDLE);
  if (ppBuffer == nullptr || pBytesReturned == nullptr)
    return failWith(ERROR_INVALID_PARAMETER);
  pid_t session = 0;
  uid_t uid = 0;
  if (!consoleSession(session, uid) || static_cast<DWORD>(session) != SessionId)
    return failWith(ERROR_FILE_NOT_FOUND);
  std::u16string answer;
  if (WTSInfoClass == WTSUserName) {
    const struct passwd *entry = ::getpwuid(uid);
    if (entry == nullptr)
      return failWith(ERROR_NONE_MAPPED);
    answer = posix::utf8ToUtf16(entry->pw_name);
  } else if (WTSInfoClass == WTSDomainName) {
    WCHAR computer[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    if (GetComputerNameW(computer, &size))
      answer = computer;
  } else {
    return failWith(ERROR_INVALID_PARAMETER);
  }
  auto *buffer = static_cast<WCHAR *>(std::calloc(answer.size() + 1, sizeof(WCHAR)));
  if (buffer == nullptr)
    return failWith(ERROR_NOT_ENOUGH_MEMORY);
  std::copy(answer.begin(), answer.end(), buffer);
  *ppBuffer = buffer;
  *pBytesReturned = static_cast<DWORD>((answer.size() + 1) * sizeof(WCHAR));
  return TRUE;
}

void WTSFreeMemory(LPVOID pMemory) { std::free(pMemory); }

} // namespace zelsys
