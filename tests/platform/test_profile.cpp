// test_profile.cpp - conformance of GetDefaultUserProfileDirectoryW and of
// the profile-list reading that stands in where the system cannot answer.
#include "ProfileList.h"
#include "zel_test_support.h"
#include "zelsys/kernel.h"
#include "zelsys/profile.h"
#include "zelsys/winconst.h"

#include <algorithm>
#include <string>
#include <vector>

using namespace zelsys;

namespace {

constexpr WCHAR PATTERN = 0xABCD;

struct Source {
  const char *name;
  BOOL (*call)(LPWSTR, DWORD *);
};

// The interface's call and the profile-list reading keep one contract.
const Source SOURCES[] = {
    {"GetDefaultUserProfileDirectoryW", GetDefaultUserProfileDirectoryW},
    {"profile list", common::defaultUserProfileFromProfileList},
};

} // namespace

TEST(DefaultUserProfile, KeepsTheSizeProtocolAndAnswersTheDefaultProfile) {
  std::u16string answers[2];
  for (std::size_t i = 0; i < 2; ++i) {
    const Source &source = SOURCES[i];
    SCOPED_TRACE(source.name);
    DWORD needed = 0;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(source.call(nullptr, &needed));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER) << "no buffer";
    ASSERT_GT(needed, 4u);

    // One unit short: nothing written, the size still reported.
    std::vector<WCHAR> buffer(needed + 8, PATTERN);
    DWORD size = needed - 1;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(source.call(buffer.data(), &size));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(size, needed);
    EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](WCHAR u) { return u == PATTERN; }));

    // Exactly the size needed: the path, its terminator and nothing more.
    size = needed;
    ASSERT_TRUE(source.call(buffer.data(), &size)) << GetLastError();
    answers[i] = buffer.data();
    EXPECT_EQ(answers[i].size() + 1, needed);
    EXPECT_EQ(buffer[needed], PATTERN) << "written past the buffer";
    const std::u16string name = answers[i].substr(answers[i].rfind(u'\\') + 1);
    EXPECT_TRUE(name == u"Default" || name == u"Default User") << zeltest::narrow(answers[i]);
    EXPECT_EQ(answers[i].find(u'%'), std::u16string::npos) << "expanded";

    SetLastError(0xdeadbeef);
    EXPECT_FALSE(source.call(buffer.data(), nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER) << "no size";
  }
  EXPECT_EQ(answers[0], answers[1]) << "the interface answers what the profile list says";
}

TEST(DefaultUserProfile, TheSystemsOwnCallAnswers) {
  WCHAR buffer[MAX_PATH];
  DWORD size = MAX_PATH;
  ZEL_EXPECT_GAP_ON_WINE(common::systemDefaultUserProfileDirectory(buffer, &size) != FALSE,
                         "Wine's GetDefaultUserProfileDirectoryW is a stub that always fails; the "
                         "interface answers from the profile list instead");
}
