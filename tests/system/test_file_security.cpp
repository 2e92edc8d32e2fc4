// test_file_security.cpp - the file-security half of CZELWindowsProcess,
// read back through the platform's own calls: full access for the Users
// group placed before the inherited entries, ownership for Administrators.
#include "zel_logged_on_user.h"
#include "zel_test_support.h"
#include "zel_windowsprocess.h"
#include "zelsys/zelsys.h"

#include <cstring>
#include <string>
#include <vector>

using namespace zelsys;

namespace {

const std::u16string ROOT = u"C:\\FixwellSecurityTest";
using Bytes = std::vector<BYTE>;

struct Ace {
  BYTE type = ACCESS_ALLOWED_ACE_TYPE;
  BYTE flags = 0;
  DWORD mask = 0;
  Bytes sid;
  bool operator==(const Ace &) const = default;
};

Bytes wellKnown(WELL_KNOWN_SID_TYPE type) {
  Bytes sid(SECURITY_MAX_SID_SIZE);
  DWORD cbSid = SECURITY_MAX_SID_SIZE;
  EXPECT_TRUE(CreateWellKnownSid(type, nullptr, sid.data(), &cbSid));
  sid.resize(cbSid);
  return sid;
}

// The file's descriptor, by the two-call size protocol.
std::vector<DWORD> descriptorOf(const std::u16string &path, SECURITY_INFORMATION info) {
  DWORD cbNeeded = 0;
  EXPECT_FALSE(GetFileSecurityW(path.c_str(), info, nullptr, 0, &cbNeeded));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  std::vector<DWORD> sd((cbNeeded + 3) / 4);
  EXPECT_TRUE(GetFileSecurityW(path.c_str(), info, sd.data(), cbNeeded, &cbNeeded));
  return sd;
}

std::vector<Ace> daclOf(const std::u16string &path, WORD &control) {
  std::vector<DWORD> sd = descriptorOf(path, DACL_SECURITY_INFORMATION);
  BOOL bPresent = FALSE, bDefaulted = FALSE;
  ACL *pAcl = nullptr;
  DWORD dwRevision = 0;
  EXPECT_TRUE(GetSecurityDescriptorDacl(sd.data(), &bPresent, &pAcl, &bDefaulted));
  EXPECT_TRUE(GetSecurityDescriptorControl(sd.data(), &control, &dwRevision));
  std::vector<Ace> aces;
  for (DWORD i = 0; bPresent && pAcl != nullptr && i < pAcl->AceCount; ++i) {
    void *pAce = nullptr;
    EXPECT_TRUE(GetAce(pAcl, i, &pAce));
    const auto *pAllowed = static_cast<const ACCESS_ALLOWED_ACE *>(pAce);
    auto *pSid = const_cast<DWORD *>(&pAllowed->SidStart);
    const auto *pBytes = reinterpret_cast<const BYTE *>(pSid);
    aces.push_back({pAllowed->Header.AceType, pAllowed->Header.AceFlags, pAllowed->Mask,
                    Bytes(pBytes, pBytes + GetLengthSid(pSid))});
  }
  return aces;
}

void setDacl(const std::u16string &path, const std::vector<Ace> &aces, WORD control) {
  std::vector<DWORD> acl(256);
  auto *pAcl = reinterpret_cast<ACL *>(acl.data());
  ASSERT_TRUE(InitializeAcl(pAcl, static_cast<DWORD>(acl.size() * 4), ACL_REVISION));
  for (const Ace &ace : aces) {
    std::vector<DWORD> entry((8 + ace.sid.size()) / 4);
    const ACE_HEADER header{ace.type, ace.flags, static_cast<WORD>(entry.size() * 4)};
    std::memcpy(entry.data(), &header, sizeof header);
    entry[1] = ace.mask;
    std::memcpy(&entry[2], ace.sid.data(), ace.sid.size());
    ASSERT_TRUE(AddAce(pAcl, ACL_REVISION, 0xFFFFFFFFu, entry.data(), header.AceSize));
  }
  SECURITY_DESCRIPTOR sd{};
  ASSERT_TRUE(InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION));
  ASSERT_TRUE(SetSecurityDescriptorDacl(&sd, TRUE, pAcl, FALSE));
  ASSERT_TRUE(SetSecurityDescriptorControl(&sd, control, control));
  ASSERT_TRUE(SetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION, &sd));
}

void removeTree() {
  const std::u16string file = ROOT + u"\\granted.txt";
  SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileW(file.c_str());
  RemoveDirectoryW(ROOT.c_str());
}

