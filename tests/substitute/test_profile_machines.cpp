// test_profile_machines.cpp - the default user profile of machines laid out
// as each Windows version keeps its profile list, each in a fresh machine.
#include "zel_test_support.h"
#include "zelsys/kernel.h"
#include "zelsys/profile.h"
#include "zelsys/registry.h"
#include "zelsys/winconst.h"

#include <cstdlib>
#include <filesystem>
#include <string>

using namespace zelsys;

namespace {

// A profile-list value to write, or to delete when data is null.
struct ListValue {
  const char16_t *name;
  DWORD type;
  const char16_t *data;
};

const struct {
  const char *machine;
  ListValue values[3];
  const char16_t *expected; // null: the call fails with ERROR_FILE_NOT_FOUND
} CASES[] = {
    {"Windows 7 as seeded", {}, u"C:\\Users\\Default"},
    {"Windows XP",
     {{u"Default", REG_NONE, nullptr},
      {u"ProfilesDirectory", REG_EXPAND_SZ, u"%SystemDrive%\\Documents and Settings"},
      {u"DefaultUserProfile", REG_SZ, u"Default User"}},
     u"C:\\Documents and Settings\\Default User"},
    {"XP name left behind: Default wins",
     {{u"DefaultUserProfile", REG_SZ, u"Old"}},
     u"C:\\Users\\Default"},
    {"the profiles folder alone",
     {{u"Default", REG_NONE, nullptr}, {u"ProfilesDirectory", REG_EXPAND_SZ, u"E:\\Profiles\\"}},
     u"E:\\Profiles\\Default"},
    {"no folder named",
     {{u"Default", REG_NONE, nullptr}, {u"ProfilesDirectory", REG_NONE, nullptr}},
     nullptr},
};

} // namespace

TEST(ProfileMachines, EachVersionsProfileListGivesItsDefaultProfile) {
  const char *previous = std::getenv("ZEL_MACHINE");
  const std::string restore = previous ? previous : "";
  for (std::size_t i = 0; i < std::size(CASES); ++i) {
    SCOPED_TRACE(testing::Message() << "case " << i << ": " << CASES[i].machine);
    // A machine of its own, so the registry starts from the Windows 7 seed.
    std::string machine = (std::filesystem::temp_directory_path() / "zel-profile-XXXXXX").string();
    ASSERT_NE(::mkdtemp(machine.data()), nullptr);
    ::setenv("ZEL_MACHINE", machine.c_str(), 1);
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                            u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList", 0,
                            KEY_SET_VALUE, &key),
              0);
    for (const ListValue &value : CASES[i].values) {
      if (value.name == nullptr)
        break;
      const auto cbData = static_cast<DWORD>(
          value.data ? (std::char_traits<char16_t>::length(value.data) + 1) * 2 : 0);
      EXPECT_EQ(value.data ? RegSetValueExW(key, value.name, 0, value.type,
                                            reinterpret_cast<const BYTE *>(value.data), cbData)
                           : RegDeleteValueW(key, value.name),
                0);
    }
    RegCloseKey(key);

    WCHAR buffer[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    SetLastError(0xdeadbeef);
    const BOOL answered = GetDefaultUserProfileDirectoryW(buffer, &size);
    if (const char16_t *expected = CASES[i].expected) {
      EXPECT_TRUE(answered) << GetLastError();
      EXPECT_EQ(std::u16string(buffer), expected) << zeltest::narrow(buffer);
      EXPECT_EQ(size, std::char_traits<char16_t>::length(expected) + 1);
    } else {
      EXPECT_FALSE(answered);
      EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    }
    std::filesystem::remove_all(machine);
  }
  if (restore.empty())
    ::unsetenv("ZEL_MACHINE");
  else
    ::setenv("ZEL_MACHINE", restore.c_str(), 1);
}
