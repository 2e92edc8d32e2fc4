// test_kernel.cpp - conformance of the process-level kernel calls.
#include "zel_test_support.h"
#include "zelsys/kernel.h"
#include "zelsys/winconst.h"

#include <string>

using namespace zelsys;

TEST(LastError, IsKeptPerCallAndReadBack) {
  SetLastError(0xdeadbeef);
  EXPECT_EQ(GetLastError(), 0xdeadbeefu);
  SetLastError(ERROR_SUCCESS);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
}

TEST(GetModuleFileName, ProgramPathIsAnAbsoluteWindowsPath) {
  WCHAR path[MAX_PATH];
  SetLastError(0xdeadbeef);
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  ASSERT_GT(length, 3u);
  ASSERT_LT(length, MAX_PATH);
  EXPECT_EQ(path[length], u'\0');
  const std::u16string text(path, length);
  EXPECT_EQ(text.substr(1, 2), u":\\") << zeltest::narrow(text);
  EXPECT_EQ(text.find(u'/'), std::u16string::npos) << zeltest::narrow(text);
  const std::u16string tail = u"test_platform";
  EXPECT_NE(text.find(tail), std::u16string::npos) << zeltest::narrow(text);
}

TEST(GetModuleFileName, ShortBufferIsCutAndReported) {
  WCHAR full[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, full, MAX_PATH);
  ASSERT_GT(length, 5u);
  WCHAR cut[8];
  for (WCHAR &unit : cut)
    unit = 0xABCD;
  SetLastError(0xdeadbeef);
  EXPECT_EQ(GetModuleFileNameW(nullptr, cut, 5), 5u);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(std::u16string(cut, 4), std::u16string(full, 4));
  // Windows Vista and later terminate the cut path; XP does not, and Wine
  // behaves as XP.
  ZEL_EXPECT_GAP_ON_WINE(cut[4] == u'\0', "cut path left unterminated as on Windows XP");
  EXPECT_EQ(cut[5], 0xABCD) << "wrote past nSize";
}