class FileSecurityTest : public ::testing::Test {
protected:
  void SetUp() override {
    removeTree();
    ASSERT_TRUE(CreateDirectoryW(ROOT.c_str(), nullptr));
  }
  void TearDown() override { removeTree(); }
  // A file in a folder whose two entries its files inherit.
  std::u16string inheritingFile() {
    const BYTE inherit = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
    setDacl(ROOT,
            {{ACCESS_ALLOWED_ACE_TYPE, inherit, FILE_ALL_ACCESS, admins},
             {ACCESS_ALLOWED_ACE_TYPE, inherit, FILE_GENERIC_READ, users}},
            0);
    const std::u16string path = ROOT + u"\\granted.txt";
    EXPECT_TRUE(zeltest::writeFileBytes(path, "data"));
    return path;
  }
  const Bytes admins = wellKnown(WinBuiltinAdministratorsSid);
  const Bytes users = wellKnown(WinBuiltinUsersSid);
};

} // namespace

TEST_F(FileSecurityTest, FullAccessReplacesTheExplicitEntryBeforeTheInheritedOnes) {
  const std::u16string path = inheritingFile();
  WORD control = 0;
  std::vector<Ace> inherited = daclOf(path, control);
  std::erase_if(inherited, [](const Ace &ace) { return (ace.flags & INHERITED_ACE) == 0; });
  ZEL_EXPECT_GAP_ON_WINE(inherited.size() == 2, "Wine gives a new file no inherited entries");
  // An explicit read entry for the group, ahead of what the file inherits.
  std::vector<Ace> before{{ACCESS_ALLOWED_ACE_TYPE, 0, FILE_GENERIC_READ, users}};
  before.insert(before.end(), inherited.begin(), inherited.end());
  setDacl(path, before, SE_DACL_AUTO_INHERITED);
  WORD readControl = 0;
  ZEL_EXPECT_GAP_ON_WINE(daclOf(path, readControl) == before,
                         "Wine keeps no access list: it reads one back from the Unix mode");

  CZELWindowsProcess process;
  zeltest::RecordingSink sink;
  ASSERT_TRUE(process.addAccessRights(path.c_str(), true));
  EXPECT_EQ(sink.count(), 0u);
  // Windows may store the generic right as given or mapped to the file's.
  std::vector<Ace> after = daclOf(path, control);
  for (Ace &ace : after)
    if (ace.mask == GENERIC_ALL)
      ace.mask = FILE_ALL_ACCESS;
  std::vector<Ace> expected{{ACCESS_ALLOWED_ACE_TYPE, 0, FILE_ALL_ACCESS, users}};
  expected.insert(expected.end(), inherited.begin(), inherited.end());
  ZEL_EXPECT_GAP_ON_WINE(after == expected, "Wine keeps no access list");
  ZEL_EXPECT_GAP_ON_WINE((control & SE_DACL_AUTO_INHERITED) != 0, "Wine keeps no access list");

  // A missing file is one logged failure and false.
  EXPECT_FALSE(process.addAccessRights((ROOT + u"\\missing.txt").c_str(), true));
  EXPECT_EQ(sink.countMessage(u"GetFileSecurity call failed for file:" + ROOT + u"\\missing.txt"),
            1u);
}

TEST_F(FileSecurityTest, TakeOwnershipGivesTheFileToAdministrators) {
  const std::u16string path = ROOT + u"\\granted.txt";
  ASSERT_TRUE(zeltest::writeFileBytes(path, "data"));
  CZELWindowsProcess process;
  ASSERT_TRUE(process.takeOwnership(path.c_str()));
  std::vector<DWORD> sd = descriptorOf(path, OWNER_SECURITY_INFORMATION);
  PSID pOwner = nullptr;
  BOOL bDefaulted = FALSE;
  ASSERT_TRUE(GetSecurityDescriptorOwner(sd.data(), &pOwner, &bDefaulted));
  ASSERT_NE(pOwner, nullptr);
  ZEL_EXPECT_GAP_ON_WINE(EqualSid(pOwner, const_cast<BYTE *>(admins.data())) != FALSE,
                         "Wine reports the Unix owner of the file, whatever was set");

  zeltest::RecordingSink sink;
  EXPECT_FALSE(process.takeOwnership((ROOT + u"\\missing.txt").c_str()));
  EXPECT_EQ(
      sink.countMessage(u"SetNamedSecurityInfo call failed for object:" + ROOT + u"\\missing.txt"),
      1u);
}

