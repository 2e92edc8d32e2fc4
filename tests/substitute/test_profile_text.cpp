// test_profile_text.cpp - the profile file layout from tables: the bytes a
// file holds before and after one edit, and how read results fill buffers.
#include "ProfileText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace zelsys::posix;
using zelsys::DWORD;
using zelsys::UINT;

namespace {

std::string utf16(const std::u16string &text) {
  std::string bytes = "\xFF\xFE";
  for (const char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

TEST(ProfileText, EditsKeepWhatTheyDoNotChange) {
  // An edit: set (section, key, value) with null for "-", or with key "*"
  // replace the section's lines by the value's "|"-separated list.
  struct Case {
    std::string before;
    const char16_t *section, *key, *value;
    std::string after;
  };
  const std::string wide = utf16(u"[S]\r\nk=\u03a9\r\n");
  const Case cases[] = {
      {"", u"S", u"k", u"v", "[S]\r\nk=v\r\n"},
      {"[S]\r\nK = v\r\n", u"s", u"k", u"w", "[S]\r\nK=w\r\n"},
      {"[S]\r\nk=v\r\n", u"S", u"k", u"v", "[S]\r\nk=v\r\n"},
      {"[S]\nk=v\n", u"S", u"j", u"x", "[S]\r\nk=v\r\nj=x\r\n"},
      {"[S]\rk=v", u"S", u"j", u"x", "[S]\r\nk=v\r\nj=x\r\n"},
      {"top\r\n[S]\r\n;c=1\r\nk=v\r\n\r\n[T]\r\n", u"S", u"j", u"x",
       "top\r\n[S]\r\n;c=1\r\nk=v\r\nj=x\r\n\r\n[T]\r\n"},
      {"[S]\r\n;c\r\nk=v\r\n[T]\r\nt=1\r\n", u"S", nullptr, nullptr, "[T]\r\nt=1\r\n"},
      {"[S]\r\nk=v\r\nj=w\r\n", u"S", u"K", nullptr, "[S]\r\nj=w\r\n"},
      {"[S]\r\nk=v\r\n", u"T", u"k", nullptr, "[S]\r\nk=v\r\n"},
      {"[S]\r\nk=v\r\n", u"T", u"t", u"1", "[S]\r\nk=v\r\n[T]\r\nt=1\r\n"},
      {"[ S ] x\r\nbare\r\n", u"S", u"bare", u"1", "[ S ] x\r\nbare=1\r\n"},
      {"[S]\r\nk=\x80\x81\xE9\r\n", u"S", u"j", u"\u20ac", "[S]\r\nk=\x80\x81\xE9\r\nj=\x80\r\n"},
      {"[S]\r\nk=v\r\n", u"S", u"j", u"\u03a9", utf16(u"[S]\r\nk=v\r\nj=\u03a9\r\n")},
      {wide, u"S", u"j", u"x", utf16(u"[S]\r\nk=\u03a9\r\nj=x\r\n")},
      {"\xEF\xBB\xBF[S]\r\n", u"S", u"k", u"\u03a9", "\xEF\xBB\xBF[S]\r\nk=\xCE\xA9\r\n"},
      // UTF-8 has no form for a lone surrogate: the file turns UTF-16.
      {"\xEF\xBB\xBF[S]\r\n", u"S", u"k", u"\xD800x", utf16(u"[S]\r\nk=\xD800x\r\n")},
      {"[S]\r\n;c\r\nk=v\r\nj=w\r\n[T]\r\n", u"S", u"*", u"a=1|b",
       "[S]\r\na=1\r\nb\r\n;c\r\n[T]\r\n"},
      {"[T]\r\n", u"S", u"*", u"a=1", "[T]\r\n[S]\r\na=1\r\n"},
  };
  int index = 0;
  for (const Case &c : cases) {
    SCOPED_TRACE("case " + std::to_string(index++));
    ProfileDocument document = parseProfile(c.before);
    if (c.key != nullptr && std::u16string(c.key) == u"*") {
      std::vector<std::u16string> lines;
      std::u16string list = c.value;
      list += u'|';
      for (std::size_t at = 0, bar; (bar = list.find(u'|', at)) != std::u16string::npos;
           at = bar + 1)
        lines.push_back(list.substr(at, bar - at));
      EXPECT_TRUE(setProfileSection(document, c.section, lines));
    } else {
      EXPECT_EQ(setProfileValue(document, c.section, c.key, c.value), c.before != c.after);
    }
    EXPECT_EQ(serialiseProfile(document), c.after);
  }
}

TEST(ProfileText, ReadsTrimNamesValuesAndQuotes) {
  const ProfileDocument document = parseProfile(
      "k=before\r\n[ A ]\r\n  Key  =  two words  \r\nq=\"quoted\"\r\nh=\"half\r\n;k=c\r\n"
      "bare\r\n[b]\r\nx=1=2\r\n[a]\r\nlate=1\r\n");
  struct Case {
    const char16_t *section, *key;
    std::optional<std::u16string> value;
  };
  const Case cases[] = {{u"a", u"KEY", u"two words"}, {u"A", u"q", u"quoted"},
                        {u"A", u"h", u"\"half"},      {u"A", u"k", std::nullopt},
                        {u"A", u"bare", u""},         {u"B", u"x", u"1=2"},
                        {u"A", u"late", std::nullopt}};
  for (const Case &c : cases)
    EXPECT_EQ(profileValue(document, c.section, c.key), c.value) << static_cast<char>(c.key[0]);
  EXPECT_EQ(profileSectionNames(document), (std::vector<std::u16string>{u"A", u"b"}));
  EXPECT_EQ(profileKeyNames(document, u"a"),
            (std::vector<std::u16string>{u"Key", u"q", u"h", u"bare"}));
  EXPECT_EQ(profileSectionLines(document, u"A"),
            (std::vector<std::u16string>{u"Key=two words", u"q=\"quoted\"", u"h=\"half", u"bare"}));
}

TEST(ProfileText, BuffersFollowTheSizeRules) {
  // What fills a buffer of each size: the result and the units written up
  // to that size ("|" a zero, "." untouched).
  struct Case {
    bool list;
    DWORD size;
    DWORD result;
    std::u16string buffer;
  };
  const Case cases[] = {
      {false, 0, 0, u"......"}, {false, 1, 0, u"|....."}, {false, 4, 3, u"abc|.."},
      {false, 5, 4, u"abcd|."}, {false, 6, 4, u"abcd|."}, {true, 0, 0, u"......"},
      {true, 1, 0, u"|....."},  {true, 2, 0, u"||...."},  {true, 5, 3, u"ab|||."},
      {true, 6, 4, u"ab|c||"},  {true, 7, 6, u"ab|cd||"}, {true, 8, 6, u"ab|cd||."}};
  int index = 0;
  for (const Case &c : cases) {
    SCOPED_TRACE("case " + std::to_string(index++));
    std::u16string buffer(std::max<std::size_t>(c.buffer.size(), 6), u'.');
    const DWORD result = c.list ? copyProfileList({u"ab", u"cd"}, buffer.data(), c.size)
                                : copyProfileText(u"abcd", buffer.data(), c.size);
    for (char16_t &unit : buffer)
      unit = unit == 0 ? u'|' : unit;
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(std::string(buffer.begin(), buffer.end()),
              std::string(c.buffer.begin(), c.buffer.end()));
  }
  std::u16string empty = u"...";
  EXPECT_EQ(copyProfileList({}, empty.data(), 3), 0u);
  EXPECT_EQ(empty, std::u16string(u"\0\0.", 3));
  EXPECT_EQ(splitProfileList(u"a=1\0b\0\0c"), (std::vector<std::u16string>{u"a=1", u"b"}));
  for (const auto &[text, number] :
       std::vector<std::pair<std::u16string, UINT>>{{u"7", 7},
                                                    {u"-1", 0xFFFFFFFF},
                                                    {u"+12ab", 12},
                                                    {u"", 0},
                                                    {u"x1", 0},
                                                    {u"4294967297", 1}})
    EXPECT_EQ(profileNumber(text), number) << std::string(text.begin(), text.end());
}

} // namespace
