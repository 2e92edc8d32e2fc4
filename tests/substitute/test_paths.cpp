// test_paths.cpp - the substitute's Windows path rules and its mapping of
// Windows paths onto the host.
#include "HostPath.h"
#include "Utf.h"
#include "WindowsPath.h"
#include "zel_test_support.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using namespace zelsys::posix;

TEST(WindowsPath, ParsesAndNormalises) {
  struct Case {
    const char16_t *input;
    const char16_t *formatted;
    WindowsPath::Kind kind;
  };
  using K = WindowsPath::Kind;
  const Case cases[] = {
      {u"C:\\a\\b", u"C:\\a\\b", K::Absolute},
      {u"c:/a//b/", u"C:\\a\\b", K::Absolute},
      {u"C:\\a\\.\\b\\..\\c", u"C:\\a\\c", K::Absolute},
      {u"C:\\..\\..\\a", u"C:\\a", K::Absolute}, // ".." stops at the root
      {u"C:\\", u"C:\\", K::Absolute},
      {u"\\\\?\\C:\\a", u"C:\\a", K::Absolute},
      {u"C:a\\b", u"C:a\\b", K::DriveRelative},
      {u"\\a\\b", u"\\a\\b", K::Rooted},
      {u"a\\..\\..\\b", u"..\\b", K::Relative},
      {u"\\\\server\\share\\a", u"", K::Unsupported},
  };
  for (std::size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
    const WindowsPath path = parseWindowsPath(cases[i].input);
    EXPECT_EQ(path.kind, cases[i].kind) << "case " << i;
    if (path.kind != K::Unsupported) {
      EXPECT_EQ(formatWindowsPath(path), cases[i].formatted)
          << "case " << i << ": " << zeltest::narrow(formatWindowsPath(path));
    }
  }
}

TEST(WindowsPath, ResolvesAgainstABase) {
  const WindowsPath base = parseWindowsPath(u"C:\\work\\dir");
  struct Case {
    const char16_t *input;
    const char16_t *expected;
  };
  const Case cases[] = {
      {u"x", u"C:\\work\\dir\\x"}, {u"..\\..\\..\\x", u"C:\\x"},  {u"\\x", u"C:\\x"},
      {u"Z:\\x", u"Z:\\x"},        {u"C:x", u"C:\\work\\dir\\x"}, {u"D:x", u"D:\\x"},
  };
  for (std::size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i)
    EXPECT_EQ(formatWindowsPath(resolveAgainst(parseWindowsPath(cases[i].input), base)),
              cases[i].expected)
        << "case " << i;
}

TEST(CaseFolding, MatchesWindowsUpperCasing) {
  EXPECT_TRUE(equalsIgnoreCase(u"Software\\Wow6432Node", u"SOFTWARE\\wow6432node"));
  EXPECT_TRUE(equalsIgnoreCase(u"\u00e9t\u00e9", u"\u00c9T\u00c9")); // Latin-1
  EXPECT_TRUE(equalsIgnoreCase(u"\u0142\u017a", u"\u0141\u0179"));   // Latin Extended-A
  EXPECT_TRUE(equalsIgnoreCase(u"\u0434\u0451", u"\u0414\u0401"));   // Cyrillic
  EXPECT_FALSE(equalsIgnoreCase(u"ab", u"abc"));
  EXPECT_FALSE(equalsIgnoreCase(u"\u00f7", u"\u00d7")); // division and multiplication signs
}

class HostPaths : public ::testing::Test {
protected:
  void SetUp() override {
    std::string pattern = std::filesystem::temp_directory_path() / "zel-machine-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    m_root = pattern;
    const char *previous = std::getenv("ZEL_MACHINE");
    m_hadPrevious = previous != nullptr;
    if (previous)
      m_previous = previous;
    ::setenv("ZEL_MACHINE", m_root.c_str(), 1);
  }
  void TearDown() override {
    if (m_hadPrevious)
      ::setenv("ZEL_MACHINE", m_previous.c_str(), 1);
    else
      ::unsetenv("ZEL_MACHINE");
    std::system(("rm -rf '" + m_root + "'").c_str());
  }
  std::string m_root;
  std::string m_previous;
  bool m_hadPrevious = false;
};

TEST_F(HostPaths, DrivesMapOntoTheMachineAndTheHost) {
  std::string host;
  zelsys::DWORD error = 0;
  ASSERT_TRUE(hostPathFromWindows(u"c:\\windows\\system32\\x.dll", host, error));
  EXPECT_EQ(host, m_root + "/drive_c/Windows/System32/x.dll") << "existing case is kept";
  ASSERT_TRUE(hostPathFromWindows(u"Z:\\tmp", host, error));
  EXPECT_EQ(host, "/tmp");
  EXPECT_FALSE(hostPathFromWindows(u"D:\\x", host, error));
  EXPECT_EQ(error, 3u);
  EXPECT_FALSE(hostPathFromWindows(u"\\\\server\\share", host, error));
  EXPECT_EQ(error, 53u);
  EXPECT_FALSE(hostPathFromWindows(u"C:\\a?b", host, error));
  EXPECT_EQ(error, 123u);
}

TEST_F(HostPaths, HostFilesHaveWindowsPaths) {
  EXPECT_EQ(windowsPathFromHost(m_root + "/drive_c/Users/x"), u"C:\\Users\\x");
  EXPECT_EQ(windowsPathFromHost(m_root + "/drive_c"), u"C:\\");
  const std::u16string sibling = windowsPathFromHost(m_root + "/drive_cx");
  EXPECT_EQ(sibling.substr(0, 3), u"Z:\\")
      << "only the folder itself, not a name that begins the same";
  EXPECT_EQ(windowsPathFromHost("/usr/bin/env"), u"Z:\\usr\\bin\\env");
}