TEST_F(FileSecurityTest, FullAccessForTheConsoleUserOrFalseWithoutOne) {
  const std::u16string path = inheritingFile();
  CZELBuffer<ZEL_BYTE> bufSid;
  const bool bConsoleUser = CZELLoggedOnUser().getSid(bufSid);
  CZELWindowsProcess process;
  zeltest::RecordingSink sink;
  EXPECT_EQ(process.addAccessRights(path.c_str(), false), bConsoleUser);
  if (!bConsoleUser) {
    EXPECT_EQ(sink.countMessage(u"An unhandled exception occurred"), 1u);
    return;
  }
  WORD control = 0;
  const std::vector<Ace> after = daclOf(path, control);
  ASSERT_FALSE(after.empty());
  ZEL_EXPECT_GAP_ON_WINE(after[0].sid ==
                             Bytes(bufSid.getBuffer(), bufSid.getBuffer() + bufSid.getSize()),
                         "Wine keeps no access list");
}

// The contracts of the list and SID calls the class builds on, on both
// platforms: sizes, room, indexes and the bits a caller may set.
TEST(FileSecurityCalls, ListsSidsAndDescriptorsKeepWindowsContracts) {
  const Bytes users = wellKnown(WinBuiltinUsersSid);
  const Bytes admins = wellKnown(WinBuiltinAdministratorsSid);
  EXPECT_EQ(users, (Bytes{1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x21, 2, 0, 0}));
  DWORD cbSid = 4;
  BYTE small[4] = {};
  EXPECT_FALSE(CreateWellKnownSid(WinBuiltinUsersSid, nullptr, small, &cbSid));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(cbSid, 16u);

  SID_IDENTIFIER_AUTHORITY nt{{0, 0, 0, 0, 0, 5}};
  PSID pAdmin = nullptr;
  ASSERT_TRUE(AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS,
                                       0, 0, 0, 0, 0, 0, &pAdmin));
  EXPECT_TRUE(EqualSid(pAdmin, const_cast<BYTE *>(admins.data())));
  EXPECT_FALSE(EqualSid(pAdmin, const_cast<BYTE *>(users.data())));
  EXPECT_EQ(GetLengthSid(pAdmin), 16u);
  FreeSid(pAdmin);

  // Room for exactly one entry for the group: a second one does not fit.
  std::vector<DWORD> memory(16, 0xDEADBEEFu);
  auto *pAcl = reinterpret_cast<ACL *>(memory.data());
  const DWORD cbAcl = sizeof(ACL) + 8 + 16;
  ASSERT_TRUE(InitializeAcl(pAcl, cbAcl, ACL_REVISION));
  EXPECT_TRUE(
      AddAccessAllowedAce(pAcl, ACL_REVISION, GENERIC_ALL, const_cast<BYTE *>(users.data())));
  SetLastError(0xDEADBEEFu);
  EXPECT_FALSE(
      AddAccessAllowedAce(pAcl, ACL_REVISION, GENERIC_ALL, const_cast<BYTE *>(users.data())));
  EXPECT_EQ(GetLastError(), ERROR_ALLOTTED_SPACE_EXCEEDED);
  EXPECT_EQ(memory[cbAcl / 4], 0xDEADBEEFu) << "written past the list";
  ACL_SIZE_INFORMATION info{};
  ASSERT_TRUE(GetAclInformation(pAcl, &info, sizeof info, AclSizeInformation));
  EXPECT_EQ(info.AceCount, 1u);
  EXPECT_EQ(info.AclBytesInUse, cbAcl);
  EXPECT_EQ(info.AclBytesFree, 0u);
  void *pAce = nullptr;
  EXPECT_FALSE(GetAce(pAcl, 1, &pAce));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(InitializeAcl(pAcl, 4, ACL_REVISION));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);

  SECURITY_DESCRIPTOR sd{};
  ASSERT_TRUE(InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION));
  EXPECT_FALSE(SetSecurityDescriptorControl(&sd, SE_DACL_PRESENT, SE_DACL_PRESENT));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_TRUE(SetSecurityDescriptorControl(&sd, SE_DACL_PROTECTED, SE_DACL_PROTECTED));
  WORD control = 0;
  DWORD dwRevision = 0;
  ASSERT_TRUE(GetSecurityDescriptorControl(&sd, &control, &dwRevision));
  EXPECT_EQ(control, SE_DACL_PROTECTED);
  EXPECT_EQ(dwRevision, 1u);
}
