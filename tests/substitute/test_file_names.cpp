// test_file_names.cpp - the substitute's Win32 name rules, DOS wildcard
// matching and DOS attribute rules, as pure functions from tables.
#include "DosAttributes.h"
#include "FileNames.h"
#include "zel_test_support.h"
#include "zelsys/winconst.h"

#include <iterator>

using namespace zelsys;
using namespace zelsys::posix;

TEST(FileNames, DevicesAreKnownByTheirStem) {
  struct Case {
    const char16_t *name;
    DosDevice device;
  };
  const Case cases[] = {
      {u"NUL", DosDevice::Null},   {u"nul.txt", DosDevice::Null}, {u"Nul .a.b", DosDevice::Null},
      {u"con", DosDevice::Other},  {u"COM1", DosDevice::Other},   {u"lpt9.log", DosDevice::Other},
      {u"aux", DosDevice::Other},  {u"prn.", DosDevice::Other},   {u"COM0", DosDevice::None},
      {u"com10", DosDevice::None}, {u"nula", DosDevice::None},    {u"x.nul", DosDevice::None},
      {u" nul", DosDevice::None},  {u"LPT", DosDevice::None},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(dosDeviceOf(cases[i].name), cases[i].device) << "case " << i;
}

// What the conformance test cannot show on Wine, which has no DOS rules.
TEST(FileNames, PatternsFollowTheDosRules) {
  struct Case {
    const char16_t *pattern;
    const char16_t *name;
    bool matches;
  };
  const Case cases[] = {
      {u"a?b", u"a.b", false},      // "?" never takes a dot
      {u"a??", u"a", true},         // nor anything at the end
      {u"*.txt", u"a.b.txt", true}, // "*." reaches the last dot only
      {u"*.txt", u"a.txt.bak", false},
      {u"*x", u"a.b.x", true}, // a plain star crosses dots
      {u"a.*", u"a", true},    // a dot before a star also ends a name
      {u"a.?", u"a", true},
      {u"*.", u"a.b", false},
      {u"*.*", u".", true},
      {u"\u00e9t\u00e9*", u"\u00c9T\u00c9.doc", true},
      {u"*a*b*c*d*e*f*", u"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(matchesPattern(cases[i].pattern, cases[i].name), cases[i].matches) << "case " << i;
}

// The stored form as the other readers on Linux write it, and the
// attributes a host file reports with and without it.
TEST(DosAttributes, StoredTextAndReportedAttributes) {
  EXPECT_EQ(formatDosAttrib(0x22), "0x22");
  EXPECT_EQ(formatDosAttrib(0), "0x0");
  const std::pair<std::string, std::optional<DWORD>> stored[] = {
      {"0x22", 0x22},
      {std::string("0x21\0\3\0", 6), 0x21}, // a terminated string and more behind it
      {"0x0", 0},
      {"0X22", std::nullopt},
      {"22", std::nullopt},
      {"0x", std::nullopt},
      {"0x123456789", std::nullopt},
  };
  for (std::size_t i = 0; i < std::size(stored); ++i)
    EXPECT_EQ(parseDosAttrib(stored[i].first), stored[i].second) << "case " << i;

  constexpr DWORD RO = FILE_ATTRIBUTE_READONLY, H = FILE_ATTRIBUTE_HIDDEN,
                  A = FILE_ATTRIBUTE_ARCHIVE, D = FILE_ATTRIBUTE_DIRECTORY,
                  R = FILE_ATTRIBUTE_REPARSE_POINT;
  struct Case {
    HostFileFacts facts;
    DWORD reported;
  };
  const Case cases[] = {
      {{false, false, true, false, std::nullopt}, A},
      {{false, false, true, true, std::nullopt}, A | H},
      {{false, false, false, false, std::nullopt}, A | RO},
      {{false, false, true, false, 0}, FILE_ATTRIBUTE_NORMAL},
      {{false, false, true, true, 0}, FILE_ATTRIBUTE_NORMAL}, // kept wins over the dot
      {{false, false, false, false, H}, H | RO},
      {{false, false, true, false, 0x37}, 0x27}, // a stray folder flag on a file
      {{true, false, true, false, std::nullopt}, D},
      {{true, false, false, false, RO | H}, D | RO | H},
      {{true, true, true, false, H}, D | R},
      // A link to a file (or to nowhere) is a link, whatever its target keeps.
      {{false, true, false, false, RO | H}, R | A},
      {{false, true, true, true, std::nullopt}, R | A | H},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(reportedAttributes(cases[i].facts), cases[i].reported) << "case " << i;
}
